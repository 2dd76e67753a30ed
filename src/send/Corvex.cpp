#include "send/Corvex.h"

#include "util/Logging.h"

#include <QSslSocket>
#include <QTimer>
#include <deque>

SmtpSecurity smtpSecurityFromText(const QString& text) {
    const QString word = text.trimmed().toUpper();
    if (word == QLatin1String("STARTTLS"))
        return SmtpSecurity::StartTls;
    if (word == QLatin1String("TLS") || word == QLatin1String("SSL") || word == QLatin1String("SSL/TLS"))
        return SmtpSecurity::Tls;
    return SmtpSecurity::None;
}

namespace {

// What a reply answers; kept in the order the commands went out, so pipelined replies find theirs.
enum class Step {
    Greeting,
    Ehlo,
    Helo,
    StartTls,
    AuthPlain,
    AuthLogin,
    AuthLoginUser,
    AuthLoginPassword,
    Mail,
    Rcpt,
    Data,
    EndOfData,
    Rset,
    Quit
};

struct Pending {
    Step step;
    QString sent; // as reported by DataRecieved
};

enum class Phase {
    Idle,
    Connecting, // until the transport (and with implicit TLS its handshake) is up
    Greeting,   // waiting for the greeting or for hello()
    Opening,    // EHLO, STARTTLS, AUTH
    Handshake,  // TLS after STARTTLS
    Ready,
    WantFrom,
    WantTo,
    WantBody,
    Transaction,
    Quitting,
    TimedOut,
    Failed,
    Closed
};

QByteArray bracketed(const QString& address) {
    const QString trimmed = address.trimmed();
    if (trimmed.startsWith(u'<'))
        return trimmed.toUtf8();
    return '<' + trimmed.toUtf8() + '>';
}

int replyCode(const QByteArray& reply) {
    if (reply.size() < 3)
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = reply[i];
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

bool positive(int code) {
    return code >= 200 && code < 300;
}

// A CR or LF inside a command would end it early and make the rest a command of its own.
bool holdsLineBreak(QStringView text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

// CR LF line ends, dot-stuffing and the end-of-data line in one pass. A body ending in CR LF is
// followed by ".\r\n" only, so the end adds no empty line.
QByteArray wireData(const QByteArray& text, bool* eightBit) {
    const char* p = text.constData();
    const char* const end = p + text.size();
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 8);
    unsigned char high = 0;
    bool lineStart = true;
    while (p < end) {
        if (lineStart && *p == '.')
            out.append('.');
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') {
            high |= static_cast<unsigned char>(*q);
            ++q;
        }
        out.append(p, q - p);
        if (q == end) {
            lineStart = false;
            break;
        }
        out.append("\r\n", 2);
        q += (*q == '\r' && q + 1 < end && q[1] == '\n') ? 2 : 1;
        p = q;
        lineStart = true;
    }
    if (!lineStart)
        out.append("\r\n", 2);
    out.append(".\r\n", 3);
    *eightBit = (high & 0x80) != 0;
    return out;
}

// The longest reply line (without its CR LF) and the longest whole reply the component reads; a
// server going past either is not followed further.
constexpr qsizetype kMaxReplyLine = 4096;
constexpr qsizetype kMaxReply = 65536;

const QString kEndOfData = QStringLiteral("\r\n.\r\n");
const QString kMasked = QStringLiteral("****");

} // namespace

class Corvex::Private {
public:
    explicit Private(Corvex* owner) : q(owner) {
        replyTimer.setSingleShot(true);
        QObject::connect(&replyTimer, &QTimer::timeout, q, [this] { onTimer(); });
    }

    ~Private() {
        if (socket) {
            socket->disconnect();
            delete socket;
        }
    }

