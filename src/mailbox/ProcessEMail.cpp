#include "mailbox/ProcessEMail.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "harvest/mdlParser.h"
#include "lists/ListOperations.h"
#include "mailbox/MailHeaders.h"

#include <QFile>
#include <QTimer>

ProcessEMail::ProcessEMail(Prompter& prompter, QObject* parent) : QObject(parent), prompter_(prompter) {
    connect(&popMain_, &PopClient::POPStatus, this, &ProcessEMail::popMain_POPStatus);
}

ProcessEMail::~ProcessEMail() {
    insert_ = {};
    temp_.close();
    if (!tempPath_.isEmpty())
        QFile::remove(tempPath_);
}

QString ProcessEMail::connectionLostText(const QString& host) {
    return QStringLiteral("Connection to host '") + host + QStringLiteral("' was lost.");
}

namespace {

QString sizeText(qsizetype octets) {
    constexpr qsizetype MiB = 1024 * 1024;
    if (octets >= MiB && octets % MiB == 0)
        return QString::number(octets / MiB) + QStringLiteral(" MiB");
    return QString::number(octets) + QStringLiteral(" octets");
}

} // namespace

QString ProcessEMail::tooLargeText(int number, bool header, qsizetype cap) {
    return (header ? QStringLiteral("The header of message ") : QStringLiteral("Message ")) +
           QString::number(number) + QStringLiteral(" is larger than ") + sizeText(cap) +
           (header ? QStringLiteral("; the message was skipped and left on the server.")
                   : QStringLiteral("; it was skipped and left on the server."));
}

QString ProcessEMail::lineTooLongText(qsizetype cap) {
    return QStringLiteral("The server sent a reply line longer than ") + sizeText(cap) +
           QStringLiteral("; the session was ended.");
}

void ProcessEMail::connectToMailBox(const QString& host, const QString& userName, const QString& password,
                                    int port, bool showProgress) {
    const PopServer server = PopServer::parse(host, static_cast<quint16>(port > 0 ? port : 0));
    host_ = server.valid ? server.host : host;
    connected_ = false;
    if (showProgress)
        operation(QStringLiteral("Connecting to MailBox..."));
    popMain_.setPort(QString::number(server.port));
    popMain_.setHost(server.host);
    popMain_.setUserName(userName);
    popMain_.setPassword(password);
    popMain_.setTimeout(30);
    popMain_.setMode(1);
    popMain_.setSecurity(server.security);
    wait_ = Wait::Connect;
    if (!server.valid) {
        // A host text that names no host is answered as a refused connection.
        QTimer::singleShot(0, this, [this] { popMain_POPStatus(PopClient::NotConnected); });
        return;
    }
    popMain_.connectToServer();
}

