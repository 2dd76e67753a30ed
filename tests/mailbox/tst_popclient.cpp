// The POP client and runs against a scripted server, for faults a real server will not make.

#include "MailboxFixture.h"
#include "mailbox/PopClient.h"
#include "mailbox/PopWizardRun.h"
#include "mailbox/ProcessEMail.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// A POP3 server on 127.0.0.1 over messages held in memory; it records every command.
class FakePopServer : public QObject {
public:
    QList<QByteArray> messages;
    QList<QByteArray> commands;
    QByteArray greeting = "+OK ready";
    bool refuseUser = false;
    QByteArray silentAt; // from the command that starts so, nothing more is answered
    QByteArray hangUpAt; // at the command that starts so, the connection is closed

    FakePopServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            client_ = server_.nextPendingConnection();
            client_->write(greeting + "\r\n");
            connect(client_, &QTcpSocket::readyRead, this, &FakePopServer::serve);
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

private:
    void serve() {
        while (client_ && client_->canReadLine()) {
            const QByteArray command = client_->readLine().trimmed();
            commands << command;
            if (!silentAt.isEmpty() && command.startsWith(silentAt))
                silent_ = true;
            if (silent_)
                continue;
            const bool hangUp = !hangUpAt.isEmpty() && command.startsWith(hangUpAt);
            if (!hangUp)
                client_->write(reply(command));
            if (hangUp || command == "QUIT") {
                client_->disconnectFromHost();
                client_ = nullptr;
            }
        }
    }

    static QByteArray multiLine(const QByteArray& text) {
        QByteArray out = "+OK\r\n";
        for (QByteArray line : text.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            out += (line.startsWith('.') ? "." : "") + line + "\r\n";
        }
        return out + ".\r\n";
    }

    QByteArray reply(const QByteArray& command) {
        const QList<QByteArray> words = command.split(' ');
        const QByteArray verb = words.value(0);
        const int n = words.value(1).toInt();
        if (verb == "USER")
            return refuseUser ? "-ERR no USER here\r\n" : "+OK\r\n";
        if (verb == "PASS" || verb == "APOP" || verb == "DELE" || verb == "QUIT")
            return "+OK\r\n";
        if (verb == "STAT")
            return "+OK " + QByteArray::number(messages.size()) + " 0\r\n";
        if (verb == "LIST") {
            QByteArray list;
            for (qsizetype i = 0; i < messages.size(); ++i)
                list += QByteArray::number(i + 1) + ' ' + QByteArray::number(messages.at(i).size()) + '\n';
            list.chop(1);
            return messages.isEmpty() ? "+OK\r\n.\r\n" : multiLine(list);
        }
        if ((verb == "TOP" || verb == "RETR") && n >= 1 && n <= messages.size()) {
            const QByteArray& text = messages.at(n - 1);
            return multiLine(verb == "TOP" ? text.left(text.indexOf("\r\n\r\n")) : text);
        }
        return "-ERR what?\r\n";
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    bool silent_ = false;
};

QByteArray mail(const QByteArray& from, const QByteArray& subject, const QByteArray& body = "Hi.\r\n") {
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\n" + body;
}

void connectClient(PopClient& client, quint16 port, const QString& user, const QString& password) {
    client.setHost("127.0.0.1");
    client.setPort(QString::number(port));
    client.setUserName(user);
    client.setPassword(password);
    client.connectToServer();
}

QStringList operations(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& args : spy)
        texts << args.at(0).toString();
    return texts;
}

} // namespace