    Corvex* q;
    int timeoutUnits = 30;
    int unitMs = 1000;
    QString host;
    quint16 port = 25;
    SmtpSecurity security = SmtpSecurity::None;
    SmtpAuthMethod authMethod = SmtpAuthMethod::Auto;
    bool insecureAuthAllowed = false;
    bool loopbackCountsAsRemote = false;
    QString user;
    QString password;
    SslSocketFactory factory;
    TlsTrust trust;

    QSslSocket* socket = nullptr;
    quint64 generation = 0; // changes with every socket, so handlers notice a replaced one
    QTimer replyTimer;
    QByteArray input;
    bool discardInput = false;
    std::deque<Pending> pending;
    Phase phase = Phase::Idle;
    int lastState = -1;
    QString socketErrorText;

    QString domain;
    bool haveDomain = false;
    bool greeted = false;
    bool tlsActive = false;
    bool authenticated = false;
    bool expectClose = false;
    bool reasonSet = false;
    bool timedOut = false;

    bool pipelining = false;
    bool eightBitMime = false;
    bool sizeOffered = false;
    qint64 announcedSize = 0; // the number after SIZE; 0 when none
    bool startTlsOffered = false;
    bool authPlain = false;
    bool authLogin = false;

    bool batch = false;
    QString from;
    QList<RecipientResult> recipients;
    QList<qsizetype> onWire; // the recipients that can be written, by index
    QList<bool> recipientOk;
    qsizetype answeredRecipients = 0;
    QByteArray data;
    bool dataEightBit = false;
    bool mailOk = false;
    bool discardData = false;

    QString lastReply;
    QString lastSent;
    int lastCode = 0;

    void emitState(int number) {
        if (number == lastState)
            return;
        lastState = number;
        Q_EMIT q->State(number);
    }

    void armTimer() { replyTimer.start(std::max(1, timeoutUnits) * std::max(1, unitMs)); }

    void dropSocket() {
        if (!socket)
            return;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        socket = nullptr;
    }

    void connectToServer() {
        dropSocket();
        ++generation;
        input.clear();
        discardInput = false;
        pending.clear();
        lastState = -1;
        socketErrorText.clear();
        greeted = tlsActive = authenticated = expectClose = reasonSet = timedOut = false;
        resetExtensions();
        phase = Phase::Connecting;

        std::unique_ptr<QSslSocket> made = factory ? factory() : std::make_unique<QSslSocket>();
        socket = made.release();
        QObject::connect(socket, &QAbstractSocket::stateChanged, q,
                         [this](QAbstractSocket::SocketState s) { onSocketState(s); });
        QObject::connect(socket, &QAbstractSocket::connected, q, [this] {
            if (security != SmtpSecurity::Tls)
                onTransportUp();
        });
        QObject::connect(socket, &QSslSocket::encrypted, q, [this] { onEncrypted(); });
        QObject::connect(socket, &QIODevice::readyRead, q, [this] { onReadyRead(); });
        QObject::connect(socket, &QIODevice::bytesWritten, q, [this] {
            if (!pending.empty() && phase != Phase::TimedOut)
                armTimer();
        });
        QObject::connect(socket, &QAbstractSocket::errorOccurred, q, [this](QAbstractSocket::SocketError e) {
            if (expectClose || e == QAbstractSocket::RemoteHostClosedError)
                return;
            if (socketErrorText.isEmpty()) {
                const QString refusal = TlsTrust::refusalText(*socket);
                socketErrorText = refusal.isEmpty() ? socket->errorString() : refusal;
            }
            emitState(int(ConnectionState::Error));
        });
        trust.applyTo(*socket);
        armTimer();
        if (security == SmtpSecurity::Tls)
            socket->connectToHostEncrypted(host, port);
        else
            socket->connectToHost(host, port);
    }

