#include "send/SelfSignedCertificate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.setPermissions(permissions);
    return file.commit();
}

QByteArray bioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, length);
}

bool addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// An EC P-256 key (quick to make) and a certificate signed by itself, both as PEM.
bool generate(QByteArray* certificatePem, QByteArray* keyPem) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    BIO* certificateBio = BIO_new(BIO_s_mem());
    BIO* keyBio = BIO_new(BIO_s_mem());
    bool ok = key && certificate && certificateBio && keyBio;
    if (ok) {
        unsigned char serial[8];
        RAND_bytes(serial, sizeof serial);
        serial[0] &= 0x7f;
        ASN1_INTEGER* number = ASN1_INTEGER_new();
        BIGNUM* big = BN_bin2bn(serial, sizeof serial, nullptr);
        BN_to_ASN1_INTEGER(big, number);
        BN_free(big);
        X509_set_serialNumber(certificate, number);
        ASN1_INTEGER_free(number);
        X509_set_version(certificate, 2);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 10L * 365 * 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        ok = addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
             addExtension(certificate, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
             X509_sign(certificate, key, EVP_sha256()) > 0 &&
             PEM_write_bio_X509(certificateBio, certificate) == 1 &&
             PEM_write_bio_PrivateKey(keyBio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    }
    if (ok) {
        *certificatePem = bioText(certificateBio);
        *keyPem = bioText(keyBio);
    }
    BIO_free(keyBio);
    BIO_free(certificateBio);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return ok;
}

} // namespace

SelfSignedCertificate SelfSignedCertificate::loadOrCreate(const QString& folder, QString* error) {
    const QString certificatePath = QDir(folder).filePath(QStringLiteral("outbox-cert.pem"));
    const QString keyPath = QDir(folder).filePath(QStringLiteral("outbox-key.pem"));
    SelfSignedCertificate pair;
    pair.certificate = QSslCertificate(readAll(certificatePath), QSsl::Pem);
    pair.key = QSslKey(readAll(keyPath), QSsl::Ec, QSsl::Pem);
    if (!pair.isNull() && pair.certificate.expiryDate() > QDateTime::currentDateTimeUtc().addDays(1))
        return pair;

    QByteArray certificatePem;
    QByteArray keyPem;
    if (!QDir().mkpath(folder) || !generate(&certificatePem, &keyPem) ||
        !writeFile(keyPath, keyPem, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        !writeFile(certificatePath, certificatePem,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                       QFileDevice::ReadOther)) {
        if (error)
            *error = QStringLiteral("Could not make a certificate in ") + folder + QStringLiteral(".");
        return SelfSignedCertificate();
    }
    pair.certificate = QSslCertificate(certificatePem, QSsl::Pem);
    pair.key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (pair.isNull() && error)
        *error = QStringLiteral("The certificate made in ") + folder + QStringLiteral(" cannot be read.");
    return pair;
}
