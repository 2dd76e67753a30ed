#include "send/Outbox.h"

#include "send/SelfSignedCertificate.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <functional>

namespace {

constexpr qsizetype maxLineLength = 4096;
constexpr qsizetype maxRecipients = 1000;
const QByteArray serverName = "127.0.0.1";

// Hands every accepted connection's descriptor to the outbox, which wraps it in a QSslSocket so
// that STARTTLS can follow.
class Listener : public QTcpServer {
public:
    std::function<void(qintptr)> onConnection;

protected:
    void incomingConnection(qintptr descriptor) override { onConnection(descriptor); }
};

// The address between < and > of "FROM:<a@b> SIZE=1" or "TO:<a@b>"; false when there is none.
bool pathArgument(const QByteArray& argument, QByteArray* address, QByteArray* parameters) {
    const QByteArray text = argument.trimmed();
    if (!text.startsWith('<'))
        return false;
    const qsizetype close = text.indexOf('>');
    if (close < 0)
        return false;
    *address = text.mid(1, close - 1);
    *parameters = text.mid(close + 1).trimmed();
    return true;
}

// Undoes dot-stuffing: a line that starts with "." lost its first dot on the way.
QByteArray unstuffed(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    qsizetype pos = 0;
    while (pos < data.size()) {
        if (data[pos] == '.')
            ++pos;
        qsizetype end = data.indexOf("\r\n", pos);
        end = end < 0 ? data.size() : end + 2;
        out.append(data.constData() + pos, end - pos);
        pos = end;
    }
    return out;
}

int highestNumber(const QDir& dir) {
    static const QRegularExpression numbered(QStringLiteral("^(\\d+)\\.eml$"));
    int highest = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files)) {
        const QRegularExpressionMatch match = numbered.match(name);
        if (match.hasMatch())
            highest = std::max(highest, match.captured(1).toInt());
    }
    return highest;
}

bool writeAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

class Outbox::Private {
public:
    OutboxOptions options;
    QDir dir;
    QRegularExpression refuse;
    SelfSignedCertificate tls;
    Listener listener;
    int lastNumber = 0;
    int stored = 0;
    bool silenceUsed = false;
    bool dropUsed = false;
    bool closeUsed = false;

    // The rehearsals: each happens once, when the stored count has reached its number.
    bool takeSilence() {
        if (silenceUsed || options.silentAfterMessages < 0 || stored < options.silentAfterMessages)
            return false;
        silenceUsed = true;
        return true;
    }
    bool takeDrop() {
        if (dropUsed || options.dropAfterMessages < 0 || stored < options.dropAfterMessages)
            return false;
        dropUsed = true;
        return true;
    }
    bool takeClose() {
        if (closeUsed || options.closeAfterMessages < 0 || stored < options.closeAfterMessages)
            return false;
        closeUsed = true;
        return true;
    }
};

// One client connection: reads commands (pipelined ones in order), answers, collects the message.
class Outbox::Session : public QObject {
public:
    Session(Outbox* box, qintptr descriptor) : QObject(box), box_(box), d_(*box->d) {
        socket_ = new QSslSocket(this);
        if (!socket_->setSocketDescriptor(descriptor)) {
            deleteLater();
            return;
        }
        socket_->setLocalCertificate(d_.tls.certificate);
        socket_->setPrivateKey(d_.tls.key);
        connect(socket_, &QIODevice::readyRead, this, [this] { onReadyRead(); });
        connect(socket_, &QAbstractSocket::disconnected, this, [this] {
            mode_ = Mode::Closed;
            deleteLater();
        });
        reply("220 " + serverName + " ESMTP Tamberlyn outbox");
    }

private:
    enum class Mode { Command, Data, AuthPlain, AuthLoginUser, AuthLoginPassword, Silent, Closed };

    void onReadyRead() {
        const QByteArray bytes = socket_->readAll();
        Q_EMIT box_->bytesReceived(bytes);
        if (mode_ == Mode::Silent || mode_ == Mode::Closed)
            return;
        input_.append(bytes);
        process();
    }

