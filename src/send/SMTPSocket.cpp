#include "send/SMTPSocket.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "core/SecretStore.h"
#include "db/DbHelpers.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "mailings/Schedules.h"
#include "messages/MimeAssembly.h"
#include "send/DateStamp.h"
#include "send/SendMDBList.h"
#include "send/Verp.h"
#include "util/StringFunctionsObject.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// How long a stop lets the reply in flight come before the connection is closed.
constexpr int StopGraceMs = 500;

int envMs(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariable(name).toInt(&ok);
    return ok && value >= 0 ? value : fallback;
}

QString invalidAddressText(const QString& first, const QString& breakAfterFirst) {
    return first + breakAfterFirst +
           QStringLiteral("You can correct this by opening the Mail Delivery Options for this mailing and") +
           (breakAfterFirst == CrLf ? CrLf : QStringLiteral("\n")) +
           QStringLiteral("modifying this address.");
}

// The end of the data as the log shows it.
QString sentForLog(const QString& sent) {
    return sent == QLatin1StringView("\r\n.\r\n") ? QStringLiteral("<CrLf>.<CrLf>") : sent;
}

// A header value stays on its own line whatever its source.
QString headerValue(const QString& value) {
    return StringFunctionsObject::foldLineBreaks(value).trimmed();
}

// An URL that names any scheme keeps it; one without gets "http://".
QString withScheme(const QString& url) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(url).hasMatch() ? url : QStringLiteral("http://") + url;
}

} // namespace

SMTPSocket::SMTPSocket(SendMDBList& source, const MailEvent& options, Prompter& prompter, QObject* parent)
    : QObject(parent), source_(source), options_(options), prompter_(prompter),
      logPath_(appFolders().sendLog()), minuteMs_(qMax(1, envMs("TAMBERLYN_MINUTE_MS", 60000))),
      tenthMs_(envMs("TAMBERLYN_TENTH_MS", 100)) {
    tmrStateClock_.setInterval(50);
    tmrStopGrace_.setSingleShot(true);
    tmrLimit_.setInterval(1000);
    connect(&tmrStopGrace_, &QTimer::timeout, this, [this] {
        if (!isRunning())
            return;
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
    });
    connect(&tmrPauseInBlocks_, &QTimer::timeout, this, &SMTPSocket::onBlockMinute);
    connect(&tmrLimit_, &QTimer::timeout, this, &SMTPSocket::onLimitTick);
    addSession();
    log_.open(logPath_);
}

SMTPSocket::Session& SMTPSocket::addSession() {
    sessions_.push_back(std::make_unique<Session>());
    Session& session = *sessions_.back();
    session.number = int(sessions_.size());
    Corvex* corvex = new Corvex(this);
    session.corvex = corvex;
    session.timer.setSingleShot(true);
    Session* s = &session;
    connect(&session.timer, &QTimer::timeout, this, [this, s] {
        if (s->wait == Wait::Reopen)
            reopen(*s);
        else
            continueAfterDelay(*s);
    });
    connect(&tmrStateClock_, &QTimer::timeout, corvex, &Corvex::clockTick);
    connect(corvex, &Corvex::Connected, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Connected"));
        setOpen(*s, true);
        const qsizetype at = fromAddress_.indexOf(u'@');
        s->corvex->hello(at < 0 ? fromAddress_ : fromAddress_.mid(at + 1).trimmed());
    });
    connect(corvex, &Corvex::DataRecieved, this, [this, s](const QString& sent, const QString& received) {
        if (ended_)
            return; // the end block is the run's last entry
        logFor(*s, QStringLiteral("C: ") + sentForLog(sent));
        logFor(*s, QStringLiteral("S: ") + received);
    });
    connect(corvex, &Corvex::Disconnected, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Disconnected"));
        setOpen(*s, false);
        if (ended_ && openSessions_ == 0)
            Q_EMIT SessionClosed();
    });
    connect(corvex, &Corvex::Ready, this, [this, s] { onReady(*s); });
    connect(corvex, &Corvex::SENDFrom, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Sending From"));
        const QString sender = envelopeSender(*s);
        s->corvex->sender(appSettings().BracketOnFrom ? u'<' + sender + u'>' : sender);
    });
    connect(corvex, &Corvex::SENDTo, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Sending To Info"));
        s->single = {s->parcel.current, false};
        s->corvex->recipient(s->single);
    });
    connect(corvex, &Corvex::SENDToArray, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Sending To List"));
        s->corvex->recipients(s->parcel.batch);
    });
    connect(corvex, &Corvex::SENDBody, this, [this, s] {
        Q_EMIT ResultString(QStringLiteral("Sending Message Body"));
        s->corvex->body(GetMsgBody(*s));
    });
    connect(corvex, &Corvex::SENT, this, [this, s](const RecipientResult& result) { onSent(*s, result); });
    connect(corvex, &Corvex::SENTBlock, this,
            [this, s](const QList<RecipientResult>& results) { onSentBlock(*s, results); });
    connect(corvex, &Corvex::State, this, [this, s](int number) { onState(*s, number); });
    connect(corvex, &Corvex::Timeout, this, [this, s] {
        if (!isRunning())
            return;
        if (several())
            sessionFailed(*s, true);
        else
            TimeoutAndCleanup(*s);
    });
    return session;
}

void SMTPSocket::logFor(const Session& session, const QString& text) {
    log_.writeLine(session.number > 1 ? u'[' + QString::number(session.number) + QStringLiteral("] ") + text
                                      : text);
}

