#include "messages/SpellChecker.h"
#include "messages/ui/BodyTarget.h"
#include "messages/ui/frmMessageFindReplace.h"
#include "messages/ui/frmMessageGreeting.h"
#include "messages/ui/frmSpellCheck.h"
#include "support/TestHome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

template <typename T> T* child(QWidget* parent, const char* name) {
    auto* widget = parent->findChild<T*>(QLatin1StringView(name));
    if (!widget)
        qWarning("no %s", name);
    return widget;
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// A dictionary of a few words, enough for Hunspell to tell them from the rest.
void writeTinyDictionary(const QString& folder, const QString& name = QStringLiteral("tiny")) {
    writeFile(folder + name + ".aff", "SET UTF-8\nTRY esianrtolcdugmphbyfvkwz\n");
    writeFile(folder + name + ".dic", "6\nhello\nworld\nthe\ncolour\nletter\nfriend\n");
}

} // namespace

class TestMessageTools : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

    struct FindSetup {
        QPlainTextEdit edit;
        std::unique_ptr<TextEditTarget> target;
        std::unique_ptr<frmMessageFindReplace> dialog;
    };
    std::unique_ptr<FindSetup> findOn(const QString& text) {
        auto setup = std::make_unique<FindSetup>();
        setup->edit.setPlainText(text);
        setup->target = std::make_unique<TextEditTarget>(&setup->edit);
        setup->dialog = std::make_unique<frmMessageFindReplace>(home->prompter, nullptr);
        setup->dialog->setTarget(setup->target.get());
        setup->dialog->showReplace(true);
        return setup;
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    // ---- Find and replace ----

    void findHonoursDirectionWordAndCase_data() {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("direction"); // 0 Down, 1 Up, 2 All
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("expected"); // the hit's start, -1 for none
        // "cat concat Cat": hits at 0, 7 (inside a word) and 11 (other case).
        QTest::newRow("down from the start") << 0 << 0 << false << false << 0;
        QTest::newRow("down inside a word") << 1 << 0 << false << false << 7;
        QTest::newRow("down, whole word") << 1 << 0 << true << false << 11;
        QTest::newRow("down, whole word and case") << 1 << 0 << true << true << -1;
        QTest::newRow("up from the end") << 14 << 1 << false << false << 11;
        QTest::newRow("up, case") << 14 << 1 << false << true << 7;
        QTest::newRow("up from the start") << 0 << 1 << false << false << -1;
        QTest::newRow("down past the last") << 14 << 0 << false << false << -1;
        QTest::newRow("all goes round") << 14 << 2 << false << false << 0;
        QTest::newRow("all, whole word and case") << 2 << 2 << true << true << 0;
    }
    void findHonoursDirectionWordAndCase() {
        QFETCH(int, cursor);
        QFETCH(int, direction);
        QFETCH(bool, wholeWord);
        QFETCH(bool, matchCase);
        QFETCH(int, expected);
        auto setup = findOn("cat concat Cat");
        frmMessageFindReplace* dialog = setup->dialog.get();
        QTextCursor start = setup->edit.textCursor();
        start.setPosition(cursor);
        setup->edit.setTextCursor(start);
        child<QLineEdit>(dialog, "txtFind")->setText("cat");
        child<QComboBox>(dialog, "cboDirection")->setCurrentIndex(direction);
        child<QCheckBox>(dialog, "chkWholeWord")->setChecked(wholeWord);
        child<QCheckBox>(dialog, "chkMatchCase")->setChecked(matchCase);
        child<QPushButton>(dialog, "cmdFind")->click();
        if (expected < 0) {
            QCOMPARE(home->prompter.shown().size(), 1);
            QCOMPARE(home->prompter.shown().last().text,
                     QStringLiteral("Tamberlyn was unable to find your search string."));
            QCOMPARE(home->prompter.shown().last().icon, Prompter::Icon::Information);
            QCOMPARE(setup->edit.textCursor().position(), cursor);
        } else {
            QVERIFY(home->prompter.shown().isEmpty());
            QCOMPARE(setup->edit.textCursor().selectionStart(), expected);
            QCOMPARE(setup->edit.textCursor().selectedText().toLower(), QStringLiteral("cat"));
        }
    }

    void findButtonReadsFindNextUntilTheTextChanges() {
        auto setup = findOn("one two one");
        frmMessageFindReplace* dialog = setup->dialog.get();
        auto* find = child<QPushButton>(dialog, "cmdFind");
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Replace"));
        dialog->showReplace(false);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Find"));
        QVERIFY(!child<QPushButton>(dialog, "cmdReplaceAll")->isVisibleTo(dialog));
        QCOMPARE(child<QComboBox>(dialog, "cboDirection")->count(), 3);
        QCOMPARE(child<QCheckBox>(dialog, "chkWholeWord")->text(), QStringLiteral("Whole Word Only"));
        QCOMPARE(child<QCheckBox>(dialog, "chkMatchCase")->text(), QStringLiteral("Match Exact Case"));
        QCOMPARE(find->text(), QStringLiteral("Find"));
        child<QLineEdit>(dialog, "txtFind")->setText("one");
        find->click();
        QCOMPARE(find->text(), QStringLiteral("Find Next"));
        find->click();
        QCOMPARE(setup->edit.textCursor().selectionStart(), 8);
        child<QLineEdit>(dialog, "txtFind")->setText("two");
        QCOMPARE(find->text(), QStringLiteral("Find"));
    }

    void replaceAllCountsAndIsOneUndoStep_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("said");
        QTest::newRow("two") << "cat and cat"
                             << "cat"
                             << "dog"
                             << "dog and dog"
                             << "Tamberlyn made 2 replacements.";
        QTest::newRow("replacement holds the search text") << "a b a"
                                                           << "a"
                                                           << "aa"
                                                           << "aa b aa"
                                                           << "Tamberlyn made 2 replacements.";
        QTest::newRow("to nothing") << "x-x-x"
                                    << "x"
                                    << ""
                                    << "--"
                                    << "Tamberlyn made 3 replacements.";
        QTest::newRow("no hit") << "abc"
                                << "z"
                                << "y"
                                << "abc"
                                << "Tamberlyn was unable to find your search string.";
    }
    void replaceAllCountsAndIsOneUndoStep() {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, replace);
        QFETCH(QString, expected);
        QFETCH(QString, said);
        auto setup = findOn(text);
        child<QLineEdit>(setup->dialog.get(), "txtFind")->setText(find);
        child<QLineEdit>(setup->dialog.get(), "txtReplace")->setText(replace);
        child<QPushButton>(setup->dialog.get(), "cmdReplaceAll")->click();
        QCOMPARE(setup->edit.toPlainText(), expected);
        QCOMPARE(home->prompter.shown().last().text, said);
        setup->edit.undo();
        QCOMPARE(setup->edit.toPlainText(), text);
    }

    void replaceChangesTheHitAndMovesOn() {
        auto setup = findOn("red, red, red");
        frmMessageFindReplace* dialog = setup->dialog.get();
        child<QLineEdit>(dialog, "txtFind")->setText("red");
        child<QLineEdit>(dialog, "txtReplace")->setText("redder");
        auto* replace = child<QPushButton>(dialog, "cmdReplace");
        replace->click(); // nothing selected yet: finds the first
        QCOMPARE(setup->edit.toPlainText(), QStringLiteral("red, red, red"));
        replace->click();
        QCOMPARE(setup->edit.toPlainText(), QStringLiteral("redder, red, red"));
        QCOMPARE(setup->edit.textCursor().selectionStart(), 8);
    }

    // ---- Greeting manager ----

    void okRefusesAGroupChoiceWithoutItsText_data() {
        QTest::addColumn<int>("greetingType");
        QTest::addColumn<int>("addressType");
        QTest::addColumn<QString>("groupGreeting");
        QTest::addColumn<QString>("groupAddress");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("both") << 0 << 0 << ""
                              << "" << GroupBothMissingText();
        QTest::newRow("greeting") << 0 << 1 << ""
                                  << "" << GroupGreetingMissingText();
        QTest::newRow("address") << 1 << 0 << ""
                                 << "" << GroupAddressMissingText();
        QTest::newRow("both given") << 0 << 0 << "Dear members,"
                                    << "Members" << QString();
        QTest::newRow("personal") << -1 << 1 << ""
                                  << "" << QString();
    }
    void okRefusesAGroupChoiceWithoutItsText() {
        QFETCH(int, greetingType);
        QFETCH(int, addressType);
        QFETCH(QString, groupGreeting);
        QFETCH(QString, groupAddress);
        QFETCH(QString, refusal);
        frmMessageGreeting dialog(SetGreetingManagerDefaultValues(), home->prompter, nullptr);
        dialog.open();
        child<QRadioButton>(&dialog, greetingType == 1   ? "optGreetingPersonalized"
                                     : greetingType == 0 ? "optGreetingGroup"
                                                         : "optNoGreeting")
            ->setChecked(true);
        child<QRadioButton>(&dialog, addressType == 1 ? "optToPersonalized" : "optToGroup")->setChecked(true);
        child<QLineEdit>(&dialog, "txtGroupGreeting")->setText(groupGreeting);
        child<QLineEdit>(&dialog, "txtGroupAddress")->setText(groupAddress);
        child<QPushButton>(&dialog, "cmdOK")->click();
        if (refusal.isEmpty()) {
            QVERIFY(home->prompter.shown().isEmpty());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.settings().GreetingType, greetingType);
            QCOMPARE(dialog.settings().AddressType, addressType);
        } else {
            QCOMPARE(home->prompter.shown().size(), 1);
            QCOMPARE(home->prompter.shown().last().text, refusal);
            QCOMPARE(home->prompter.shown().last().icon, Prompter::Icon::Exclamation);
            QVERIFY(dialog.isVisible());
        }
    }

    void theWindowGivesBackTheSettingsItShows() {
        GreetingSettings s;
        s.UseGreetingManager = true;
        s.Salutation = "Hello";
        s.TitleColumn = "Title";
        s.LastNameColumn = "LastName";
        s.Punctuation = "!";
        s.GenericName = "Friend";
        s.MissingLNameOption = true;
        s.GreetingType = 1;
        s.AddressType = 0;
        s.GroupGreeting = "Dear all";
        s.GroupAddress = "Club members";
        s.HTMLGreeting = "<html><BODY><b>{Prefix}</b> {Salutation}</BODY></html>";
        frmMessageGreeting dialog(s, home->prompter, nullptr);
        const GreetingSettings back = dialog.settings();
        QCOMPARE(back.UseGreetingManager, true);
        QCOMPARE(back.Salutation, s.Salutation);
        QCOMPARE(back.TitleColumn, s.TitleColumn);
        QCOMPARE(back.FirstNameColumn, QString());
        QCOMPARE(back.LastNameColumn, s.LastNameColumn);
        QCOMPARE(back.Punctuation, s.Punctuation);
        QCOMPARE(back.GenericName, s.GenericName);
        QCOMPARE(back.MissingFNameOption, false);
        QCOMPARE(back.MissingLNameOption, true);
        QCOMPARE(back.GreetingType, 1);
        QCOMPARE(back.AddressType, 0);
        QCOMPARE(back.GroupGreeting, s.GroupGreeting);
        QCOMPARE(back.GroupAddress, s.GroupAddress);
        QCOMPARE(back.HTMLGreeting, s.HTMLGreeting);
        QVERIFY(!child<QLabel>(&dialog, "lblTemplateWarning")->isVisibleTo(&dialog));
        QCOMPARE(child<QLineEdit>(&dialog, "txtSalutation")->maxLength(), 50);
        QCOMPARE(child<QLineEdit>(&dialog, "txtPunctuation")->maxLength(), 5);
        QCOMPARE(child<QLineEdit>(&dialog, "txtGroupAddress")->maxLength(), 255);
    }

    void templateWarningShowsForAnUnusableTemplate_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<bool>("warned");
        QTest::newRow("empty gives the default") << "" << false;
        QTest::newRow("without body") << "{Prefix} {Salutation}" << true;
        QTest::newRow("without end of body") << "<BODY>{Prefix} {Salutation}" << true;
        QTest::newRow("without prefix") << "<body>{Salutation}</body>" << true;
        QTest::newRow("without salutation") << "<body>{Prefix}</body>" << true;
        QTest::newRow("lower-case body") << "<body><i>{Prefix}</i>{Salutation}</body>" << false;
    }
    void templateWarningShowsForAnUnusableTemplate() {
        QFETCH(QString, html);
        QFETCH(bool, warned);
        GreetingSettings s = SetGreetingManagerDefaultValues();
        s.GreetingType = 1;
        s.HTMLGreeting = html;
        frmMessageGreeting dialog(s, home->prompter, nullptr);
        QCOMPARE(child<QLabel>(&dialog, "lblTemplateWarning")->isVisibleTo(&dialog), warned);
        if (html.isEmpty()) {
            // What the window shows gives a greeting (the blank twice renders as one), where the bare
            // default template gives none.
            s.HTMLGreeting = dialog.settings().HTMLGreeting;
            QCOMPARE(ParseHTMLGreeting(s, "Dear Ann,\r\n"), QStringLiteral("<p>Dear  Ann,\r\n</p>"));
        }
    }

    void optionsEnableWhatTheyNeed() {
        GreetingSettings s = SetGreetingManagerDefaultValues();
        frmMessageGreeting dialog(s, home->prompter, nullptr);
        const auto enabled = [&](const char* name) {
            return child<QWidget>(&dialog, name)->isEnabled();
        };
        // No greeting, personal To: the names (for the To name) but no salutation.
        QVERIFY(enabled("chkUseFName"));
        QVERIFY(!enabled("txtSalutation"));
        QVERIFY(!enabled("txtGroupGreeting"));
        QVERIFY(!enabled("txtGroupAddress"));
        child<QRadioButton>(&dialog, "optGreetingGroup")->setChecked(true);
        child<QRadioButton>(&dialog, "optToGroup")->setChecked(true);
        QVERIFY(enabled("txtGroupGreeting"));
        QVERIFY(enabled("txtGroupAddress"));
        QVERIFY(!enabled("chkUseFName"));
        child<QRadioButton>(&dialog, "optGreetingPersonalized")->setChecked(true);
        QVERIFY(enabled("txtSalutation"));
        QVERIFY(enabled("chkMissingLName"));
        child<QCheckBox>(&dialog, "chkUseGreetingManager")->setChecked(false);
        for (const char* name :
             {"optGreetingPersonalized", "optToGroup", "txtSalutation", "chkUseTitle", "txtGroupAddress"})
            QVERIFY2(!enabled(name), name);
    }

    // ---- Spelling ----

    void wordsSkipMarkupTagsAndAddresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("text") << "Helo <<FirstName>>, see www.exmple.com or ann@exmple.org; don't x2y."
                              << false << QStringList{"Helo", "see", "or", "don't"};
        QTest::newRow("html")
            << "<p class=\"intro\" style='colr:red'>Helo &amp; <b>wrld</b><!-- commnt --> "
               "&lt;&lt;FirstName&gt;&gt; <a href=\"http://exmple.com\">http://exmple.com</a></p>"
               "<style>p { colr: red }</style>caf&eacute;"
            << true << QStringList{"Helo", "wrld", "caf"};
        QTest::newRow("html keeps the letters of text") << "a<br>b" << true << QStringList{"a", "b"};
    }
    void wordsSkipMarkupTagsAndAddresses() {
        QFETCH(QString, text);
        QFETCH(bool, html);
        QFETCH(QStringList, words);
        QStringList found;
        for (const TextWord& word : CheckableWords(text, html))
            found << text.mid(word.start, word.length);
        QCOMPARE(found, words);
    }

    void eachButtonOfTheSpellingWalk() {
        writeTinyDictionary(SpellChecker::lexFolder());
        QString subject = "helo the world";
        QString body = "<p>wrld <b>helo</b> wrld frend frend letter fiend</p>";
        QList<SpellField> fields;
        const auto field = [](QString& text, bool html) {
            return SpellField{"field", [&text] { return text; },
                              [&text](int start, int length, const QString& replacement) {
                                  text.replace(start, length, replacement);
                              },
                              html};
        };
        fields << field(subject, false) << field(body, true);
        QWidget parent;
        frmSpellCheck::checkFields(fields, home->prompter, &parent);
        auto* dialog = parent.findChild<frmSpellCheck*>("frmSpellCheck");
        QVERIFY(dialog);
        const auto word = [&] {
            return child<QLineEdit>(dialog, "txtNotInDictionary")->text();
        };
        const auto press = [&](const char* name) {
            child<QPushButton>(dialog, name)->click();
        };

        QCOMPARE(word(), QStringLiteral("helo"));
        QVERIFY(child<QListWidget>(dialog, "lstSuggestions")->findItems("hello", Qt::MatchExactly).size() ==
                1);
        child<QLineEdit>(dialog, "txtChangeTo")->setText("hello");
        press("cmdChange");
        QCOMPARE(subject, QStringLiteral("hello the world"));
        QCOMPARE(word(), QStringLiteral("wrld"));
        child<QLineEdit>(dialog, "txtChangeTo")->setText("world");
        press("cmdChangeAll");
        QCOMPARE(word(), QStringLiteral("helo"));
        press("cmdIgnore");
        QCOMPARE(body, QStringLiteral("<p>world <b>helo</b> world frend frend letter fiend</p>"));
        QCOMPARE(word(), QStringLiteral("frend"));
        press("cmdIgnoreAll");
        QCOMPARE(word(), QStringLiteral("fiend"));
        press("cmdAdd");
        QVERIFY(home->prompter.shown().size() == 1);
        QCOMPARE(home->prompter.shown().last().title, QStringLiteral("Tamberlyn Spellchecker"));
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Number of words checked:   10\nNumber of words changed:   3"));
        QCOMPARE(readFileBytes(SpellChecker::userWordsFile()), QByteArray("fiend\n"));
        SpellChecker again;
        QVERIFY(again.load());
        QVERIFY(again.isCorrect("fiend"));
        QVERIFY(!again.isCorrect("frend"));
    }

    void cancelStopsTheWalkAndCounts() {
        writeTinyDictionary(SpellChecker::lexFolder());
        QString text = "helo wrld hello";
        QWidget parent;
        frmSpellCheck::checkFields({SpellField{"text", [&] { return text; },
                                               [&](int, int, const QString&) {
                                                   QFAIL("nothing may change");
                                               }}},
                                   home->prompter, &parent);
        auto* dialog = parent.findChild<frmSpellCheck*>("frmSpellCheck");
        QVERIFY(dialog);
        child<QPushButton>(dialog, "cmdCancel")->click();
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral("Number of words checked:   1\nNumber of words changed:   0"));
        QVERIFY(!dialog->isVisible());
    }

    void withoutAnyDictionaryNothingIsChecked() {
        QTemporaryDir empty;
        SpellChecker::setSystemDictionaryPaths({empty.path()});
        QString text = "helo";
        frmSpellCheck::checkFields({SpellField{"text", [&] { return text; },
                                               [&](int, int, const QString&) {
                                                   QFAIL("nothing may change");
                                               }}},
                                   home->prompter, nullptr);
        QCOMPARE(home->prompter.texts(), QStringList{SpellChecker::noDictionaryText()});
        QCOMPARE(
            home->prompter.shown().last().text,
            QStringLiteral("Tamberlyn is unable to find the files needed for spellchecking to function.  "
                           "These are the files located in the Tamberlyn application directory under "
                           "the folder lex."));
        SpellChecker::setSystemDictionaryPaths({QStringLiteral("/usr/share/hunspell")});
    }

    void aBrokenPairIsSkippedAndNamed_data() {
        QTest::addColumn<QByteArray>("aff");
        QTest::addColumn<QByteArray>("dic");
        QTest::newRow("empty aff") << QByteArray() << QByteArray("1\nzzz\n");
        QTest::newRow("dic without count") << QByteArray("SET UTF-8\n") << QByteArray("zzz\nyyy\n");
    }
    void aBrokenPairIsSkippedAndNamed() {
        QFETCH(QByteArray, aff);
        QFETCH(QByteArray, dic);
        writeTinyDictionary(SpellChecker::lexFolder());
        writeFile(SpellChecker::lexFolder() + "broken.aff", aff);
        writeFile(SpellChecker::lexFolder() + "broken.dic", dic);
        SpellChecker checker;
        QStringList errors;
        QVERIFY(checker.load(&errors));
        QCOMPARE(checker.dictionaryCount(), 1);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith("Error in spellchecker: broken"), qPrintable(errors[0]));
        QVERIFY(checker.isCorrect("hello"));
        QVERIFY(!checker.isCorrect("zzz"));
    }

    void anyDictionaryAcceptsAWordInItsOwnEncoding() {
        writeTinyDictionary(SpellChecker::lexFolder());
        writeFile(SpellChecker::lexFolder() + "latin.aff", "SET ISO8859-1\n");
        writeFile(SpellChecker::lexFolder() + "latin.dic", "1\ncaf\xe9\n");
        SpellChecker checker;
        QVERIFY(checker.load());
        QCOMPARE(checker.dictionaryCount(), 2);
        QVERIFY(checker.isCorrect("hello"));
        QVERIFY(checker.isCorrect(QStringLiteral("caf\u00e9")));
        QVERIFY(!checker.isCorrect(QStringLiteral("\u0441\u0430f\u00e9"))); // not in Latin-1 at all
    }

    void anEmptyLexiconFolderGetsTheSystemDictionary() {
        QTemporaryDir system;
        writeTinyDictionary(system.path() + "/", "en_US");
        SpellChecker::setSystemDictionaryPaths({system.path()});
        SpellChecker checker;
        QVERIFY(checker.load());
        SpellChecker::setSystemDictionaryPaths({QStringLiteral("/usr/share/hunspell")});
        QVERIFY(QFileInfo::exists(SpellChecker::lexFolder() + "en_US.dic"));
        QVERIFY(QFileInfo::exists(SpellChecker::lexFolder() + "en_US.aff"));
        QVERIFY(checker.isCorrect("friend"));
    }

    void theRealUsEnglishDictionary() {
        if (!QFileInfo::exists("/usr/share/hunspell/en_US.dic"))
            QSKIP("hunspell-en-us is not installed");
        SpellChecker::setSystemDictionaryPaths({QStringLiteral("/usr/share/hunspell")});
        SpellChecker checker;
        QVERIFY(checker.load());
        QVERIFY(checker.isCorrect("letter"));
        QVERIFY(checker.isCorrect("Tuesday"));
        QVERIFY(!checker.isCorrect("recieve"));
        QVERIFY(checker.suggestions("recieve").contains("receive"));
    }
};

QTEST_MAIN(TestMessageTools)
#include "tst_messagetools.moc"
