#include "harvest/FileObject.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// Every line Readline gives, reading through blocks of blockSize bytes (0: the default).
QStringList readAll(const QString& path, qint64 blockSize, FileObject* reader = nullptr) {
    FileObject own;
    FileObject& file = reader ? *reader : own;
    file.setMode(QStringLiteral("binary"));
    if (file.OpenFile(path) == 0)
        return {QStringLiteral("<not opened>")};
    if (blockSize > 0)
        file.setSegmentSize(blockSize);
    QStringList lines;
    for (int guard = 0; guard < 100000; ++guard) {
        const QString line = file.Readline();
        if (line == FileObject::EndOfFile() && file.atEndOfFile())
            return lines;
        lines << line;
    }
    return {QStringLiteral("<no end>")};
}

} // namespace

class TestFileObject : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private Q_SLOTS:
    void linesEndAtAnyBreakAndBytesDecodeLineByLine_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << QStringList{"one", "two"};
        QTest::newRow("LF") << QByteArray("one\ntwo\n") << QStringList{"one", "two"};
        QTest::newRow("lone CR") << QByteArray("one\rtwo\r") << QStringList{"one", "two"};
        QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("last line without break") << QByteArray("a\nlast") << QStringList{"a", "last"};
        QTest::newRow("empty lines") << QByteArray("a\n\n\r\n\rb\n") << QStringList{"a", "", "", "", "b"};
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("NUL inside a line")
            << QByteArray("x\0ann@x.org\0y\nnext", 18)
            << QStringList{QStringLiteral("x") + QChar(0) + QStringLiteral("ann@x.org") + QChar(0) + u'y',
                           "next"};
        QTest::newRow("UTF-8") << QByteArray("Zo\xC3\xAB \xE2\x82\xAC\n") << QStringList{"Zo\u00EB \u20AC"};
        QTest::newRow("invalid UTF-8 read as Windows-1252")
            << QByteArray("Zo\xEB \x80 \x92\n") << QStringList{"Zo\u00EB \u20AC \u2019"};
        QTest::newRow("one bad line leaves the next as UTF-8")
            << QByteArray("caf\xE9\ncaf\xC3\xA9") << QStringList{"caf\u00E9", "caf\u00E9"};
    }
    void linesEndAtAnyBreakAndBytesDecodeLineByLine() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const QString path = writeBytes(dir_, QStringLiteral("lines.txt"), bytes);
        // Tiny blocks put every break and every UTF-8 character across a block boundary somewhere.
        for (const qint64 block : {qint64(0), qint64(1), qint64(2), qint64(3), qint64(5)}) {
            FileObject reader;
            QCOMPARE(readAll(path, block, &reader), lines);
            QCOMPARE(reader.BytesRead(), qint64(bytes.size()));
            QCOMPARE(reader.BytesRemaining(), qint64(0));
            QCOMPARE(reader.LinesRead(), qint64(lines.size()));
            QCOMPARE(reader.Readline(), FileObject::EndOfFile());
        }
    }

    void aLineReadingEndOfFileIsNotTheEnd() {
        const QString path = writeBytes(dir_, QStringLiteral("marker.txt"), "a\n##EOF##\nb@x.org\n");
        QCOMPARE(readAll(path, 0), (QStringList{"a", "##EOF##", "b@x.org"}));
    }

    void aVeryLongLineIsReadWholeAcrossBlocks() {
        QByteArray bytes;
        const QByteArray word("\xC3\xA9t\xC3\xA9 ");
        while (bytes.size() < 3 * 1024 * 1024)
            bytes += word;
        bytes += "ann@x.org";
        const QString path = writeBytes(dir_, QStringLiteral("long.txt"), bytes + "\nnext");
        FileObject reader;
        reader.setMode(QStringLiteral("binary"));
        QVERIFY(reader.OpenFile(path) != 0);
        reader.setSegmentSize(4093); // odd, so characters are cut at block ends
        const QString line = reader.Readline();
        QCOMPARE(line, QString::fromUtf8(bytes));
        QCOMPARE(reader.Readline(), QStringLiteral("next"));
        QCOMPARE(reader.Readline(), FileObject::EndOfFile());
    }

    void emptyAndMissingFiles() {
        const QString empty = writeBytes(dir_, QStringLiteral("empty.txt"), {});
        FileObject reader;
        reader.setMode(QStringLiteral("binary"));
        QVERIFY(reader.OpenFile(empty) != 0);
        QCOMPARE(reader.FileSize(), qint64(0));
        QCOMPARE(reader.Readline(), FileObject::EndOfFile());
        reader.closefile();
        reader.setMode(QStringLiteral("input"));
        QCOMPARE(reader.OpenFile(empty), qint16(0));
        QCOMPARE(reader.lastFailure().number, 0);

        const QString missing = dir_.filePath(QStringLiteral("missing.txt"));
        reader.setMode(QStringLiteral("binary"));
        QCOMPARE(reader.OpenFile(missing), qint16(0));
        QCOMPARE(reader.lastFailure().number, 53);
        QCOMPARE(reader.lastFailure().source, QStringLiteral("OpenFile"));
        QVERIFY(!QFile::exists(missing)); // reading never creates the file
        QCOMPARE(reader.Readline(), QString());

        reader.setMode(QStringLiteral("random"));
        QCOMPARE(reader.OpenFile(empty), qint16(0));
        QCOMPARE(reader.lastFailure().number, 54);
    }

    void lineCounterAtEveryTenthLine() {
        QByteArray bytes;
        for (int i = 1; i <= 31; ++i)
            bytes += "line\n";
        const QString path = writeBytes(dir_, QStringLiteral("counter.txt"), bytes);
        FileObject reader;
        QSignalSpy spy(&reader, &FileObject::UpdateLineCounter);
        readAll(path, 0, &reader);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(0).at(0).toLongLong(), 10);
        QCOMPARE(spy.at(2).at(0).toLongLong(), 30);
    }

    void openTellsSizesAndSegments() {
        const QString path = writeBytes(dir_, QStringLiteral("size.txt"), QByteArray(1000, 'x'));
        FileObject reader;
        reader.setSegmentSize(300); // does not survive the open
        QSignalSpy segments(&reader, &FileObject::SegmentsSet);
        QSignalSpy opened(&reader, &FileObject::FileOpened);
        reader.setMode(QStringLiteral("binary"));
        QVERIFY(reader.OpenFile(path) != 0);
        QCOMPARE(reader.segmentSize(), FileObject::DefaultSegmentSize);
        QCOMPARE(reader.FileSize(), qint64(1000));
        QCOMPARE(reader.NumberOfFullSegments(), qint64(0));
        QCOMPARE(reader.SizeOfLastSegment(), qint64(1000));
        QCOMPARE(segments.count(), 1);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), path);
    }

    void aSegmentEndingInsideALineGivesItsHeadThenItsTail() {
        const QString path = writeBytes(dir_, QStringLiteral("segments.txt"), "line one\r\nline two\r\nend");
        FileObject reader;
        reader.setMode(QStringLiteral("binary"));
        QVERIFY(reader.OpenFile(path) != 0);
        QCOMPARE(reader.ReadSegment(14), qint64(14));
        QCOMPARE(reader.ReadTextLineFromSegment(), QStringLiteral("line one"));
        QVERIFY(!reader.EndOfSegment());
        QCOMPARE(reader.ReadTextLineFromSegment(), QStringLiteral("line"));
        QVERIFY(reader.EndOfSegment());
        QCOMPARE(reader.ReadTextLineFromSegment(), QString());
        QCOMPARE(reader.ReadSegment(0), qint64(9));
        QCOMPARE(reader.ReadTextLineFromSegment(), QStringLiteral(" two"));
        QCOMPARE(reader.ReadTextLineFromSegment(), QStringLiteral("end"));
        QCOMPARE(reader.Segmentnumber(), qint64(2));
        QCOMPARE(reader.ReadSegment(0), qint64(0));
        QVERIFY(reader.EndOfSegment());
    }

    void aSegmentDoesNotCutAUtf8Character() {
        const QString path = writeBytes(dir_, QStringLiteral("cut.txt"),
                                        "ab\xC3\xA9"
                                        "cd");
        FileObject reader;
        reader.setMode(QStringLiteral("binary"));
        QVERIFY(reader.OpenFile(path) != 0);
        reader.ReadSegment(3);
        QCOMPARE(reader.currentSegment(), QStringLiteral("ab"));
        reader.ReadSegment(3);
        QCOMPARE(reader.currentSegment(), QStringLiteral("\u00E9c"));
        reader.ReadSegment(3);
        QCOMPARE(reader.currentSegment(), QStringLiteral("d"));
    }

    void modeAndAccessKeepOnlyKnownWords() {
        FileObject reader;
        reader.setMode(QStringLiteral("Binary "));
        QCOMPARE(reader.Mode(), QStringLiteral("binary"));
        reader.setMode(QStringLiteral("sideways"));
        QCOMPARE(reader.Mode(), QStringLiteral("binary"));
        reader.setAccess(QStringLiteral(" READ WRITE"));
        QCOMPARE(reader.Access(), QStringLiteral("read write"));
        reader.setAccess(QStringLiteral("execute"));
        QCOMPARE(reader.Access(), QStringLiteral("read write"));
        reader.setRecordLength(128);
        reader.setRecordLength(-1);
        QCOMPARE(reader.RecordLength(), qint16(128));
        reader.setSegmentSize(0);
        QCOMPARE(reader.segmentSize(), FileObject::DefaultSegmentSize);
    }

    void wholeFileStringReadsItsLastLineToo() {
        const QString path = writeBytes(dir_, QStringLiteral("whole.txt"), "a\r\nb\nlast");
        FileObject reader;
        const QString text = reader.ReadFileIntoString(path);
        QCOMPARE(text, QStringLiteral("a\r\nb\nlast"));
        reader.setFileString(text);
        QCOMPARE(reader.ReadTextLineFromFullFileString(), QStringLiteral("a"));
        QCOMPARE(reader.ReadTextLineFromFullFileString(), QStringLiteral("b"));
        QCOMPARE(reader.ReadTextLineFromFullFileString(), QStringLiteral("last"));
        QCOMPARE(reader.ReadTextLineFromFullFileString(), FileObject::EndOfFile());
        QCOMPARE(reader.ReadTextLineFromFullFileString(1), QStringLiteral("a"));
    }

    void writingAndReadingBackLines() {
        const QString path = dir_.filePath(QStringLiteral("written.txt"));
        FileObject writer;
        QCOMPARE(writer.WriteStringArrayToFile({"one", "  ", "##EOF##", "", "two"}, path, false, true), 3);
        QCOMPARE(readFile(path), QByteArray("one\r\n##EOF##\r\ntwo\r\n"));
        QCOMPARE(writer.WriteStringArrayToFile({"three"}, path, true), 1);
        QStringList lines;
        writer.ReadFileToStringArray(lines, path);
        QCOMPARE(lines, (QStringList{"one", "##EOF##", "two", "three"}));
        writer.ReadFileToStringArray(lines, dir_.filePath(QStringLiteral("nothing.txt")));
        QCOMPARE(lines, QStringList{QString()});
    }

    void savingAStringAndMakingABackup() {
        const QString path = dir_.filePath(QStringLiteral("saved.txt"));
        FileObject file;
        QVERIFY(file.SaveStringToFile(QStringLiteral("first"), path));
        QVERIFY(file.SaveStringToFile(QStringLiteral("second \u00E9"), path));
        QCOMPARE(readFile(path), QByteArray("second \xC3\xA9"));
        QVERIFY(file.CreateBackup());
        QCOMPARE(readFile(dir_.filePath(QStringLiteral("saved.bak"))), QByteArray("second \xC3\xA9"));
        QVERIFY(
            !file.SaveStringToFile(QStringLiteral("x"), dir_.filePath(QStringLiteral("no/such/dir/f.txt"))));
        QCOMPARE(file.lastFailure().description, QStringLiteral("Error saving character string to file"));
        QCOMPARE(file.lastFailure().source, QStringLiteral("SaveStringToFile"));
    }

    void fileNamesAreForwarded() {
        FileObject file;
        file.setFilename(QStringLiteral(" /data/mail/inbox.mbox "));
        QCOMPARE(file.Filename(), QStringLiteral("/data/mail/inbox.mbox"));
        QCOMPARE(file.FileNameOnly(), QStringLiteral("inbox"));
        QCOMPARE(file.suffix(), QStringLiteral("mbox"));
        QCOMPARE(file.Directory(), QStringLiteral("/data/mail/"));
        FileObject::setFilePicker([](const QString&, const QString&, const QString&, bool existing) {
            return existing ? QStringLiteral(" /picked/file.txt ") : QString();
        });
        QCOMPARE(file.GetExistingFileName(), QStringLiteral("/picked/file.txt"));
        QCOMPARE(file.Filename(), QStringLiteral("/picked/file.txt"));
        QCOMPARE(file.GetNewFileName(), QString());
        QCOMPARE(file.Filename(), QStringLiteral("/picked/file.txt"));
        FileObject::setFilePicker({});
    }

private:
    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
};

QTEST_GUILESS_MAIN(TestFileObject)
#include "tst_fileobject.moc"
