#pragma once

#include "core/TlsTrust.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSslSocket;

// Fetches the certificate a mail server presents, for the user to decide whether to trust it. With
// STARTTLS it reads the greeting to tell SMTP ("220", EHLO then STARTTLS) from POP3 ("+OK", STLS); with
// TLS the handshake comes first. It accepts any certificate, only to show it: nothing is sent over the
// connection after the handshake but QUIT.
class CertificateProbe : public QObject {
    Q_OBJECT
public:
    enum class Security { StartTls, Tls };

    explicit CertificateProbe(QObject* parent = nullptr);
    ~CertificateProbe() override;

    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    void start(const QString& host, quint16 port, Security security);

    // After finished: the facts when the certificate came, else the reason it did not.
    const CertificateFacts& facts() const { return facts_; }
    bool succeeded() const { return !facts_.certificate.isNull(); }
    QString errorText() const { return error_; }

Q_SIGNALS:
    void finished();

private:
    enum class Step { Connecting, Greeting, Ehlo, StartTls, Stls, Handshake, Done };

    void onReadyRead();
    void onLine(const QByteArray& line);
    void send(const QByteArray& command, Step next);
    void onEncrypted();
    void finish(const QString& error);

    std::unique_ptr<QSslSocket> socket_;
    QTimer timer_;
    int timeoutMs_ = 30000;
    Step step_ = Step::Connecting;
    bool smtp_ = false;
    QByteArray buffer_;
    CertificateFacts facts_;
    QString error_;
};
