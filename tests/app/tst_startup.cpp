#include "Version.h"
#include "app/mdlMain.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartCreatesTheTree() {
        TestHome home;
        QVERIFY(home.start());
        for (const char* folder : {"system", "AddressLists", "Mailings", "Attach", "MailEventProfiles",
                                   "Mailboxes", "temp", "Templates", "Search Files"})
            QVERIFY2(QFileInfo(home.file(QString::fromLatin1(folder))).isDir(), folder);
        QCOMPARE(
            readFileBytes(home.file("Tamberlyn.ini")),
            QByteArray(
                "[ApplicationDefaults]\nMailServer=mail.example.invalid\nSMTPPort=25\nWordWrapSize=0\n"
                "CheckIfDomainWantsTextOnly=False\nDomainsToCheck=\nSendersEmailAddress=you@example.invalid\n"
                "KeyCategoryVal1=\nKeyCategoryVal2=\nMailEventProfile=Default Mail Event\n"
                "ServerWantsBracket=False\nJogServer=False\nCurTamberlyn=DefaultTamberlyn\n"
                "CurList=DefaultList\nCurMessage=DefaultMessage\n"));
        const AppSettings& s = appSettings();
        QCOMPARE(s.WordWrapSize, 0);
        QCOMPARE(s.SMTPPort, 25);
        QCOMPARE(s.MailServer, QStringLiteral("mail.example.invalid"));
        QVERIFY(s.BracketOnFrom);
        QVERIFY(!s.ServerWantsBracket);
        QCOMPARE(s.StartMaximized, qint16(0));
        QVERIFY(home.prompter.shown().isEmpty());
    }

    void defaultMailEventFileHasItsKeysInOrder() {
        TestHome home;
        QVERIFY(home.start());
        const QString text =
            QString::fromUtf8(readFileBytes(home.file("MailEventProfiles/Default Mail Event")));
        QStringList keys;
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
            keys << line.section(u'=', 0, 0);
        QCOMPARE(keys, (QStringList{"[Profile]",
                                    "AddressList",
                                    "MessageFile",
                                    "MailEventName",
                                    "From",
                                    "ReplyTo",
                                    "ErrorsTo",
                                    "X_URL",
                                    "IfNoNameGenericName",
                                    "GenericName",
                                    "UseSalutation",
                                    "Salutation",
                                    "FirstNameOnly",
                                    "ListAllInGroup",
                                    "UseGroupSalutation",
                                    "GroupSalutation",
                                    "IfInfoMsg",
                                    "InfoBeforeAfter",
                                    "IfRemoveMsg",
                                    "RemoveBeforeAfter",
                                    "IfSendFiltered",
                                    "AndOrFlag",
                                    "IfFilterOnSource",
                                    "SourceFilterText",
                                    "IfFilterOnKey",
                                    "KeyFilterText",
                                    "IfFilterOnDate",
                                    "DateFilter",
                                    "BeforeOnAfterDate",
                                    "IfFlagSends",
                                    "SentFlagToPut",
                                    "IfSendInBlocks",
                                    "SendBlockSize",
                                    "IfNotYetFlagged",
                                    "SentFlagToCheck",
                                    "SMTPServer",
                                    "IfTimedBlocks",
                                    "TimedBlockSize",
                                    "TimeIncrement",
                                    "UnsubscribeAddress",
                                    "UnsubscribeURL",
                                    "BounceAddress",
                                    "UseVERP",
                                    "DKIMDomain",
                                    "DKIMSelector",
                                    "DKIMKeyFile",
                                    "Connections",
                                    "MaxPerHour",
                                    "MaxPerDay"}));
        QVERIFY(text.contains(QStringLiteral("\nFrom=you@example.invalid\n")));
        QVERIFY(text.contains(QStringLiteral("\nSMTPServer=mail.example.invalid\n")));
    }

    void existingSettingsAreReadWithTheirDefaults() {
        TestHome home;
        writeFile(home.file("Tamberlyn.ini"),
                  "\xEF\xBB\xBF[ApplicationDefaults]\r\nMailServer=smtp.example.test\r\nSMTPPort=587\r\n"
                  "StartMaximized=abc\r\nCheckIfDomainWantsTextOnly=-1\r\nBracketOnFrom=False\r\nnot a "
                  "setting\r\n");
        writeFile(home.file("MailEventProfiles/Default Mail Event"), "[Profile]\r\n");
        const QByteArray before = readFileBytes(home.file("Tamberlyn.ini"));
        QVERIFY(home.start());
        const AppSettings& s = appSettings();
        QCOMPARE(s.MailServer, QStringLiteral("smtp.example.test"));
        QCOMPARE(s.SMTPPort, 587);
        QCOMPARE(s.WordWrapSize, 76);          // key missing
        QCOMPARE(s.StartMaximized, qint16(2)); // letters
        QVERIFY(s.CheckIfDomainWantsTextOnly);
        QVERIFY(!s.BracketOnFrom);
        QCOMPARE(s.MailEventProfile, QString());
        QCOMPARE(readFileBytes(home.file("Tamberlyn.ini")), before);
    }

    void missingDefaultMailEventIsRecreatedAndRecorded() {
        TestHome home;
        writeFile(home.file("Tamberlyn.ini"), "[ApplicationDefaults]\nMailEventProfile=Other\n");
        QVERIFY(home.start());
        QVERIFY(QFile::exists(home.file("MailEventProfiles/Default Mail Event")));
        QCOMPARE(appSettings().MailEventProfile, QStringLiteral("Default Mail Event"));
        QCOMPARE(app().ini.GetValue("ApplicationDefaults", "MailEventProfile"),
                 QStringLiteral("Default Mail Event"));
    }

    void executableName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("linux") << "tamberlyn" << true;
        QTest::newRow("windows upper") << "TAMBERLYN.EXE" << true;
        QTest::newRow("mixed") << "Tamberlyn" << true;
        QTest::newRow("renamed") << "tamberlyn2" << false;
        QTest::newRow("renamed exe") << "mailer.exe" << false;
    }
    void executableName() {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        QCOMPARE(Startup::isExpectedExecutableName(name), accepted);
    }

    void renamedExecutableIsRefusedBeforeAnythingIsWritten() {
        TestHome home;
        StartupOptions options{home.path(), QStringLiteral("mailer"), &home.prompter};
        QCOMPARE(Startup(options).run(), Startup::Result::Refused);
        QCOMPARE(
            home.prompter.texts(),
            QStringList{"The executable file name has been changed to 'mailer' , please change it back to "
                        "'Tamberlyn.exe'.  Thank you."});
        QVERIFY(!QFileInfo::exists(home.path()));
    }

    void secondInstanceIsRefusedWithoutTouchingFiles() {
        TestHome home;
        QVERIFY(home.start());
        QFile::remove(home.file("Tamberlyn.ini"));
        ScriptedPrompter second;
        StartupOptions options{home.path(), QStringLiteral("tamberlyn"), &second};
        QCOMPARE(Startup(options).run(), Startup::Result::Refused);
        QCOMPARE(second.texts(), QStringList{Startup::alreadyRunningText()});
        QCOMPARE(second.shown().first().icon, Prompter::Icon::Exclamation);
        QVERIFY(Startup::alreadyRunningText().startsWith("Tamberlyn is already running. Only one copy may be "
                                                         "open at the same time.\n\nNote: If this message"));
        QVERIFY(!QFile::exists(home.file("Tamberlyn.ini")));
    }

    void lockIsReleasedWhenTheHolderEnds() {
        TestHome home;
        {
            ScriptedPrompter first;
            Startup running(StartupOptions{home.path(), QStringLiteral("tamberlyn"), &first});
            QCOMPARE(running.run(), Startup::Result::Started);
        }
        QVERIFY(home.start());
    }

    void validFileNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "Spring letter" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("angle brackets") << "<news>" << true;
        QTest::newRow("inner apostrophe") << "Ann's list" << true;
        QTest::newRow("leading apostrophe") << "'list" << false;
        QTest::newRow("semicolon") << "a;b" << false;
        for (const char* c : {"\"", "/", "\\", "?", ":", "|", "*"})
            QTest::newRow(c) << QStringLiteral("a%1b").arg(QLatin1String(c)) << false;
    }
    void validFileNames() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidFileName(name), valid);
    }

    void errorLogEntries() {
        QTemporaryDir dir;
        const QString log = dir.path() + QStringLiteral("/Errors.log");
        LogErrorTo(log, QStringLiteral("MergeMessage in mdlMerge"));
        LogErrorTo(log, QStringLiteral("Import in mdlImport"), {3078, QStringLiteral("Table not found")});
        const QStringList lines = QString::fromUtf8(readFileBytes(log)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 11); // two entries of five lines, and the final line end
        QCOMPARE(lines[0],
                 QStringLiteral("%1.%2.%3").arg(Version::Major).arg(Version::Minor).arg(Version::Revision));
        QCOMPARE(lines[2], QStringLiteral("Called From: MergeMessage in mdlMerge"));
        QCOMPARE(lines[3], QStringLiteral("0 - "));
        QCOMPARE(lines[4], QString());
        QCOMPARE(lines[7], QStringLiteral("Called From: Import in mdlImport"));
        QCOMPARE(lines[8], QStringLiteral("3078 - Table not found"));
        QCOMPARE(lines[9], QString());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