void ProcessEMail::popMain_POPStatus(int code) {
    switch (code) {
    case 1:
        operation(QStringLiteral("Connected...Checking UserName..."));
        break;
    case 2:
        operation(QStringLiteral("Not Connected"));
        // A refused certificate says which one, so that the user can tell a replaced one from an attack.
        if (wait_ == Wait::Connect && !popMain_.lastReply().isEmpty())
            operation(popMain_.lastReply());
        failure();
        break;
    case 3:
    case 4:
        commandPending_ = false;
        commandResult_ = code == 3;
        if (wait_ == Wait::Header || wait_ == Wait::Message) {
            // The message could not be read: it is passed over and stays on the server.
            wait_ = Wait::None;
            QTimer::singleShot(0, this, &ProcessEMail::nextMessage);
        } else if (wait_ == Wait::Delete) {
            if (commandResult_)
                ++marked_;
            wait_ = Wait::None;
            QTimer::singleShot(0, this, &ProcessEMail::deleteNext);
        } else if (wait_ == Wait::Quit) {
            wait_ = Wait::None;
            connected_ = false;
            if (!commandResult_)
                return killLost();
            deleted_ = marked_;
            Q_EMIT killFinished(marked_ == killList_.size());
        } else if (wait_ == Wait::EndQuit) {
            wait_ = Wait::None;
            connected_ = false;
            Q_EMIT sessionEnded();
        }
        break;
    case 5:
        operation(QStringLiteral("Message List Retrieved... Processing."));
        connected_ = true;
        if (wait_ == Wait::Connect) {
            wait_ = Wait::None;
            Q_EMIT connectionEstablished();
        }
        break;
    case 7:
        operation(QStringLiteral("Message list command failed... Unable to communicate with host."));
        failure();
        break;
    case 10:
        operation(QStringLiteral("Password Ok.  Retrieving Mail Drop."));
        break;
    case 11:
        operation(QStringLiteral("Password or Username failed, check both."));
        failure();
        break;
    case 14:
        if (wait_ == Wait::Header)
            onHeader();
        break;
    case 19:
        operation(QStringLiteral("Recieved Mail Drop... Getting Message List."));
        break;
    case 20:
        operation(QStringLiteral("Mail Drop command failed...Unable to communicate with host."));
        failure();
        break;
    case 21:
        if (wait_ == Wait::Message)
            onMessage();
        break;
    case 24:
        operation(QStringLiteral("User ok...Checking Password..."));
        break;
    case 25:
        operation(QStringLiteral("UserName Failed"));
        failure();
        break;
    case PopClient::TooLarge:
        if (wait_ == Wait::Header || wait_ == Wait::Message)
            skipTooLarge(wait_ == Wait::Header);
        break;
    case PopClient::LineTooLong:
        operation(lineTooLongText(popMain_.limits().statusLine));
        failure();
        break;
    case 27:
        popMain_.close();
        operation(QStringLiteral("The connection has timed out."));
        operation(QStringLiteral("Verify your connection and try again."));
        failure();
        break;
    default:
        break;
    }
}

void ProcessEMail::failure() {
    connected_ = false;
    popMain_.close();
    const Wait was = wait_;
    wait_ = Wait::None;
    Q_EMIT connectionNotEstablished();
    switch (was) {
    case Wait::Header:
    case Wait::Message:
        prompter_.inform(AppTitle(), connectionLostText(host_), Prompter::Icon::Exclamation);
        outcome_ = Outcome::ConnectionLost;
        finishCollecting();
        break;
    case Wait::Delete:
    case Wait::Quit:
        killLost();
        break;
    case Wait::EndQuit:
        Q_EMIT sessionEnded();
        break;
    case Wait::None:
    case Wait::Connect:
        break;
    }
}

void ProcessEMail::setSearchVariables(const QStringList& phrases, FilterMethod method, bool deleteProcessed) {
    phrases_ = phrases;
    method_ = method;
    deleteProcessed_ = deleteProcessed;
}

void ProcessEMail::processMailBox() {
    outcome_ = Outcome::Running;
    stopRequested_ = false;
    collected_ = 0;
    current_ = 0;
    killList_.clear();
    skipped_.clear();
    listPath_.clear();

    db::DbError error;
    temp_ = DataTank::CreateTargetDatabase(false, &error);
    if (temp_.isOpen()) {
        tempPath_ = temp_.fileName();
        // The key ignores letter case, so the same sender written two ways is one row.
        if (temp_.exec(
                QStringLiteral("CREATE TABLE \"POPTemp\" (\"EAddress\" TEXT(255) COLLATE NOCASE "
                               "CONSTRAINT \"EAddress\" PRIMARY KEY, \"FirstName\" TEXT(255) COLLATE "
                               "NOCASE, \"LastName\" TEXT(255) COLLATE NOCASE, \"Date\" TEXT(50) COLLATE "
                               "NOCASE, \"MessageSubject\" TEXT COLLATE NOCASE)"),
                {}, &error))
            insert_ = temp_.prepare(
                QStringLiteral("INSERT OR IGNORE INTO \"POPTemp\" (\"EAddress\", \"FirstName\", "
                               "\"LastName\", \"Date\", \"MessageSubject\") VALUES (?, ?, ?, ?, ?)"),
                &error);
    }
    if (!insert_.isValid()) {
        LogError(QStringLiteral("processMailBox in ProcessEMail"), {error.number, error.text});
        operation(QStringLiteral("List Could Not Be Created..."));
        outcome_ = Outcome::ListFailed;
        QTimer::singleShot(0, this, &ProcessEMail::processingFinished);
        return;
    }

    total_ = connected_ ? popMain_.messageCount() : 0;
    if (!connected_) {
        prompter_.inform(AppTitle(), connectionLostText(host_), Prompter::Icon::Exclamation);
        outcome_ = Outcome::ConnectionLost;
        QTimer::singleShot(0, this, &ProcessEMail::finishCollecting);
        return;
    }
    if (total_ == 0) {
        insert_ = {};
        temp_.close();
        QFile::remove(tempPath_);
        tempPath_.clear();
        prompter_.inform(AppTitle(), noMessagesText(host_));
        outcome_ = Outcome::NoMessages;
        QTimer::singleShot(0, this, &ProcessEMail::processingFinished);
        return;
    }
    operation(QStringLiteral("Found ") + QString::number(total_) + QStringLiteral(" Messages....Processing"));
    Q_EMIT TotalMessageNum(total_);
    temp_.beginTransaction();
    QTimer::singleShot(0, this, &ProcessEMail::nextMessage);
}

