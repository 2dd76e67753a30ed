#pragma once

#include "core/Prompter.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/ProcessEMail.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// What the mailbox wizard does with an account and its rules: checks the settings, runs ProcessEMail,
// asks for confirmation with what was found, makes the new list or changes the chosen lists, reports the
// counts per list, and only then deletes the matched messages from the server. A run that fails or is
// declined before the lists were written deletes nothing; one whose session failed before every message
// was read changes no list either, and only reports the addresses it had collected. A run the user stops
// keeps what was collected up to then.
class PopWizardRun : public QObject {
    Q_OBJECT
public:
    enum class Format { Importer, Subscription, Returned };
    enum class FilterMethod { All, Undeliverable, Phrases };
    enum class Action { Remove, Add };
    enum class Method { UpdateLists, CreateList };

    // "POP Mail Importer", "Subscription Manager", "Returned Mail Manager"; nullopt for any other text.
    static std::optional<Format> formatFromText(const QString& text);
    static QString formatText(Format format);
    static QString unknownFormatText() { return QStringLiteral("Unknown POP Wizard Format"); }

    struct Settings {
        Format format = Format::Importer;
        PopAccount account;
        FilterMethod filter = FilterMethod::Phrases;
        QStringList phrases; // the checked phrases
        Action action = Action::Add;
        Method method = Method::CreateList;
        QStringList lists;   // the lists the action applies to
        QString newListName; // Create a mailing list: saved under this name (empty: kept as a temporary list)
        bool saveCreatedList = false;
        QString savedListName; // "Also save retrieved addresses in a new list"
        bool deleteFromServer = false;
    };

    // What the confirmation shows.
    struct Confirmation {
        QString title;
        QString text;
        QStringList addresses;
    };
    // Answers whether to go on, or nothing when the answer comes later through answerConfirmation(); the
    // default asks the prompter with Yes and No.
    using Confirm = std::function<std::optional<bool>(const Confirmation&)>;

    // The status report: per list its name and the count added or removed.
    struct Report {
        QString title;   // "POP Email Action Status Report"
        QString heading; // "POP Import Summary", ...
        QStringList columns;
        QList<QStringList> rows;
    };

    enum class Outcome { Completed, FoundNothing, Stopped, Failed };

    PopWizardRun(Prompter& prompter, QObject* parent = nullptr);
    ~PopWizardRun() override;

    // Checks the settings with the wizard's messages; false after the message.
    bool validate(const Settings& settings);
    // Starts the run (after validate); ends with finished().
    void start(const Settings& settings);
    void stop();
    void setConfirm(Confirm confirm) { confirm_ = std::move(confirm); }
    // The answer to a confirmation that was not given at once.
    void answerConfirmation(bool go);
    bool isWaitingForConfirmation() const { return confirming_; }
    // For tests: the POP client's socket, time-out unit and reply caps.
    void setSocketFactory(PopClient::SocketFactory factory) { socketFactory_ = std::move(factory); }
    void setTimeoutUnitMs(int ms) { timeoutUnitMs_ = ms; }
    void setLimits(const PopLimits& limits) { limits_ = limits; }

    // The run page's texts.
    static QString notStartedText() { return QStringLiteral("Mail Processing Has Not Started"); }
    static QString pressStartText() { return QStringLiteral("Press Start To Continue."); }
    static QString headingText(Format format);
    static QString confirmationTitle(Format format);
    static QString summaryHeading(Format format);
    static QString outcomeText(Outcome outcome);
    static QString noPhraseText();
    static QString noListText(bool undeliverable);
    static QString incompleteRunText(const QStringList& addresses);
    static QString deletionFailedText(int confirmed, int total);

    Outcome outcome() const { return outcome_; }
    const Report& report() const { return report_; }
    QStringList addresses() const { return addresses_; }
    // The temporary list of the addresses found (kept while the run object lives).
    QString foundListPath() const { return foundList_; }
    // Hands the temporary list over to the caller: it is no longer removed with the run.
    QString takeFoundList() { return std::exchange(foundList_, QString()); }
    int deletedCount() const { return deleted_; }
    ProcessEMail* processor() const { return process_.get(); }

Q_SIGNALS:
    void showCurrentOperation(const QString& text);
    void showCurrentMessageNum(const QString& text);
    void messageProgress(int current, int total);
    void showAddressesCollected(int count);
    void reportReady(const PopWizardRun::Report& report);
    void finished(PopWizardRun::Outcome outcome);

private:
    void onConnected();
    void onNotConnected();
    void onProcessed();
    void proceed(bool confirmed);
    bool applyToLists();
    bool saveList(const QString& name);
    void finish(Outcome outcome);

    Prompter& prompter_;
    Settings settings_;
    std::unique_ptr<ProcessEMail> process_;
    PopClient::SocketFactory socketFactory_;
    int timeoutUnitMs_ = 0;
    std::optional<PopLimits> limits_;
    bool stopRequested_ = false;
    Confirm confirm_;
    bool connecting_ = false;
    bool confirming_ = false;
    bool stoppedWhileReading_ = false;
    bool finished_ = true;
    Outcome outcome_ = Outcome::Stopped;
    Report report_;
    QStringList addresses_;
    QString foundList_;
    int deleted_ = 0;
};
