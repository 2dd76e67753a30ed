#pragma once

#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <memory>

struct OutboxOptions {
    quint16 port = 0;             // 0: any free port
    QString directory;            // where messages go (created if missing)
    QString refusePattern;        // regex (case-insensitive) on the RCPT address: 550 for matches
    int replyDelayMs = 0;         // each reply waits this long ("answer slowly")
    int silentAfterMessages = -1; // after storing N messages, the next message's end-of-data gets no reply
    int dropAfterMessages = -1;   // after storing N messages, the connection is dropped at the next command
    // After storing N messages, the next command gets 421 and the connection ends.
    int closeAfterMessages = -1;
    QString certificateDir; // where the generated self-signed certificate is kept (default: directory)
    bool discard = false;   // accept and count every message, keep no file (for speed measurements)
};

// A small SMTP server on 127.0.0.1 that keeps every accepted message as a numbered file: NNNNNN.eml
// (the message as received, dot-stuffing undone, CR LF kept) and NNNNNN.env (its "MAIL FROM:<...>"
// line and one "RCPT TO:<...>" line per accepted recipient). Numbering continues after the highest
// number already in the folder. It offers PIPELINING, SIZE, 8BITMIME, STARTTLS (a self-signed
// certificate generated once and kept), AUTH PLAIN and LOGIN (any password) and
// ENHANCEDSTATUSCODES. The going-silent, dropping and closing rehearsals happen once per server.
class Outbox : public QObject {
    Q_OBJECT
public:
    explicit Outbox(QObject* parent = nullptr);
    ~Outbox() override;

    bool start(const OutboxOptions& options, QString* error = nullptr);
    quint16 port() const;
    QString directory() const;
    int storedCount() const;             // messages stored by this server since start
    QSslCertificate certificate() const; // for clients that want to trust it

    // The largest message accepted, as offered by SIZE.
    static constexpr qint64 sizeLimit = 10240000;

Q_SIGNALS:
    void messageStored(const QString& emlPath);
    // The bytes of every read from a client, as they came.
    void bytesReceived(const QByteArray& bytes);

private:
    class Private;
    class Session;
    std::unique_ptr<Private> d;
};
