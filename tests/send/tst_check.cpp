#include "SendFixture.h"
#include "send/DkimSigner.h"
#include "send/PreflightCheck.h"
#include "support/CommandRun.h"

#include <QStandardPaths>

using namespace SendFixture;

namespace {

// An SMTP server that greets and answers EHLO with the scripted lines and QUIT with 221; it keeps the
// commands it was sent.
class SizeServer : public QObject {
public:
    SizeServer(QByteArray greeting, QByteArray ehlo)
        : greeting_(std::move(greeting)), ehlo_(std::move(ehlo)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* client = server_.nextPendingConnection();
            client->write(greeting_);
            connect(client, &QTcpSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    const QByteArray line = client->readLine().trimmed();
                    commands << line.left(4);
                    client->write(line.startsWith("EHLO") ? ehlo_
                                  : line == "QUIT"        ? "221 bye\r\n"
                                                          : "500 no\r\n");
                }
            });
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QList<QByteArray> commands;

private:
    QTcpServer server_;
    QByteArray greeting_;
    QByteArray ehlo_;
};

} // namespace

// "tamberlyn check": planted faults each give their finding, a clean mailing none; nothing is sent or
// marked.
class TestCheck : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

    // A mailing of the message to two readers; its number.
    qint32 mailing(const MessageRecord& message, const MailEvent& options, int extraReaders = 0) {
        QList<ListFixtures::Row> rows{person(QStringLiteral("ann@one.test"), QStringLiteral("Ann")),
                                      person(QStringLiteral("bo@two.test"), QStringLiteral("Bo"))};
        for (const QString& address : numbered(QStringLiteral("r%1@many.test"), 1, extraReaders, 4))
            rows << person(address, QStringLiteral("R"));
        if (!makeList(*home, QStringLiteral("Two"), rows) || !makeMessage(message) || !options.storeMEP())
            return 0;
        return prepareMailing(*home, QStringLiteral("Two"), message.MessageName, options.MailEventName);
    }

    static MessageRecord clean() {
        MessageRecord message =
            plainMessage(QStringLiteral("Clean"), QStringLiteral("Hello <<FirstName>>.\r\n"));
        message.SendType = 2;
        message.HTMLText =
            QStringLiteral("<html><body><p>Hello <<FirstName>>, here is our news.</p></body></html>");
        message.Subject = QStringLiteral("Our news");
        return message;
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    // Each expected finding is a pattern for one whole line of the output.
    void plantedFaultsAreFound_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("none") << "none" << 0 << QStringList();
        QTest::newRow("missing attachment") << "attachment" << 0
                                            << QStringList{"warning: attachment /nowhere/price list\\.pdf: "
                                                           "the file does not exist; the run leaves it "
                                                           "out"};
        QTest::newRow("tag left") << "tag" << 1
                                  << QStringList{
                                         "error: message: Invalid Fields: .*<<Nickname>>.*",
                                         "error: copy 1 \\(ann@one\\.test\\): the merge tag <<Nickname>> is "
                                         "left in the text",
                                         "error: copy 2 \\(bo@two\\.test\\): the merge tag <<Nickname>> is "
                                         "left in the text"};
        QTest::newRow("html only") << "html" << 0
                                   << QStringList{"warning: message: the HTML has no plain-text alternative"};
        QTest::newRow("long line")
            << "line" << 0
            << QStringList{"warning: message: line 1 of the HTML has 1224 characters; the run has "
                           "to send the part encoded"};
        QTest::newRow("big list without unsubscribe")
            << "big" << 0
            << QStringList{"warning: delivery options: the list has 1001 addresses and the copies offer no "
                           "List-Unsubscribe"};
        QTest::newRow("DKIM key missing") << "nokey" << 1
                                          << QStringList{"error: mailing: DKIM Signing: The DKIM key file "
                                                         "/nowhere/s1\\.pem cannot be read: No such "
                                                         "file or directory Nothing was sent\\."};
        QTest::newRow("From not in the DKIM domain")
            << "unaligned" << 0
            << QStringList{
                   "warning: delivery options: the From address sender@example\\.test is not in the DKIM "
                   "domain example\\.org; receivers may not count the signature for it\\."};
        QTest::newRow("capitals") << "caps" << 0
                                  << QStringList{"warning: message: the subject is written in capitals"};
    }
    void plantedFaultsAreFound() {
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QStringList, findings);
        MessageRecord message = clean();
        if (fault == "attachment")
            message.Attachments = QStringLiteral("/nowhere/price list.pdf");
        else if (fault == "tag")
            message.MessageText += QStringLiteral("Dear <<Nickname>>\r\n");
        else if (fault == "html")
            message.SendType = 1;
        else if (fault == "line") // the text part is wrapped, the HTML is not
            message.HTMLText =
                QStringLiteral("<p>Hi <<FirstName>> ") + QString(1200, u'x') + QStringLiteral("</p>");
        else if (fault == "caps")
            message.Subject = QStringLiteral("FREE OFFER TODAY");
        MailEvent options = plainOptions(QStringLiteral("Checked"));
        QTemporaryDir keys;
        if (fault == "nokey" || fault == "unaligned") {
            options.DKIMDomain = QStringLiteral("example.org");
            options.DKIMSelector = QStringLiteral("s1");
            options.DKIMKeyFile =
                fault == "nokey" ? QStringLiteral("/nowhere/s1.pem") : keys.filePath("s1.pem");
            QString problem;
            if (fault == "unaligned")
                QVERIFY(!DkimSigner::generateKey("example.org", "s1", DkimSigner::KeyType::Ed25519,
                                                 options.DKIMKeyFile, &problem)
                             .isEmpty());
        }
        const qint32 id = mailing(message, options, fault == "big" ? 999 : 0);
        QVERIFY(id > 0);
        home->stop();
        const CommandRun run =
            runCommandLine({"--home", home->path(), "check", QString::number(id), "--sample", "2"});
        QVERIFY2(run.status == status, qPrintable(run.out + run.err));
        QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        const QString summary = lines.takeLast();
        QVERIFY2(lines.size() == findings.size(), qPrintable(run.out));
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(findings[i]))
                         .match(lines[i])
                         .hasMatch(),
                     qPrintable(lines[i]));
        QCOMPARE(summary,
                 QString::number(lines.size()) + " finding(s) in mailing " + QString::number(id) + '.');
        // Nothing sent, nothing marked, no send log.
        QVERIFY(home->start());
        QCOMPARE(markedCount(QStringLiteral("Two")), 0);
        QVERIFY(!QFileInfo::exists(appFolders().sendLog()) ||
                readFileBytes(appFolders().sendLog()).isEmpty());
    }

    // SpamAssassin (local tests only) and the check agree: each of its rule hits on a copy has a finding.
    void spamAssassinHitsHaveFindings() {
        if (QStandardPaths::findExecutable(QStringLiteral("spamassassin")).isEmpty())
            QSKIP("spamassassin is not installed");
        MessageRecord message = clean();
        message.SendType = 1;
        message.Subject = QStringLiteral("FREE OFFER FOR EVERY READER TODAY");
        const qint32 id = mailing(message, plainOptions(QStringLiteral("Checked")));
        QVERIFY(id > 0);
        home->stop();
        QTemporaryDir saved;
        const CommandRun run = runCommandLine(
            {"--home", home->path(), "check", QString::number(id), "--sample", "1", "--save", saved.path()});
        QCOMPARE(run.status, 0);
        const QByteArray copy = readFileBytes(saved.filePath(QStringLiteral("copy-1.eml")));
        // The same copy without its Date and Message-ID, which the run always writes.
        QByteArray stripped = copy;
        for (const char* field : {"Date: ", "Message-ID: "}) {
            const qsizetype at = stripped.indexOf(QByteArray(QByteArray("\r\n") + field));
            stripped.remove(at + 2, stripped.indexOf("\r\n", at + 2) - at);
        }
        const auto hits = [](const QByteArray& text) {
            QProcess spamassassin;
            spamassassin.start(QStringLiteral("spamassassin"), {"-L", "-t", "--cf=required_score 100"});
            spamassassin.write(text);
            spamassassin.closeWriteChannel();
            spamassassin.waitForFinished(120000);
            const QString out = QString::fromLatin1(spamassassin.readAllStandardOutput());
            const QString status =
                out.section(QStringLiteral("X-Spam-Status:"), 1).section(QStringLiteral("\n\n"), 0, 0);
            return status.section(QStringLiteral("tests="), 1)
                .section(QStringLiteral(" autolearn"), 0, 0)
                .simplified()
                .remove(u' ')
                .split(u',');
        };
        const QStringList copyHits = hits(copy);
        QVERIFY2(copyHits.contains("MIME_HTML_ONLY") &&
                     run.out.contains("the HTML has no plain-text alternative"),
                 qPrintable(copyHits.join(u' ') + u'\n' + run.out));
        QVERIFY2(copyHits.contains("SUBJ_ALL_CAPS") && run.out.contains("the subject is written in capitals"),
                 qPrintable(copyHits.join(u' ') + u'\n' + run.out));
        const QStringList strippedHits = hits(stripped);
        QStringList findings;
        for (const PreflightCheck::Finding& f :
             PreflightCheck::inspectCopy(1, {{"ann@one.test"}, {}, stripped}))
            findings << f.text;
        QVERIFY2(strippedHits.contains("MISSING_DATE") &&
                     findings.contains("the header field Date is missing"),
                 qPrintable(strippedHits.join(u' ') + u'\n' + findings.join(u'\n')));
        QVERIFY2(strippedHits.contains("MISSING_MID") &&
                     findings.contains("the header field Message-ID is missing"),
                 qPrintable(strippedHits.join(u' ') + u'\n' + findings.join(u'\n')));
    }

    // --server reads the size the server announces, warns for each copy over it and sends nothing but
    // EHLO and QUIT; a server that cannot be asked is a warning too.
    void serverSizeIsChecked_data() {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<QList<QByteArray>>("commands");
        const QList<QByteArray> asked = {"EHLO", "QUIT"};
        QTest::newRow("copies fit") << QByteArray("220 fake\r\n")
                                    << QByteArray("250-fake\r\n250 SIZE 100000\r\n") << QStringList()
                                    << asked;
        QTest::newRow("no limit") << QByteArray("220 fake\r\n") << QByteArray("250-fake\r\n250 SIZE\r\n")
                                  << QStringList() << asked;
        QTest::newRow("no SIZE") << QByteArray("220 fake\r\n") << QByteArray("250 fake\r\n") << QStringList()
                                 << asked;
        QTest::newRow("copies too large")
            << QByteArray("220 fake\r\n") << QByteArray("250-fake\r\n250 SIZE 300\r\n")
            << QStringList{"warning: copy 1 \\(ann@one\\.test\\): the copy has \\d+ octets, more than the "
                           "300 the "
                           "server 127\\.0\\.0\\.1:\\d+ takes \\(SIZE\\)",
                           "warning: copy 2 \\(bo@two\\.test\\): the copy has \\d+ octets, more than the 300 "
                           "the "
                           "server 127\\.0\\.0\\.1:\\d+ takes \\(SIZE\\)"}
            << asked;
        QTest::newRow("server refuses") << QByteArray("554 no service here\r\n") << QByteArray()
                                        << QStringList{"warning: server 127\\.0\\.0\\.1:\\d+: the largest "
                                                       "message size could not be asked: "
                                                       "554 no service here"}
                                        << QList<QByteArray>{"QUIT"};
    }
    void serverSizeIsChecked() {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, ehlo);
        QFETCH(QStringList, findings);
        QFETCH(QList<QByteArray>, commands);
        SizeServer server(greeting, ehlo);
        AppSaveSetting("ApplicationDefaults", "MailServer", "127.0.0.1");
        AppSaveSetting("ApplicationDefaults", "SMTPPort", QString::number(server.port()));
        const qint32 id = mailing(clean(), plainOptions(QStringLiteral("Checked")));
        QVERIFY(id > 0);
        home->stop();
        const CommandRun run = runCommandLine(
            {"--home", home->path(), "check", QString::number(id), "--sample", "2", "--server"});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        lines.removeLast();
        QCOMPARE(lines.size(), findings.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(findings[i]))
                         .match(lines[i])
                         .hasMatch(),
                     qPrintable(lines[i]));
        QTRY_COMPARE(server.commands, commands);
    }

    // The sample data's mailing passes.
    void sampleMailingPasses() {
        home->stop();
        QTemporaryDir dir;
        QCOMPARE(runCommandLine({"--home", dir.path(), "init", "--sample"}).status, 0);
        const CommandRun run = runCommandLine({"--home", dir.path(), "check", "1", "--json"});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY2(!run.out.contains("\"error\""), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
