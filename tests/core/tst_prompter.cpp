#include "core/ConsolePrompter.h"

#include <QTest>

namespace {

struct Console {
    QString input;
    QString out;
    QString err;
    QTextStream inStream{&input};
    QTextStream outStream{&out};
    QTextStream errStream{&err};

    explicit Console(const QString& typed = {}) : input(typed) {}
    ConsolePrompter prompter(ConsolePrompter::Mode mode, bool terminal) {
        return ConsolePrompter(mode, inStream, outStream, errStream, terminal);
    }
};

} // namespace

class TestPrompter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void optionsAnswerEveryQuestion() {
        Console console;
        auto yes = console.prompter(ConsolePrompter::Mode::AnswerYes, false);
        QCOMPARE(yes.ask("Title", "Go on?", Prompter::Buttons::YesNo), Prompter::Answer::Yes);
        QCOMPARE(yes.ask("", "Save?", Prompter::Buttons::OkCancel), Prompter::Answer::Ok);
        auto no = console.prompter(ConsolePrompter::Mode::AnswerNo, false);
        QCOMPARE(no.ask("", "Go on?", Prompter::Buttons::YesNoCancel), Prompter::Answer::No);
        QCOMPARE(no.ask("", "Try again?", Prompter::Buttons::RetryCancel), Prompter::Answer::Cancel);
        QCOMPARE(console.out,
                 QStringLiteral("Title: Go on?\nAnswered Yes.\nSave?\nAnswered OK.\nGo on?\nAnswered No.\n"
                                "Try again?\nAnswered Cancel.\n"));
    }

    void withoutATerminalTheSafeAnswerIsTakenAndSaid() {
        Console console;
        auto prompter = console.prompter(ConsolePrompter::Mode::Interactive, false);
        QCOMPARE(prompter.ask("", "Overwrite?", Prompter::Buttons::YesNo), Prompter::Answer::No);
        QVERIFY(console.out.endsWith(
            QStringLiteral("No answer can be read here; taking No (give --yes or --no to answer).\n")));
    }

    void onATerminalTheUserAnswers() {
        Console console(QStringLiteral("maybe\ny\n"));
        auto prompter = console.prompter(ConsolePrompter::Mode::Interactive, true);
        QCOMPARE(prompter.ask("", "Overwrite?", Prompter::Buttons::YesNo), Prompter::Answer::Yes);
        QCOMPARE(console.out.count(QStringLiteral("[Yes/No]? ")), 2);
        // End of input takes the safe answer.
        QCOMPARE(prompter.ask("", "Again?", Prompter::Buttons::YesNoCancel), Prompter::Answer::No);
    }

    void warningsGoToTheErrorStream() {
        Console console;
        auto prompter = console.prompter(ConsolePrompter::Mode::Interactive, false);
        prompter.inform("Tamberlyn", "Done.");
        prompter.inform("", "Bad thing.", Prompter::Icon::Critical);
        QCOMPARE(console.out, QStringLiteral("Tamberlyn: Done.\n"));
        QCOMPARE(console.err, QStringLiteral("Bad thing.\n"));
    }
};

QTEST_GUILESS_MAIN(TestPrompter)
#include "tst_prompter.moc"
