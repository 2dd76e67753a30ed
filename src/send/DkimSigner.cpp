#include "send/DkimSigner.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

// The header fields signed when present, in this order; From is signed once more than it occurs, so
// that a From added on the way breaks the signature.
const QList<QByteArray> SignedFields = {"from",
                                        "to",
                                        "subject",
                                        "date",
                                        "message-id",
                                        "mime-version",
                                        "content-type",
                                        "reply-to",
                                        "list-unsubscribe",
                                        "list-unsubscribe-post"};

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

Pkey readPrivateKey(const QByteArray& pem) {
    BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    Pkey key(bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr);
    BIO_free(bio);
    return key;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Runs of blanks become one blank; blanks at the end go.
QByteArray squeezed(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    bool blank = false;
    for (const char c : text) {
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !out.isEmpty())
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// One header field (its folded lines joined, without the final line break) in relaxed form.
QByteArray relaxedHeader(QByteArrayView field) {
    const qsizetype colon = field.indexOf(':');
    QByteArray value = field.sliced(colon + 1).toByteArray();
    value.replace("\r\n", "");
    return squeezed(field.first(colon)).toLower() + ':' + squeezed(value) + "\r\n";
}

// The body in relaxed form: blanks squeezed on every line, empty lines at the end dropped. One pass,
// no copy per line: it runs for every message.
QByteArray relaxedBody(QByteArrayView body) {
    QByteArray out;
    out.reserve(body.size() + 2);
    qsizetype kept = 0; // the length of out up to the line break of its last non-empty line
    bool blank = false;
    bool lineEmpty = true;
    const char* p = body.data();
    const char* const end = p + body.size();
    while (p < end) {
        const char c = *p++;
        if (c == '\r' && p < end && *p == '\n') {
            ++p;
            blank = false; // blanks before the line break go
            out += "\r\n";
            if (!lineEmpty)
                kept = out.size();
            lineEmpty = true;
        } else if (isBlank(c)) {
            blank = true;
        } else {
            if (blank) // leading blanks too become one blank
                out += ' ';
            blank = false;
            lineEmpty = false;
            out += c;
        }
    }
    if (!lineEmpty) { // a last line without its line break gets one
        out += "\r\n";
        kept = out.size();
    }
    out.truncate(kept);
    return out;
}

struct Field {
    QByteArray name; // lower case
    QByteArrayView text;
};

QList<Field> headerFields(QByteArrayView head) {
    QList<Field> fields;
    qsizetype start = 0;
    while (start < head.size()) {
        qsizetype end = head.indexOf("\r\n", start);
        while (end >= 0 && end + 2 < head.size() && isBlank(head.at(end + 2)))
            end = head.indexOf("\r\n", end + 2);
        if (end < 0)
            end = head.size();
        const QByteArrayView text = head.sliced(start, end - start);
        if (const qsizetype colon = text.indexOf(':'); colon > 0)
            fields.append({squeezed(text.first(colon)).toLower(), text});
        start = end + 2;
    }
    return fields;
}

} // namespace

struct DkimSigner::Key {
    Pkey pkey;
};

DkimSigner::DkimSigner() = default;
DkimSigner::~DkimSigner() = default;

bool DkimSigner::isSetUp() const {
    return key_ != nullptr;
}

bool DkimSigner::setUp(const QString& domain, const QString& selector, const QString& keyFile,
                       QString* problem) {
    key_.reset();
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("The DKIM key file ") + keyFile + QStringLiteral(" cannot be read: ") +
                   file.errorString();
        return false;
    }
    Pkey key = readPrivateKey(file.readAll());
    if (!key) {
        *problem = QStringLiteral("The DKIM key file ") + keyFile + QStringLiteral(" holds no private key.");
        return false;
    }
    switch (EVP_PKEY_get_base_id(key.get())) {
    case EVP_PKEY_ED25519:
        keyType_ = KeyType::Ed25519;
        break;
    case EVP_PKEY_RSA:
        keyType_ = KeyType::Rsa;
        if (EVP_PKEY_get_bits(key.get()) < MinimumRsaBits) {
            *problem = QStringLiteral("The DKIM key in ") + keyFile + QStringLiteral(" has ") +
                       QString::number(EVP_PKEY_get_bits(key.get())) +
                       QStringLiteral(" bits; an RSA key for DKIM needs at least 2048.");
            return false;
        }
        break;
    default:
        *problem = QStringLiteral("The DKIM key in ") + keyFile +
                   QStringLiteral(" is neither an RSA nor an Ed25519 key.");
        return false;
    }
    key_ = std::make_unique<Key>(Key{std::move(key)});
    domain_ = domain.trimmed().toUtf8();
    selector_ = selector.trimmed().toUtf8();
    // A key that cannot sign is found now, before any message.
    QString signProblem;
    if (signatureFor(QByteArrayLiteral("From: <a@") + domain_ + QByteArrayLiteral(">\r\n\r\nx\r\n"),
                     &signProblem)
            .isEmpty()) {
        *problem =
            QStringLiteral("The DKIM key in ") + keyFile + QStringLiteral(" cannot sign: ") + signProblem;
        key_.reset();
        return false;
    }
    return true;
}