    void onSocketState(QAbstractSocket::SocketState s) {
        switch (s) {
        case QAbstractSocket::HostLookupState:
            emitState(int(ConnectionState::ResolvingHost));
            break;
        case QAbstractSocket::ConnectingState:
            if (lastState == int(ConnectionState::ResolvingHost))
                emitState(int(ConnectionState::HostResolved));
            emitState(int(ConnectionState::Connecting));
            break;
        case QAbstractSocket::ConnectedState:
            emitState(int(ConnectionState::Connected));
            break;
        case QAbstractSocket::ClosingState:
            noteDropReason();
            emitState(int(ConnectionState::Closing));
            break;
        case QAbstractSocket::UnconnectedState:
            // The socket reports its error after this state; the owner hears of the close once the
            // reason is known.
            if (lastState >= 0) {
                replyTimer.stop();
                phase = Phase::Closed;
                pending.clear();
                QTimer::singleShot(0, q, [this, gen = generation] {
                    if (gen == generation)
                        onClosed();
                });
            }
            break;
        default:
            break;
        }
    }

    // The reason the owner shows for a connection it did not end itself.
    void noteDropReason() {
        if (expectClose || reasonSet || !socket)
            return;
        reasonSet = true;
        if (lastCode == 421)
            return;
        lastReply =
            socketErrorText.isEmpty() ? QStringLiteral("The server closed the connection.") : socketErrorText;
    }

    void onClosed() {
        const quint64 gen = generation;
        noteDropReason();
        emitState(int(ConnectionState::Closing));
        if (gen != generation)
            return;
        emitState(int(ConnectionState::Closed));
        if (gen != generation)
            return;
        Q_EMIT q->Disconnected();
    }

    void onTransportUp() {
        phase = Phase::Greeting;
        pending.push_back({Step::Greeting, QString()});
        armTimer();
        Q_EMIT q->Connected();
    }

    void onEncrypted() {
        if (phase == Phase::Connecting) {
            tlsActive = true;
            onTransportUp();
        } else if (phase == Phase::Handshake) {
            tlsActive = true;
            resetExtensions();
            phase = Phase::Opening;
            sendEhlo();
        }
    }

    void resetExtensions() {
        pipelining = eightBitMime = sizeOffered = startTlsOffered = authPlain = authLogin = false;
        announcedSize = 0;
    }

    // Hands the bytes to the kernel at once instead of on the next turn of the event loop: a turn
    // less per command, which is most of the cost of a message on a fast link.
    void write(const QByteArray& bytes) {
        socket->write(bytes);
        socket->flush();
    }

    void send(const QByteArray& line, Step step, const QString& reported = QString()) {
        if (line.contains('\r') || line.contains('\n'))
            return fail(QStringLiteral("A command holding a line break was not sent to the server."));
        QByteArray out;
        out.reserve(line.size() + 2);
        out.append(line).append("\r\n", 2);
        write(out);
        pending.push_back({step, reported.isNull() ? QString::fromUtf8(line) : reported});
        lastSent = pending.back().sent;
        qCDebug(lcSend).noquote() << "C:" << lastSent;
        armTimer();
    }

