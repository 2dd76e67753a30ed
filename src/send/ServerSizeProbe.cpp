#include "send/ServerSizeProbe.h"

#include "core/AppSettings.h"

ServerSizeProbe::ServerSizeProbe(QObject* parent) : QObject(parent) {
    clock_.setInterval(50);
    connect(&clock_, &QTimer::timeout, &smtp_, &Corvex::clockTick);
    connect(&smtp_, &Corvex::Ready, this, [this] {
        size_ = smtp_.announcedSize();
        smtp_.quit();
        finish({});
    });
    connect(&smtp_, &Corvex::Timeout, this, [this] {
        smtp_.close();
        finish(QStringLiteral("the server did not answer in time"));
    });
    connect(&smtp_, &Corvex::State, this, [this](int number) {
        if (number == int(Corvex::ConnectionState::Closing) && !smtp_.orderlyClose())
            finish(smtp_.lastReply());
    });
}

void ServerSizeProbe::start(const QString& server, const QString& greetingDomain) {
    const AppSettings& settings = appSettings();
    const QString host = server.trimmed().isEmpty() ? settings.MailServer.trimmed() : server.trimmed();
    server_ = host + u':' + QString::number(settings.SMTPPort);
    smtp_.setTimeout(30);
    smtp_.setTimeoutUnitMs(timeoutUnitMs_);
    smtp_.setRemoteHost(host);
    smtp_.setRemotePort(QString::number(settings.SMTPPort));
    smtp_.setSecurity(smtpSecurityFromText(settings.SMTPSecurity));
    if (host.compare(settings.MailServer.trimmed(), Qt::CaseInsensitive) == 0)
        smtp_.setTrust({settings.SMTPCertificateSHA256, settings.SMTPCAFile});
    // SIZE comes with EHLO; a log-in would tell no more.
    smtp_.setCredentials({}, {});
    connect(
        &smtp_, &Corvex::Connected, this, [this, greetingDomain] { smtp_.hello(greetingDomain); },
        Qt::SingleShotConnection);
    clock_.start();
    smtp_.connectToServer();
}

void ServerSizeProbe::finish(const QString& error) {
    if (done_)
        return;
    done_ = true;
    clock_.stop();
    error_ = error;
    Q_EMIT finished();
}
