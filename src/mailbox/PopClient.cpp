#include "mailbox/PopClient.h"

#include "util/Logging.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSslSocket>

PopServer PopServer::parse(const QString& text, quint16 defaultPort) {
    PopServer server;
    QString rest = text.trimmed();
    bool prefixed = false;
    const struct {
        QLatin1StringView prefix;
        Security security;
    } prefixes[] = {{QLatin1StringView("pop3s://"), Security::Tls},
                    {QLatin1StringView("pop3+starttls://"), Security::StartTls},
                    {QLatin1StringView("pop3://"), Security::None}};
    for (const auto& p : prefixes) {
        if (rest.startsWith(p.prefix, Qt::CaseInsensitive)) {
            server.security = p.security;
            rest = rest.mid(p.prefix.size());
            prefixed = true;
            break;
        }
    }
    int port = 0;
    // A host:port; a bare IPv6 address has more than one colon and no port.
    if (const qsizetype colon = rest.lastIndexOf(u':'); colon > 0 && rest.count(u':') == 1) {
        bool ok = false;
        port = rest.mid(colon + 1).toInt(&ok);
        if (!ok || port <= 0 || port > 65535)
            return server;
        rest.truncate(colon);
    }
    if (rest.isEmpty() || rest.contains(u'/') || rest.contains(u' '))
        return server;
    if (port == 0)
        port = defaultPort != 0 ? defaultPort : (server.security == Security::Tls ? 995 : 110);
    if (!prefixed && port == 995)
        server.security = Security::Tls;
    server.host = rest;
    server.port = static_cast<quint16>(port);
    server.valid = true;
    return server;
}

namespace {

constexpr qint64 ReadChunk = 256 * 1024;
// A long multi-line reply that keeps arriving at a steady pace earns a new deadline with every step of
// this size; a server trickling a few octets never reaches it.
constexpr qint64 ProgressStep = 64 * 1024;

} // namespace

PopClient::PopClient(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PopClient::onTimeout);
    factory_ = [] {
        return std::make_unique<QSslSocket>();
    };
}

PopClient::~PopClient() {
    timer_.stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void PopClient::setPort(const QString& port) {
    port_ = static_cast<quint16>(port.trimmed().toUInt());
}

void PopClient::setHost(const QString& host) {
    host_ = host;
}

void PopClient::setUserName(const QString& user) {
    user_ = user;
}

void PopClient::setPassword(const QString& password) {
    password_ = password;
}

void PopClient::setSecurity(PopServer::Security security) {
    security_ = security;
}

void PopClient::setTimeout(int units) {
    timeoutUnits_ = units > 0 ? units : 30;
}

void PopClient::setTimeoutUnitMs(int ms) {
    unitMs_ = ms > 0 ? ms : 1000;
}

void PopClient::setMode(int) {}

void PopClient::setSocketFactory(SocketFactory factory) {
    if (factory)
        factory_ = std::move(factory);
}

qint64 PopClient::messageSize(int number) const {
    return number >= 1 && number <= sizes_.size() ? sizes_.at(number - 1) : -1;
}

bool PopClient::isConnected() const {
    return socket_ && state_ != State::Idle && state_ != State::Connecting;
}

void PopClient::connectToServer() {
    close();
    sizes_.clear();
    text_.clear();
    buffer_.clear();
    apopStamp_.clear();
    multiLine_ = false;
    tooLarge_ = false;
    inLongLine_ = false;
    socket_ = factory_();
    QSslSocket* socket = socket_.get();
    // Read in bounded steps, so that what is held follows the caps rather than the server's pace.
    socket->setReadBufferSize(ReadChunk);
    connect(socket, &QSslSocket::readyRead, this, &PopClient::onReadyRead);
    connect(socket, &QSslSocket::disconnected, this, &PopClient::onDisconnected);
    connect(socket, &QSslSocket::encrypted, this, &PopClient::onEncrypted);
    connect(socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        const QString refusal = socket_ ? TlsTrust::refusalText(*socket_) : QString();
        lastReply_ = !refusal.isEmpty() ? refusal : socket_ ? socket_->errorString() : QString();
        fail(NotConnected);
    });
    // Certificate errors are ignored only for the certificate the trust pins; any other fails the
    // handshake and the session with it.
    trust_.applyTo(*socket);
    state_ = State::Connecting;
    restartTimer();
    if (security_ == PopServer::Security::Tls) {
        state_ = State::Greeting;
        socket->connectToHostEncrypted(host_, port_);
    } else {
        connect(socket, &QSslSocket::connected, this, &PopClient::onConnected);
        socket->connectToHost(host_, port_);
    }
}

