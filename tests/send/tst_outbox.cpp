#include "send/Outbox.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

// A raw client: what it writes goes out as one chunk, so pipelining is exercised as written.
class RawClient {
public:
    explicit RawClient(quint16 port) { socket_.connectToHost(QHostAddress::LocalHost, port); }
    void write(const QByteArray& bytes) { socket_.write(bytes); }
    // The codes of the next count replies (multi-line replies count once).
    QList<int> replies(int count) {
        QList<int> codes;
        while (codes.size() < count) {
            // The server may run in this thread: wait with the event loop turning.
            if (!QTest::qWaitFor([this] { return socket_.canReadLine(); }, 5000))
                return codes;
            const QByteArray line = socket_.readLine();
            if (line.size() > 3 && line[3] == '-')
                continue;
            codes << line.left(3).toInt();
        }
        return codes;
    }
    QTcpSocket& socket() { return socket_; }

private:
    QTcpSocket socket_;
};

} // namespace

class TestOutbox : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    // Pipelined replies in order, data un-stuffed (bare LF kept), numbers after the highest file there.
    void storesPipelinedMessagesAfterTheHighestNumber() {
        const QString folder = dir_.filePath(QStringLiteral("numbered"));
        QDir().mkpath(folder);
        QFile(folder + QStringLiteral("/000007.eml")).open(QIODevice::WriteOnly);
        QFile(folder + QStringLiteral("/notes.eml")).open(QIODevice::WriteOnly);
        Outbox box;
        OutboxOptions options;
        options.directory = folder;
        options.refusePattern = QStringLiteral("^NOBODY@");
        QVERIFY(box.start(options));
        QSignalSpy stored(&box, &Outbox::messageStored);

        RawClient client(box.port());
        QCOMPARE(client.replies(1), QList<int>{220});
        client.write("EHLO me\r\nMAIL FROM:<a@client.test> SIZE=40\r\nRCPT TO:<c@example.test>\r\n"
                     "RCPT TO:<nobody@example.test>\r\nDATA\r\n");
        QCOMPARE(client.replies(5), (QList<int>{250, 250, 250, 550, 354}));
        client.write(
            "Subject: s\r\n\r\n..stuffed\r\nbare\nLF\r\n.\r\nMAIL FROM:<>\r\nRCPT TO:<d@example.test>\r\n"
            "DATA\r\n.\r\nQUIT\r\n");
        QCOMPARE(client.replies(5), (QList<int>{250, 250, 250, 354, 250}));
        QCOMPARE(client.replies(1), QList<int>{221});

        QCOMPARE(box.storedCount(), 2);
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored[0][0].toString(), folder + QStringLiteral("/000008.eml"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/000008.eml")),
                 QByteArray("Subject: s\r\n\r\n.stuffed\r\nbare\nLF\r\n"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/000008.env")),
                 QByteArray("MAIL FROM:<a@client.test>\nRCPT TO:<c@example.test>\n"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/000009.eml")), QByteArray());
        QCOMPARE(readFileBytes(folder + QStringLiteral("/000009.env")),
                 QByteArray("MAIL FROM:<>\nRCPT TO:<d@example.test>\n"));
    }

    // Commands out of order are refused; replies come slowly when asked.
    void refusesCommandsOutOfOrder() {
        Outbox box;
        OutboxOptions options;
        options.directory = dir_.filePath(QStringLiteral("order"));
        options.replyDelayMs = 20;
        QVERIFY(box.start(options));
        RawClient client(box.port());
        QCOMPARE(client.replies(1), QList<int>{220});
        QElapsedTimer elapsed;
        elapsed.start();
        client.write(
            "MAIL FROM:<a@b.test>\r\nHELO me\r\nRCPT TO:<c@d.test>\r\nDATA\r\nMAIL FROM:<a@b.test>\r\n"
            "DATA\r\nMAIL FROM:<x@b.test>\r\nRSET\r\nMAIL FROM:<a@b.test> SIZE=99999999\r\nVRFY x\r\n"
            "MAIL FROM:a@b.test\r\nNOOP\r\n");
        QCOMPARE(client.replies(12),
                 (QList<int>{503, 250, 503, 503, 250, 554, 503, 250, 552, 502, 501, 250}));
        QVERIFY(elapsed.elapsed() >= 12 * 20 - 10);
        QCOMPARE(box.storedCount(), 0);
    }

    // The certificate is made once and kept for the next start.
    void keepsItsCertificate() {
        OutboxOptions options;
        options.directory = dir_.filePath(QStringLiteral("tls"));
        Outbox first;
        QVERIFY(first.start(options));
        Outbox second;
        QVERIFY(second.start(options));
        QVERIFY(!first.certificate().isNull());
        QCOMPARE(second.certificate(), first.certificate());
        QVERIFY(first.certificate()
                    .subjectAlternativeNames()
                    .values(QSsl::IpAddressEntry)
                    .contains(QStringLiteral("127.0.0.1")));
        QCOMPARE(QFile(options.directory + QStringLiteral("/outbox-key.pem")).permissions() & 0x0077, 0);
    }

    // --discard answers like a keeping outbox and counts, but writes no message file.
    void discardKeepsNoFile() {
        OutboxOptions options;
        options.directory = dir_.filePath(QStringLiteral("discard"));
        options.discard = true;
        Outbox outbox;
        QVERIFY(outbox.start(options));
        RawClient client(outbox.port());
        client.write("HELO me\r\nMAIL FROM:<a@b.test>\r\nRCPT TO:<c@d.test>\r\nDATA\r\n");
        QCOMPARE(client.replies(5), (QList<int>{220, 250, 250, 250, 354}));
        client.write("One\r\n.\r\nMAIL FROM:<a@b.test>\r\nRCPT TO:<e@d.test>\r\nDATA\r\nTwo\r\n.\r\n");
        QCOMPARE(client.replies(4), (QList<int>{250, 250, 250, 354}));
        QCOMPARE(client.replies(1), QList<int>{250});
        QCOMPARE(outbox.storedCount(), 2);
        QCOMPARE(QDir(options.directory)
                     .entryList({QStringLiteral("*.eml"), QStringLiteral("*.env")}, QDir::Files),
                 QStringList());
    }

    // "tamberlyn outbox" needs no application folder and ends cleanly on SIGTERM.
    void commandRunsUntilTerminated() {
        const QString home = dir_.filePath(QStringLiteral("home"));
        const QString folder = dir_.filePath(QStringLiteral("command"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAMBERLYN_HOME"), home);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                      {QStringLiteral("outbox"), QStringLiteral("--dir"), folder});
        QVERIFY(process.waitForReadyRead(10000));
        const QString first = QString::fromUtf8(process.readLine()).trimmed();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^Outbox listening on 127\\.0\\.0\\.1:(\\d+), saving to (.*)$"))
                .match(first);
        QVERIFY2(match.hasMatch(), qPrintable(first));
        QCOMPARE(match.captured(2), folder);

        RawClient client(match.captured(1).toUShort());
        client.write("HELO me\r\nMAIL FROM:<a@b.test>\r\nRCPT TO:<c@d.test>\r\nDATA\r\n");
        QCOMPARE(client.replies(5), (QList<int>{220, 250, 250, 250, 354}));
        client.write("Hi\r\n.\r\n");
        QCOMPARE(client.replies(1), QList<int>{250});
        QTRY_VERIFY(process.canReadLine() || process.waitForReadyRead(100));
        QCOMPARE(QString::fromUtf8(process.readLine()).trimmed(),
                 QStringLiteral("Stored ") + folder + QStringLiteral("/000001.eml"));

        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(home));
    }

    void commandRefusesABadPattern() {
        QProcess process;
        process.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                      {QStringLiteral("outbox"), QStringLiteral("--dir"),
                       dir_.filePath(QStringLiteral("bad")), QStringLiteral("--refuse"),
                       QStringLiteral("(")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(
            process.readAllStandardError().startsWith("The pattern '(' is not a valid regular expression"));
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "tst_outbox.moc"