void ProcessEMail::nextMessage() {
    if (stopRequested_) {
        outcome_ = Outcome::Stopped;
        return finishCollecting();
    }
    if (++current_ > total_)
        return finishCollecting();
    wait_ = Wait::Header;
    popMain_.requestHeader(current_);
}

void ProcessEMail::onHeader() {
    wait_ = Wait::None;
    const QList<MailHeaders::Field> fields = MailHeaders::parse(popMain_.text());
    const QString subject = MailHeaders::value(fields, "Subject");
    Q_EMIT showCurrentMessageNum(QStringLiteral("Processing ") + QString::number(current_) +
                                 QStringLiteral(" of ") + QString::number(total_) + QStringLiteral(" ..."));
    Q_EMIT messageProgress(current_, total_);
    pendingDate_ = MailHeaders::value(fields, "Date");
    pendingSubject_ = subject;

    bool matched = false;
    switch (method_) {
    case FilterMethod::All:
        matched = true;
        break;
    case FilterMethod::Phrases:
        matched = MailHeaders::matchingPhrase(subject, phrases_) >= 0;
        break;
    case FilterMethod::Undeliverable:
        // A delivery report is returned mail whatever else it says; an auto-reply without one never is.
        if (MailHeaders::isDeliveryReport(fields) ||
            (!MailHeaders::isAutoReply(fields) &&
             MailHeaders::matchingPhrase(subject, MailHeaders::failurePhrases()) >= 0)) {
            if (popMain_.messageSize(current_) > popMain_.limits().message)
                return skipTooLarge(false);
            wait_ = Wait::Message;
            popMain_.requestMessage(current_);
            return;
        }
        break;
    }
    if (matched) {
        collect(QStringLiteral("From: ") + MailHeaders::value(fields, "From"), pendingDate_, subject);
        if (deleteProcessed_)
            killList_ << current_;
    }
    QTimer::singleShot(0, this, &ProcessEMail::nextMessage);
}

// The message stays on the server and out of the kill list; the run goes on with the next one.
void ProcessEMail::skipTooLarge(bool header) {
    wait_ = Wait::None;
    skipped_ << current_;
    operation(tooLargeText(current_, header, header ? popMain_.limits().header : popMain_.limits().message));
    QTimer::singleShot(0, this, &ProcessEMail::nextMessage);
}

void ProcessEMail::stop() {
    stopRequested_ = true;
    if (!popMain_.isBusy())
        return;
    const Wait was = wait_;
    wait_ = Wait::None;
    connected_ = false;
    popMain_.close();
    // Answered from the event loop, as the reply would have been.
    QTimer::singleShot(0, this, [this, was] {
        switch (was) {
        case Wait::Header:
        case Wait::Message:
            outcome_ = Outcome::Stopped;
            finishCollecting();
            break;
        case Wait::Connect:
            Q_EMIT connectionNotEstablished();
            break;
        case Wait::Delete:
        case Wait::Quit:
            killLost();
            break;
        case Wait::EndQuit:
            Q_EMIT sessionEnded();
            break;
        case Wait::None:
            break;
        }
    });
}