    void fail(const QString& reason) {
        lastReply = reason;
        reasonSet = true;
        phase = Phase::Failed;
        pending.clear();
        replyTimer.stop();
        if (!socket)
            return;
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->write("QUIT\r\n");
            socket->disconnectFromHost();
        } else {
            socket->abort();
        }
    }

    void onTimer() {
        if (phase == Phase::Quitting || phase == Phase::Closed || expectClose) {
            if (socket)
                socket->abort();
            return;
        }
        if (timedOut)
            return;
        timedOut = true;
        phase = Phase::TimedOut;
        pending.clear();
        Q_EMIT q->Timeout();
    }

    void onReadyRead() {
        if (!socket)
            return;
        if (phase == Phase::TimedOut || phase == Phase::Failed || phase == Phase::Closed) {
            socket->readAll();
            return;
        }
        input.append(socket->readAll());
        const quint64 gen = generation;
        qsizetype replyStart = 0;
        qsizetype lineStart = 0;
        bool answered = false;
        while (true) {
            const qsizetype nl = input.indexOf('\n', lineStart);
            if (nl < 0)
                break;
            const qsizetype lineLength = nl - lineStart;
            if (lineLength - (lineLength > 0 && input[nl - 1] == '\r' ? 1 : 0) > kMaxReplyLine)
                return failOversized(lineTooLongText());
            const bool more =
                lineLength >= 4 && input[lineStart + 3] == '-' && replyCode(input.mid(lineStart, 3));
            lineStart = nl + 1;
            if (lineStart - replyStart > kMaxReply)
                return failOversized(replyTooLongText());
            if (more)
                continue;
            qsizetype end = nl;
            while (end > replyStart && (input[end - 1] == '\r' || input[end - 1] == '\n'))
                --end;
            const QByteArray reply = input.mid(replyStart, end - replyStart);
            replyStart = lineStart;
            answered = true;
            handleReply(reply);
            if (gen != generation || !socket || phase == Phase::Closed || phase == Phase::Failed)
                return;
            if (discardInput) {
                // Nothing sent in the clear after STARTTLS's reply may count once TLS is up.
                discardInput = false;
                input.clear();
                return;
            }
        }
        // A line still without its end, or a reply still without its last line, may not grow past the caps.
        const qsizetype partialLine = input.size() - lineStart;
        if (partialLine - (input.endsWith('\r') ? 1 : 0) > kMaxReplyLine)
            return failOversized(lineTooLongText());
        if (input.size() - replyStart > kMaxReply)
            return failOversized(replyTooLongText());
        input.remove(0, replyStart);
        // The time-out is a deadline for each reply: bytes that do not finish one leave it running.
        if (!pending.empty()) {
            if (answered)
                armTimer();
        } else if (phase != Phase::Handshake && phase != Phase::Connecting && phase != Phase::Quitting) {
            replyTimer.stop();
        }
    }

    static QString lineTooLongText() {
        return QStringLiteral("The server's reply line is longer than %1 octets.").arg(kMaxReplyLine);
    }
    static QString replyTooLongText() {
        return QStringLiteral("The server's reply is longer than %1 octets.").arg(kMaxReply);
    }

    void failOversized(const QString& reason) {
        input.clear();
        input.squeeze();
        fail(reason);
    }

    void handleReply(const QByteArray& reply) {
        qCDebug(lcSend).noquote() << "S:" << reply.trimmed();
        const int code = replyCode(reply);
        lastReply = QString::fromUtf8(reply);
        lastCode = code;
        const quint64 gen = generation;
        if (pending.empty()) {
            Q_EMIT q->DataRecieved(QString(), lastReply);
            if (gen == generation && code == 421 && phase != Phase::Quitting)
                fail(lastReply);
            return;
        }
        const Pending answered = pending.front();
        pending.pop_front();
        Q_EMIT q->DataRecieved(answered.sent, lastReply);
        if (gen != generation)
            return;
        if (phase == Phase::Quitting) {
            if (answered.step == Step::Quit && socket)
                socket->disconnectFromHost();
            return;
        }
        // 421: the server is closing the channel; nothing more will be taken on it.
        if (code == 421)
            return fail(lastReply);
        switch (answered.step) {
        case Step::Greeting:
            if (!positive(code))
                return fail(lastReply);
            greeted = true;
            phase = Phase::Opening;
            if (haveDomain)
                sendEhlo();
            break;
        case Step::Ehlo:
            if (positive(code)) {
                readExtensions(reply);
                afterHello();
            } else if (code >= 500) {
                send("HELO " + domain.toUtf8(), Step::Helo);
            } else {
                fail(lastReply);
            }
            break;
        case Step::Helo:
            if (!positive(code))
                return fail(lastReply);
            resetExtensions();
            afterHello();
            break;
        case Step::StartTls:
            if (code != 220)
                return fail(lastReply);
            phase = Phase::Handshake;
            discardInput = true;
            armTimer();
            socket->startClientEncryption();
            break;
        case Step::AuthPlain:
        case Step::AuthLoginPassword:
            if (!positive(code))
                return fail(lastReply);
            authenticated = true;
            becomeReady();
            break;
        case Step::AuthLogin:
            if (code != 334)
                return fail(lastReply);
            send(user.toUtf8().toBase64(), Step::AuthLoginUser, kMasked);
            break;
        case Step::AuthLoginUser:
            if (code != 334)
                return fail(lastReply);
            send(password.toUtf8().toBase64(), Step::AuthLoginPassword, kMasked);
            break;
        case Step::Mail:
            mailOk = positive(code);
            if (!pipelining) {
                if (mailOk)
                    sendRecipient(onWire.value(0));
                else
                    sendRset();
            }
            break;
        case Step::Rcpt: {
            // Replies come in the order of the recipients.
            const qsizetype answeredIndex = answeredRecipients++;
            if (answeredIndex < onWire.size())
                recipientOk[onWire[answeredIndex]] = positive(code);
            if (!pipelining) {
                if (answeredRecipients < onWire.size())
                    sendRecipient(onWire[answeredRecipients]);
                else if (recipientOk.contains(true))
                    send("DATA", Step::Data);
                else
                    sendRset();
            }
            break;
        }
        case Step::Data:
            if (code >= 300 && code < 400) {
                discardData = !(mailOk && recipientOk.contains(true));
                write(discardData ? QByteArrayLiteral(".\r\n") : data);
                data = QByteArray();
                pending.push_back({Step::EndOfData, kEndOfData});
                lastSent = kEndOfData;
                armTimer();
            } else {
                sendRset();
            }
            break;
        case Step::EndOfData:
            finishMessage(positive(code) && !discardData);
            break;
        case Step::Rset:
            finishMessage(false);
            break;
        case Step::Quit:
            if (socket)
                socket->disconnectFromHost();
            break;
        }
    }

    void sendEhlo() { send("EHLO " + domain.toUtf8(), Step::Ehlo); }

    void readExtensions(const QByteArray& reply) {
        resetExtensions();
        const QList<QByteArray> lines = reply.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed().mid(4).toUpper();
            const QList<QByteArray> words = line.split(' ');
            const QByteArray keyword = words.value(0);
            if (keyword == "PIPELINING")
                pipelining = true;
            else if (keyword == "8BITMIME")
                eightBitMime = true;
            else if (keyword == "SIZE") {
                sizeOffered = true;
                announcedSize = words.value(1).toLongLong();
            } else if (keyword == "STARTTLS")
                startTlsOffered = true;
            else if (keyword == "AUTH" || keyword.startsWith("AUTH=")) {
                QList<QByteArray> mechanisms = words.mid(1);
                if (keyword.startsWith("AUTH="))
                    mechanisms << keyword.mid(5);
                for (const QByteArray& m : std::as_const(mechanisms)) {
                    if (m == "PLAIN")
                        authPlain = true;
                    else if (m == "LOGIN")
                        authLogin = true;
                }
            }
        }
    }

    void afterHello() {
        if (security == SmtpSecurity::StartTls && !tlsActive) {
            if (!startTlsOffered)
                return fail(QStringLiteral("The server does not offer STARTTLS."));
            send("STARTTLS", Step::StartTls);
            return;
        }
        if (!user.isEmpty() && !authenticated)
            return startAuth();
        becomeReady();
    }

    bool serverOnLoopback() const {
        return !loopbackCountsAsRemote && socket && socket->peerAddress().isLoopback();
    }

    void startAuth() {
        if (!tlsActive && !insecureAuthAllowed && !serverOnLoopback())
            return fail(
                QStringLiteral("The connection is not encrypted, so the password was not sent. Choose "
                               "STARTTLS or TLS, or allow an unencrypted log-in with "
                               "SMTPAllowInsecureAuth=True."));
        bool plain = authMethod == SmtpAuthMethod::Plain || (authMethod == SmtpAuthMethod::Auto && authPlain);
        const bool login = authMethod == SmtpAuthMethod::Login ||
                           (authMethod == SmtpAuthMethod::Auto && !authPlain && authLogin);
        if (!plain && !login)
            return fail(QStringLiteral("The server offers no AUTH PLAIN or LOGIN."));
        if (plain) {
            QByteArray credentials(1, '\0');
            credentials.append(user.toUtf8()).append('\0').append(password.toUtf8());
            const QByteArray token = credentials.toBase64();
            send("AUTH PLAIN " + token, Step::AuthPlain, QStringLiteral("AUTH PLAIN ****"));
        } else {
            send("AUTH LOGIN", Step::AuthLogin);
        }
    }

    void becomeReady() {
        phase = Phase::Ready;
        replyTimer.stop();
        Q_EMIT q->Ready();
    }

    void beginMessage(bool toBatch) {
        if (phase != Phase::Ready)
            return;
        batch = toBatch;
        from.clear();
        recipients.clear();
        phase = Phase::WantFrom;
        Q_EMIT q->SENDFrom();
    }

    void takeSender(const QString& address) {
        if (phase != Phase::WantFrom)
            return;
        from = address;
        phase = Phase::WantTo;
        if (batch)
            Q_EMIT q->SENDToArray();
        else
            Q_EMIT q->SENDTo();
    }

    void takeRecipients(const QList<RecipientResult>& list) {
        if (phase != Phase::WantTo)
            return;
        recipients = list;
        phase = Phase::WantBody;
        Q_EMIT q->SENDBody();
    }

    void takeBody(const QByteArray& text) {
        if (phase != Phase::WantBody)
            return;
        phase = Phase::Transaction;
        recipientOk = QList<bool>(recipients.size(), false);
        answeredRecipients = 0;
        mailOk = false;
        discardData = false;
        // A recipient whose address holds a line break is refused here and never written.
        onWire.clear();
        for (qsizetype i = 0; i < recipients.size(); ++i) {
            if (!holdsLineBreak(recipients[i].Address.trimmed()))
                onWire.append(i);
        }
        if (onWire.isEmpty() || holdsLineBreak(from.trimmed()))
            return finishMessage(false);
        data = wireData(text, &dataEightBit);

        QByteArray mail = "MAIL FROM:" + bracketed(from);
        if (sizeOffered)
            mail += " SIZE=" + QByteArray::number(data.size() - 3);
        if (dataEightBit && eightBitMime)
            mail += " BODY=8BITMIME";
        if (!pipelining)
            return send(mail, Step::Mail);

        // One write for the whole envelope and DATA: the server answers them in order.
        QByteArray out;
        out.reserve(mail.size() + 2 + recipients.size() * 48 + 6);
        out.append(mail).append("\r\n", 2);
        pending.push_back({Step::Mail, QString::fromUtf8(mail)});
        for (const qsizetype i : std::as_const(onWire)) {
            const QByteArray line = "RCPT TO:" + bracketed(recipients[i].Address);
            out.append(line).append("\r\n", 2);
            pending.push_back({Step::Rcpt, QString::fromUtf8(line)});
        }
        out.append("DATA\r\n", 6);
        pending.push_back({Step::Data, QStringLiteral("DATA")});
        lastSent = QStringLiteral("DATA");
        write(out);
        armTimer();
    }

    void sendRecipient(qsizetype index) {
        send("RCPT TO:" + bracketed(recipients[index].Address), Step::Rcpt);
    }

    void sendRset() { send("RSET", Step::Rset); }

    void finishMessage(bool delivered) {
        QList<RecipientResult> results;
        results.reserve(recipients.size());
        for (qsizetype i = 0; i < recipients.size(); ++i)
            results.append({recipients[i].Address, delivered && recipientOk.value(i)});
        recipients.clear();
        data = QByteArray();
        phase = Phase::Ready;
        replyTimer.stop();
        const quint64 gen = generation;
        if (batch)
            Q_EMIT q->SENTBlock(results);
        else
            Q_EMIT q->SENT(results.value(0));
        if (gen != generation || phase != Phase::Ready)
            return;
        Q_EMIT q->Ready();
    }

    void quit() {
        if (!socket)
            return;
        const QAbstractSocket::SocketState s = socket->state();
        if (s == QAbstractSocket::UnconnectedState || s == QAbstractSocket::ClosingState ||
            phase == Phase::Closed || phase == Phase::Failed || phase == Phase::Quitting)
            return;
        expectClose = true;
        // A session still waiting for a reply cannot take QUIT in its turn: it is closed at once.
        if (s != QAbstractSocket::ConnectedState || phase == Phase::Connecting || phase == Phase::Handshake ||
            !pending.empty()) {
            socket->abort();
            return;
        }
        const bool waitForReply = phase != Phase::TimedOut;
        phase = Phase::Quitting;
        send("QUIT", Step::Quit);
        if (!waitForReply)
            socket->disconnectFromHost();
    }

    void close() {
        if (!socket || socket->state() == QAbstractSocket::UnconnectedState)
            return;
        expectClose = true;
        socket->abort();
    }
};

