#include "util/IniFilesObject.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestIniFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    IniFilesObject ini_;

    QString path() const { return dir_.path() + QStringLiteral("/test.ini"); }
    void writeRaw(const QByteArray& bytes) {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray readRaw() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init() {
        QFile::remove(path());
        ini_ = IniFilesObject();
        ini_.setInitializationFileName(path());
    }

    void emptyValueReadsAsDefault() {
        writeRaw("[S]\nEmpty=\nOne=x\n");
        QCOMPARE(ini_.INIGetSetting("S", "Empty", "dflt"), QStringLiteral("dflt"));
        QCOMPARE(ini_.GetValue("S", "Empty"), QString());
        QCOMPARE(ini_.GetValueWithDefault("S", "Empty", "dflt"), QString());
        QCOMPARE(ini_.INIGetSetting("S", "One", "dflt"), QStringLiteral("x"));
        QCOMPARE(ini_.INIGetSetting("S", "Missing", "dflt"), QStringLiteral("dflt"));
        QCOMPARE(ini_.GetValueWithDefault("Nope", "Missing", "d2"), QStringLiteral("d2"));
    }

    void longValuesAreCutByTheBufferSize() {
        const QString long300(300, u'v');
        ini_.WriteKeyName("S", "Long", long300);
        QCOMPARE(ini_.INIGetSetting("S", "Long", ""), long300.left(254));
        QCOMPARE(ini_.GetValue("S", "Long"), long300);
    }

    void keyNamesAreNulSeparatedInFileOrder() {
        writeRaw("[S]\nA=1\nB=2\n[T]\nC=3\n");
        const QString names = ini_.GetKeyNames("S");
        QCOMPARE(names,
                 QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B") + QChar(u'\0') + QChar(u'\0'));
        QCOMPARE(names.size(), 5);
        QCOMPARE(ini_.GetKeyNames("Missing"), QString(QChar(u'\0')));
    }

    void parseAnyString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first") << "a;b;" << 0 << "a";
        QTest::newRow("second") << "a;b;" << 1 << "b";
        QTest::newRow("past the trailing delimiter") << "a;b;" << 2 << "";
        QTest::newRow("no delimiter") << "abc" << 0 << "abc";
        QTest::newRow("empty field") << "a;;c" << 1 << "";
        QTest::newRow("empty text") << "" << 0 << "";
    }
    void parseAnyString() {
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(QString, expected);
        QCOMPARE(IniFilesObject::ParseAnyString(text, index, u';'), expected);
    }

    void searchValuesReturnsTheLaterKey() {
        writeRaw("[S]\nFirst=same\nOther=x\nSecond=same\n");
        QCOMPARE(ini_.SearchValues("S", "same"), QStringLiteral("Second"));
        QCOMPARE(ini_.SearchValues("S", "SAME"), QString());
    }

    void blankFileNameKeepsThePreviousPath() {
        ini_.setInitializationFileName("   ");
        QCOMPARE(ini_.InitializationFileName(), path());
    }

    void namesMatchWithoutRegardToCase() {
        writeRaw("[Section]\nMyKey=value\n");
        QCOMPARE(ini_.GetValue("SECTION", "mykey"), QStringLiteral("value"));
        ini_.WriteKeyName("section", "MYKEY", "new");
        QCOMPARE(readRaw(), QByteArray("[Section]\nMYKEY=new\n"));
    }

    void keyNameExistsCountsUpToTwo() {
        writeRaw("[S]\nLong=abcdef\nOne=a\nEmpty=\n");
        QCOMPARE(ini_.KeyNameExists("S", "Long"), qint16(2));
        QCOMPARE(ini_.KeyNameExists("S", "One"), qint16(1));
        QCOMPARE(ini_.KeyNameExists("S", "Empty"), qint16(0));
        QCOMPARE(ini_.KeyNameExists("S", "Missing"), qint16(0));
    }

    void writesKeepEverythingElseInPlace() {
        writeRaw("\xEF\xBB\xBF; comment\r\n[A]\r\nx = 1\r\njunk line\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
        ini_.WriteKeyName("A", "y", "20");
        ini_.WriteKeyName("A", "new", "n");
        ini_.WriteKeyName("C", "k", "v");
        QCOMPARE(readRaw(),
                 QByteArray("\xEF\xBB\xBF; comment\r\n[A]\r\nx = 1\r\njunk line\r\ny=20\r\nnew=n\r\n\r\n"
                            "[B]\r\nz=3\r\n[C]\r\nk=v\r\n"));
        QCOMPARE(ini_.GetValue("A", "x"), QStringLiteral("1"));
        QCOMPARE(ini_.GetKeyNames("A").count(QChar(u'\0')), 4); // x, y, new + final NUL
    }

    void valuesCannotInjectLines() {
        ini_.WriteKeyName("S", "A", "one\r\n[Evil]\nB=2");
        QCOMPARE(ini_.GetKeyNames("Evil"), QString(QChar(u'\0')));
        QCOMPARE(ini_.GetValue("S", "A"), QStringLiteral("one  [Evil] B=2"));
    }

    void quotesAndWhitespaceAroundValues() {
        writeRaw("[S]\n  Key  =   \"quoted value\"  \nSingle='x'\nHalf=\"open\n");
        QCOMPARE(ini_.GetValue("S", "Key"), QStringLiteral("quoted value"));
        QCOMPARE(ini_.GetValue("S", "Single"), QStringLiteral("x"));
        QCOMPARE(ini_.GetValue("S", "Half"), QStringLiteral("\"open"));
    }

    void firstOccurrenceWins() {
        writeRaw("[S]\nK=1\nK=2\n[S]\nK=3\nL=4\n");
        QCOMPARE(ini_.GetValue("S", "K"), QStringLiteral("1"));
        QCOMPARE(ini_.GetValue("S", "L"), QString());
    }

    void deleteKeyAndSection() {
        writeRaw("[A]\nx=1\ny=2\n[B]\nz=3\n");
        ini_.DeleteKeyName("A", "x");
        ini_.DeleteSection("B");
        QCOMPARE(readRaw(), QByteArray("[A]\ny=2\n"));
    }

    void missingFileIsCreatedOnFirstWriteAndReadsDefaults() {
        QCOMPARE(ini_.INIGetSetting("S", "K", "d"), QStringLiteral("d"));
        QVERIFY(!QFile::exists(path()));
        ini_.INISaveSetting("S", "K", "v");
        QCOMPARE(readRaw(), QByteArray("[S]\nK=v\n"));
        QVERIFY(ini_.KillINIFile());
        QVERIFY(!ini_.KillINIFile());
    }

    void windowsCodePageFilesStillRead() {
        writeRaw("[S]\nName=Caf\xE9\n");
        QCOMPARE(ini_.GetValue("S", "Name"), QStringLiteral("Caf\u00E9"));
        ini_.WriteKeyName("S", "Other", "\u00FC");
        QCOMPARE(ini_.GetValue("S", "Other"), QStringLiteral("\u00FC"));
    }
};

QTEST_GUILESS_MAIN(TestIniFiles)
#include "tst_inifiles.moc"
