#pragma once

// Lists, messages, options and mailings for the sending tests, and a run on the test's event loop.

#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "db/Database.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "messages/ListFixtures.h"
#include "messages/MessageStore.h"
#include "send/Outbox.h"
#include "send/SMTPSocket.h"
#include "send/SendMDBList.h"
#include "support/TestHome.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>

namespace SendFixture {

using ListFixtures::Row;

inline Row person(const QString& address, const QString& first = {}, const QString& last = {}) {
    Row row{{QStringLiteral("EAddress"), address}};
    if (!first.isEmpty())
        row.append({QStringLiteral("FirstName"), first});
    if (!last.isEmpty())
        row.append({QStringLiteral("LastName"), last});
    return row;
}

inline QList<Row> people(const QStringList& addresses) {
    QList<Row> rows;
    for (const QString& address : addresses)
        rows << person(address);
    return rows;
}

// Writes the list file and registers it under name.
inline bool makeList(TestHome& home, const QString& name, const QList<Row>& rows) {
    const QString temp = appFolders().TempFolder + name + QStringLiteral(".building");
    const bool saved =
        ListFixtures::writeList(temp, rows) && DataTank::SaveListAs(temp, name, {}, false, home.prompter);
    QFile::remove(temp);
    return saved;
}

inline QString listPath(const QString& name) {
    return DataTank::registeredPath(DataTank::GetListPath(name));
}

// The list's marks by address, lower case.
inline QMap<QString, QString> marks(const QString& listName) {
    QMap<QString, QString> result;
    db::Database list = db::Database::open(listPath(listName), db::Database::OpenMode::ReadOnly);
    db::Statement rows = list.prepare(QStringLiteral("SELECT \"EAddress\", \"Sent\" FROM \"AddressList\""));
    while (rows.next())
        result.insert(rows.text(0).toLower(), rows.text(1));
    return result;
}

inline int markedCount(const QString& listName, const QString& mark = QStringLiteral("SENT")) {
    const QMap<QString, QString> all = marks(listName);
    return int(std::count(all.cbegin(), all.cend(), mark));
}

inline MessageRecord plainMessage(const QString& name,
                                  const QString& text = QStringLiteral("Hello there.\r\n")) {
    MessageRecord message;
    message.MessageName = name;
    message.Subject = QStringLiteral("A test message");
    message.SendType = 0;
    message.MessageText = text;
    message.AddressType = 0;
    message.GreetingType = -1;
    message.GroupAddress = QStringLiteral("Friends of the test");
    return message;
}

// Addresses from pattern, "%1" being a number from first on, zero-padded to width.
inline QStringList numbered(const QString& pattern, int first, int count, int width = 0) {
    QStringList addresses;
    for (int i = first; i < first + count; ++i)
        addresses << pattern.arg(i, width, 10, QChar(u'0'));
    return addresses;
}

// Writes the message with its greeting and To settings.
inline bool makeMessage(const MessageRecord& message) {
    return MessageStore::ImportMessage(message) &&
           MessageStore::WriteGreetingSettings(message.MessageName, LoadGreetingSettings(message));
}

// A list of the addresses and a plain message to each of them, both called name.
inline bool makeListAndMessage(TestHome& home, const QString& name, const QStringList& addresses) {
    MessageRecord message = plainMessage(name);
    message.AddressType = 1; // one message per recipient
    return makeList(home, name, people(addresses)) && makeMessage(message);
}

// The group "Tests" and a mailing in it; 0 when that failed.
inline qint32 prepareMailing(TestHome& home, const QString& list, const QString& message,
                             const QString& options) {
    mdlTamberlynGroupOptions::CreateTamberlynGroup(home.prompter, QStringLiteral("Tests"), {});
    return Mailings::PrepareMailing(QStringLiteral("Tests"), list, message, options);
}

// Delivery options that serve every recipient at once and mark it "SENT".
inline MailEvent plainOptions(const QString& name,
                              const QString& from = QStringLiteral("sender@example.test")) {
    MailEvent options;
    options.MailEventName = name;
    options.From = from;
    options.bFlagSends = true;
    options.SentFlag = QStringLiteral("SENT");
    options.SentFlagToCheck = QStringLiteral("SENT");
    options.SendBlockSize = 1000;
    options.SmtpServer = QStringLiteral("127.0.0.1");
    return options;
}

// A trusting socket factory for a server with a self-signed certificate.
inline SslSocketFactory trusting(const QList<QSslCertificate>& certificates) {
    return [certificates] {
        auto socket = std::make_unique<QSslSocket>();
        QSslConfiguration configuration = socket->sslConfiguration();
        configuration.addCaCertificates(certificates);
        socket->setSslConfiguration(configuration);
        return socket;
    };
}

// A local outbox saving into directory; null when it could not start.
inline std::unique_ptr<Outbox> startOutbox(const QString& directory, OutboxOptions options = {}) {
    options.directory = directory;
    auto outbox = std::make_unique<Outbox>();
    return outbox->start(options) ? std::move(outbox) : nullptr;
}

// The title and text of the last thing shown.
inline QString lastShown(const TestHome& home) {
    const ScriptedPrompter::Shown shown = home.prompter.shown().value(home.prompter.shown().size() - 1);
    return shown.title + u'|' + shown.text;
}

// One run in the test's process, with everything it reported.
class Run {
public:
    Run(TestHome& home, const MailEvent& options, const QString& listName, const QString& messageName,
        qint32 mailingId = 0)
        : options_(options), source(home.prompter) {
        source.AddrListName = listName;
        source.MsgName = messageName;
        source.MailOptionsName = options.MailEventName;
        source.Tamberlyn = QStringLiteral("Tests");
        source.MailEventID = mailingId;
        socket = std::make_unique<SMTPSocket>(source, options_, home.prompter);
        socket->setMinuteMs(60);
        socket->setTenthMs(1);
        socket->setTimeoutUnitMs(50);
        QObject::connect(
            socket.get(), &SMTPSocket::AddMailed, [this](const QString& text, bool picture, bool pass) {
                lines << (picture ? (pass ? QStringLiteral("ok ") : QStringLiteral("fail ")) : QString()) +
                             text;
            });
        QObject::connect(socket.get(), &SMTPSocket::ReenableSendButton, [this] { ended = true; });
        QObject::connect(socket.get(), &SMTPSocket::MailOutComplete, [this](qint64) { completed = true; });
    }