Corvex::Corvex(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this)) {}

Corvex::~Corvex() = default;

void Corvex::setTimeout(int units) {
    d->timeoutUnits = units;
}
void Corvex::setTimeoutUnitMs(int ms) {
    d->unitMs = ms;
}
void Corvex::setRemoteHost(const QString& host) {
    d->host = host.trimmed();
}
void Corvex::setRemotePort(const QString& port) {
    bool ok = false;
    const uint number = port.trimmed().toUInt(&ok);
    d->port = ok && number > 0 && number < 65536 ? quint16(number) : quint16(25);
}
void Corvex::setSecurity(SmtpSecurity security) {
    d->security = security;
}
void Corvex::setCredentials(const QString& user, const QString& password) {
    d->user = user;
    d->password = password;
}
void Corvex::setSocketFactory(SslSocketFactory factory) {
    d->factory = std::move(factory);
}
void Corvex::setTrust(const TlsTrust& trust) {
    d->trust = trust;
}

void Corvex::setAuthMethod(SmtpAuthMethod method) {
    d->authMethod = method;
}

void Corvex::setInsecureAuthAllowed(bool allowed) {
    d->insecureAuthAllowed = allowed;
}
void Corvex::setLoopbackCountsAsRemote(bool remote) {
    d->loopbackCountsAsRemote = remote;
}

