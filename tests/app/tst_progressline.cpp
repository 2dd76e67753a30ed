#include "support/CommandRun.h"
#include "support/TerminalRun.h"
#include "support/TestHome.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The redraws of a progress line ("\r", erase to the end of the line, its text) and the newline that
// ends it, at the start of the output.
const QRegularExpression ProgressPart(QStringLiteral("^((?:\\r\\x1b\\[K[^\\r\\n\\x1b]*)+)\\n"));

struct SplitOutput {
    QStringList redraws; // the texts the line showed, in order
    QString rest;        // what followed the progress line
};

SplitOutput splitProgress(const QByteArray& output) {
    const QString text = QString::fromUtf8(output);
    const QRegularExpressionMatch match = ProgressPart.match(text);
    if (!match.hasMatch())
        return {{}, text};
    return {match.captured(1).split(QStringLiteral("\r\x1b[K"), Qt::SkipEmptyParts),
            text.mid(match.capturedLength(0))};
}

// A text file of count lines, each with one address.
QString writeAddresses(const QTemporaryDir& dir, const QString& name, int first, int count) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray text;
    for (int i = first; i < first + count; ++i)
        text += "Some words before the address of member " + QByteArray::number(i) + " <member" +
                QByteArray::number(i) + "@example.org> and some after it\n";
    file.write(text);
    return path;
}

} // namespace

// The long commands on a terminal: one line redrawn in place that ends clean, the command's other lines
// unchanged below it; with --verbose, the lines as written to a file.
class TestProgressLine : public QObject {
    Q_OBJECT

    TestHome home;
    QTemporaryDir sources;
    QString big;   // 40,000 addresses, 3.6 MB
    QString small; // 10,000 addresses, the second half of them in the big file

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(home.start());
        home.stop();
        big = writeAddresses(sources, QStringLiteral("big.txt"), 0, 40000);
        small = writeAddresses(sources, QStringLiteral("small.txt"), 35000, 10000);
        for (const auto& [name, file] : {std::pair{"Big", big}, std::pair{"Small", small}}) {
            const CommandRun made =
                runCommandLine({"--home", home.path(), "harvest", "--names", "none", "--name", name, file});
            QVERIFY2(made.status == 0, qPrintable(made.out + made.err));
        }
    }

    void harvestShowsTheBytesScanned() {
        const TerminalRun run =
            runOnTerminal({"--home", home.path(), "harvest", "--names", "none", "--name", "Again", big});
        QCOMPARE(run.status, 0);
        const SplitOutput output = splitProgress(run.output);
        QVERIFY2(!output.redraws.isEmpty(), run.output.constData());
        const QString size = QString::number(QFileInfo(big).size() / 1e6, 'f', 1);
        QVERIFY2(output.redraws.last().startsWith(size + QStringLiteral(" / ") + size +
                                                  QStringLiteral(" MB (100%)")),
                 qPrintable(output.redraws.last()));
        QCOMPARE(output.rest, big + QStringLiteral(": 40000 addresses found\nList 'Again' saved with 40000 "
                                                   "addresses.\n"));
    }

    void verboseKeepsTheLinesOfAFile() {
        const TerminalRun run = runOnTerminal(
            {"--home", home.path(), "harvest", "--verbose", "--names", "none", "--name", "Verbose", small});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.output),
                 small +
                     QStringLiteral(": 10000 addresses found\nList 'Verbose' saved with 10000 addresses.\n"));
    }

    void listOperationsShowTheRowsRead_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("rowsRead");
        QTest::addColumn<int>("saved");
        QTest::newRow("merge reads both lists") << "merge" << 50000 << 45000;
        QTest::newRow("clean reads the first") << "clean" << 40000 << 35000;
        QTest::newRow("duplicates reads the first") << "duplicates" << 40000 << 5000;
    }

    void listOperationsShowTheRowsRead() {
        QFETCH(QString, command);
        QFETCH(int, rowsRead);
        QFETCH(int, saved);
        const QString name = command + QStringLiteral(" result");
        const TerminalRun run =
            runOnTerminal({"--home", home.path(), command, "Big", "Small", "--name", name});
        QCOMPARE(run.status, 0);
        const SplitOutput output = splitProgress(run.output);
        QVERIFY2(!output.redraws.isEmpty(), run.output.constData());
        // The first figures come before the first row is read.
        QVERIFY2(output.redraws.first().startsWith(QStringLiteral("0 / %1 rows (0%)").arg(rowsRead)),
                 qPrintable(output.redraws.first()));
        QVERIFY2(output.redraws.last().startsWith(QStringLiteral("%1 / %1 rows (100%)").arg(rowsRead)),
                 qPrintable(output.redraws.last()));
        QCOMPARE(output.rest, QStringLiteral("Saved the list %1 with %2 addresses.\n").arg(name).arg(saved));
    }

    void importShowsTheRecords() {
        const QString csv = sources.filePath(QStringLiteral("people.csv"));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("E-mail,Name\n");
        for (int i = 0; i < 20000; ++i)
            file.write("guest" + QByteArray::number(i) + "@example.org,Guest " + QByteArray::number(i) +
                       "\n");
        file.close();
        const TerminalRun run = runOnTerminal({"--home", home.path(), "import", "--type", "DBTEXTFILE",
                                               "--file", csv, "--email", "E-mail", "--name", "Guests"});
        QCOMPARE(run.status, 0);
        const SplitOutput output = splitProgress(run.output);
        QVERIFY2(!output.redraws.isEmpty(), run.output.constData());
        QVERIFY2(output.redraws.last().startsWith(QStringLiteral("20000 ")),
                 qPrintable(output.redraws.last()));
        QVERIFY2(output.rest.startsWith(QStringLiteral("Imported 20000 row(s) into the list 'Guests'.\n")),
                 qPrintable(output.rest));
    }

    void anEmptyResultIsToldBelowTheLine() {
        const TerminalRun run =
            runOnTerminal({"--home", home.path(), "clean", "Small", "Small", "--name", "None"});
        QCOMPARE(run.status, 1);
        const SplitOutput output = splitProgress(run.output);
        QVERIFY2(output.redraws.last().startsWith(QStringLiteral("10000 / 10000 rows (100%)")),
                 run.output.constData());
        QCOMPARE(output.rest, QStringLiteral("The resulting list is empty\n"));
    }
};

QTEST_GUILESS_MAIN(TestProgressLine)
#include "tst_progressline.moc"