void SMTPSocket::setOpen(Session& session, bool open) {
    if (session.open == open)
        return;
    session.open = open;
    openSessions_ += open ? 1 : -1;
    Q_EMIT OpenSessionsChanged(openSessions_);
}

QString SMTPSocket::recipientInHand() const {
    const Parcel& parcel = first().parcel;
    return perRecipient_ ? parcel.bare : parcel.batchBare.value(0);
}

SMTPSocket::~SMTPSocket() {
    tmrStateClock_.stop();
    log_.close();
}

void SMTPSocket::setLogPath(const QString& path) {
    logPath_ = path;
    log_.open(logPath_);
}

QString SMTPSocket::stateName(int number) {
    static const QStringList names = {QStringLiteral("Closed"),         QStringLiteral("Open"),
                                      QStringLiteral("Listening"),      QStringLiteral("Connection Pending"),
                                      QStringLiteral("Resolving Host"), QStringLiteral("Host Resolved"),
                                      QStringLiteral("Connecting"),     QStringLiteral("Connected"),
                                      QStringLiteral("Closing"),        QStringLiteral("Error")};
    return number >= 0 && number < names.size() ? names[number] : QString();
}

QString SMTPSocket::timeoutText() {
    return QStringLiteral("Your mail server is not currently responding.  ") + CrLf + CrLf +
           QStringLiteral("This situation could be caused by:") + CrLf +
           QStringLiteral("1) A lost network or modem connection") + CrLf +
           QStringLiteral("2) An unfinished or incorrect exchange between Tamberlyn and the mail server") +
           CrLf +
           QStringLiteral(
               "3) Having reached the limit of the mail server's message capacity or your mail quota") +
           CrLf + CrLf +
           QStringLiteral(
               "Note that if your mailing Delivery Options have been set to record which messages ") +
           QStringLiteral(
               "have been sent, you can then resume this mailing, where it stopped, at a later time.") +
           CrLf + CrLf +
           QStringLiteral(
               "If the mail server is reaching its capacity, modify the Delivery Options to send ") +
           QStringLiteral("your mail in smaller blocks at timed intervals. ") + CrLf + CrLf;
}

// ---- Starting a run ----

bool SMTPSocket::refuseStart(bool closeSource) {
    if (closeSource)
        source_.EndMailingDBSupport();
    stopped_ = true;
    Q_EMIT ReenableSendButton();
    return false;
}

bool SMTPSocket::sendEmailToList(const QString& FromAddress, const QString& ErrorsTo, const QString& ReplyTo,
                                 const QString& X_URL, const QString& MailServer) {
    // 19.
    return prepareRun(FromAddress, ErrorsTo, ReplyTo, X_URL, MailServer) && startSession();
}

