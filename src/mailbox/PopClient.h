#pragma once

#include "core/TlsTrust.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSslSocket;

// Where a POP server is and how its connection is secured. The server text the user gives may carry the
// security as a prefix ("pop3s://" TLS from the first byte, "pop3+starttls://" STLS after the greeting,
// "pop3://" plain) and the port after a colon; without a prefix, port 995 means TLS and any other port
// a plain connection.
struct PopServer {
    enum class Security { None, StartTls, Tls };
    QString host;
    quint16 port = 110;
    Security security = Security::None;
    bool valid = false;

    // defaultPort applies when the text names none (0: 110, or 995 for "pop3s://").
    static PopServer parse(const QString& text, quint16 defaultPort = 0);
};

// A POP3 client that reports every step through one status event with a whole-number code. Connecting
// runs the whole log-in: greeting, STLS when asked for, USER and PASS (APOP when USER is refused and the
// greeting offers it), STAT and LIST; code 5 says the session is ready. Each request is answered later by
// a code; the text of a header or message is then read with text(). Every reply has its own deadline, the
// time-out counted from the request, which data arriving slowly does not extend; past it the session is
// closed and code 27 raised. Replies are capped (PopLimits) so that a server cannot make the client hold
// more than a message's worth.
struct PopLimits {
    qsizetype statusLine = 4096;    // octets of a single-line reply or of a status line
    qsizetype header = 1024 * 1024; // the text of TOP n 0
    qsizetype message = 100 << 20;  // the text of RETR n (and of LIST)
};

class PopClient : public QObject {
    Q_OBJECT
public:
    // The codes of POPStatus.
    enum Status : int {
        Connected = 1,            // greeting received
        NotConnected = 2,         // connection refused, broken, TLS failed, or lost
        CommandOk = 3,            // DELE or QUIT answered +OK
        CommandFailed = 4,        // DELE, QUIT, TOP or RETR answered -ERR
        MessageListRetrieved = 5, // LIST done: the session is ready
        MessageListFailed = 7,
        PasswordOk = 10,
        LoginFailed = 11,
        HeaderArrived = 14, // TOP n 0 done
        MailDropReceived = 19,
        MailDropFailed = 20,
        MessageArrived = 21, // RETR n done
        UserOk = 24,
        UserFailed = 25,
        TimedOut = 27,
        TooLarge = 28,    // TOP or RETR over its cap: read to its end and dropped; the session goes on
        LineTooLong = 29, // a status line over its cap: the session is closed
    };

    using SocketFactory = std::function<std::unique_ptr<QSslSocket>()>;

    explicit PopClient(QObject* parent = nullptr);
    ~PopClient() override;

    void setPort(const QString& port);
    void setHost(const QString& host);
    void setUserName(const QString& user);
    void setPassword(const QString& password);
    void setSecurity(PopServer::Security security);
    // Time-out in units; a unit is a second unless a test shortens it.
    void setTimeout(int units);
    void setTimeoutUnitMs(int ms);
    void setLimits(const PopLimits& limits) { limits_ = limits; }
    const PopLimits& limits() const { return limits_; }
    // 1: log in with USER and PASS (APOP only when USER is refused); the only mode there is.
    void setMode(int mode);
    // Makes the socket of a connection; tests hand in one that trusts their own certificate.
    void setSocketFactory(SocketFactory factory);
    // Whom the connection trusts besides the system store; a refusal by it becomes lastReply().
    void setTrust(const TlsTrust& trust) { trust_ = trust; }

    void connectToServer();
    // After code 5: the number of messages and their sizes (from 1).
    int messageCount() const { return static_cast<int>(sizes_.size()); }
    qint64 messageSize(int number) const;
    void requestHeader(int number);  // TOP n 0, answered by 14 (or 4)
    void requestMessage(int number); // RETR n, answered by 21 (or 4)
    // The header or message that arrived last, dot-unstuffed, lines ending in CR LF.
    const QByteArray& text() const { return text_; }
    void deleteMessage(int number); // DELE n, answered by 3 or 4
    // QUIT, answered by 3 once the server has ended the session (and so removed the deleted messages).
    void quit();
    // Drops the connection without QUIT: the server keeps every message.
    void close();

    bool isConnected() const;
    bool isBusy() const { return state_ != State::Ready && state_ != State::Idle; }
    QString lastReply() const { return lastReply_; }

Q_SIGNALS:
    void POPStatus(int code);

private:
    enum class State {
        Idle,
        Connecting,
        Greeting,
        Stls,
        User,
        Pass,
        Apop,
        Stat,
        List,
        Top,
        Retr,
        Dele,
        Quit,
        Ready
    };

    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onDisconnected();
    void onTimeout();
    void handleLine(const QByteArray& line);
    void handleReply(bool ok);
    void handleMultiLineEnd();
    void send(const QByteArray& command, State next);
    void sendUser();
    void fail(int code);
    void restartTimer();
    qsizetype textCap() const;
    void capPartialLine();

    SocketFactory factory_;
    TlsTrust trust_;
    std::unique_ptr<QSslSocket> socket_;
    QTimer timer_;
    QString host_;
    quint16 port_ = 110;
    PopServer::Security security_ = PopServer::Security::None;
    QString user_;
    QString password_;
    int timeoutUnits_ = 30;
    int unitMs_ = 1000;
    State state_ = State::Idle;
    bool multiLine_ = false;  // the reply's +OK line was read and its lines up to "." are coming
    bool tooLarge_ = false;   // the multi-line reply passed its cap: its lines are dropped up to "."
    bool inLongLine_ = false; // the start of the line being read was dropped
    PopLimits limits_;
    qint64 receivedSinceDeadline_ = 0; // octets of the current reply since its deadline was set
    QByteArray buffer_;
    QByteArray text_;
    QByteArray apopStamp_;
    QList<qint64> sizes_;
    QString lastReply_;
};
