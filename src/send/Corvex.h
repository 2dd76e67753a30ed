#pragma once

#include "core/TlsTrust.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSslSocket;

// One recipient of a message as the SMTP component reports it back: Accepted is set when the
// server took the recipient and then the message itself.
struct RecipientResult {
    QString Address;
    bool Accepted = false;
};

// How the connection is secured: plain, STARTTLS after the greeting, or TLS from the first byte.
enum class SmtpSecurity { None, StartTls, Tls };
SmtpSecurity smtpSecurityFromText(const QString& text); // "None", "STARTTLS", "TLS" or "SSL/TLS", any case

// Which AUTH mechanism to use when a user name is set: Auto prefers PLAIN, then LOGIN.
enum class SmtpAuthMethod { Auto, Plain, Login };

// Makes the socket of a connection; tests hand in one that trusts their own certificate.
using SslSocketFactory = std::function<std::unique_ptr<QSslSocket>()>;

// The SMTP client the session engine drives. It speaks the protocol itself and raises an event
// whenever it needs something from its owner (greeting domain, sender, recipients, message text)
// or has something to report. Answers may be given inside the event handler or later.
//
// Per message it raises exactly one SENDFrom, one SENDTo (sendMessage) or SENDToArray
// (sendMessageToBatch), and one SENDBody, in that order, then SENT or SENTBlock. Ready follows the
// greeting and every finished message. DataRecieved reports every command with its reply (AUTH
// lines masked, the end of the data as "\r\n.\r\n"). Timeout is raised when the server does not
// answer within the time-out; State for every change of the connection state (numbers below).
//
// A session that cannot go on (greeting or EHLO refused, STARTTLS not offered or its handshake
// failed, AUTH refused, connection refused or dropped by the server) ends with the connection
// closed and orderlyClose() false: State(8), State(0) and Disconnected follow, and lastReply()
// holds the reason: the server's refusing reply (such as the 535 of a wrong password) or a text
// saying what went wrong locally (among them: a reply line over 4096 octets or a reply over 65536, a
// password that would go unencrypted to a server off loopback). A 421 reply ends the session the same way.
// State(8) comes as soon as the socket starts closing (with lastReply already set); State(0) and Disconnected
// follow from the event loop. Certificates are checked; the socket factory decides whom to trust. The reply
// time-out also covers connecting and the TLS handshake; it is a deadline for each reply, which bytes that do
// not finish the reply do not put off. Timeout is raised once per connection and the component then waits no
// more (the owner quits or closes). quit() while a reply is still owed closes the connection at once.
//
// No command line holds a CR or LF but at its end: a recipient whose address holds one is refused
// without being sent (Accepted false), a message whose sender does, entirely.
class Corvex : public QObject {
    Q_OBJECT
public:
    // The numbers of the State event.
    enum class ConnectionState {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9
    };

    explicit Corvex(QObject* parent = nullptr);
    ~Corvex() override;

    // Reply time-out in units; one unit is a second unless a test shortens it.
    void setTimeout(int units);
    void setTimeoutUnitMs(int ms);
    void setRemoteHost(const QString& host);
    void setRemotePort(const QString& port);
    void setSecurity(SmtpSecurity security);
    // An empty user name means no AUTH.
    void setCredentials(const QString& user, const QString& password);
    void setSocketFactory(SslSocketFactory factory);
    // Whom the connection trusts besides the system store; a refusal by it becomes lastReply().
    void setTrust(const TlsTrust& trust);
    void setAuthMethod(SmtpAuthMethod method);
    // AUTH over an unencrypted connection is refused unless the server is on loopback or this is set.
    void setInsecureAuthAllowed(bool allowed);
    // Makes a server on loopback count as remote, so that tests can stand it in for one.
    void setLoopbackCountsAsRemote(bool remote);

    void connectToServer();
    void clockTick();
    void hello(const QString& domain);
    void sendMessage();
    void sendMessageToBatch();
    void sender(const QString& address);
    void recipient(const RecipientResult& result);
    void recipients(const QList<RecipientResult>& batch);
    // The whole message, header and body; line ends are made CR LF and lines starting with "." are
    // doubled on the wire.
    void body(const QByteArray& text);
    void quit();
    void close();

    // True when the connection closed as the expected end of the exchange (after quit or close).
    bool orderlyClose() const;
    // The last reply (CR LF trimmed), or the reason the session failed.
    QString lastReply() const;
    // The largest message the server announced in its last EHLO reply (SIZE), in octets: 0 when it named
    // no limit, -1 when it did not offer SIZE.
    qint64 announcedSize() const;
    // The last command sent (AUTH lines masked; the end of the data as "\r\n.\r\n").
    QString lastSent() const;

Q_SIGNALS:
    void Connected();
    void DataRecieved(const QString& sent, const QString& received);
    void Disconnected();
    void Ready();
    void SENDFrom();
    void SENDTo();
    void SENDToArray();
    void SENDBody();
    void SENT(const RecipientResult& result);
    void SENTBlock(const QList<RecipientResult>& results);
    void State(int number);
    void Timeout();

private:
    class Private;
    std::unique_ptr<Private> d;
};