bool SMTPSocket::prepareRun(const QString& FromAddress, const QString& ErrorsTo, const QString& ReplyTo,
                            const QString& X_URL, const QString& MailServer) {
    const AppSettings& settings = appSettings();
    // 1.
    startTime_ = QDateTime::currentDateTime();
    startText_ = DateStamp::startText(startTime_);
    fromAddress_ = FromAddress.trimmed();
    mailServer_ = MailServer.trimmed();
    paused_ = stopped_ = blockWaiting_ = limitWaiting_ = pauseAnnounced_ = false;
    started_ = ended_ = completed_ = false;
    lastBlockAt_ = -1;
    for (const std::unique_ptr<Session>& session : sessions_) {
        session->wait = Wait::None;
        session->inHand = false;
        session->failures = 0;
    }
    taken_ = passed_ = failed_ = unmarked_ = inFlight_ = 0;
    firstFetch_ = true;
    sourceEnded_ = false;
    requeued_.clear();
    messageSize_ = 0;
    // 2.
    textOnlyDomains_ = settings.DomainsToCheck.split(u';');
    // 3.
    LogSend(QStringLiteral("Opening Addresslist..."), true, false);
    Q_EMIT Progress(QStringLiteral("Opening Addresslist..."));
    // 4.
    source_.setOptions(&options_);
    limits_ = SendLimits(mailServer_, options_.MaxPerHour, options_.MaxPerDay);
    // Only runs under a limit count in the ledger: the count commits with every mark, into the central
    // database as well, and a run without limits keeps the speed of marks to the list alone.
    source_.setLedgerServer(limits_.isSet() ? mailServer_ : QString());
    if (!source_.InitMailingDBSupport())
        return refuseStart();
    // 5.
    DateStampInit();
    // 6.
    progress(QStringLiteral("constructing Header Information..."));
    // 7.
    if (!IsValidEmailAddress(fromAddress_)) {
        prompter_.inform(
            QStringLiteral("Invalid 'From' Address"),
            invalidAddressText(QStringLiteral("The 'From:' address for this mailing is invalid. "),
                               CrLf + CrLf),
            Prompter::Icon::Exclamation);
        return refuseStart();
    }
    const std::optional<MessageRecord>& message = source_.CurMessageRS();
    // 8. (the From block is laid out by MailingText)
    // 9.
    QString replyToLine;
    if (const QString replyTo = headerValue(ReplyTo); !replyTo.isEmpty()) {
        if (!IsValidEmailAddress(replyTo)) {
            prompter_.inform(
                QStringLiteral("Invalid 'Reply To' Address"),
                QStringLiteral("The 'ReplyTo:' address for this mailing is invalid") + CrLf +
                    QStringLiteral("You can correct this by opening the Mail Delivery Options for this "
                                   "mailing and") +
                    CrLf + QStringLiteral("modifying this address."),
                Prompter::Icon::Exclamation);
            return refuseStart();
        }
        replyToLine = QStringLiteral("Reply-To: ") + replyTo + CrLf;
    }
    // 10.
    QString errorsToLine;
    if (const QString errorsTo = headerValue(ErrorsTo); !errorsTo.isEmpty()) {
        if (!IsValidEmailAddress(errorsTo)) {
            prompter_.inform(
                QStringLiteral("Invalid 'Errors To' Address"),
                invalidAddressText(QStringLiteral("The 'Error-To:' address for this mailing is invalid"),
                                   CrLf + CrLf),
                Prompter::Icon::Exclamation);
            return refuseStart();
        }
        errorsToLine = QStringLiteral("Errors-To: ") + errorsTo + CrLf;
    }
    // The deliverability addresses are checked the same way.
    const struct {
        QString value;
        const char* title;
        const char* text;
    } extraAddresses[] = {
        {headerValue(options_.BounceAddress), "Invalid 'Bounce' Address",
         "The 'Bounce' address for this mailing is invalid"},
        {headerValue(options_.UnsubscribeAddress), "Invalid 'Unsubscribe' Address",
         "The 'Unsubscribe' address for this mailing is invalid"},
    };
    for (const auto& extra : extraAddresses) {
        if (!extra.value.isEmpty() && !IsValidEmailAddress(extra.value)) {
            prompter_.inform(QLatin1StringView(extra.title),
                             invalidAddressText(QLatin1StringView(extra.text), CrLf + CrLf),
                             Prompter::Icon::Exclamation);
            return refuseStart();
        }
    }
    // The DKIM key is read once, here, and a key that cannot sign refuses the run before it connects.
    if (!setUpSigning())
        return refuseStart();
    // 11.
    const QString subjectLine =
        MailingText::foldHeaderLine(QStringLiteral("Subject: ") + headerValue(source_.GetSubject())) + CrLf;
    // 12.
    QString urlLine;
    if (const QString url = headerValue(X_URL); !url.isEmpty())
        urlLine = QStringLiteral("X-URL: ") + withScheme(url) + CrLf;
    // 13.
    progress(QStringLiteral("Initializing the greeting manager..."));
    greeting_ = message ? LoadGreetingSettings(*message) : GreetingSettings();
    // 14.-16.
    MailingText::Setup setup;
    setup.version = VersionText(true, true);
    setup.fromAddress = fromAddress_;
    setup.fromName = message ? message->From : QString();
    setup.dateHeader = DateStamp();
    setup.headerTail = subjectLine + replyToLine + errorsToLine + urlLine;
    setup.sendType = source_.getMessageType();
    setup.text = source_.GetMsgText();
    setup.html = source_.getHTMLText();
    setup.greeting = greeting_;
    setup.wrapWidth = qMax(0, settings.WordWrapSize);
    setup.unsubscribeAddress = headerValue(options_.UnsubscribeAddress);
    setup.unsubscribeUrl = headerValue(options_.UnsubscribeURL);
    const QList<ImageEntry> images =
        AssignContentIDs(GetUniqueEntries(GetImages(setup.html)), ContentIdSuffix(fromAddress_));
    Path2CID(setup.html, images);
    progress(QStringLiteral("Encoding Images..."));
    setup.related = EncodeImages(images, RelatedBoundary());
    progress(QStringLiteral("Encoding Attachments..."));
    setup.mixed = EncodeAttachments(source_.GetAttachmentsString(), MixedBoundary());
    text_.build(setup, source_.listFields());
    messageSize_ = text_.size();
    // 17.
    if (!ConfirmInvalidFields(text_.invalidFields(), prompter_))
        return refuseStart();
    // 18.
    perRecipient_ = text_.hasMergeFields() || greeting_.AddressType == 1 || greeting_.GreetingType == 1;
    return true;
}

QList<SMTPSocket::Copy> SMTPSocket::buildCopies(int count) {
    QList<Copy> copies;
    Session& session = first();
    Parcel& parcel = session.parcel;
    while (copies.size() < count) {
        GetNewRecipient(parcel);
        if (parcel.current == SendMDBList::endMarker())
            break;
        copies.append({perRecipient_ ? QStringList{parcel.bare} : parcel.batchBare, envelopeSender(session),
                       GetMsgBody(session)});
    }
    source_.EndMailingDBSupport();
    stopped_ = true;
    return copies;
}

bool SMTPSocket::setUpSigning() {
    const QString domain = options_.DKIMDomain.trimmed();
    const QString selector = options_.DKIMSelector.trimmed();
    const QString keyFile = options_.DKIMKeyFile.trimmed();
    if (domain.isEmpty() && selector.isEmpty() && keyFile.isEmpty())
        return true;
    QString problem;
    if (domain.isEmpty() || selector.isEmpty() || keyFile.isEmpty())
        problem = QStringLiteral("DKIM signing needs all of DKIMDomain, DKIMSelector and DKIMKeyFile.");
    if (!problem.isEmpty() || !signer_.setUp(domain, selector, keyFile, &problem)) {
        progress(problem);
        prompter_.inform(QStringLiteral("DKIM Signing"),
                         problem + CrLf + CrLf + QStringLiteral("Nothing was sent."),
                         Prompter::Icon::Exclamation);
        return false;
    }
    if (!DkimSigner::aligned(fromAddress_, domain)) {
        const QString warning = QStringLiteral("Warning: the From address ") + fromAddress_ +
                                QStringLiteral(" is not in the DKIM domain ") + domain +
                                QStringLiteral("; receivers may not count the signature for it.");
        progress(warning);
        Q_EMIT AddMailed(warning, false, false);
    }
    return true;
}

