#include "send/SMTPSocket.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "core/SecretStore.h"
#include "db/DbHelpers.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "messages/MimeAssembly.h"
#include "send/DateStamp.h"
#include "send/SendMDBList.h"
#include "send/Verp.h"
#include "util/StringFunctionsObject.h"

#include <QRegularExpression>

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
    : QObject(parent), source_(source), options_(options), prompter_(prompter), sckCorvex_(new Corvex(this)),
      logPath_(appFolders().sendLog()), minuteMs_(qMax(1, envMs("TAMBERLYN_MINUTE_MS", 60000))),
      tenthMs_(envMs("TAMBERLYN_TENTH_MS", 100)) {
    tmrStateClock_.setInterval(50);
    tmrPauseEachMessage_.setSingleShot(true);
    tmrStopGrace_.setSingleShot(true);
    connect(&tmrStopGrace_, &QTimer::timeout, this, [this] {
        if (!isRunning())
            return;
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
    });
    connect(&tmrStateClock_, &QTimer::timeout, sckCorvex_, &Corvex::clockTick);
    connect(&tmrPauseEachMessage_, &QTimer::timeout, this, &SMTPSocket::continueAfterDelay);
    connect(&tmrPauseInBlocks_, &QTimer::timeout, this, &SMTPSocket::onBlockMinute);

    connect(sckCorvex_, &Corvex::Connected, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Connected"));
        const qsizetype at = fromAddress_.indexOf(u'@');
        sckCorvex_->hello(at < 0 ? fromAddress_ : fromAddress_.mid(at + 1).trimmed());
    });
    connect(sckCorvex_, &Corvex::DataRecieved, this, [this](const QString& sent, const QString& received) {
        if (ended_)
            return; // the end block is the run's last entry
        log_.writeLine(QStringLiteral("C: ") + sentForLog(sent));
        log_.writeLine(QStringLiteral("S: ") + received);
    });
    connect(sckCorvex_, &Corvex::Disconnected, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Disconnected"));
        if (ended_)
            Q_EMIT SessionClosed();
    });
    connect(sckCorvex_, &Corvex::Ready, this, &SMTPSocket::onReady);
    connect(sckCorvex_, &Corvex::SENDFrom, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Sending From"));
        const QString sender = envelopeSender();
        sckCorvex_->sender(appSettings().BracketOnFrom ? u'<' + sender + u'>' : sender);
    });
    connect(sckCorvex_, &Corvex::SENDTo, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Sending To Info"));
        single_ = {current_, false};
        sckCorvex_->recipient(single_);
    });
    connect(sckCorvex_, &Corvex::SENDToArray, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Sending To List"));
        sckCorvex_->recipients(batch_);
    });
    connect(sckCorvex_, &Corvex::SENDBody, this, [this] {
        Q_EMIT ResultString(QStringLiteral("Sending Message Body"));
        sckCorvex_->body(GetMsgBody());
    });
    connect(sckCorvex_, &Corvex::SENT, this, &SMTPSocket::onSent);
    connect(sckCorvex_, &Corvex::SENTBlock, this, &SMTPSocket::onSentBlock);
    connect(sckCorvex_, &Corvex::State, this, &SMTPSocket::onState);
    connect(sckCorvex_, &Corvex::Timeout, this, [this] {
        if (isRunning())
            TimeoutAndCleanup();
    });
    log_.open(logPath_);
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
    paused_ = stopped_ = blockPaused_ = false;
    started_ = ended_ = completed_ = false;
    wait_ = Wait::None;
    taken_ = passed_ = failed_ = unmarked_ = 0;
    firstFetch_ = true;
    messageSize_ = 0;
    // 2.
    textOnlyDomains_ = settings.DomainsToCheck.split(u';');
    // 3.
    LogSend(QStringLiteral("Opening Addresslist..."), true, false);
    Q_EMIT Progress(QStringLiteral("Opening Addresslist..."));
    // 4.
    source_.setOptions(&options_);
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
    while (copies.size() < count) {
        GetNewRecipient();
        if (perRecipient_ ? current_ == SendMDBList::endMarker()
                          : batch_.isEmpty() || batch_.first().Address == SendMDBList::endMarker())
            break;
        copies.append(
            {perRecipient_ ? QStringList{currentBare_} : batchBare_, envelopeSender(), GetMsgBody()});
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
    const AppSettings& settings = appSettings();
    sckCorvex_->setTimeout(30);
    sckCorvex_->setTimeoutUnitMs(timeoutUnitMs_);
    sckCorvex_->setRemotePort(QString::number(settings.SMTPPort));
    sckCorvex_->setRemoteHost(mailServer_);
    sckCorvex_->setSecurity(smtpSecurityFromText(settings.SMTPSecurity));
    sckCorvex_->setCredentials(user, password);
    sckCorvex_->setInsecureAuthAllowed(settings.SMTPAllowInsecureAuth);
    if (socketFactory_)
        sckCorvex_->setSocketFactory(socketFactory_);
    // The trust belongs to the server of the settings, not to another one a mailing names.
    if (mailServer_.compare(settings.MailServer.trimmed(), Qt::CaseInsensitive) == 0)
        sckCorvex_->setTrust({settings.SMTPCertificateSHA256, settings.SMTPCAFile});
    started_ = true;
    sckCorvex_->connectToServer();
    tmrStateClock_.start();
}

