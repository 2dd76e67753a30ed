#include "mailbox/PopWizardRun.h"

#include "core/AppInfo.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "db/ListEvents.h"

#include <QFile>
#include <QTimer>

namespace {

// The format decides part of the rules: the importer always makes a list, returned mail is always
// removed from lists.
PopWizardRun::Settings normalised(PopWizardRun::Settings settings) {
    switch (settings.format) {
    case PopWizardRun::Format::Importer:
        settings.method = PopWizardRun::Method::CreateList;
        break;
    case PopWizardRun::Format::Returned:
        settings.filter = PopWizardRun::FilterMethod::Undeliverable;
        settings.action = PopWizardRun::Action::Remove;
        settings.method = PopWizardRun::Method::UpdateLists;
        break;
    case PopWizardRun::Format::Subscription:
        break;
    }
    return settings;
}

QStringList readAddresses(const QString& listPath) {
    QStringList addresses;
    const db::Database list = db::Database::open(listPath, db::Database::OpenMode::ReadOnly);
    db::Statement select =
        list.prepare(QStringLiteral("SELECT \"EAddress\" FROM \"AddressList\" ORDER BY \"EAddress\""));
    while (select.isValid() && select.next())
        addresses << select.text(0);
    return addresses;
}

} // namespace

std::optional<PopWizardRun::Format> PopWizardRun::formatFromText(const QString& text) {
    for (Format format : {Format::Importer, Format::Subscription, Format::Returned})
        if (text == formatText(format))
            return format;
    return std::nullopt;
}

QString PopWizardRun::formatText(Format format) {
    switch (format) {
    case Format::Importer:
        return QStringLiteral("POP Mail Importer");
    case Format::Subscription:
        return QStringLiteral("Subscription Manager");
    case Format::Returned:
        return QStringLiteral("Returned Mail Manager");
    }
    return {};
}

QString PopWizardRun::headingText(Format format) {
    switch (format) {
    case Format::Subscription:
        return QStringLiteral("Update the Following Lists by");
    case Format::Returned:
        return QStringLiteral("Remove Undeliverable Mail from these Lists");
    case Format::Importer:
        return QStringLiteral("Process Your Response Mail");
    }
    return {};
}

QString PopWizardRun::confirmationTitle(Format format) {
    switch (format) {
    case Format::Subscription:
        return QStringLiteral("Confirm POP Retrieval Action");
    case Format::Importer:
        return QStringLiteral("Confirm POP Import");
    case Format::Returned:
        return QStringLiteral("Confirm Removal of Undeliverables");
    }
    return {};
}

QString PopWizardRun::summaryHeading(Format format) {
    switch (format) {
    case Format::Importer:
        return QStringLiteral("POP Import Summary");
    case Format::Subscription:
        return QStringLiteral("Subscription Manager Summary");
    case Format::Returned:
        return QStringLiteral("Undeliverable Addresses Summary");
    }
    return {};
}

QString PopWizardRun::outcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Completed:
        return QStringLiteral("Message Processing Has Completed");
    case Outcome::FoundNothing:
        return QStringLiteral("Message Processing Found Nothing");
    case Outcome::Stopped:
    case Outcome::Failed:
        return QStringLiteral("Message Processing Has Been Stopped");
    }
    return {};
}

QString PopWizardRun::noPhraseText() {
    return QStringLiteral("You need to select at least one search phrase for you search.");
}

QString PopWizardRun::noListText(bool undeliverable) {
    return undeliverable ? QStringLiteral("You need to select a list or lists to remove the undeliverable "
                                          "addresses from.")
                         : QStringLiteral("You need to select a list or lists to add or remove the collected "
                                          "addresses from.");
}

QString PopWizardRun::incompleteRunText(const QStringList& addresses) {
    return QStringLiteral("The mailbox could not be read to its end: no list was changed and no mail was "
                          "deleted from the server.\nAddresses collected before the failure: ") +
           QString::number(addresses.size()) +
           (addresses.isEmpty() ? QString() : u'\n' + addresses.join(u'\n'));
}

QString PopWizardRun::deletionFailedText(int confirmed, int total) {
    return QStringLiteral("Deleting mail from the server did not complete: the server confirmed ") +
           QString::number(confirmed) + QStringLiteral(" of ") + QString::number(total) +
           QStringLiteral(" deletions.");
}

PopWizardRun::PopWizardRun(Prompter& prompter, QObject* parent) : QObject(parent), prompter_(prompter) {
    confirm_ = [this](const Confirmation& confirmation) {
        return prompter_.ask(confirmation.title, confirmation.text, Prompter::Buttons::YesNo) ==
               Prompter::Answer::Yes;
    };
}

PopWizardRun::~PopWizardRun() {
    process_.reset();
    if (!foundList_.isEmpty())
        QFile::remove(foundList_);
}