bool SMTPSocket::startSession() {
    const QString user = appSettings().SMTPUserName.trimmed();
    if (user.isEmpty()) {
        connectSession(user, {});
        return true;
    }
    // The keyring answers later; the run goes on from its answer without waiting here.
    SecretStore::lookupPassword(
        mailServer_, user, SecretStore::Service::Smtp, this, [this, user](std::optional<QString> found) {
            if (stopped_) {
                refuseStart();
                return;
            }
            if (!found && qEnvironmentVariableIsSet("TAMBERLYN_SMTP_PASSWORD"))
                found = qEnvironmentVariable("TAMBERLYN_SMTP_PASSWORD");
            if (!found)
                found = prompter_.askText(QStringLiteral("SMTP Password"),
                                          QStringLiteral("The password of ") + user + QStringLiteral(" at ") +
                                              mailServer_ + u':',
                                          true);
            if (!found) {
                refuseStart();
                return;
            }
            connectSession(user, *found);
        });
    return true;
}

void SMTPSocket::connectSession(const QString& user, const QString& password) {
    user_ = user;
    password_ = password;
    while (int(sessions_.size()) < options_.sessionCount())
        addSession();
    // A socket used again for a run with fewer sessions lets the others go.
    while (int(sessions_.size()) > options_.sessionCount()) {
        Session& last = *sessions_.back();
        setOpen(last, false);
        last.corvex->disconnect(this);
        last.corvex->close();
        last.corvex->deleteLater();
        sessions_.pop_back();
    }
    const AppSettings& settings = appSettings();
    for (const std::unique_ptr<Session>& session : sessions_) {
        Corvex* corvex = session->corvex;
        corvex->setTimeout(30);
        corvex->setTimeoutUnitMs(timeoutUnitMs_);
        corvex->setRemotePort(QString::number(settings.SMTPPort));
        corvex->setRemoteHost(mailServer_);
        corvex->setSecurity(smtpSecurityFromText(settings.SMTPSecurity));
        corvex->setCredentials(user, password);
        corvex->setInsecureAuthAllowed(settings.SMTPAllowInsecureAuth);
        if (socketFactory_)
            corvex->setSocketFactory(socketFactory_);
        // The trust belongs to the server of the settings, not to another one a mailing names.
        if (mailServer_.compare(settings.MailServer.trimmed(), Qt::CaseInsensitive) == 0)
            corvex->setTrust({settings.SMTPCertificateSHA256, settings.SMTPCAFile});
    }
    started_ = true;
    runClock_.start();
    nextStartMs_ = 0;
    for (const std::unique_ptr<Session>& session : sessions_)
        session->corvex->connectToServer();
    tmrStateClock_.start();
}

// ---- Host controls ----

void SMTPSocket::pause() {
    paused_ = true;
}

void SMTPSocket::resume() {
    paused_ = false;
    if (!isRunning())
        return;
    if (!several()) {
        if (first().wait == Wait::Pause) {
            first().wait = Wait::None;
            progress(QStringLiteral("Resuming"));
            first().corvex->connectToServer();
        }
        return;
    }
    pauseAnnounced_ = false;
    const bool parked = std::any_of(sessions_.cbegin(), sessions_.cend(),
                                    [](const auto& session) { return session->wait == Wait::Pause; });
    if (parked) {
        progress(QStringLiteral("Resuming"));
        reconnectParked(Wait::Pause);
    }
}

void SMTPSocket::stop() {
    stopped_ = true;
    if (!isRunning())
        return;
    if (several()) {
        // Sessions with a message in hand finish it (or the grace runs out); the others have nothing to
        // wait for.
        if (!anyInHand()) {
            if (std::any_of(sessions_.cbegin(), sessions_.cend(),
                            [](const auto& session) { return session->wait == Wait::Pause; }))
                progress(QStringLiteral("Stopping"));
            else
                Q_EMIT ResultString(QStringLiteral("Disconnecting"));
            AbortCleanup();
        } else if (!tmrStopGrace_.isActive()) {
            tmrStopGrace_.start(StopGraceMs);
        }
        return;
    }
    const Wait wait = first().wait;
    // A run that waits for a timer or for the host has no Ready coming that would end it.
    if (wait == Wait::Pause) {
        progress(QStringLiteral("Stopping"));
        AbortCleanup();
    } else if (wait == Wait::BlockPause || wait == Wait::Delay || wait == Wait::LimitPause) {
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
    } else if (!tmrStopGrace_.isActive()) {
        // The session waits for the server: the reply in flight may still come and end the run at
        // Ready; a server that keeps silent is not waited for.
        tmrStopGrace_.start(StopGraceMs);
    }
}

// ---- Session events ----

void SMTPSocket::progress(const QString& text) {
    LogSend(text);
    Q_EMIT Progress(text);
}