    void process() {
        while (!waiting_ && mode_ != Mode::Silent && mode_ != Mode::Closed) {
            if (mode_ == Mode::Data) {
                if (!takeData())
                    return;
                continue;
            }
            const qsizetype nl = input_.indexOf('\n');
            if (nl < 0) {
                if (input_.size() > maxLineLength) {
                    input_.clear();
                    reply("500 5.5.2 Error: line too long");
                }
                return;
            }
            QByteArray line = input_.left(nl);
            input_.remove(0, nl + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            handleLine(line);
        }
    }

    // Writes a reply, after the rehearsal's delay when one is set; then runs what follows it.
    void reply(const QByteArray& text, std::function<void()> then = nullptr) {
        auto write = [this, text, then] {
            if (mode_ == Mode::Closed)
                return;
            socket_->write(text + "\r\n");
            if (then)
                then();
        };
        if (d_.options.replyDelayMs <= 0)
            return write();
        waiting_ = true;
        QTimer::singleShot(d_.options.replyDelayMs, this, [this, write] {
            waiting_ = false;
            write();
            process();
        });
    }

    void resetTransaction() {
        inTransaction_ = false;
        from_.clear();
        recipients_.clear();
    }

    void handleLine(const QByteArray& line) {
        switch (mode_) {
        case Mode::AuthPlain:
        case Mode::AuthLoginPassword:
            mode_ = Mode::Command;
            return line == "*" ? reply("501 5.7.0 Authentication cancelled")
                               : reply("235 2.7.0 Authentication successful");
        case Mode::AuthLoginUser:
            if (line == "*") {
                mode_ = Mode::Command;
                return reply("501 5.7.0 Authentication cancelled");
            }
            mode_ = Mode::AuthLoginPassword;
            return reply("334 UGFzc3dvcmQ6");
        default:
            break;
        }
        if (d_.takeDrop()) {
            mode_ = Mode::Closed;
            socket_->abort();
            return;
        }
        if (d_.takeClose()) {
            socket_->write("421 4.3.2 Service shutting down, closing channel\r\n");
            socket_->flush();
            mode_ = Mode::Closed;
            socket_->disconnectFromHost();
            return;
        }
        const qsizetype space = line.indexOf(' ');
        const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
        const QByteArray argument = space < 0 ? QByteArray() : line.mid(space + 1);

        if (verb == "EHLO") {
            resetTransaction();
            hello_ = true;
            QByteArray text = "250-" + serverName + " Hello " + argument.trimmed() +
                              "\r\n250-PIPELINING\r\n" + "250-SIZE " + QByteArray::number(Outbox::sizeLimit) +
                              "\r\n250-8BITMIME\r\n";
            if (!socket_->isEncrypted() && !d_.tls.isNull())
                text += "250-STARTTLS\r\n";
            text += "250-AUTH PLAIN LOGIN\r\n250 ENHANCEDSTATUSCODES";
            reply(text);
        } else if (verb == "HELO") {
            resetTransaction();
            hello_ = true;
            reply("250 " + serverName);
        } else if (verb == "STARTTLS") {
            if (socket_->isEncrypted() || d_.tls.isNull())
                return reply("502 5.5.1 Error: STARTTLS not available");
            reply("220 2.0.0 Ready to start TLS", [this] {
                // What the client pipelined after STARTTLS must not count once TLS is up.
                input_.clear();
                resetTransaction();
                hello_ = false;
                socket_->startServerEncryption();
            });
        } else if (verb == "AUTH") {
            const QList<QByteArray> words = argument.trimmed().split(' ');
            const QByteArray mechanism = words.value(0).toUpper();
            if (mechanism == "PLAIN") {
                if (words.size() > 1)
                    return reply("235 2.7.0 Authentication successful");
                mode_ = Mode::AuthPlain;
                return reply("334 ");
            }
            if (mechanism == "LOGIN") {
                if (words.size() > 1) {
                    mode_ = Mode::AuthLoginPassword;
                    return reply("334 UGFzc3dvcmQ6");
                }
                mode_ = Mode::AuthLoginUser;
                return reply("334 VXNlcm5hbWU6");
            }
            reply("504 5.5.4 Error: unsupported authentication mechanism");
        } else if (verb == "MAIL") {
            if (!hello_)
                return reply("503 5.5.1 Error: send HELO/EHLO first");
            if (inTransaction_)
                return reply("503 5.5.1 Error: nested MAIL command");
            QByteArray address, parameters;
            if (!argument.toUpper().startsWith("FROM:") ||
                !pathArgument(argument.mid(5), &address, &parameters))
                return reply("501 5.5.4 Syntax: MAIL FROM:<address>");
            for (const QByteArray& parameter : parameters.split(' ')) {
                if (parameter.toUpper().startsWith("SIZE=") &&
                    parameter.mid(5).toLongLong() > Outbox::sizeLimit)
                    return reply("552 5.3.4 Message size exceeds fixed limit");
            }
            inTransaction_ = true;
            from_ = address;
            reply("250 2.1.0 Ok");
        } else if (verb == "RCPT") {
            if (!inTransaction_)
                return reply("503 5.5.1 Error: need MAIL command");
            QByteArray address, parameters;
            if (!argument.toUpper().startsWith("TO:") ||
                !pathArgument(argument.mid(3), &address, &parameters) || address.isEmpty())
                return reply("501 5.5.4 Syntax: RCPT TO:<address>");
            if (recipients_.size() >= maxRecipients)
                return reply("452 4.5.3 Error: too many recipients");
            if (d_.refuse.isValid() && !d_.options.refusePattern.isEmpty() &&
                d_.refuse.match(QString::fromUtf8(address)).hasMatch())
                return reply("550 5.1.1 <" + address +
                             ">: Recipient address rejected: refused by the outbox");
            recipients_.append(address);
            reply("250 2.1.5 Ok");
        } else if (verb == "DATA") {
            if (!inTransaction_)
                return reply("503 5.5.1 Error: need MAIL command");
            if (recipients_.isEmpty())
                return reply("554 5.5.1 Error: no valid recipients");
            mode_ = Mode::Data;
            data_.clear();
            reply("354 End data with <CR><LF>.<CR><LF>");
        } else if (verb == "RSET") {
            resetTransaction();
            reply("250 2.0.0 Ok");
        } else if (verb == "NOOP") {
            reply("250 2.0.0 Ok");
        } else if (verb == "QUIT") {
            reply("221 2.0.0 Bye", [this] {
                mode_ = Mode::Closed;
                socket_->disconnectFromHost();
            });
        } else {
            reply("502 5.5.2 Error: command not recognized");
        }
    }

    // Moves what has come of the message into data_; true when its end line arrived. Only
    // CR LF "." CR LF ends the data; a bare LF is kept as received.
    bool takeData() {
        const qsizetype searchFrom = std::max<qsizetype>(0, data_.size() - 4);
        data_.append(input_);
        input_.clear();
        qsizetype contentEnd = -1;
        qsizetype restStart = -1;
        if (data_.startsWith(".\r\n")) {
            contentEnd = 0;
            restStart = 3;
        } else if (const qsizetype at = data_.indexOf("\r\n.\r\n", searchFrom); at >= 0) {
            contentEnd = at + 2;
            restStart = at + 5;
        }
        if (contentEnd < 0)
            return false;
        input_ = data_.mid(restStart);
        const QByteArray content = unstuffed(data_.left(contentEnd));
        data_.clear();
        mode_ = Mode::Command;
        endOfData(content);
        return true;
    }

    void endOfData(const QByteArray& content) {
        if (d_.takeSilence()) {
            mode_ = Mode::Silent;
            input_.clear();
            resetTransaction();
            return;
        }
        if (content.size() > Outbox::sizeLimit) {
            resetTransaction();
            return reply("552 5.3.4 Message size exceeds fixed limit");
        }
        const int number = d_.lastNumber + 1;
        const QString base = QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
        if (d_.options.discard) {
            resetTransaction();
            d_.lastNumber = number;
            ++d_.stored;
            return reply("250 2.0.0 Ok: discarded as " + base.toLatin1());
        }
        QByteArray envelope = "MAIL FROM:<" + from_ + ">\n";
        for (const QByteArray& r : std::as_const(recipients_))
            envelope += "RCPT TO:<" + r + ">\n";
        resetTransaction();
        // The envelope first, so a reader that sees the .eml finds its side file too.
        const QString emlPath = d_.dir.filePath(base + QStringLiteral(".eml"));
        if (!writeAtomically(d_.dir.filePath(base + QStringLiteral(".env")), envelope) ||
            !writeAtomically(emlPath, content))
            return reply("451 4.3.0 Error: the message could not be stored");
        d_.lastNumber = number;
        ++d_.stored;
        reply("250 2.0.0 Ok: queued as " + base.toLatin1());
        Q_EMIT box_->messageStored(emlPath);
    }

    Outbox* box_;
    Outbox::Private& d_;
    QSslSocket* socket_ = nullptr;
    QByteArray input_;
    QByteArray data_;
    Mode mode_ = Mode::Command;
    bool waiting_ = false;
    bool hello_ = false;
    bool inTransaction_ = false;
    QByteArray from_;
    QList<QByteArray> recipients_;
};

Outbox::Outbox(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {
    d->listener.onConnection = [this](qintptr descriptor) {
        new Session(this, descriptor);
    };
}

Outbox::~Outbox() {
    d->listener.close();
    // The children are the sessions: they go before the state they share.
    const QObjectList sessions = children();
    qDeleteAll(sessions);
}

bool Outbox::start(const OutboxOptions& options, QString* error) {
    auto failed = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    d->options = options;
    if (d->options.directory.isEmpty())
        d->options.directory = QStringLiteral("outbox");
    d->dir = QDir(QDir(d->options.directory).absolutePath());
    if (!QDir().mkpath(d->dir.path()))
        return failed(QStringLiteral("The folder ") + d->dir.path() + QStringLiteral(" cannot be created."));
    d->refuse = QRegularExpression(options.refusePattern, QRegularExpression::CaseInsensitiveOption);
    if (!options.refusePattern.isEmpty() && !d->refuse.isValid())
        return failed(QStringLiteral("The pattern '") + options.refusePattern +
                      QStringLiteral("' is not a valid regular expression: ") + d->refuse.errorString() +
                      QStringLiteral("."));
    d->lastNumber = highestNumber(d->dir);
    QString certificateError;
    d->tls = SelfSignedCertificate::loadOrCreate(
        options.certificateDir.isEmpty() ? d->dir.path() : options.certificateDir, &certificateError);
    if (d->tls.isNull())
        return failed(certificateError);
    if (!d->listener.listen(QHostAddress::LocalHost, options.port))
        return failed(QStringLiteral("Cannot listen on 127.0.0.1:") + QString::number(options.port) +
                      QStringLiteral(": ") + d->listener.errorString());
    return true;
}

quint16 Outbox::port() const {
    return d->listener.serverPort();
}
QString Outbox::directory() const {
    return d->dir.path();
}
int Outbox::storedCount() const {
    return d->stored;
}
QSslCertificate Outbox::certificate() const {
    return d->tls.certificate;
}