void ProcessEMail::onMessage() {
    wait_ = Wait::None;
    const QByteArray& message = popMain_.text();
    // The envelope recipient of a VERP bounce names the recipient however the report was rewritten.
    const QString verp = MailHeaders::verpRecipient(MailHeaders::parse(message));
    const QString reported = verp.isEmpty() ? MailHeaders::reportedRecipient(message) : verp;
    collect(reported.isEmpty() ? QString(QStringLiteral("To: ") + MailHeaders::toLineAfterSubject(message))
                               : QString(QStringLiteral("To: <") + reported + u'>'),
            pendingDate_, pendingSubject_);
    if (deleteProcessed_)
        killList_ << current_;
    QTimer::singleShot(0, this, &ProcessEMail::nextMessage);
}

void ProcessEMail::collect(const QString& text, const QString& date, const QString& subject) {
    qsizetype position = 1;
    QString firstName;
    QString lastName;
    const QString address = mdlParser::parseEmailAddress(text, position, firstName, lastName);
    if (address.size() <= 3)
        return;
    insert_.bindAll({address, firstName, lastName, date.left(50), subject});
    if (!insert_.exec()) {
        LogError(QStringLiteral("processMailBox in ProcessEMail"),
                 {insert_.error().number, insert_.error().text});
        return;
    }
    if (temp_.changes() > 0) {
        ++collected_;
        Q_EMIT showAddressesCollected(collected_);
    }
}

void ProcessEMail::finishCollecting() {
    wait_ = Wait::None;
    insert_ = {};
    if (temp_.inTransaction())
        temp_.commit();
    temp_.close();
    if (outcome_ == Outcome::Running)
        outcome_ = Outcome::Completed;
    operation(QStringLiteral("Creating List..."));
    if (collected_ == 0) {
        prompter_.inform(AppTitle(), QStringLiteral("No email addresses were found."));
        if (outcome_ == Outcome::Completed)
            outcome_ = Outcome::NothingFound;
    } else {
        const QStringList columns = {QStringLiteral("EAddress"), QStringLiteral("FirstName"),
                                     QStringLiteral("LastName"), QStringLiteral("Date")};
        const QString result = CreateList(columns, columns, QStringLiteral("POPTemp"), tempPath_, prompter_);
        if (ListOperations::isPath(result)) {
            listPath_ = result;
            operation(QStringLiteral("List Created..."));
            operation(QStringLiteral("Processing Completed. ") + QString::number(collected_) +
                      QStringLiteral(" Addresses Found."));
        } else {
            operation(QStringLiteral("List Could Not Be Created..."));
            outcome_ = Outcome::ListFailed;
        }
    }
    QFile::remove(tempPath_);
    tempPath_.clear();
    Q_EMIT processingFinished();
}

void ProcessEMail::KillMail() {
    marked_ = 0;
    deleted_ = 0;
    killIndex_ = 0;
    if (killList_.isEmpty()) {
        prompter_.inform(AppTitle(), QStringLiteral("No Messages to Remove on ") + host_);
        QTimer::singleShot(0, this, [this] { Q_EMIT killFinished(true); });
        return;
    }
    if (!connected_)
        return killLost();
    deleteNext();
}

void ProcessEMail::deleteNext() {
    if (killIndex_ < killList_.size()) {
        wait_ = Wait::Delete;
        popMain_.deleteMessage(killList_.at(killIndex_++));
        return;
    }
    // The server removes the marked messages only when the session ends with QUIT.
    wait_ = Wait::Quit;
    popMain_.quit();
}

void ProcessEMail::killLost() {
    wait_ = Wait::None;
    connected_ = false;
    popMain_.close();
    // Marked messages stay on the server unless QUIT was answered, so none count as deleted.
    deleted_ = 0;
    prompter_.inform(AppTitle(),
                     QStringLiteral("The connection has been lost.\nTamberlyn deleted the first ") +
                         QString::number(deleted_) + QStringLiteral(" before the connection was lost."),
                     Prompter::Icon::Exclamation);
    Q_EMIT killFinished(false);
}

void ProcessEMail::endSession() {
    if (!connected_) {
        QTimer::singleShot(0, this, &ProcessEMail::sessionEnded);
        return;
    }
    wait_ = Wait::EndQuit;
    popMain_.quit();
}