void SMTPSocket::onReady(Session& session) {
    if (!isRunning())
        return;
    session.inHand = false;
    if (several()) {
        onReadySeveral(session);
        return;
    }
    // 1. A stop ends the run here; the abort writes its end to the log and tells the host.
    if (stopped_) {
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
        return;
    }
    // 2.
    if (paused_) {
        beginPauseWait(session);
        return;
    }
    // 3.
    if (options_.timedBlocksOn() && taken_ > 0 && taken_ % options_.TimedBlockSize == 0 &&
        taken_ != lastBlockAt_) {
        progress(QStringLiteral("Mailing is pausing after the block of ") +
                 QString::number(options_.TimedBlockSize) + QStringLiteral(" was sent. Sending Quit."));
        session.wait = Wait::BlockPause;
        session.corvex->quit();
        blockMinutes_ = 0;
        lastBlockAt_ = taken_;
        blockWaiting_ = true;
        tmrPauseInBlocks_.start(minuteMs_);
        return;
    }
    if (beginLimitWait(session))
        return;
    // 4.
    if (const int tenths = options_.messageDelayTenths(); tenths > 0) {
        session.wait = Wait::Delay;
        session.timer.start(tenths * tenthMs_);
        return;
    }
    sendNext(session);
}

void SMTPSocket::beginPauseWait(Session& session) {
    progress(QStringLiteral("Mailing is Paused... Sending Quit"));
    session.wait = Wait::Pause;
    session.corvex->quit();
    progress(QStringLiteral("Pausing"));
}

void SMTPSocket::continueAfterDelay(Session& session) {
    session.wait = Wait::None;
    if (!isRunning())
        return;
    if (several()) {
        dispatch(session);
    } else if (stopped_) {
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
    } else if (paused_) {
        beginPauseWait(session);
    } else {
        sendNext(session);
    }
}

void SMTPSocket::sendNext(Session& session) {
    // 5.
    Q_EMIT ResultString(QStringLiteral("Ready for send"));
    LogSend(QStringLiteral("Ready for Send"));
    GetNewRecipient(session.parcel, limitAllowance());
    // 6.-7.
    if (session.parcel.current == SendMDBList::endMarker()) {
        MailingComplete();
        return;
    }
    session.inHand = true;
    if (perRecipient_)
        session.corvex->sendMessage();
    else
        session.corvex->sendMessageToBatch();
}

void SMTPSocket::onBlockMinute() {
    if (++blockMinutes_ < options_.TimeIncrement)
        return;
    tmrPauseInBlocks_.stop();
    blockWaiting_ = false;
    if (isRunning())
        reconnectParked(Wait::BlockPause);
}

void SMTPSocket::onState(Session& session, int number) {
    Q_EMIT sckState(stateName(number));
    const bool closing = number == int(Corvex::ConnectionState::Closing);
    if (!closing || !isRunning() || stopped_)
        return;
    // A close the run asked for (quit before a pause, a session given up) is no failure.
    const Wait wait = session.wait;
    if (wait == Wait::Pause || wait == Wait::BlockPause || wait == Wait::LimitPause || wait == Wait::Reopen ||
        wait == Wait::Failed || session.corvex->orderlyClose())
        return;
    if (several()) {
        sessionFailed(session, false);
        return;
    }
    if (paused_)
        return;
    AbortCleanup();
    Q_EMIT AddMailed(QStringLiteral("Reason: ") + session.corvex->lastReply(), false, false);
}

void SMTPSocket::onSent(Session& session, const RecipientResult& result) {
    if (!isRunning())
        return;
    session.single = result;
    session.inHand = false;
    inFlight_ = qMax<qint64>(0, inFlight_ - 1);
    const QStringList unmarked = MarkServedRecipients(session);
    if (result.Accepted)
        ++passed_;
    else
        ++failed_;
    Q_EMIT AddMailed(QStringLiteral("To: ") + result.Address, true, result.Accepted);
    Q_EMIT CounterUpdate(passed_, failed_);
    if (!unmarked.isEmpty())
        abortUnmarked(unmarked);
}

void SMTPSocket::onSentBlock(Session& session, const QList<RecipientResult>& results) {
    if (!isRunning())
        return;
    session.parcel.batch = results;
    session.inHand = false;
    inFlight_ = qMax<qint64>(0, inFlight_ - session.parcel.size());
    const QStringList unmarked = MarkServedRecipients(session);
    qint64 accepted = 0;
    for (const RecipientResult& result : results) {
        Q_EMIT AddMailed(QStringLiteral("To: ") + result.Address, true, result.Accepted);
        if (result.Accepted)
            ++accepted;
    }
    passed_ += accepted;
    failed_ += results.size() - accepted;
    Q_EMIT CounterUpdate(passed_, failed_);
    if (!unmarked.isEmpty())
        abortUnmarked(unmarked);
}

QStringList SMTPSocket::MarkServedRecipients(Session& session) {
    // The marks go to the record's own address, never to the bracketed envelope address.
    QStringList accepted;
    if (perRecipient_) {
        if (session.single.Accepted)
            accepted << session.parcel.bare;
    } else {
        const Parcel& parcel = session.parcel;
        for (qsizetype i = 0; i < parcel.batch.size(); ++i) {
            if (parcel.batch[i].Accepted)
                accepted << (i < parcel.batchBare.size() ? parcel.batchBare[i] : parcel.batch[i].Address);
        }
    }
    const QStringList marks = options_.bFlagSends ? accepted : QStringList();
    if (accepted.isEmpty())
        return {};
    if (!source_.recordSent(marks, accepted.size()))
        return marks;
    // The messages still out when a limit was reached count at once: the wait is long, and other
    // processes check the same ledger meanwhile.
    if (limitWaiting_)
        source_.writeCounts();
    return {};
}

