#pragma once

#include "mailbox/CertificateProbe.h"

#include <QString>
#include <QStringList>
#include <optional>

// Which configured servers a HOST:PORT is, and pinning a certificate to them: the SMTP server of the
// settings (MailServer at SMTPPort, key SMTPCertificateSHA256) and every POP account whose server it is
// (column CertificateSHA256).
namespace ServerTrust {

struct Users {
    bool smtp = false;
    QStringList popAccounts;
    // How the settings connect to it; nullopt when they connect without TLS.
    std::optional<CertificateProbe::Security> security;

    bool isEmpty() const { return !smtp && popAccounts.isEmpty(); }
    // "the SMTP server, POP account Club" for the texts.
    QString describe() const;
};

Users usersOf(const QString& host, quint16 port);

// Pins the fingerprint for every user; false when a write failed.
bool pin(const Users& users, const QString& fingerprint);

QString notConfiguredText(const QString& server);

} // namespace ServerTrust