class TestPopClient : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    // The exact commands of a session; dotted lines come back as written; APOP when USER is refused.
    void retrievesWithDotsUnstuffed() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "one", ".hidden\r\n..double\r\n.\r\nend\r\n"),
                           mail("b@x.org", "two")};
        PopClient client;
        QSignalSpy status(&client, &PopClient::POPStatus);
        connectClient(client, server.port(), "u", "p");
        QTRY_VERIFY(status.size() >= 5);
        QCOMPARE(status.last().at(0).toInt(), int(PopClient::MessageListRetrieved));
        QCOMPARE(client.messageCount(), 2);
        client.requestMessage(1);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::MessageArrived));
        QCOMPARE(client.text(), mail("a@x.org", "one", ".hidden\r\n..double\r\n.\r\nend\r\n") + "\r\n");
        client.requestHeader(2);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::HeaderArrived));
        QCOMPARE(client.text(), QByteArray("From: b@x.org\r\nSubject: two\r\n"));
        client.requestMessage(9);
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::CommandFailed));
        client.quit();
        QTRY_COMPARE(status.last().at(0).toInt(), int(PopClient::CommandOk));
        QCOMPARE(server.commands, (QList<QByteArray>{"USER u", "PASS p", "STAT", "LIST", "RETR 1", "TOP 2 0",
                                                     "RETR 9", "QUIT"}));
        QCOMPARE(operations(status).mid(0, 5), (QStringList{"1", "24", "10", "19", "5"}));

        // USER refused: APOP, as in the example of the POP3 standard.
        FakePopServer apop;
        apop.greeting = "+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>";
        apop.refuseUser = true;
        PopClient apopClient;
        QSignalSpy apopStatus(&apopClient, &PopClient::POPStatus);
        connectClient(apopClient, apop.port(), "mrose", "tanstaaf");
        QTRY_VERIFY(!apopStatus.isEmpty() &&
                    apopStatus.last().at(0).toInt() == PopClient::MessageListRetrieved);
        QCOMPARE(apop.commands.at(1), QByteArray("APOP mrose c4c9334bac560ecc979e58001b3e22fb"));
    }

    // Silence while connecting, and while reading (what was read still makes the list).
    void serverThatStopsAnswering() {
        for (const QByteArray& silentAt : {QByteArray("PASS"), QByteArray("TOP 2")}) {
            FakePopServer server;
            server.messages = {mail("Ann Lee <ann@x.org>", "subscribe"), mail("bob@x.org", "subscribe")};
            server.silentAt = silentAt;
            ProcessEMail process(home->prompter);
            process.popMain().setTimeoutUnitMs(2);
            QSignalSpy texts(&process, &ProcessEMail::showCurrentOperation);
            QSignalSpy failed(&process, &ProcessEMail::connectionNotEstablished);
            QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
            QSignalSpy finished(&process, &ProcessEMail::processingFinished);
            process.connectToMailBox(server.host(), "u", "p", 0, true);
            QTRY_VERIFY(!failed.isEmpty() || !connected.isEmpty());
            if (silentAt == "PASS") {
                QVERIFY(connected.isEmpty());
                QCOMPARE(
                    operations(texts).mid(operations(texts).size() - 2),
                    (QStringList{"The connection has timed out.", "Verify your connection and try again."}));
                continue;
            }
            process.setSearchVariables({"subscribe"}, ProcessEMail::FilterMethod::Phrases, true);
            process.processMailBox();
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(process.outcome(), ProcessEMail::Outcome::ConnectionLost);
            QCOMPARE(home->prompter.texts().last(),
                     QStringLiteral("Connection to host '127.0.0.1' was lost."));
            QVERIFY(operations(texts).contains("The connection has timed out."));
            QCOMPARE(process.addressCount(), 1);
            QVERIFY(QFile::exists(process.listPath()));
        }
    }

    // A hang-up between deletions: nothing counts as deleted, as POP3 deletes only at QUIT.
    void connectionLostWhileDeleting() {
        FakePopServer server;
        server.messages = {mail("a@x.org", "subscribe"), mail("b@x.org", "subscribe")};
        server.hangUpAt = "DELE 2";
        ProcessEMail process(home->prompter);
        QSignalSpy connected(&process, &ProcessEMail::connectionEstablished);
        QSignalSpy finished(&process, &ProcessEMail::processingFinished);
        QSignalSpy killed(&process, &ProcessEMail::killFinished);
        process.connectToMailBox(server.host(), "u", "p", 0, false);
        QTRY_COMPARE(connected.size(), 1);
        process.setSearchVariables({}, ProcessEMail::FilterMethod::All, true);
        process.processMailBox();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(process.killList(), (QList<int>{1, 2}));
        process.KillMail();
        QTRY_COMPARE(killed.size(), 1);
        QCOMPARE(killed.at(0).at(0).toBool(), false);
        QCOMPARE(home->prompter.texts().last(),
                 QStringLiteral("The connection has been lost.\nTamberlyn deleted the first 0 before the "
                                "connection was lost."));
        QVERIFY(!server.commands.contains("QUIT"));
    }

    // Nothing is deleted when the list cannot be written or the confirmation is declined.
    void nothingIsDeletedUnlessTheListsWereWritten() {
        QVERIFY(MailboxFixture::saveList(*home, "Club", {"old@x.org"}));
        for (const bool confirm : {false, true}) {
            FakePopServer server;
            server.messages = {mail("new@x.org", "subscribe"), mail("x@x.org", "other")};
            if (confirm) {
                // The list file is damaged behind the registry's back.
                QFile file(DataTank::registeredPath(DataTank::GetListPath("Club")));
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write("not a database at all, just some text that is long enough");
            }
            PopWizardRun run(home->prompter);
            run.setConfirm([confirm](const PopWizardRun::Confirmation& c) {
                return confirm && c.title == "Confirm POP Retrieval Action" &&
                       c.text.startsWith(" Unique e-mail addresses found:  1\nnew@x.org");
            });
            QSignalSpy finished(&run, &PopWizardRun::finished);
            PopWizardRun::Settings settings;
            settings.format = PopWizardRun::Format::Subscription;
            settings.account = {"Fake", "u", "p", server.host()};
            settings.phrases = {"subscribe"};
            settings.method = PopWizardRun::Method::UpdateLists;
            settings.action = PopWizardRun::Action::Add;
            settings.lists = {"Club"};
            settings.deleteFromServer = true;
            QVERIFY(run.validate(settings));
            run.start(settings);
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(run.outcome(), confirm ? PopWizardRun::Outcome::Failed : PopWizardRun::Outcome::Stopped);
            for (const QByteArray& command : std::as_const(server.commands))
                QVERIFY2(!command.startsWith("DELE"), command.constData());
        }
        QCOMPARE(
            home->prompter.texts().last(),
            QStringLiteral("The list 'Club' could not be changed; no mail was deleted from the server."));
    }

    void settingsAreCheckedFirst() {
        PopWizardRun run(home->prompter);
        PopWizardRun::Settings settings;
        settings.account = {"A", "u", "p", ""};
        QVERIFY(!run.validate(settings));
        settings.account.ServerName = "h";
        QVERIFY(!run.validate(settings));
        settings.phrases = {"x"};
        settings.format = PopWizardRun::Format::Returned;
        QVERIFY(!run.validate(settings));
        settings.format = PopWizardRun::Format::Subscription;
        settings.method = PopWizardRun::Method::UpdateLists;
        QVERIFY(!run.validate(settings));
        QCOMPARE(home->prompter.texts(),
                 (QStringList{
                     "You need to give a POP host name for your POP account.",
                     "You need to select at least one search phrase for you search.",
                     "You need to select a list or lists to remove the undeliverable addresses from.",
                     "You need to select a list or lists to add or remove the collected addresses from."}));
        QVERIFY(!PopWizardRun::formatFromText("POP Mail importer"));
        QCOMPARE(PopWizardRun::formatFromText("Returned Mail Manager"), PopWizardRun::Format::Returned);
    }
};

QTEST_GUILESS_MAIN(TestPopClient)
#include "tst_popclient.moc"