    bool start() {
        return socket->sendEmailToList(options_.From, options_.ErrorsTo, options_.ReplyTo, options_.X_URL,
                                       options_.SmtpServer);
    }
    bool runToEnd(int timeoutMs = 20000) { return start() && waitForEnd(timeoutMs); }
    bool waitForEnd(int timeoutMs = 20000) {
        return QTest::qWaitFor([this] { return ended; }, timeoutMs);
    }

    MailEvent options_;
    SendMDBList source;
    std::unique_ptr<SMTPSocket> socket;
    QStringList lines;
    bool ended = false;
    bool completed = false;
};

// The files of a directory with the given suffix, in name order.
inline QStringList filesIn(const QString& directory, const QString& suffix) {
    QStringList paths;
    for (const QString& name :
         QDir(directory).entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name))
        paths << directory + u'/' + name;
    return paths;
}

// Messages in a test mailbox (new and seen) that hold the texts.
inline int deliveredWith(const QString& box, const QByteArray& text, const QByteArray& alsoText = {}) {
    const QString folder =
        qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR") + QStringLiteral("/example.test/") + box;
    int count = 0;
    for (const QString& file :
         filesIn(folder + QStringLiteral("/new"), {}) + filesIn(folder + QStringLiteral("/cur"), {})) {
        const QByteArray bytes = readFileBytes(file);
        count += bytes.contains(text) && bytes.contains(alsoText) ? 1 : 0;
    }
    return count;
}

// The recipients of an envelope the outbox wrote.
inline QStringList recipientsOf(const QString& envelope) {
    QStringList recipients;
    for (const QString& line : QString::fromUtf8(readFileBytes(envelope)).split(u'\n')) {
        if (line.startsWith(QStringLiteral("RCPT TO:<")))
            recipients << line.trimmed().mid(9).chopped(1);
    }
    return recipients;
}

// An SMTP server that greets, answers EHLO without extensions, and answers MAIL one byte at a time
// without ever ending the line.
class TricklingServer : public QObject {
public:
    explicit TricklingServer(int byteEveryMs) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            client_ = server_.nextPendingConnection();
            client_->write("220 trickle\r\n");
            connect(client_, &QTcpSocket::readyRead, this, [this] {
                input_ += client_->readAll();
                if (input_.contains("EHLO") && !greeted_) {
                    greeted_ = true;
                    client_->write("250 trickle\r\n");
                }
                if (input_.contains("MAIL FROM") && !trickle_.isActive())
                    trickle_.start();
            });
        });
        trickle_.setInterval(byteEveryMs);
        connect(&trickle_, &QTimer::timeout, this, [this] {
            if (client_ && client_->state() == QAbstractSocket::ConnectedState)
                client_->write(written_++ == 0 ? "2" : "5");
        });
    }
    quint16 port() const { return server_.serverPort(); }
    bool trickling() const { return trickle_.isActive(); }

private:
    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    QByteArray input_;
    QTimer trickle_;
    bool greeted_ = false;
    int written_ = 0;
};

// What a client wrote to a server, read as the server reads it: the command lines (the message data
// left out) and whether a CR or LF stood anywhere but in a CR LF pair.
struct Transcript {
    QList<QByteArray> commands;
    bool bareLineBreak = false;

    QList<QByteArray> startingWith(const QByteArray& verb) const {
        QList<QByteArray> found;
        for (const QByteArray& command : commands)
            if (command.startsWith(verb))
                found << command;
        return found;
    }
};

inline Transcript transcriptOf(const QByteArray& stream) {
    Transcript transcript;
    bool inData = false;
    for (qsizetype start = 0, end; (end = stream.indexOf("\r\n", start)) >= 0; start = end + 2) {
        const QByteArray line = stream.mid(start, end - start);
        if (line.contains('\r') || line.contains('\n'))
            transcript.bareLineBreak = true;
        if (inData)
            inData = line != ".";
        else {
            transcript.commands << line;
            inData = line == "DATA";
        }
    }
    return transcript;
}

// Every command is one a client of this program writes, with an address free of blanks.
inline bool onlyKnownCommands(const Transcript& transcript) {
    static const QRegularExpression known(QStringLiteral(
        "^(EHLO \\S+|HELO \\S+|MAIL FROM:<[^<>\\s]*>( SIZE=\\d+)?( BODY=8BITMIME)?|RCPT TO:<[^<>\\s]+>|"
        "DATA|RSET|QUIT|STARTTLS|AUTH .*|[A-Za-z0-9+/=]+)$"));
    for (const QByteArray& command : transcript.commands)
        if (!known.match(QString::fromUtf8(command)).hasMatch())
            return false;
    return true;
}

} // namespace SendFixture