bool PopWizardRun::validate(const Settings& given) {
    const Settings settings = normalised(given);
    if (!PopAccounts::validate(settings.account, prompter_))
        return false;
    if (settings.filter == FilterMethod::Phrases && settings.phrases.isEmpty()) {
        prompter_.inform(AppTitle(), noPhraseText(), Prompter::Icon::Exclamation);
        return false;
    }
    if (settings.method == Method::UpdateLists && settings.lists.isEmpty()) {
        prompter_.inform(AppTitle(), noListText(settings.filter == FilterMethod::Undeliverable),
                         Prompter::Icon::Exclamation);
        return false;
    }
    if (settings.method == Method::UpdateLists) {
        for (const QString& name : settings.lists) {
            if (DataTank::GetListPath(name).isEmpty()) {
                prompter_.inform(AppTitle(),
                                 QStringLiteral("There is no list named '") + name + QStringLiteral("'."),
                                 Prompter::Icon::Exclamation);
                return false;
            }
        }
    }
    return true;
}

void PopWizardRun::start(const Settings& settings) {
    settings_ = normalised(settings);
    finished_ = false;
    stopRequested_ = false;
    confirming_ = false;
    report_ = {};
    addresses_.clear();
    deleted_ = 0;
    if (!foundList_.isEmpty())
        QFile::remove(foundList_);
    foundList_.clear();

    process_ = std::make_unique<ProcessEMail>(prompter_);
    ProcessEMail* process = process_.get();
    if (socketFactory_)
        process->popMain().setSocketFactory(socketFactory_);
    if (timeoutUnitMs_ > 0)
        process->popMain().setTimeoutUnitMs(timeoutUnitMs_);
    if (limits_)
        process->popMain().setLimits(*limits_);
    process->popMain().setTrust(PopAccounts::trustOf(settings_.account.AccountID));
    connect(process, &ProcessEMail::showCurrentOperation, this, &PopWizardRun::showCurrentOperation);
    connect(process, &ProcessEMail::showCurrentMessageNum, this, &PopWizardRun::showCurrentMessageNum);
    connect(process, &ProcessEMail::messageProgress, this, &PopWizardRun::messageProgress);
    connect(process, &ProcessEMail::showAddressesCollected, this, &PopWizardRun::showAddressesCollected);
    connect(process, &ProcessEMail::connectionEstablished, this, &PopWizardRun::onConnected);
    connect(process, &ProcessEMail::connectionNotEstablished, this, &PopWizardRun::onNotConnected);
    connect(process, &ProcessEMail::processingFinished, this, &PopWizardRun::onProcessed);
    connecting_ = true;
    process->connectToMailBox(settings_.account.ServerName, settings_.account.UserName,
                              settings_.account.Password, 0, true);
}

void PopWizardRun::stop() {
    stopRequested_ = true;
    if (process_)
        process_->stop();
}

void PopWizardRun::onConnected() {
    connecting_ = false;
    ProcessEMail::FilterMethod method = ProcessEMail::FilterMethod::Phrases;
    if (settings_.filter == FilterMethod::All)
        method = ProcessEMail::FilterMethod::All;
    else if (settings_.filter == FilterMethod::Undeliverable)
        method = ProcessEMail::FilterMethod::Undeliverable;
    process_->setSearchVariables(settings_.phrases, method, settings_.deleteFromServer);
    process_->processMailBox();
}

void PopWizardRun::onNotConnected() {
    if (!connecting_)
        return;
    connecting_ = false;
    finish(stopRequested_ ? Outcome::Stopped : Outcome::Failed);
}

void PopWizardRun::onProcessed() {
    const ProcessEMail::Outcome processed = process_->outcome();
    foundList_ = process_->listPath();
    if (foundList_.isEmpty()) {
        const Outcome outcome =
            processed == ProcessEMail::Outcome::NoMessages || processed == ProcessEMail::Outcome::NothingFound
                ? Outcome::FoundNothing
            : processed == ProcessEMail::Outcome::Stopped ? Outcome::Stopped
                                                          : Outcome::Failed;
        connect(process_.get(), &ProcessEMail::sessionEnded, this, [this, outcome] { finish(outcome); });
        process_->endSession();
        return;
    }

    addresses_ = readAddresses(foundList_);
    if (processed == ProcessEMail::Outcome::ConnectionLost) {
        // Part of the mailbox was never read: applying half a result would change lists silently.
        prompter_.inform(AppTitle(), incompleteRunText(addresses_), Prompter::Icon::Exclamation);
        connect(process_.get(), &ProcessEMail::sessionEnded, this, [this] { finish(Outcome::Failed); });
        process_->endSession();
        return;
    }
    Confirmation confirmation;
    confirmation.title = confirmationTitle(settings_.format);
    confirmation.addresses = addresses_;
    confirmation.text =
        QStringLiteral(" Unique e-mail addresses found:  ") + QString::number(addresses_.size());
    if (!settings_.deleteFromServer)
        confirmation.text += QStringLiteral("\nMessages will not be deleted from the server.");
    confirmation.text += u'\n' + addresses_.join(u'\n');
    stoppedWhileReading_ = processed == ProcessEMail::Outcome::Stopped;
    confirming_ = true;
    if (const std::optional<bool> answer = confirm_(confirmation))
        proceed(*answer);
}

