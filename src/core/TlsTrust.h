#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

class QSslSocket;

// Whom a TLS connection trusts besides the system's certificate store: one pinned certificate, named
// by its SHA-256 fingerprint, or the certificates of a CA file. Certificate checks always stay on:
//  - with a pin, the server must present exactly that certificate (the system store and the host name
//    no longer matter, as with a mail client's security exception); any other certificate is refused
//    with a text naming both fingerprints;
//  - with a CA file, its certificates are trusted as well as the system's, and the host name is checked;
//  - with neither, the system store alone decides.
struct TlsTrust {
    QString certificateSHA256; // any case, with or without colons
    QString caFile;

    bool isEmpty() const { return certificateSHA256.trimmed().isEmpty() && caFile.trimmed().isEmpty(); }

    // Prepares a socket before it connects. When the connection fails, refusalText(socket) says why
    // in the trust's own words (empty when the trust had nothing to say).
    void applyTo(QSslSocket& socket) const;
    static QString refusalText(const QSslSocket& socket);

    // The certificates of a PEM or DER file; empty when it holds none that can be read.
    static QList<QSslCertificate> readCaFile(const QString& path);

    // "AB:12:…", the form the settings keep and the texts show.
    static QString fingerprint(const QSslCertificate& certificate);
    // A fingerprint as given by a user, in the form above; empty when it is not 32 octets of hex.
    static QString normalisedFingerprint(const QString& text);

    static QString changedText(const QString& server, const QString& pinned, const QString& presented);
    static QString unreadableCaFileText(const QString& path);
};

// The facts a user needs before trusting a server's certificate, and the question that asks it, the
// same on the command line and in the desktop.
struct CertificateFacts {
    QString server; // HOST:PORT
    QSslCertificate certificate;
    // Why the system would refuse it ("The certificate is self-signed, and untrusted", ...); empty when
    // the system store trusts it.
    QStringList systemErrors;

    // Subject, issuer, validity, fingerprint and the system's verdict, a line each.
    QStringList lines() const;
    static QString questionTitle();
    QString questionText() const;
};