// A recipient who got the message but is not marked would get it again from a resumed run, so the run
// goes no further, names everyone concerned and keeps their marks for the next run to write.
void SMTPSocket::abortUnmarked(const QStringList& addresses) {
    unmarked_ += addresses.size();
    source_.keepOwedMarks(addresses);
    for (const QString& address : addresses) {
        const QString line = QStringLiteral("Accepted by the server but not marked as sent: ") + address;
        LogSend(line);
        Q_EMIT AddMailed(line, false, false);
    }
    Q_EMIT ResultString(QStringLiteral("Disconnecting"));
    AbortCleanup();
    Q_EMIT AddMailed(QStringLiteral("Reason: The sent mark could not be written to the list."), false, false);
}

// ---- Limits ----

bool SMTPSocket::beginLimitWait(Session& session) {
    if (limitWaiting_) {
        park(session, Wait::LimitPause);
        return true;
    }
    const std::optional<SendLimits::Reached> reached =
        limits_.reached(Schedules::now(), inFlight_ + source_.uncountedSent());
    if (!reached)
        return false;
    // Other runs and processes see the whole count while this one waits.
    source_.writeCounts();
    limitWaiting_ = true;
    limitResumeAt_ = reached->resumeAt;
    progress(reached->text);
    Q_EMIT LimitState(true, reached->text, limitResumeAt_);
    park(session, Wait::LimitPause);
    tmrLimit_.start();
    return true;
}

void SMTPSocket::onLimitTick() {
    if (!isRunning()) {
        tmrLimit_.stop();
        return;
    }
    const QDateTime now = Schedules::now();
    if (now.isValid() && now < limitResumeAt_)
        return;
    tmrLimit_.stop();
    limitWaiting_ = false;
    limitResumeAt_ = {};
    Q_EMIT LimitState(false, {}, {});
    progress(QStringLiteral("Resuming"));
    reconnectParked(Wait::LimitPause);
}

qint64 SMTPSocket::limitAllowance() {
    return perRecipient_ ? -1 : limits_.allowance(Schedules::now(), inFlight_ + source_.uncountedSent());
}

// ---- Several sessions ----

bool SMTPSocket::anyInHand() const {
    return std::any_of(sessions_.cbegin(), sessions_.cend(),
                       [](const auto& session) { return session->inHand; });
}

void SMTPSocket::onReadySeveral(Session& session) {
    // The delay paces the whole run: message starts are at least the delay apart whatever the sessions.
    const int tenths = options_.messageDelayTenths();
    if (tenths <= 0 || stopped_) {
        dispatch(session);
        return;
    }
    const qint64 now = runClock_.elapsed();
    const qint64 start = qMax(now, nextStartMs_);
    nextStartMs_ = start + qint64(tenths) * tenthMs_;
    session.wait = Wait::Delay;
    session.timer.start(int(start - now));
}

// Hands the next message to an idle session, unless the run holds back.
void SMTPSocket::dispatch(Session& session) {
    session.wait = Wait::None;
    if (!isRunning())
        return;
    if (stopped_) {
        session.wait = Wait::Drained;
        abortIfIdle();
        return;
    }
    if (paused_) {
        if (!pauseAnnounced_) {
            pauseAnnounced_ = true;
            progress(QStringLiteral("Mailing is Paused... Sending Quit"));
            progress(QStringLiteral("Pausing"));
        }
        park(session, Wait::Pause);
        return;
    }
    if (blockWaiting_) {
        park(session, Wait::BlockPause);
        return;
    }
    if (options_.timedBlocksOn() && taken_ > 0 && taken_ % options_.TimedBlockSize == 0 &&
        taken_ != lastBlockAt_ && requeued_.isEmpty()) {
        progress(QStringLiteral("Mailing is pausing after the block of ") +
                 QString::number(options_.TimedBlockSize) + QStringLiteral(" was sent. Sending Quit."));
        blockMinutes_ = 0;
        lastBlockAt_ = taken_;
        blockWaiting_ = true;
        tmrPauseInBlocks_.start(minuteMs_);
        park(session, Wait::BlockPause);
        return;
    }
    if (beginLimitWait(session))
        return;
    Q_EMIT ResultString(QStringLiteral("Ready for send"));
    if (!takeWork(session)) {
        session.wait = Wait::Drained;
        completeIfDone();
        return;
    }
    logFor(session, QStringLiteral("Ready for Send"));
    session.inHand = true;
    inFlight_ += session.parcel.size();
    if (perRecipient_)
        session.corvex->sendMessage();
    else
        session.corvex->sendMessageToBatch();
}

bool SMTPSocket::takeWork(Session& session) {
    if (!requeued_.isEmpty()) {
        session.parcel = requeued_.takeFirst();
        return true;
    }
    if (sourceEnded_)
        return false;
    GetNewRecipient(session.parcel, limitAllowance());
    sourceEnded_ = session.parcel.current == SendMDBList::endMarker();
    return !sourceEnded_;
}

void SMTPSocket::park(Session& session, Wait wait) {
    session.wait = wait;
    session.corvex->quit();
}

void SMTPSocket::reconnectParked(Wait wait) {
    for (const std::unique_ptr<Session>& session : sessions_) {
        if (session->wait != wait)
            continue;
        session->wait = Wait::None;
        session->corvex->connectToServer();
    }
}

