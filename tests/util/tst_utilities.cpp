#include "util/FileNameObject.h"
#include "util/RegistryFunctionsClass.h"
#include "util/StringFunctionsObject.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace StringFunctionsObject;

class TestUtilities : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void supertrimCleansControlCharacters() {
        QString text = QStringLiteral("\t one\ttwo\r\n");
        QCOMPARE(supertrim(text), QStringLiteral("one two"));
        QCOMPARE(text, QStringLiteral("one two"));
        QString nul = QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
        QCOMPARE(supertrim(nul), QStringLiteral("a b"));
    }

    void replaceStringKeepsTheTail() {
        QCOMPARE(replaceString("xxabyyabzz", "ab", "-"), QStringLiteral("xx-yy-zz"));
        QCOMPARE(replaceString("aaaa", "aa", "a"), QStringLiteral("aa"));
        QCOMPARE(replaceString("abc", "", "x"), QStringLiteral("abc"));
    }

    void szLFToCRLF_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("crlf unchanged") << "a\r\n"
                                        << "a\r\n";
        QTest::newRow("lf") << "a\n"
                            << "a\r\n";
        QTest::newRow("cr") << "a\r"
                            << "a\r\n";
        QTest::newRow("plain") << "a"
                               << "a\r\n";
        QTest::newRow("just lf") << "\n"
                                 << "\r\n";
        QTest::newRow("inner untouched") << "a\nb"
                                         << "a\nb\r\n";
    }
    void szLFToCRLF() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(StringFunctionsObject::szLFToCRLF(text), expected);
        QCOMPARE(text, expected);
    }

    void parsingAndTrimming() {
        QCOMPARE(szParseString("a,b", ",", 3), QString());
        QCOMPARE(szParseString("a,b,c", ",", 2), QStringLiteral("b"));
        QCOMPARE(szParseString("a,b,c", ",", 3), QStringLiteral("c"));
        QCOMPARE(szTrimCRLF("a\r\n"), QStringLiteral("a"));
        QCOMPARE(szTrimCRLF("a\n\n"), QStringLiteral("a\n"));
        QCOMPARE(szTrimCRLF(""), QString());
        QStringList array{QStringLiteral("x")};
        ParseToArray("a;b", ";", array);
        QCOMPARE(array, (QStringList{"x", "a", "b"}));
        QVERIFY(isLong("2147483647"));
        QVERIFY(!isLong("2147483648"));
        QVERIFY(!isLong("12a"));
        QCOMPARE(fixDoubleQuotesInString("say \"hi\""), QStringLiteral("say \"\"hi\"\""));
    }

    void stripHtml() {
        QCOMPARE(szStripHTML("<p>One<br>Two</p><hr>&lt;x&gt;"),
                 QStringLiteral("\r\n\r\nOne\r\nTwo\r\n") + QString(50, u'-') + QStringLiteral("\r\n<x>"));
    }

    void fileNamesSplitAtEitherSlash_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("unix") << "/home/a/list.mdb"
                              << "/home/a/"
                              << "list"
                              << "mdb";
        QTest::newRow("windows") << "C:\\Data\\my.list.mdb"
                                 << "C:\\Data\\"
                                 << "my.list"
                                 << "mdb";
        QTest::newRow("mixed") << "/home/a\\b/c.txt"
                               << "/home/a\\b/"
                               << "c"
                               << "txt";
        QTest::newRow("no suffix") << "/x/readme"
                                   << "/x/"
                                   << "readme"
                                   << "";
        QTest::newRow("trimmed") << "  a.b  "
                                 << ""
                                 << "a"
                                 << "b";
    }
    void fileNamesSplitAtEitherSlash() {
        QFETCH(QString, path);
        QFETCH(QString, directory);
        QFETCH(QString, name);
        QFETCH(QString, suffix);
        FileNameObject f;
        f.setFullFileName(path);
        QCOMPARE(f.FileDirectory(), directory);
        QCOMPARE(f.FileNameOnly(), name);
        QCOMPARE(f.suffix(), suffix);
    }

    void uniqueFileNames() {
        QTemporaryDir dir;
        FileNameObject f;
        const QString first = f.GetUniqueFileName("report", 7, "", dir.path());
        QCOMPARE(first, dir.path() + QStringLiteral("/repo0007.tmp"));
        QFile(first).open(QIODevice::WriteOnly);
        QCOMPARE(f.GetUniqueFileName("report", 0, "txt", dir.path()),
                 dir.path() + QStringLiteral("/repo0007.txt"));
        QCOMPARE(f.GetUniqueFileName("report", 0, "", dir.path()),
                 dir.path() + QStringLiteral("/repo0008.tmp"));
        QCOMPARE(f.GetUniqueFileName("  ", 12345, ".x", dir.path() + "/"),
                 dir.path() + QStringLiteral("/~bns12345.x"));
    }

    void quotesAndSlashes() {
        QCOMPARE(FileNameObject::AddQuotes("/a b/c"), QStringLiteral("\"/a b/c\""));
        QCOMPARE(FileNameObject::AddQuotes("/ab/c"), QStringLiteral("/ab/c"));
        QCOMPARE(FileNameObject::AddQuotes("\"/a b\""), QStringLiteral("\"/a b\""));
        QCOMPARE(FileNameObject::ForwardSlashesOnly("a\\b\\c"), QStringLiteral("a/b/c"));
        QCOMPARE(FileNameObject::BackSlashesOnly("a/b"), QStringLiteral("a\\b"));
        QVERIFY(FileNameObject::UserFilePath().endsWith(u'/'));
    }

    void registryValuesRoundTrip() {
        QTemporaryDir dir;
        RegistryFunctionsClass registry(dir.path() + QStringLiteral("/sub/registry.ini"));
        QCOMPARE(registry.ReadRegistry("HKEY_CURRENT_USER", "Software\\Tamberlyn"), QString());
        registry.WriteRegistry("HKEY_CURRENT_USER", "Software\\Tamberlyn", "  value  ");
        QCOMPARE(registry.ReadRegistry("hkey_current_user", "software\\tamberlyn"), QStringLiteral("value"));
        QCOMPARE(RegistryFunctionsClass::ZTrim(QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("cd")),
                 QStringLiteral("ab"));
    }

    void programOfCommandLine_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("program");
        QTest::newRow("quoted with arguments") << "\"/opt/my browser/bin\" --new %u"
                                               << "/opt/my browser/bin";
        QTest::newRow("plain with arguments") << "firefox %u"
                                              << "firefox";
        QTest::newRow("plain alone") << "/usr/bin/chromium"
                                     << "/usr/bin/chromium";
    }
    void programOfCommandLine() {
        QFETCH(QString, commandLine);
        QFETCH(QString, program);
        QCOMPARE(RegistryFunctionsClass::ProgramOfCommandLine(commandLine), program);
    }

    void desktopEntryExec() {
        QTemporaryDir dir;
        QFile file(dir.path() + QStringLiteral("/browser.desktop"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nName=Browser\nExec=/usr/bin/browser --private %U\n"
                   "[Desktop Action new]\nExec=/usr/bin/other\n");
        file.close();
        QCOMPARE(RegistryFunctionsClass::ExecOfDesktopEntry(file.fileName()),
                 QStringLiteral("/usr/bin/browser --private"));
    }
};

QTEST_GUILESS_MAIN(TestUtilities)
#include "tst_utilities.moc"
