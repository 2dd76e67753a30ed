#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/SampleData.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "support/TestHome.h"

#include <QTest>

namespace {

RecipientRecord person(const QString& title, const QString& first, const QString& last) {
    RecipientRecord record;
    record.setColumns({"EAddress", "FirstName", "LastName", "Title"});
    record.setValue("EAddress", "ann@example.org");
    record.setValue("FirstName", first);
    record.setValue("LastName", last);
    record.setValue("Title", title);
    return record;
}

GreetingSettings personal() {
    GreetingSettings s = SetGreetingManagerDefaultValues();
    s.GreetingType = 1;
    return s;
}

const QString Template =
    QStringLiteral("<html><head></head><Body><p>{Prefix} <b>{Salutation}</b></p></body></html>");

} // namespace

class TestGreetings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void personalGreeting_data() {
        QTest::addColumn<bool>("useTitle");
        QTest::addColumn<bool>("missingFirstOk");
        QTest::addColumn<bool>("missingLastOk");
        QTest::addColumn<QString>("salutation");
        QTest::addColumn<QString>("generic");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("asGreeting");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first and last") << false << true << true << "Dear"
                                        << ""
                                        << ""
                                        << "Ann"
                                        << "Berg" << true << "Dear Ann Berg,\r\n";
        QTest::newRow("title and last") << true << true << true << "Dear"
                                        << ""
                                        << "Dr"
                                        << ""
                                        << "Berg" << true << "Dear Dr Berg,\r\n";
        QTest::newRow("no last name drops the title") << true << true << true << "Dear"
                                                      << ""
                                                      << "Dr"
                                                      << "Ann"
                                                      << "" << true << "Dear Ann,\r\n";
        QTest::newRow("missing first not allowed") << false << false << true << "Dear"
                                                   << "Friend"
                                                   << ""
                                                   << ""
                                                   << "Berg" << true << "Dear Friend,\r\n";
        QTest::newRow("missing last not allowed") << false << true << false << "Dear"
                                                  << "Friend"
                                                  << ""
                                                  << "Ann"
                                                  << "" << true << "Dear Friend,\r\n";
        QTest::newRow("no names, generic") << false << true << true << "Dear"
                                           << "Friend"
                                           << ""
                                           << ""
                                           << "" << true << "Dear Friend,\r\n";
        QTest::newRow("no names, no generic") << false << true << true << "Dear"
                                              << ""
                                              << ""
                                              << ""
                                              << "" << true << "";
        QTest::newRow("empty salutation") << false << true << true << ""
                                          << ""
                                          << ""
                                          << "Ann"
                                          << "Berg" << true << "Ann Berg,\r\n";
        QTest::newRow("empty salutation, generic") << false << true << true << ""
                                                   << "Friend"
                                                   << ""
                                                   << ""
                                                   << "" << true << "Friend,\r\n";
        QTest::newRow("To name with title") << true << true << true << "Dear"
                                            << ""
                                            << "Dr"
                                            << "Ann"
                                            << "Berg" << false << "Dr Ann Berg";
        QTest::newRow("To name, generic") << false << true << true << "Dear"
                                          << "Friend"
                                          << ""
                                          << ""
                                          << "" << false << "Friend";
    }

    void personalGreeting() {
        QFETCH(bool, useTitle);
        QFETCH(bool, missingFirstOk);
        QFETCH(bool, missingLastOk);
        QFETCH(QString, salutation);
        QFETCH(QString, generic);
        QFETCH(QString, title);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(bool, asGreeting);
        QFETCH(QString, expected);
        GreetingSettings s = personal();
        s.TitleColumn = useTitle ? QStringLiteral("Title") : QString();
        s.MissingFNameOption = missingFirstOk;
        s.MissingLNameOption = missingLastOk;
        s.Salutation = salutation;
        s.GenericName = generic;
        const RecipientRecord record = person(title, first, last);
        QCOMPARE(BuildPersonalGreeting(&record, s, asGreeting), expected);
    }

    void greetingNeedsItsSettings() {
        const RecipientRecord record = person("", "Ann", "Berg");
        GreetingSettings s = personal();
        QVERIFY(s.personalGreetingPossible());
        QCOMPARE(BuildPersonalGreeting(nullptr, s, true), QString());
        s.UseGreetingManager = false; // never a greeting, whatever the type
        QVERIFY(!s.personalGreetingPossible());
        QCOMPARE(BuildPersonalGreeting(&record, s, true), QString());
        s = personal();
        s.GreetingType = 0;
        QCOMPARE(BuildPersonalGreeting(&record, s, true), QString());
        QCOMPARE(BuildPersonalGreeting(&record, s, false), QStringLiteral("Ann Berg")); // the To name still
        s = personal();
        s.TitleColumn = s.FirstNameColumn = s.LastNameColumn = QString();
        QVERIFY(!s.personalGreetingPossible());
        QCOMPARE(BuildPersonalGreeting(&record, s, true), QString());
        s.GenericName = "Friend";
        QVERIFY(s.personalGreetingPossible());
        QCOMPARE(BuildPersonalGreeting(&record, s, true), QStringLiteral("Dear Friend,\r\n"));
        QCOMPARE(BuildPersonalGreeting(&record, s, false), QString()); // a To name needs a name column

        s = SetGreetingManagerDefaultValues();
        s.GreetingType = 0;
        QVERIFY(!s.groupGreetingPossible());
        s.GroupGreeting = "Dear members,";
        QVERIFY(s.groupGreetingPossible());
    }

    void toLine() {
        GreetingSettings s = SetGreetingManagerDefaultValues();
        const RecipientRecord named = person("", "Ann", "Berg");
        const RecipientRecord blank = person("", " ", "");
        QCOMPARE(ToDisplayText(&named, s, "ann@example.org"), QStringLiteral("Ann Berg"));
        QCOMPARE(ToDisplayText(&blank, s, "ann@example.org"), QStringLiteral("ann@example.org"));
        s.AddressType = 0;
        s.GroupAddress = "Members";
        QCOMPARE(ToDisplayText(&named, s, "ann@example.org"), QStringLiteral("Members"));
    }

    void htmlGreeting_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("greeting");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("logged");
        QTest::newRow("personal") << Template << 1 << "Dear Ann Berg,\r\n"
                                  << "<p>Dear <b> Ann Berg,\r\n</b></p>" << false;
        QTest::newRow("group") << Template << 0 << "x"
                               << "<p> <b>Dear all</b></p>" << false;
        QTest::newRow("placeholders swapped") << "<BODY>{Salutation}|{Prefix}</BODY>" << 1 << "Dear Ann,\r\n"
                                              << " Ann,\r\n|Dear" << false;
        QTest::newRow("no greeting") << Template << 1 << ""
                                     << "" << false;
        QTest::newRow("greeting type none") << Template << -1 << "Dear Ann,\r\n"
                                            << "" << false;
        QTest::newRow("no template") << "" << 1 << "Dear Ann,\r\n"
                                     << "" << false;
        QTest::newRow("the window's default") << DefaultHtmlGreetingTemplate() << 1 << "Dear Ann,\r\n"
                                              << "" << true;
        QTest::newRow("no closing body") << "<body>{Prefix}{Salutation}" << 1 << "Dear Ann,\r\n"
                                         << "" << true;
        QTest::newRow("no prefix") << "<body>{Salutation}</body>" << 1 << "Dear Ann,\r\n"
                                   << "" << true;
        QTest::newRow("placeholder case counts")
            << "<body>{prefix}{Salutation}</body>" << 1 << "Dear Ann,\r\n"
            << "" << true;
    }

    void htmlGreeting() {
        QFETCH(QString, html);
        QFETCH(int, type);
        QFETCH(QString, greeting);
        QFETCH(QString, expected);
        QFETCH(bool, logged);
        TestHome home;
        QVERIFY(home.start());
        GreetingSettings s = personal();
        s.GreetingType = type;
        s.HTMLGreeting = html;
        s.GroupGreeting = "Dear all";
        QCOMPARE(ParseHTMLGreeting(s, greeting), expected);
        const QString log = QString::fromUtf8(readFileBytes(appFolders().errorLog()));
        QCOMPARE(log.contains("ParseHTMLGreeting in mdlMerge"), logged);
    }

    void faultyTemplateIsLoggedOncePerRun() {
        TestHome home;
        QVERIFY(home.start());
        GreetingSettings s = personal();
        s.HTMLGreeting = "<body>no placeholders</body>";
        const HtmlGreetingTemplate prepared(s);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(prepared.fill("Dear Ann,\r\n"), QString());
        const QString log = QString::fromUtf8(readFileBytes(appFolders().errorLog()));
        QCOMPARE(log.count("ParseHTMLGreeting in mdlMerge"), 1);
    }

    void insertion_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        QTest::newRow("body with attributes") << "<html><BODY class=\"x\"><p>Hi</p></BODY>"
                                              << "<html><BODY class=\"x\">[G]<p>Hi</p></BODY>";
        QTest::newRow("lower case") << "<body>text"
                                    << "<body>[G]text";
        QTest::newRow("no body") << "<p>text</p>"
                                 << "<p>text</p>";
        QTest::newRow("unclosed tag") << "<body"
                                      << "<body";
    }

    void insertion() {
        QFETCH(QString, html);
        QFETCH(QString, expected);
        QCOMPARE(InsertAfterBodyTag(html, "[G]"), expected);
    }

    void textGreeting() {
        QCOMPARE(InsertTextGreeting("Text", "Dear Ann,\r\n", true), QStringLiteral("Dear Ann,\r\nText"));
        const QString plain = "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nText\r\n\r\n";
        QCOMPARE(InsertTextGreeting(plain, "G\r\n", false),
                 QStringLiteral("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nG\r\nText\r\n\r\n"));
        // The header block may carry a charset and an encoding line.
        const QString encoded = "MIME-Version: 1.0\r\ncontent-type: TEXT/PLAIN; charset=\"utf-8\"\r\n"
                                "Content-Transfer-Encoding: quoted-printable\r\n\r\nText";
        QCOMPARE(InsertTextGreeting(encoded, "G\r\n", false),
                 QString(encoded).replace("\r\n\r\nText", "\r\n\r\nG\r\nText"));
        const QString html = "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n";
        QCOMPARE(InsertTextGreeting(html, "G\r\n", false), html);
        QCOMPARE(TextPartBodyStart(u"Subject: Content-Type: text/plain\r\n\r\nx"), qsizetype(-1));
    }

    // The shown greeting and address follow the chosen columns; a group choice without its value is
    // refused with the text naming what is missing.
    void displaysFollowTheChosenColumns() {
        GreetingSettings s = SetGreetingManagerDefaultValues();
        QCOMPARE(SetGreetingDisplay(s), QString()); // no greeting
        s.GreetingType = 1;
        s.Salutation.clear();
        s.TitleColumn = "Title";
        QCOMPARE(SetGreetingDisplay(s), QStringLiteral("<<Title>> <<FirstName>> <<LastName>>,"));
        s.GreetingType = 0;
        s.GroupGreeting = "Dear all,";
        QCOMPARE(SetGreetingDisplay(s), QStringLiteral("Dear all,"));

        s = SetGreetingManagerDefaultValues();
        s.FirstNameColumn = s.LastNameColumn = QString();
        QCOMPARE(SetToAddressDisplay(s), QStringLiteral("<<Eaddress>>"));
        s.AddressType = 0;
        s.GroupAddress = "Members";
        QCOMPARE(SetToAddressDisplay(s), QStringLiteral("Members"));

        GreetingSettings chosen = SetGreetingManagerDefaultValues();
        QCOMPARE(GroupChoiceRefusal(chosen), QString());
        chosen.GreetingType = 0;
        chosen.AddressType = 0;
        QVERIFY(GroupChoiceRefusal(chosen).startsWith("The Group Salutation and Address options"));
        chosen.GroupAddress = "Members";
        QVERIFY(GroupChoiceRefusal(chosen).startsWith("The Group Salutation option"));
        chosen.GroupGreeting = "Hello";
        chosen.GroupAddress.clear();
        QVERIFY(GroupChoiceRefusal(chosen).startsWith("The Group Address option"));
    }

    void loadsFromTheMessageRow() {
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        const auto sample = MessageStore::ReadMessage(QString::fromLatin1(SampleData::MessageName));
        QVERIFY(sample);
        const GreetingSettings s = LoadGreetingSettings(*sample);
        QCOMPARE(s.Salutation, QStringLiteral("Dear"));
        QCOMPARE(s.Punctuation, QStringLiteral(":"));
        QCOMPARE(s.TitleColumn, QString());
        QCOMPARE(s.FirstNameColumn, QStringLiteral("FirstName"));
        QCOMPARE(s.AddressType, 1);
        QCOMPARE(s.GreetingType, -1);
        QVERIFY(s.enabled());

        // NULL columns read as their empty values; a NULL greeting type means no greeting.
        db::Database central = CentralDatabase::open();
        QVERIFY(central.exec("INSERT INTO Message (MessageName, GreetingType, AddressType, SendType) "
                             "VALUES ('Bare', NULL, NULL, NULL)"));
        central.close();
        const GreetingSettings bare = LoadGreetingSettings(*MessageStore::ReadMessage("Bare"));
        QCOMPARE(bare.GreetingType, -1);
        QCOMPARE(bare.AddressType, 0);
        QVERIFY(!bare.enabled());
        QVERIFY(bare.Salutation.isEmpty() && bare.HTMLGreeting.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGreetings)
#include "tst_greetings.moc"