void PopClient::onConnected() {
    state_ = State::Greeting;
    restartTimer();
}

void PopClient::onEncrypted() {
    restartTimer();
    if (state_ == State::Stls)
        sendUser();
}

void PopClient::requestHeader(int number) {
    text_.clear();
    send("TOP " + QByteArray::number(number) + " 0", State::Top);
}

void PopClient::requestMessage(int number) {
    text_.clear();
    send("RETR " + QByteArray::number(number), State::Retr);
}

void PopClient::deleteMessage(int number) {
    send("DELE " + QByteArray::number(number), State::Dele);
}

void PopClient::quit() {
    send("QUIT", State::Quit);
}

void PopClient::close() {
    timer_.stop();
    state_ = State::Idle;
    if (!socket_)
        return;
    // The socket may be the one whose signal is being handled: let the event loop delete it.
    QSslSocket* socket = socket_.release();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void PopClient::send(const QByteArray& command, State next) {
    if (!socket_ || state_ == State::Idle || state_ == State::Connecting) {
        // Nothing to talk to: answered at once, as a broken connection would be.
        QTimer::singleShot(0, this, [this] { Q_EMIT POPStatus(NotConnected); });
        return;
    }
    state_ = next;
    multiLine_ = false;
    tooLarge_ = false;
    inLongLine_ = false;
    // The password stays out of the debug output.
    qCDebug(lcMailbox).noquote() << "C:"
                                 << (command.startsWith("PASS ") ? QByteArrayLiteral("PASS ***") : command);
    socket_->write(command + "\r\n");
    restartTimer();
}

void PopClient::sendUser() {
    send("USER " + user_.toUtf8(), State::User);
}

void PopClient::restartTimer() {
    receivedSinceDeadline_ = 0;
    timer_.start(timeoutUnits_ * unitMs_);
}

void PopClient::onTimeout() {
    if (state_ == State::Idle || state_ == State::Ready) {
        timer_.stop();
        return;
    }
    close();
    Q_EMIT POPStatus(TimedOut);
}

void PopClient::onDisconnected() {
    if (state_ == State::Idle)
        return;
    const bool quitting = state_ == State::Quit;
    close();
    // A server that ends the session after QUIT without its +OK has still gone through its update.
    Q_EMIT POPStatus(quitting ? CommandOk : NotConnected);
}

void PopClient::fail(int code) {
    if (state_ == State::Idle)
        return;
    close();
    Q_EMIT POPStatus(code);
}

void PopClient::onReadyRead() {
    if (!socket_)
        return;
    // Data does not restart the time-out: a reply must be complete by its deadline, unless it is a long
    // message still coming in whole steps.
    const QByteArray received = socket_->readAll();
    buffer_ += received;
    receivedSinceDeadline_ += received.size();
    if (multiLine_ && receivedSinceDeadline_ >= ProgressStep)
        restartTimer();
    qsizetype start = 0;
    while (socket_) {
        const qsizetype end = buffer_.indexOf('\n', start);
        if (end < 0)
            break;
        qsizetype length = end - start;
        if (length > 0 && buffer_.at(end - 1) == '\r')
            --length;
        const QByteArray line = buffer_.mid(start, length);
        start = end + 1;
        handleLine(line);
    }
    if (!socket_) {
        buffer_.clear();
        return;
    }
    buffer_.remove(0, start);
    capPartialLine();
}

qsizetype PopClient::textCap() const {
    return state_ == State::Top ? limits_.header : limits_.message;
}

// A line still without its end counts against the caps now, so that it cannot grow without bound.
void PopClient::capPartialLine() {
    if (!multiLine_) {
        if (buffer_.size() + 1 > limits_.statusLine) {
            lastReply_ = QString::fromUtf8(buffer_.left(80));
            buffer_.clear();
            fail(LineTooLong);
        }
        return;
    }
    // Up to two octets may still become the terminator ".\r".
    if (buffer_.size() <= 2 || (!tooLarge_ && text_.size() + buffer_.size() <= textCap()))
        return;
    tooLarge_ = true;
    text_ = QByteArray();
    buffer_.clear();
    inLongLine_ = true;
}

void PopClient::handleLine(const QByteArray& line) {
    if (!multiLine_)
        qCDebug(lcMailbox).noquote() << "S:" << line.trimmed();
    if (multiLine_) {
        if (inLongLine_) {
            // The end of a line whose start was dropped: never the terminator.
            inLongLine_ = false;
            return;
        }
        if (line == ".") {
            multiLine_ = false;
            handleMultiLineEnd();
            return;
        }
        if (tooLarge_)
            return;
        if (text_.size() + line.size() + 2 > textCap()) {
            tooLarge_ = true;
            text_ = QByteArray();
            return;
        }
        // A line that begins with the terminator's dot carries an extra one.
        if (line.startsWith('.'))
            text_.append(line.constData() + 1, line.size() - 1);
        else
            text_ += line;
        text_ += "\r\n";
        return;
    }
    if (line.size() + 2 > limits_.statusLine) {
        lastReply_ = QString::fromUtf8(line.left(80));
        fail(LineTooLong);
        return;
    }
    lastReply_ = QString::fromUtf8(line);
    const bool ok = line.startsWith("+OK");
    if (!ok && !line.startsWith("-ERR")) {
        // Anything else is not POP3: the session cannot go on.
        fail(NotConnected);
        return;
    }
    handleReply(ok);
}

void PopClient::handleReply(bool ok) {
    switch (state_) {
    case State::Greeting: {
        if (!ok)
            return fail(NotConnected);
        static const QRegularExpression stamp(QStringLiteral("<[^<>@\\s]+@[^<>\\s]+>"));
        const QRegularExpressionMatch match = stamp.match(lastReply_);
        if (match.hasMatch())
            apopStamp_ = match.captured(0).toUtf8();
        state_ = State::Ready;
        Q_EMIT POPStatus(Connected);
        if (!socket_)
            return;
        if (security_ == PopServer::Security::StartTls)
            send("STLS", State::Stls);
        else
            sendUser();
        return;
    }
    case State::Stls:
        if (!ok)
            return fail(NotConnected);
        restartTimer();
        socket_->startClientEncryption();
        return;
    case State::User:
        if (ok) {
            Q_EMIT POPStatus(UserOk);
            if (socket_)
                send("PASS " + password_.toUtf8(), State::Pass);
        } else if (!apopStamp_.isEmpty()) {
            const QByteArray digest =
                QCryptographicHash::hash(QByteArray(apopStamp_ + password_.toUtf8()), QCryptographicHash::Md5)
                    .toHex();
            send("APOP " + user_.toUtf8() + ' ' + digest, State::Apop);
        } else {
            fail(UserFailed);
        }
        return;
    case State::Pass:
    case State::Apop:
        if (!ok)
            return fail(LoginFailed);
        Q_EMIT POPStatus(PasswordOk);
        if (socket_)
            send("STAT", State::Stat);
        return;
    case State::Stat:
        if (!ok)
            return fail(MailDropFailed);
        Q_EMIT POPStatus(MailDropReceived);
        if (socket_) {
            send("LIST", State::List);
            sizes_.clear();
        }
        return;
    case State::List:
    case State::Top:
    case State::Retr:
        if (ok) {
            text_.clear();
            multiLine_ = true;
            return;
        }
        if (state_ == State::List)
            return fail(MessageListFailed);
        state_ = State::Ready;
        timer_.stop();
        Q_EMIT POPStatus(CommandFailed);
        return;
    case State::Dele:
        state_ = State::Ready;
        timer_.stop();
        Q_EMIT POPStatus(ok ? CommandOk : CommandFailed);
        return;
    case State::Quit:
        close();
        Q_EMIT POPStatus(ok ? CommandOk : CommandFailed);
        return;
    case State::Idle:
    case State::Connecting:
    case State::Ready:
        // A reply nobody asked for.
        return fail(NotConnected);
    }
}

void PopClient::handleMultiLineEnd() {
    const State done = state_;
    state_ = State::Ready;
    timer_.stop();
    if (tooLarge_) {
        tooLarge_ = false;
        if (done == State::List)
            return fail(MessageListFailed);
        Q_EMIT POPStatus(TooLarge);
        return;
    }
    if (done == State::List) {
        for (const QByteArray& row : text_.split('\n')) {
            const QList<QByteArray> fields = row.trimmed().split(' ');
            if (fields.size() >= 2)
                sizes_ << fields.at(1).toLongLong();
        }
        text_.clear();
        Q_EMIT POPStatus(MessageListRetrieved);
    } else {
        Q_EMIT POPStatus(done == State::Top ? HeaderArrived : MessageArrived);
    }
}
