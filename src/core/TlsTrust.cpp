#include "core/TlsTrust.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

// Where a socket keeps the trust's reason for a refused handshake until its owner reports the failure.
constexpr const char* RefusalProperty = "tamberlynTrustRefusal";

QString serverOf(const QSslSocket& socket) {
    const QString host = socket.peerName().isEmpty() ? socket.peerAddress().toString() : socket.peerName();
    return host + u':' + QString::number(socket.peerPort());
}

QString namesOf(const QSslCertificate& certificate, bool issuer) {
    const QString names = issuer ? certificate.issuerDisplayName() : certificate.subjectDisplayName();
    return names.isEmpty() ? QStringLiteral("(none)") : names;
}

QString momentText(const QDateTime& moment) {
    return moment.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

} // namespace

QString TlsTrust::fingerprint(const QSslCertificate& certificate) {
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString TlsTrust::normalisedFingerprint(const QString& text) {
    QString hex = text.trimmed().toUpper();
    hex.remove(u':');
    static const QRegularExpression sha256(QStringLiteral("^[0-9A-F]{64}$"));
    if (!sha256.match(hex).hasMatch())
        return {};
    return QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toHex(':').toUpper());
}

QString TlsTrust::changedText(const QString& server, const QString& pinned, const QString& presented) {
    return QStringLiteral("The certificate of ") + server +
           QStringLiteral(" is not the one trusted for it, so the connection was refused: the trusted "
                          "certificate has the SHA-256 fingerprint ") +
           pinned + QStringLiteral(", the server presented one with ") + presented +
           QStringLiteral(
               ". If the server's certificate was replaced on purpose, check and trust the new one "
               "with \"tamberlyn trust\".");
}

QString TlsTrust::unreadableCaFileText(const QString& path) {
    return QStringLiteral("The CA file ") + path +
           QStringLiteral(" holds no certificate that can be read, so the server was not trusted.");
}

void TlsTrust::applyTo(QSslSocket& socket) const {
    socket.setProperty(RefusalProperty, QVariant());
    if (isEmpty())
        return;
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QString pin = normalisedFingerprint(certificateSHA256);
    const QString caPath = caFile.trimmed();
    if (!certificateSHA256.trimmed().isEmpty()) {
        // Nothing but the pin decides: with no CA at all every certificate raises errors, and only the
        // pinned one has them ignored. A pin that is no fingerprint matches nothing.
        configuration.setCaCertificates({});
        socket.setSslConfiguration(configuration);
        QObject::connect(&socket, &QSslSocket::sslErrors, &socket, [&socket, pin, given = certificateSHA256] {
            const QString presented = fingerprint(socket.peerCertificate());
            if (!pin.isEmpty() && presented == pin)
                socket.ignoreSslErrors();
            else
                socket.setProperty(
                    RefusalProperty,
                    changedText(serverOf(socket), pin.isEmpty() ? given.trimmed() : pin, presented));
        });
        return;
    }
    if (!caPath.isEmpty()) {
        const QList<QSslCertificate> authorities = readCaFile(caPath);
        if (authorities.isEmpty()) {
            configuration.setCaCertificates({});
            socket.setProperty(RefusalProperty, unreadableCaFileText(caPath));
        } else {
            configuration.addCaCertificates(authorities);
        }
    }
    socket.setSslConfiguration(configuration);
}

QList<QSslCertificate> TlsTrust::readCaFile(const QString& path) {
    QList<QSslCertificate> authorities = QSslCertificate::fromPath(path, QSsl::Pem);
    return authorities.isEmpty() ? QSslCertificate::fromPath(path, QSsl::Der) : authorities;
}

QString TlsTrust::refusalText(const QSslSocket& socket) {
    return socket.property(RefusalProperty).toString();
}

QStringList CertificateFacts::lines() const {
    QStringList result = {
        QStringLiteral("Subject: ") + namesOf(certificate, false),
        QStringLiteral("Issuer: ") + namesOf(certificate, true),
        QStringLiteral("Valid from: ") + momentText(certificate.effectiveDate()),
        QStringLiteral("Valid until: ") + momentText(certificate.expiryDate()),
        QStringLiteral("SHA-256 fingerprint: ") + TlsTrust::fingerprint(certificate),
    };
    if (systemErrors.isEmpty())
        result << QStringLiteral("The system's certificate store trusts this certificate.");
    for (const QString& error : systemErrors)
        result << QStringLiteral("Not trusted by the system: ") + error;
    return result;
}

QString CertificateFacts::questionTitle() {
    return QStringLiteral("Trust Server Certificate");
}

QString CertificateFacts::questionText() const {
    return server + QStringLiteral(" presents this certificate:\n") + lines().join(u'\n') +
           QStringLiteral("\n\nTrust this certificate for ") + server +
           QStringLiteral("? Tamberlyn will then accept exactly this certificate from the server and refuse "
                          "the connection if the server ever presents another one.");
}
