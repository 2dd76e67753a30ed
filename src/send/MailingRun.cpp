#include "send/MailingRun.h"

#include "core/AppSettings.h"

MailingRun::MailingRun(Prompter& prompter, QObject* parent)
    : QObject(parent), prompter_(prompter), source_(prompter), socket_(source_, options_, prompter),
      recorder_(socket_) {
    connect(&socket_, &SMTPSocket::ReenableSendButton, this, &MailingRun::onEnded);
}

bool MailingRun::refuse(Refusal refusal, const QString& text) {
    refusal_ = refusal;
    refusalText_ = text;
    return false;
}

bool MailingRun::start(qint32 id, MailRuns::Trigger trigger) {
    refusal_ = Refusal::None;
    refusalText_.clear();
    sessionStarted_ = stopRequested_ = false;
    const std::optional<Mailing> found = Mailings::find(id);
    if (!found)
        return refuse(Refusal::NoMailing,
                      QStringLiteral("There is no mailing number ") + QString::number(id) + u'.');
    mailing_ = *found;
    if (!Mailings::checkList(prompter_, mailing_))
        return refuse(Refusal::ListDeleted);
    if (trigger != MailRuns::Trigger::Schedule && !sendAgainConfirmed_ &&
        !Mailings::confirmSendAgain(prompter_, mailing_))
        return refuse(Refusal::NotConfirmed);
    if (!options_.GetMEPFromDB(mailing_.Profile))
        return refuse(Refusal::NoOptions, QStringLiteral("The delivery options '") + mailing_.Profile +
                                              QStringLiteral("' of mailing ") + QString::number(id) +
                                              QStringLiteral(" do not exist."));
    const QString server =
        options_.SmtpServer.trimmed().isEmpty() ? appSettings().MailServer : options_.SmtpServer.trimmed();

    source_.MailEventID = mailing_.MailEventName;
    source_.TotalSoFar = mailing_.SentCount;
    source_.Tamberlyn = mailing_.TamberlynName;
    source_.AddrListName = mailing_.ListName;
    source_.MsgName = mailing_.MessageName;
    source_.MailOptionsName = mailing_.Profile;
    source_.DateMailed = mailing_.DateSent;

    if (!socket_.sendEmailToList(options_.From, options_.ErrorsTo, options_.ReplyTo, options_.X_URL, server))
        return refuse(Refusal::NotStarted);
    sessionStarted_ = true;
    recorder_.begin(mailing_.MailEventName, trigger);
    if (!socket_.isRunning() && socket_.Stopped())
        onEnded(); // ended before the history began (the keyring refused at once)
    return true;
}

void MailingRun::stop() {
    stopRequested_ = true;
    socket_.stop();
}

void MailingRun::onEnded() {
    if (!sessionStarted_)
        return; // a refusal inside start(): no run to record
    sessionStarted_ = false;
    const MailRuns::Outcome outcome = socket_.completed() ? MailRuns::Outcome::Completed
                                      : stopRequested_    ? MailRuns::Outcome::Stopped
                                                          : MailRuns::Outcome::Failed;
    recorder_.end(outcome);
    Q_EMIT finished(outcome);
}
