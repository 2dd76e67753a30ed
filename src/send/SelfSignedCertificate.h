#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// A certificate for localhost and 127.0.0.1 with its key, made once and kept in a folder as
// outbox-cert.pem and outbox-key.pem (the key readable by the owner only).
struct SelfSignedCertificate {
    QSslCertificate certificate;
    QSslKey key;

    bool isNull() const { return certificate.isNull() || key.isNull(); }

    // Loads the pair kept in folder, or makes and keeps a new one when there is none or it has
    // expired; on failure the result is null and error says why.
    static SelfSignedCertificate loadOrCreate(const QString& folder, QString* error = nullptr);
};