void PopWizardRun::answerConfirmation(bool go) {
    if (confirming_)
        proceed(go);
}

void PopWizardRun::proceed(bool confirmed) {
    confirming_ = false;
    const bool stopped = stoppedWhileReading_;
    if (!confirmed) {
        connect(process_.get(), &ProcessEMail::sessionEnded, this, [this] { finish(Outcome::Stopped); });
        process_->endSession();
        return;
    }
    if (!applyToLists()) {
        // Nothing is deleted from the server when the lists were not written.
        connect(process_.get(), &ProcessEMail::sessionEnded, this, [this] { finish(Outcome::Failed); });
        process_->endSession();
        return;
    }
    Q_EMIT reportReady(report_);
    const Outcome outcome = stopped ? Outcome::Stopped : Outcome::Completed;
    if (settings_.deleteFromServer && process_->isConnected()) {
        connect(process_.get(), &ProcessEMail::killFinished, this, [this, outcome](bool allDeleted) {
            deleted_ = process_->deletedCount();
            if (!allDeleted)
                prompter_.inform(AppTitle(),
                                 deletionFailedText(process_->confirmedDeletions(),
                                                    static_cast<int>(process_->killList().size())),
                                 Prompter::Icon::Exclamation);
            finish(allDeleted ? outcome : Outcome::Failed);
        });
        process_->KillMail();
        return;
    }
    connect(process_.get(), &ProcessEMail::sessionEnded, this, [this, outcome] { finish(outcome); });
    process_->endSession();
}

bool PopWizardRun::saveList(const QString& name) {
    if (name.isEmpty())
        return true;
    if (DataTank::SaveListAs(foundList_, name, QString(), false, prompter_))
        return true;
    prompter_.inform(AppTitle(), QStringLiteral("The list '") + name + QStringLiteral("' was not saved."),
                     Prompter::Icon::Exclamation);
    return false;
}

bool PopWizardRun::applyToLists() {
    report_.title = QStringLiteral("POP Email Action Status Report");
    report_.heading = summaryHeading(settings_.format);
    const bool removing = settings_.method == Method::UpdateLists && settings_.action == Action::Remove;
    report_.columns = {QStringLiteral("List Name"),
                       removing ? QStringLiteral("Removed") : QStringLiteral("Added")};

    if (settings_.method == Method::CreateList) {
        Q_EMIT showCurrentOperation(QStringLiteral("Creating a List"));
        if (!saveList(settings_.newListName))
            return false;
        report_.rows << QStringList{settings_.newListName.isEmpty() ? QStringLiteral("New List")
                                                                    : settings_.newListName,
                                    QString::number(addresses_.size())};
    } else {
        Q_EMIT showCurrentOperation(removing ? QStringLiteral("Removing From Lists")
                                             : QStringLiteral("Add to Lists"));
        for (const QString& name : std::as_const(settings_.lists)) {
            const QString path = DataTank::registeredPath(DataTank::GetListPath(name));
            const qint64 count = removing ? DeleteAddressesIn(path, QStringLiteral("AddressList"),
                                                              QStringLiteral("AddressList"), foundList_)
                                          : CopyAddressesIn(path, QStringLiteral("AddressList"),
                                                            QStringLiteral("AddressList"), foundList_);
            if (count < 0) {
                prompter_.inform(
                    AppTitle(),
                    QStringLiteral("The list '") + name +
                        QStringLiteral("' could not be changed; no mail was deleted from the server."),
                    Prompter::Icon::Exclamation);
                return false;
            }
            if (count > 0)
                Q_EMIT ListEvents::instance().listContentChanged(path);
            report_.rows << QStringList{name, QString::number(count)};
        }
    }
    if (settings_.saveCreatedList && settings_.method == Method::UpdateLists &&
        !saveList(settings_.savedListName))
        return false;
    return true;
}

void PopWizardRun::finish(Outcome outcome) {
    if (finished_)
        return;
    finished_ = true;
    outcome_ = outcome;
    Q_EMIT showCurrentOperation(outcomeText(outcome));
    // The processor is released after the event that called here has returned.
    QTimer::singleShot(0, this, [this, outcome] { Q_EMIT finished(outcome); });
}
