#include "mailbox/ServerTrust.h"

#include "core/AppSettings.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/PopClient.h"
#include "send/Corvex.h"

namespace ServerTrust {

namespace {

bool sameHost(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

QString Users::describe() const {
    QStringList parts;
    if (smtp)
        parts << QStringLiteral("the SMTP server");
    for (const QString& name : popAccounts)
        parts << QStringLiteral("POP account ") + name;
    return parts.join(QStringLiteral(", "));
}

Users usersOf(const QString& host, quint16 port) {
    Users users;
    const AppSettings& settings = appSettings();
    if (sameHost(settings.MailServer, host) && settings.SMTPPort == port) {
        users.smtp = true;
        const SmtpSecurity security = smtpSecurityFromText(settings.SMTPSecurity);
        if (security == SmtpSecurity::Tls)
            users.security = CertificateProbe::Security::Tls;
        else if (security == SmtpSecurity::StartTls)
            users.security = CertificateProbe::Security::StartTls;
    }
    for (const QString& name : PopAccounts::names()) {
        const std::optional<PopAccount> account = PopAccounts::find(name);
        if (!account)
            continue;
        const PopServer server = PopServer::parse(account->ServerName);
        if (!server.valid || !sameHost(server.host, host) || server.port != port)
            continue;
        users.popAccounts << name;
        if (!users.security && server.security != PopServer::Security::None)
            users.security = server.security == PopServer::Security::Tls
                                 ? CertificateProbe::Security::Tls
                                 : CertificateProbe::Security::StartTls;
    }
    return users;
}

bool pin(const Users& users, const QString& fingerprint) {
    bool ok = true;
    if (users.smtp) {
        appSettings().SMTPCertificateSHA256 = fingerprint;
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPCertificateSHA256"),
                       fingerprint);
    }
    for (const QString& name : users.popAccounts)
        ok = PopAccounts::setTrust(name, {fingerprint, PopAccounts::trustOf(name).caFile}) && ok;
    return ok;
}

QString notConfiguredText(const QString& server) {
    return server +
           QStringLiteral(" is neither the SMTP server of the settings (MailServer and SMTPPort) nor "
                          "the server of a POP account, so there is nothing to trust it for.");
}

} // namespace ServerTrust
