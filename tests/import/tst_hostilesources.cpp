// Source files built to hurt: a FIFO in place of a file, a Paradox table whose block chain loops, a
// workbook that inflates far beyond its size. Each is refused quickly with the import's messages, and no
// list is left behind. The command runs as a real process so that a hang fails the test instead of
// stopping it.
#include "FixtureRows.h"
#include "core/AppSettings.h"
#include "import/ExcelReader.h"
#include "import/ImportEngine.h"
#include "import/IsolatedReader.h"
#include "support/TestHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace importer;

namespace {

struct ProcessRun {
    bool finished = false;
    int status = -1;
    QString err;
    qint64 milliseconds = 0;
};

// "tamberlyn --home HOME import ARGUMENTS", killed when it runs longer than limit.
ProcessRun runImport(const QString& home, const QStringList& arguments, int limit = 20000) {
    ProcessRun run;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                  QStringList{QStringLiteral("--home"), home, QStringLiteral("import")} + arguments);
    run.finished = process.waitForFinished(limit);
    run.milliseconds = clock.elapsed();
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void copyFixture(const QString& relative, const QString& target) {
    QVERIFY(QFile::copy(fixture::path(relative), target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

// Writes two bytes (little-endian) at offset.
void patchWord(const QString& path, qint64 offset, quint16 value) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    const char bytes[2] = {char(value & 0xFF), char(value >> 8)};
    QCOMPARE(file.write(bytes, 2), qint64(2));
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putLe(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A zip package of deflated parts; each part's header states statedSize as its inflated size when that
// is not negative (a package that lies about its size), else the true size.
QByteArray zipPackage(const QList<std::pair<QByteArray, QByteArray>>& parts, qint64 statedSize = -1) {
    QByteArray out;
    QByteArray directory;
    for (const auto& [name, content] : parts) {
        // qCompress: a 4-byte length and a 2-byte zlib header before the deflate data, Adler-32 after.
        const QByteArray deflated = qCompress(content, 9).mid(6).chopped(4);
        const quint32 size = quint32(statedSize >= 0 ? statedSize : content.size());
        const quint32 offset = quint32(out.size());
        QByteArray common;
        putLe(common, 20, 2); // version needed
        putLe(common, 0, 2);  // flags
        putLe(common, 8, 2);  // deflate
        putLe(common, 0, 4);  // time and date
        putLe(common, crc32(content), 4);
        putLe(common, quint32(deflated.size()), 4);
        putLe(common, size, 4);
        putLe(common, quint32(name.size()), 2);
        putLe(common, 0, 2); // extra length
        putLe(out, 0x04034b50, 4);
        out += common + name + deflated;
        putLe(directory, 0x02014b50, 4);
        putLe(directory, 20, 2); // made by
        directory += common;
        putLe(directory, 0, 2); // comment length
        putLe(directory, 0, 2); // disk
        putLe(directory, 0, 2); // internal attributes
        putLe(directory, 0, 4); // external attributes
        putLe(directory, offset, 4);
        directory += name;
    }
    const quint32 directoryOffset = quint32(out.size());
    out += directory;
    putLe(out, 0x06054b50, 4);
    putLe(out, 0, 4);
    putLe(out, quint32(parts.size()), 2);
    putLe(out, quint32(parts.size()), 2);
    putLe(out, quint32(directory.size()), 4);
    putLe(out, directoryOffset, 4);
    putLe(out, 0, 2);
    return out;
}

// A workbook with one sheet "People": a Mail heading and rows addresses below it.
QByteArray workbookWithRows(int rows, qint64 statedSize = -1) {
    QByteArray sheet = "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>Mail</t></is></c></row>";
    for (int i = 1; i <= rows; ++i)
        sheet += "<row><c t=\"inlineStr\"><is><t>person" + QByteArray::number(i) +
                 "@example.org</t></is></c></row>";
    sheet += "</sheetData></worksheet>";
    return zipPackage(
        {{"xl/workbook.xml", "<workbook xmlns:r=\"urn:r\"><sheets><sheet name=\"People\" "
                             "r:id=\"rId1\"/></sheets></workbook>"},
         {"xl/_rels/workbook.xml.rels",
          "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
         {"xl/worksheets/sheet1.xml", sheet}},
        statedSize);
}

QStringList tempLists() {
    return QDir(appFolders().TempFolder).entryList({QStringLiteral("*.mdb")}, QDir::Files);
}

} // namespace

class TestHostileSources : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

private Q_SLOTS:
    void initTestCase() { IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE)); }
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        home->stop();
    }
    void cleanup() { home.reset(); }

    // A FIFO given as the source file is refused before any reader waits on it.
    void fifoRefusedAtOnce_data() {
        QTest::addColumn<QString>("type");
        QTest::newRow("Excel") << "EXCEL5";
        QTest::newRow("text") << "DBTEXTFILE";
        QTest::newRow("dBase") << "DBDBASE3";
        QTest::newRow("Paradox") << "DBPARADOX5";
        QTest::newRow("Access") << "DBACCESS";
        QTest::newRow("ACT!") << "DBACT4";
    }
    void fifoRefusedAtOnce() {
        QFETCH(QString, type);
        QTemporaryDir dir;
        const QString fifo = dir.filePath("contacts.xls");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const ProcessRun run = runImport(home->path(), {"--type", type, "--file", fifo, "--tables"});
        QVERIFY2(run.finished, "the import waited on the FIFO");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(ImportText::invalidFile(fifo)), qPrintable(run.err));
        QVERIFY(run.milliseconds < 5000);
    }