// The message in hand goes back to the front of the queue unmarked; the session is opened again once
// after a pause, and given up when it fails again. The run fails only with its last session.
void SMTPSocket::sessionFailed(Session& session, bool timedOut) {
    const QString reason = session.corvex->lastReply();
    if (session.inHand) {
        requeued_.prepend(session.parcel);
        inFlight_ = qMax<qint64>(0, inFlight_ - session.parcel.size());
        session.inHand = false;
    }
    ++session.failures;
    const bool last =
        session.failures > 1 && std::all_of(sessions_.cbegin(), sessions_.cend(), [&](const auto& s) {
            return s.get() == &session || s->wait == Wait::Failed;
        });
    if (last) {
        if (timedOut) {
            TimeoutAndCleanup(session);
        } else {
            AbortCleanup();
            Q_EMIT AddMailed(QStringLiteral("Reason: ") + reason, false, false);
        }
        return;
    }
    if (timedOut) {
        logFor(session, QStringLiteral("Server Timeout."));
        logFor(session, QStringLiteral("Last Data recieved was : ") + reason);
        logFor(session, QStringLiteral("Last data transmitted : ") + sentForLog(session.corvex->lastSent()));
    } else {
        logFor(session, QStringLiteral("Reason: ") + reason);
    }
    session.wait = session.failures == 1 ? Wait::Reopen : Wait::Failed;
    // A timed-out session is still connected; a dropped one is closing already.
    if (timedOut)
        session.corvex->close();
    if (session.wait == Wait::Reopen) {
        logFor(session, QStringLiteral("Session lost; opening it again."));
        session.timer.start(reopenDelayMs_);
    } else {
        logFor(session, QStringLiteral("Session lost again; the run goes on without it."));
    }
    wakeDrained();
    completeIfDone();
}

void SMTPSocket::reopen(Session& session) {
    session.wait = Wait::None;
    if (!isRunning())
        return;
    if (stopped_) {
        session.wait = Wait::Drained;
        abortIfIdle();
    } else if (paused_) {
        session.wait = Wait::Pause;
    } else if (blockWaiting_) {
        session.wait = Wait::BlockPause;
    } else if (limitWaiting_) {
        session.wait = Wait::LimitPause;
    } else {
        session.corvex->connectToServer();
    }
}

// Messages given back by a failed session go to the sessions that found the list at its end.
void SMTPSocket::wakeDrained() {
    for (const std::unique_ptr<Session>& session : sessions_) {
        if (requeued_.isEmpty() || !isRunning())
            return;
        if (session->wait == Wait::Drained && session->open)
            dispatch(*session);
    }
}

void SMTPSocket::completeIfDone() {
    if (!isRunning() || !sourceEnded_ || !requeued_.isEmpty() || anyInHand())
        return;
    // A message given back needs a session that can still take it.
    MailingComplete();
}

void SMTPSocket::abortIfIdle() {
    if (!isRunning() || anyInHand())
        return;
    Q_EMIT ResultString(QStringLiteral("Disconnecting"));
    AbortCleanup();
}

// ---- Recipients ----

QString SMTPSocket::nextUsableAddress() {
    for (;;) {
        const QString address = firstFetch_ ? source_.GetFirstAddr() : source_.GetNextAddr();
        firstFetch_ = false;
        if (address == SendMDBList::endMarker() || IsValidEmailAddress(address))
            return address;
        if (StringFunctionsObject::containsControlCharacter(address))
            refuseRecipient(address);
    }
}

// An address holding a control character would put a line of its own into the session: it is
// counted as failed and named in the log, and the run goes on.
void SMTPSocket::refuseRecipient(const QString& address) {
    const QString shown = StringFunctionsObject::visibleControlCharacters(address);
    ++taken_;
    ++failed_;
    LogSend(QStringLiteral("Not sent to ") + shown +
            QStringLiteral(": the address holds a control character."));
    Q_EMIT AddMailed(QStringLiteral("To: ") + shown, true, false);
    Q_EMIT CounterUpdate(passed_, failed_);
}

QString SMTPSocket::envelopeSender(const Session& session) const {
    const QString bounce = headerValue(options_.BounceAddress);
    if (bounce.isEmpty())
        return fromAddress_;
    // A batch copy has many recipients and so none to encode.
    const QString& bare = session.parcel.bare;
    return options_.UseVERP && perRecipient_ && !bare.isEmpty() ? Verp::encode(bounce, bare) : bounce;
}

QString SMTPSocket::bracketed(const QString& address) const {
    return appSettings().ServerWantsBracket ? u'<' + address + u'>' : address;
}

// The next message's recipients, at most most of them (with a limit), or "*EOF*" as current.
void SMTPSocket::GetNewRecipient(Parcel& parcel, qint64 most) {
    parcel.batch.clear();
    parcel.batchBare.clear();
    if (perRecipient_) {
        const QString address = nextUsableAddress();
        if (address == SendMDBList::endMarker()) {
            parcel.current = address;
            parcel.bare.clear();
            parcel.record = RecipientRecord();
            return;
        }
        ++taken_;
        parcel.bare = address;
        parcel.current = bracketed(address);
        // The record goes with the message, since another session may read the next one meanwhile.
        parcel.record = source_.currentRecord();
        const QString name = source_.GetPersonalName(greeting_);
        parcel.toText = name.trimmed().isEmpty() ? address : name;
        return;
    }
    parcel.current.clear();
    qint64 size = qMax(1, appSettings().GroupMailBlockSize);
    if (most > 0)
        size = qMin(size, most);
    while (parcel.batch.size() < size) {
        const QString address = nextUsableAddress();
        if (address == SendMDBList::endMarker()) {
            if (parcel.batch.isEmpty())
                parcel.current = address;
            break;
        }
        ++taken_;
        parcel.batch.append({bracketed(address), false});
        parcel.batchBare.append(address);
    }
    parcel.toText = source_.GetGroupToAddress();
}