void Corvex::connectToServer() {
    d->connectToServer();
}

void Corvex::clockTick() {
    // Time-outs run on the component's own timer.
}

void Corvex::hello(const QString& domain) {
    d->domain = domain.trimmed().isEmpty() ? QStringLiteral("localhost") : domain.trimmed();
    d->haveDomain = true;
    if (d->greeted && d->phase == Phase::Opening && d->pending.empty())
        d->sendEhlo();
}

void Corvex::sendMessage() {
    d->beginMessage(false);
}
void Corvex::sendMessageToBatch() {
    d->beginMessage(true);
}
void Corvex::sender(const QString& address) {
    d->takeSender(address);
}
void Corvex::recipient(const RecipientResult& result) {
    d->takeRecipients({result});
}
void Corvex::recipients(const QList<RecipientResult>& batch) {
    d->takeRecipients(batch);
}
void Corvex::body(const QByteArray& text) {
    d->takeBody(text);
}
void Corvex::quit() {
    d->quit();
}
void Corvex::close() {
    d->close();
}

bool Corvex::orderlyClose() const {
    return d->expectClose;
}
QString Corvex::lastReply() const {
    return d->lastReply;
}
qint64 Corvex::announcedSize() const {
    return d->sizeOffered ? d->announcedSize : -1;
}

QString Corvex::lastSent() const {
    return d->lastSent;
}