QByteArray DkimSigner::signatureFor(const QByteArray& message, QString* problem) {
    if (!isSetUp())
        return {};
    const qsizetype split = message.indexOf("\r\n\r\n");
    const QByteArrayView head = QByteArrayView(message).first(split < 0 ? message.size() : split);
    const QByteArrayView body = split < 0 ? QByteArrayView() : QByteArrayView(message).sliced(split + 4);
    const QList<Field> fields = headerFields(head);

    // The signed fields, each instance from the bottom up; one more From than the message holds.
    QByteArrayList names;
    QByteArray signedText;
    for (const QByteArray& name : SignedFields) {
        for (qsizetype i = fields.size() - 1; i >= 0; --i) {
            if (fields.at(i).name == name) {
                signedText += relaxedHeader(fields.at(i).text);
                names << name;
            }
        }
        if (name == "from")
            names << name;
    }
    const QByteArray bodyHash =
        QCryptographicHash::hash(relaxedBody(body), QCryptographicHash::Sha256).toBase64();
    QByteArray header = "DKIM-Signature: v=1; a=" +
                        QByteArray(keyType_ == KeyType::Ed25519 ? "ed25519-sha256" : "rsa-sha256") +
                        "; c=relaxed/relaxed; d=" + domain_ + "; s=" + selector_ +
                        ";\r\n\tt=" + QByteArray::number(QDateTime::currentSecsSinceEpoch()) +
                        "; h=" + names.join(':') + ";\r\n\tbh=" + bodyHash + ";\r\n\tb=";
    signedText += relaxedHeader(header).chopped(2); // the signature's own field, without its line break

    EVP_MD_CTX* context = EVP_MD_CTX_new();
    QByteArray signature;
    bool signedOk = false;
    if (context) {
        size_t length = 0;
        if (keyType_ == KeyType::Ed25519) {
            // RFC 8463: Ed25519 signs the SHA-256 hash of the data.
            const QByteArray digest = QCryptographicHash::hash(signedText, QCryptographicHash::Sha256);
            const auto* data = reinterpret_cast<const unsigned char*>(digest.constData());
            signedOk = EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key_->pkey.get()) == 1 &&
                       EVP_DigestSign(context, nullptr, &length, data, size_t(digest.size())) == 1;
            signature.resize(qsizetype(length));
            signedOk = signedOk && EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()),
                                                  &length, data, size_t(digest.size())) == 1;
        } else {
            signedOk =
                EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key_->pkey.get()) == 1 &&
                EVP_DigestSignUpdate(context, signedText.constData(), size_t(signedText.size())) == 1 &&
                EVP_DigestSignFinal(context, nullptr, &length) == 1;
            signature.resize(qsizetype(length));
            signedOk =
                signedOk && EVP_DigestSignFinal(context, reinterpret_cast<unsigned char*>(signature.data()),
                                                &length) == 1;
        }
        signature.resize(qsizetype(length));
        EVP_MD_CTX_free(context);
    }
    if (!signedOk) {
        if (problem)
            *problem = QStringLiteral("the signature could not be made with this key.");
        return {};
    }
    // b= is the last tag, so the text before it stays as it was signed; folding inside it is ignored.
    const QByteArray b = signature.toBase64();
    for (qsizetype i = 0; i < b.size(); i += 72)
        header += (i > 0 ? "\r\n\t" : "") + b.mid(i, 72);
    return header + "\r\n";
}

bool DkimSigner::aligned(const QString& fromAddress, const QString& dkimDomain) {
    const QString from = fromAddress.section(u'@', -1).trimmed().toLower();
    const QString domain = dkimDomain.trimmed().toLower();
    return !domain.isEmpty() && (from == domain || from.endsWith(u'.' + domain));
}

QString DkimSigner::generateKey(const QString& domain, const QString& selector, KeyType type,
                                const QString& path, QString* problem) {
    Pkey key(type == KeyType::Ed25519 ? EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")
                                      : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t(MinimumRsaBits)));
    if (!key) {
        *problem = QStringLiteral("The key could not be made.");
        return {};
    }
    BIO* bio = BIO_new(BIO_s_mem());
    QByteArray pem;
    if (bio && PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        pem = QByteArray(data, size);
    }
    BIO_free(bio);
    // The public half as DKIM publishes it: the raw key for Ed25519, SubjectPublicKeyInfo for RSA.
    QByteArray publicKey;
    if (type == KeyType::Ed25519) {
        size_t size = 0;
        EVP_PKEY_get_raw_public_key(key.get(), nullptr, &size);
        publicKey.resize(qsizetype(size));
        EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(publicKey.data()), &size);
    } else {
        const int size = i2d_PUBKEY(key.get(), nullptr);
        publicKey.resize(size);
        unsigned char* out = reinterpret_cast<unsigned char*>(publicKey.data());
        i2d_PUBKEY(key.get(), &out);
    }
    QSaveFile file(path);
    // Only the owner may read the key, from the first byte on.
    if (pem.isEmpty() || publicKey.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(pem) != pem.size() || !file.commit()) {
        *problem = QStringLiteral("The key file ") + path + QStringLiteral(" could not be written: ") +
                   file.errorString();
        return {};
    }
    return selector.trimmed() + QStringLiteral("._domainkey.") + domain.trimmed() +
           QStringLiteral(" IN TXT \"v=DKIM1; k=") +
           (type == KeyType::Ed25519 ? QStringLiteral("ed25519") : QStringLiteral("rsa")) +
           QStringLiteral("; p=") + QString::fromLatin1(publicKey.toBase64()) + u'"';
}