// ---- Message text ----

QByteArray SMTPSocket::GetMsgBody() {
    return GetMsgBody(first());
}

QByteArray SMTPSocket::GetMsgBody(const Session& session) {
    QByteArray body;
    const Parcel& parcel = session.parcel;
    if (perRecipient_) {
        const bool textOnly =
            appSettings().CheckIfDomainWantsTextOnly && text_.sendType() != 0 && CheckDomain(parcel.current);
        body = text_.personal(parcel.record, parcel.toText, textOnly);
    } else {
        body = text_.batch(parcel.toText);
    }
    if (signer_.isSetUp()) {
        QString problem;
        const QByteArray signature = signer_.signatureFor(body, &problem);
        if (signature.isEmpty())
            LogError(QStringLiteral("GetMsgBody in SMTPSocket -- the message could not be signed: ") +
                     problem);
        body.prepend(signature);
    }
    if (body.contains(SendMDBList::endMarker().toLatin1()))
        LogError(QStringLiteral("GetMsgBody in SMTPSocket -- *EOF* in message being sent out"));
    return body;
}

bool SMTPSocket::CheckDomain(const QString& address) const {
    const qsizetype at = address.indexOf(u'@');
    if (at < 0)
        return false;
    QString domain = address.mid(at + 1);
    if (appSettings().ServerWantsBracket)
        domain.chop(1);
    domain = domain.trimmed().toUpper();
    for (const QString& candidate : textOnlyDomains_) {
        const QString wanted = candidate.trimmed().toUpper();
        if (!wanted.isEmpty() && wanted == domain)
            return true;
    }
    return false;
}

void SMTPSocket::DateStampInit() {
    dateLine_ = QStringLiteral("Date: ") + DateStamp() + CrLf;
}

QString SMTPSocket::DateStamp() const {
    return DateStamp::dateHeaderText(QDateTime::currentDateTime());
}

// ---- Send log ----

void SMTPSocket::LogSend(const QString& SendStr, bool bStartMailing, bool bEndMailing) {
    if (bStartMailing) {
        SendLogStart start;
        start.start = startTime_;
        start.group = source_.Tamberlyn;
        start.message = source_.MsgName;
        start.list = source_.AddrListName;
        start.deliveryOptions = source_.MailOptionsName;
        start.server = mailServer_;
        start.port = appSettings().SMTPPort;
        start.fromAddress = fromAddress_;
        start.version = VersionText(true, true);
        log_.writeStartBlock(start);
    }
    log_.writeLine(SendStr);
    if (bEndMailing) {
        SendLogTotals totals;
        totals.start = startTime_;
        totals.end = endTime_.isValid() ? endTime_ : QDateTime::currentDateTime();
        totals.taken = taken_;
        totals.passed = passed_;
        totals.failed = failed_;
        totals.unmarked = unmarked_;
        totals.lateMarks = source_.owedMarksWritten();
        totals.messageSize = messageSize_;
        log_.writeEndBlock(totals);
        for (const QString& line : totals.statisticsLines())
            Q_EMIT AddMailed(line, false, false);
    }
}

// ---- Ends ----

void SMTPSocket::MailingComplete() {
    ended_ = true;
    completed_ = true;
    stopTimers();
    endTime_ = QDateTime::currentDateTime();
    if (source_.MailEventID > 0)
        Mailings::ReturnMailResults(prompter_, source_.MailEventID, qint32(passed_), qint32(failed_),
                                    startText_);
    Q_EMIT MailOutComplete(passed_);
    Q_EMIT ReenableSendButton();
    source_.EndMailingDBSupport();
    Q_EMIT AddMailed(QStringLiteral("Mailing Complete. Send QUIT to Server."), false, false);
    LogSend(QStringLiteral("Mailing Complete...Sending QUIT"), false, true);
    quitAll();
    stopped_ = true;
}

void SMTPSocket::AbortCleanup() {
    if (ended_)
        return;
    ended_ = true;
    stopTimers();
    Q_EMIT AddMailed(QStringLiteral("***** MAILING ABORTED *****"), false, false);
    endTime_ = QDateTime::currentDateTime();
    LogSend(QStringLiteral("Mailing Aborted...Sending Quit"), false, true);
    quitAll();
    source_.EndMailingDBSupport();
    stopped_ = true;
    Q_EMIT ReenableSendButton();
}

void SMTPSocket::stopTimers() {
    tmrStopGrace_.stop();
    tmrPauseInBlocks_.stop();
    tmrLimit_.stop();
    for (const std::unique_ptr<Session>& session : sessions_) {
        session->timer.stop();
        session->wait = Wait::None;
    }
}

void SMTPSocket::quitAll() {
    for (const std::unique_ptr<Session>& session : sessions_)
        session->corvex->quit();
}

void SMTPSocket::TimeoutAndCleanup(Session& session) {
    logFor(session, QStringLiteral("Server Timeout."));
    logFor(session, QStringLiteral("Last Data recieved was : ") + session.corvex->lastReply());
    logFor(session, QStringLiteral("Last data transmitted : ") + sentForLog(session.corvex->lastSent()));
    prompter_.inform(QStringLiteral("No response from Mail Server"), timeoutText());
    AbortCleanup();
    Q_EMIT AddMailed(QStringLiteral("Server timed out."), false, false);
}