// ---- Host controls ----

void SMTPSocket::pause() {
    paused_ = true;
}

void SMTPSocket::resume() {
    paused_ = false;
    if (wait_ == Wait::Pause && isRunning()) {
        wait_ = Wait::None;
        progress(QStringLiteral("Resuming"));
        sckCorvex_->connectToServer();
    }
}

void SMTPSocket::stop() {
    stopped_ = true;
    if (!isRunning())
        return;
    // A run that waits for a timer or for the host has no Ready coming that would end it.
    if (wait_ == Wait::Pause) {
        progress(QStringLiteral("Stopping"));
        AbortCleanup();
    } else if (wait_ == Wait::BlockPause || wait_ == Wait::Delay) {
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

void SMTPSocket::onReady() {
    if (!isRunning())
        return;
    // 1. A stop ends the run here; the abort writes its end to the log and tells the host.
    if (stopped_) {
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
        return;
    }
    // 2.
    if (paused_) {
        beginPauseWait();
        return;
    }
    // 3.
    if (options_.timedBlocksOn() && taken_ > 0 && taken_ % options_.TimedBlockSize == 0 && !blockPaused_) {
        progress(QStringLiteral("Mailing is pausing after the block of ") +
                 QString::number(options_.TimedBlockSize) + QStringLiteral(" was sent. Sending Quit."));
        wait_ = Wait::BlockPause;
        sckCorvex_->quit();
        blockMinutes_ = 0;
        blockPaused_ = true;
        tmrPauseInBlocks_.start(minuteMs_);
        return;
    }
    // 4.
    blockPaused_ = false;
    if (const int tenths = options_.messageDelayTenths(); tenths > 0) {
        wait_ = Wait::Delay;
        tmrPauseEachMessage_.start(tenths * tenthMs_);
        return;
    }
    sendNext();
}

void SMTPSocket::beginPauseWait() {
    progress(QStringLiteral("Mailing is Paused... Sending Quit"));
    wait_ = Wait::Pause;
    sckCorvex_->quit();
    progress(QStringLiteral("Pausing"));
}

void SMTPSocket::continueAfterDelay() {
    wait_ = Wait::None;
    if (!isRunning())
        return;
    if (stopped_) {
        Q_EMIT ResultString(QStringLiteral("Disconnecting"));
        AbortCleanup();
    } else if (paused_) {
        beginPauseWait();
    } else {
        sendNext();
    }
}

void SMTPSocket::sendNext() {
    // 5.
    Q_EMIT ResultString(QStringLiteral("Ready for send"));
    LogSend(QStringLiteral("Ready for Send"));
    GetNewRecipient();
    // 6.-7.
    if (perRecipient_) {
        if (current_.contains(SendMDBList::endMarker())) {
            MailingComplete();
            return;
        }
        sckCorvex_->sendMessage();
    } else {
        if (batch_.isEmpty() || batch_.first().Address == SendMDBList::endMarker()) {
            MailingComplete();
            return;
        }
        sckCorvex_->sendMessageToBatch();
    }
}

void SMTPSocket::onBlockMinute() {
    if (++blockMinutes_ < options_.TimeIncrement)
        return;
    tmrPauseInBlocks_.stop();
    wait_ = Wait::None;
    if (isRunning())
        sckCorvex_->connectToServer();
}

void SMTPSocket::onState(int number) {
    Q_EMIT sckState(stateName(number));
    const bool closing = number == int(Corvex::ConnectionState::Closing);
    if (!closing || !isRunning() || paused_ || stopped_)
        return;
    // A close the run asked for (quit before a pause) is no failure.
    if (wait_ == Wait::Pause || wait_ == Wait::BlockPause || sckCorvex_->orderlyClose())
        return;
    AbortCleanup();
    Q_EMIT AddMailed(QStringLiteral("Reason: ") + sckCorvex_->lastReply(), false, false);
}

void SMTPSocket::onSent(const RecipientResult& result) {
    if (!isRunning())
        return;
    single_ = result;
    const QStringList unmarked = MarkServedRecipients();
    if (result.Accepted)
        ++passed_;
    else
        ++failed_;
    Q_EMIT AddMailed(QStringLiteral("To: ") + result.Address, true, result.Accepted);
    Q_EMIT CounterUpdate(passed_, failed_);
    if (!unmarked.isEmpty())
        abortUnmarked(unmarked);
}

void SMTPSocket::onSentBlock(const QList<RecipientResult>& results) {
    if (!isRunning())
        return;
    batch_ = results;
    const QStringList unmarked = MarkServedRecipients();
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

QStringList SMTPSocket::MarkServedRecipients() {
    if (!options_.bFlagSends)
        return {};
    // The marks go to the record's own address, never to the bracketed envelope address.
    if (perRecipient_) {
        if (single_.Accepted && !source_.UpdateSuccessfulSentFlag(currentBare_))
            return {currentBare_};
        return {};
    }
    QStringList accepted;
    for (qsizetype i = 0; i < batch_.size(); ++i) {
        if (batch_[i].Accepted)
            accepted << (i < batchBare_.size() ? batchBare_[i] : batch_[i].Address);
    }
    return source_.UpdateSuccessfulSentFlags(accepted) ? QStringList() : accepted;
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

QString SMTPSocket::envelopeSender() const {
    const QString bounce = headerValue(options_.BounceAddress);
    if (bounce.isEmpty())
        return fromAddress_;
    // A batch copy has many recipients and so none to encode.
    return options_.UseVERP && perRecipient_ && !currentBare_.isEmpty() ? Verp::encode(bounce, currentBare_)
                                                                        : bounce;
}

QString SMTPSocket::bracketed(const QString& address) const {
    return appSettings().ServerWantsBracket ? u'<' + address + u'>' : address;
}

void SMTPSocket::GetNewRecipient() {
    if (perRecipient_) {
        const QString address = nextUsableAddress();
        if (address == SendMDBList::endMarker()) {
            current_ = address;
            currentBare_.clear();
            return;
        }
        ++taken_;
        currentBare_ = address;
        current_ = bracketed(address);
        const QString name = source_.GetPersonalName(greeting_);
        toText_ = name.trimmed().isEmpty() ? address : name;
        return;
    }
    batch_.clear();
    batchBare_.clear();
    const int size = qMax(1, appSettings().GroupMailBlockSize);
    while (batch_.size() < size) {
        const QString address = nextUsableAddress();
        if (address == SendMDBList::endMarker()) {
            if (batch_.isEmpty())
                batch_.append({address, false});
            break;
        }
        ++taken_;
        batch_.append({bracketed(address), false});
        batchBare_.append(address);
    }
    toText_ = source_.GetGroupToAddress();
}

// ---- Message text ----

QByteArray SMTPSocket::GetMsgBody() {
    QByteArray body;
    if (perRecipient_) {
        const bool textOnly =
            appSettings().CheckIfDomainWantsTextOnly && text_.sendType() != 0 && CheckDomain(current_);
        body = text_.personal(source_.currentRecord(), toText_, textOnly);
    } else {
        body = text_.batch(toText_);
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
    tmrStopGrace_.stop();
    tmrPauseEachMessage_.stop();
    tmrPauseInBlocks_.stop();
    endTime_ = QDateTime::currentDateTime();
    if (source_.MailEventID > 0)
        Mailings::ReturnMailResults(prompter_, source_.MailEventID, qint32(passed_), qint32(failed_),
                                    startText_);
    Q_EMIT MailOutComplete(passed_);
    Q_EMIT ReenableSendButton();
    source_.EndMailingDBSupport();
    Q_EMIT AddMailed(QStringLiteral("Mailing Complete. Send QUIT to Server."), false, false);
    LogSend(QStringLiteral("Mailing Complete...Sending QUIT"), false, true);
    sckCorvex_->quit();
    stopped_ = true;
}

void SMTPSocket::AbortCleanup() {
    if (ended_)
        return;
    ended_ = true;
    wait_ = Wait::None;
    tmrStopGrace_.stop();
    tmrPauseEachMessage_.stop();
    tmrPauseInBlocks_.stop();
    Q_EMIT AddMailed(QStringLiteral("***** MAILING ABORTED *****"), false, false);
    endTime_ = QDateTime::currentDateTime();
    LogSend(QStringLiteral("Mailing Aborted...Sending Quit"), false, true);
    sckCorvex_->quit();
    source_.EndMailingDBSupport();
    stopped_ = true;
    Q_EMIT ReenableSendButton();
}

void SMTPSocket::TimeoutAndCleanup() {
    LogSend(QStringLiteral("Server Timeout."));
    LogSend(QStringLiteral("Last Data recieved was : ") + sckCorvex_->lastReply());
    LogSend(QStringLiteral("Last data transmitted : ") + sentForLog(sckCorvex_->lastSent()));
    prompter_.inform(QStringLiteral("No response from Mail Server"), timeoutText());
    AbortCleanup();
    Q_EMIT AddMailed(QStringLiteral("Server timed out."), false, false);
}
