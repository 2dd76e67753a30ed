#include "mailbox/CertificateProbe.h"

#include <QSslSocket>

namespace {

// A greeting or reply line longer than this is no mail server's.
constexpr qsizetype MaxLine = 4096;

} // namespace

CertificateProbe::CertificateProbe(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("The server at ") + facts_.server + QStringLiteral(" did not answer in time."));
    });
}

CertificateProbe::~CertificateProbe() {
    if (socket_)
        socket_->disconnect(this);
}

void CertificateProbe::start(const QString& host, quint16 port, Security security) {
    facts_ = CertificateFacts();
    facts_.server = host + u':' + QString::number(port);
    error_.clear();
    buffer_.clear();
    socket_ = std::make_unique<QSslSocket>();
    QSslSocket* socket = socket_.get();
    connect(socket, &QSslSocket::readyRead, this, &CertificateProbe::onReadyRead);
    connect(socket, &QSslSocket::encrypted, this, &CertificateProbe::onEncrypted);
    // The certificate is only looked at here: why the system would refuse it is part of what is shown.
    connect(socket, &QSslSocket::sslErrors, this, [this, socket](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            if (!facts_.systemErrors.contains(error.errorString()))
                facts_.systemErrors << error.errorString();
        socket->ignoreSslErrors();
    });
    connect(socket, &QSslSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
        finish(QStringLiteral("No certificate from ") + facts_.server + QStringLiteral(": ") +
               socket->errorString());
    });
    timer_.start(timeoutMs_);
    if (security == Security::Tls) {
        step_ = Step::Handshake;
        socket->connectToHostEncrypted(host, port);
    } else {
        step_ = Step::Greeting;
        socket->connectToHost(host, port);
    }
}

void CertificateProbe::onReadyRead() {
    if (step_ == Step::Handshake || step_ == Step::Done)
        return;
    buffer_ += socket_->readAll();
    for (qsizetype end = buffer_.indexOf('\n'); end >= 0 && step_ != Step::Done;
         end = buffer_.indexOf('\n')) {
        const QByteArray line = buffer_.left(end).trimmed();
        buffer_.remove(0, end + 1);
        onLine(line);
    }
    if (buffer_.size() > MaxLine)
        finish(QStringLiteral("The server at ") + facts_.server + QStringLiteral(" sent an overlong line."));
}

void CertificateProbe::onLine(const QByteArray& line) {
    // Multi-line SMTP replies: only the last line ("250 ...", not "250-...") ends them.
    const bool lastLine = line.size() < 4 || line.at(3) != '-';
    switch (step_) {
    case Step::Greeting:
        if (line.startsWith("220")) {
            smtp_ = true;
            if (lastLine)
                send("EHLO localhost", Step::Ehlo);
        } else if (line.startsWith("+OK")) {
            send("STLS", Step::Stls);
        } else {
            finish(QStringLiteral("The server at ") + facts_.server +
                   QStringLiteral(" greeted as neither an SMTP nor a POP3 server: ") +
                   QString::fromUtf8(line));
        }
        break;
    case Step::Ehlo:
        if (!line.startsWith("250"))
            finish(QStringLiteral("The server at ") + facts_.server + QStringLiteral(" refused EHLO: ") +
                   QString::fromUtf8(line));
        else if (lastLine)
            send("STARTTLS", Step::StartTls);
        break;
    case Step::StartTls:
    case Step::Stls:
        if (!line.startsWith(step_ == Step::StartTls ? "220" : "+OK")) {
            finish(QStringLiteral("The server at ") + facts_.server + QStringLiteral(" refused STARTTLS: ") +
                   QString::fromUtf8(line));
            return;
        }
        step_ = Step::Handshake;
        socket_->startClientEncryption();
        break;
    default:
        break;
    }
}

void CertificateProbe::send(const QByteArray& command, Step next) {
    step_ = next;
    socket_->write(command + "\r\n");
}

void CertificateProbe::onEncrypted() {
    facts_.certificate = socket_->peerCertificate();
    // The greeting after TLS is not waited for: QUIT ends the session either way.
    socket_->write("QUIT\r\n");
    finish({});
}

void CertificateProbe::finish(const QString& error) {
    if (step_ == Step::Done)
        return;
    step_ = Step::Done;
    timer_.stop();
    error_ = error;
    if (!error.isEmpty())
        facts_.certificate = QSslCertificate();
    socket_->disconnect(this);
    socket_->disconnectFromHost();
    Q_EMIT finished();
}