    // A data block whose next-block number points back at itself would have the library walk for ever.
    void loopingParadoxChainRefused_data() {
        QTest::addColumn<quint16>("nextBlock");
        QTest::newRow("block 1 to itself") << quint16(1);
        QTest::newRow("block beyond the file") << quint16(9);
    }
    void loopingParadoxChainRefused() {
        QFETCH(quint16, nextBlock);
        QTemporaryDir dir;
        const QString table = dir.filePath("CONTACTS.DB");
        copyFixture("paradox/contacts/CONTACTS.DB", table);
        copyFixture("paradox/contacts/CONTACTS.MB", dir.filePath("CONTACTS.MB"));
        // The header is 0x800 bytes long; the first data block starts with its next-block number.
        patchWord(table, 0x800, nextBlock);
        const ProcessRun run = runImport(home->path(), {"--type", "DBPARADOX5", "--file", table, "--tables"});
        QVERIFY2(run.finished, "the import walked the block chain for ever");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(ImportText::invalidFile(table)), qPrintable(run.err));
        QVERIFY2(run.milliseconds < 5000, qPrintable(QString::number(run.milliseconds)));
    }

    // A sheet is read as it inflates; one that inflates beyond the limit is refused and leaves no list.
    void inflatedWorkbookRefused_data() {
        QTest::addColumn<qint64>("statedSize");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("refused");
        QTest::newRow("within the limit") << qint64(-1) << (qint64(1) << 30) << false;
        QTest::newRow("stated size over the limit") << qint64(-1) << qint64(64 * 1024) << true;
        QTest::newRow("stated size understated") << qint64(1000) << qint64(64 * 1024) << true;
    }
    void inflatedWorkbookRefused() {
        QFETCH(qint64, statedSize);
        QFETCH(qint64, limit);
        QFETCH(bool, refused);
        QVERIFY(home->start());
        QTemporaryDir dir;
        const QString path = dir.filePath("people.xlsx");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(workbookWithRows(40000, statedSize)); // about 2 MB of sheet
        file.close();
        XlsxReader::setPartSizeLimit(limit);
        ImportRequest request;
        request.type = sourceTypeByCode("DBEXCEL5");
        request.path = path;
        request.roles.email = "Mail";
        request.listName = "People";
        const ImportResult result = ImportJob(request, home->prompter).run();
        XlsxReader::setPartSizeLimit(qint64(1) << 30);
        if (!refused) {
            QVERIFY(result.succeeded());
            QCOMPARE(result.summary.rowsImported, qint64(40000));
            QVERIFY(QFile::remove(result.listPath));
            return;
        }
        QCOMPARE(result.listPath, QString("<Error:"));
        QCOMPARE(home->prompter.texts(), QStringList{ImportText::cannotRead()});
        QCOMPARE(tempLists(), QStringList());
    }

    // A library reader that crashes, hangs or grows without end in its child process gives the import's
    // cannot-open or cannot-read message, and nothing of the half-read file becomes a list.
    void failingLibraryReader_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<bool>("whileOpening");
        QTest::newRow("Paradox crash while reading") << "DBPARADOX5"
                                                     << "paradox/contacts/CONTACTS.DB"
                                                     << ""
                                                     << "Email" << QByteArray("crash@3") << false;
        QTest::newRow("Access hang while reading") << "DBACCESS"
                                                   << "access/contacts_jet4/contacts.mdb"
                                                   << "Contacts"
                                                   << "E-mail" << QByteArray("hang@2") << false;
        QTest::newRow("Access memory without end") << "DBACCESS"
                                                   << "access/contacts_jet4/contacts.mdb"
                                                   << "Contacts"
                                                   << "E-mail" << QByteArray("grow@2") << false;
        QTest::newRow("xls crash while opening") << "DBEXCEL5"
                                                 << "excel/workbook/contacts.xls"
                                                 << "Contacts$"
                                                 << "E-mail" << QByteArray("crash@open") << true;
        QTest::newRow("Paradox hang while opening") << "DBPARADOX5"
                                                    << "paradox/contacts/CONTACTS.DB"
                                                    << ""
                                                    << "Email" << QByteArray("hang@open") << true;
    }
    void failingLibraryReader() {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, email);
        QFETCH(QByteArray, fault);
        QFETCH(bool, whileOpening);
        QVERIFY(home->start());
        ImportRequest request;
        request.type = sourceTypeByCode(type);
        request.path = fixture::path(file);
        request.table = table;
        request.roles.email = email;
        request.listName = "Half";
        qputenv("TAMBERLYN_READER_FAULT", fault);
        // A hang is ended after two seconds: long enough for a sanitized child to start on a busy machine,
        // far below the usual ten. Other faults must end the child on their own, well within the bound.
        IsolatedReader::setProgressTimeout(fault.startsWith("hang") ? 2000 : 60000);
        IsolatedReader::setMemoryLimit(qint64(512) << 20);
        QElapsedTimer clock;
        clock.start();
        const ImportResult result = ImportJob(request, home->prompter).run();
        const qint64 elapsed = clock.elapsed();
        qunsetenv("TAMBERLYN_READER_FAULT");
        IsolatedReader::setProgressTimeout(10000);
        IsolatedReader::setMemoryLimit(qint64(1) << 30);
        QCOMPARE(result.listPath, QString("<Error:"));
        QCOMPARE(home->prompter.texts(), QStringList{whileOpening ? ImportText::invalidFile(request.path)
                                                                  : ImportText::cannotRead()});
        QCOMPARE(tempLists(), QStringList());
        QVERIFY2(elapsed < 8000, qPrintable(QString::number(elapsed)));

        // Without the fault the same file reads through the child.
        ScriptedPrompter quiet;
        const ImportResult clean = ImportJob(request, quiet).run();
        QVERIFY2(clean.succeeded(), qPrintable(quiet.texts().join(u'|')));
        QVERIFY(clean.summary.recordsRead > 3);
        QVERIFY(QFile::remove(clean.listPath));
        QFile::remove(clean.nullEntries.newListPath);
    }
};

QTEST_GUILESS_MAIN(TestHostileSources)
#include "tst_hostilesources.moc"
