#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// DKIM signatures (RFC 6376, relaxed/relaxed; RFC 8463 for Ed25519) for the messages of a run, made with
// libcrypto. The key is read and parsed once, when the signer is set up; an RSA key must have at least
// 2,048 bits, an Ed25519 key is always strong enough. Signed: From (twice, so that an added From breaks the
// signature), To, Subject, Date, Message-ID, MIME-Version, Content-Type, Reply-To and the List-Unsubscribe
// pair, where present.
class DkimSigner {
public:
    enum class KeyType { Rsa, Ed25519 };
    static constexpr int MinimumRsaBits = 2048;

    DkimSigner();
    ~DkimSigner();
    DkimSigner(const DkimSigner&) = delete;
    DkimSigner& operator=(const DkimSigner&) = delete;

    // Reads the private key (PEM) and checks it. False with a text for the user when the file cannot be
    // read, holds no private key, or holds a key too weak or of another kind.
    bool setUp(const QString& domain, const QString& selector, const QString& keyFile, QString* problem);
    bool isSetUp() const;
    KeyType keyType() const { return keyType_; }

    // The DKIM-Signature header line (folded, with its line break) for the whole message with CR LF
    // line breaks; empty after a failure, with the library's text in problem.
    QByteArray signatureFor(const QByteArray& message, QString* problem = nullptr);

    // The domain of an address, and whether it is the signing domain or below it (relaxed alignment).
    static bool aligned(const QString& fromAddress, const QString& dkimDomain);

    // A new private key written to path (mode 0600), PEM; the DNS TXT record to publish for it, or an
    // empty text with the reason in problem.
    static QString generateKey(const QString& domain, const QString& selector, KeyType type,
                               const QString& path, QString* problem);

private:
    struct Key;
    std::unique_ptr<Key> key_;
    QByteArray domain_;
    QByteArray selector_;
    KeyType keyType_ = KeyType::Rsa;
};
