#include "core/SecretStore.h"

#include "util/Logging.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <memory>
#include <qt6keychain/keychain.h>

namespace SecretStore {

namespace {

// How long a call that must answer at once waits for the keyring (it may be asking to be unlocked).
constexpr int TimeoutMs = 10000;

bool enabled = true;
bool missing = false;
bool told = false;

// What a finished job reports.
struct Outcome {
    QKeychain::Error error = QKeychain::OtherError;
    QString errorText;
    QString password;
};

// The thread that owns every keyring job, and an object living in it to start them from.
QThread* jobThread = nullptr;
QObject* jobContext = nullptr;

void stopJobThread() {
    jobThread->quit();
    jobThread->wait();
    delete jobContext;
    delete jobThread;
    jobContext = nullptr;
    jobThread = nullptr;
}

QObject* context() {
    if (!jobThread) {
        jobThread = new QThread;
        jobThread->setObjectName(QStringLiteral("keyring"));
        jobContext = new QObject;
        jobContext->moveToThread(jobThread);
        jobThread->start();
        qAddPostRoutine(stopJobThread);
    }
    return jobContext;
}

QString serviceName(Service service) {
    return service == Service::Pop ? QStringLiteral("Tamberlyn POP") : QStringLiteral("Tamberlyn SMTP");
}

// One password per server and user name; server names hold no spaces.
QString keyOf(const QString& server, const QString& user) {
    return server + u' ' + user;
}

using MakeJob = std::function<QKeychain::Job*()>;

// Starts the job in the keyring's thread; finish runs there when it ends.
void start(MakeJob make, std::function<void(const Outcome&)> finish) {
    QMetaObject::invokeMethod(context(), [make = std::move(make), finish = std::move(finish)] {
        QKeychain::Job* job = make();
        job->setAutoDelete(true);
        QObject::connect(job, &QKeychain::Job::finished, [finish](QKeychain::Job* done) {
            Outcome outcome{done->error(), done->errorString(), {}};
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
                outcome.password = read->textData();
            finish(outcome);
        });
        job->start();
    });
}

// Blocks the calling thread, not its event loop, until the job ends or the time runs out.
Outcome runAndWait(MakeJob make) {
    struct Pending {
        QSemaphore done;
        Outcome outcome;
    };
    auto pending = std::make_shared<Pending>();
    start(std::move(make), [pending](const Outcome& outcome) {
        pending->outcome = outcome;
        pending->done.release();
    });
    if (!pending->done.tryAcquire(1, TimeoutMs))
        return {QKeychain::OtherError, QStringLiteral("The keyring did not answer in time."), {}};
    return pending->outcome;
}

// A keyring that is not there, or cannot be reached, fails every later call the same way: it is
// said once and not asked again. A locked one or a refusal may go differently next time.
void note(const Outcome& outcome) {
    if (outcome.error != QKeychain::NoBackendAvailable && outcome.error != QKeychain::OtherError)
        return;
    missing = true;
    if (!told) {
        told = true;
        qCWarning(lcCore).noquote() << noKeyringText() << outcome.errorText;
    }
}

MakeJob readJob(const QString& server, const QString& user, Service service) {
    return [key = keyOf(server, user), name = serviceName(service)] {
        auto* job = new QKeychain::ReadPasswordJob(name);
        job->setKey(key);
        return job;
    };
}

std::optional<QString> found(const Outcome& outcome) {
    if (outcome.error != QKeychain::NoError)
        return std::nullopt;
    return outcome.password;
}

} // namespace

bool isAvailable() {
    return enabled && !missing;
}

void setEnabled(bool on) {
    enabled = on;
    missing = false;
}

QString unavailableText() {
    return QStringLiteral("No desktop keyring was found, so the password was not stored. Passwords are "
                          "never written to the settings file.");
}

QString noKeyringText() {
    return QStringLiteral("No desktop keyring answered (Secret Service or KWallet over D-Bus); passwords "
                          "are taken from the environment or asked for.");
}

bool storePassword(const QString& server, const QString& user, const QString& password, QString* error,
                   Service service) {
    if (!isAvailable()) {
        if (error)
            *error = unavailableText();
        return false;
    }
    const Outcome outcome = runAndWait([key = keyOf(server, user), name = serviceName(service), password] {
        auto* job = new QKeychain::WritePasswordJob(name);
        job->setKey(key);
        job->setTextData(password);
        return job;
    });
    note(outcome);
    if (outcome.error == QKeychain::NoError)
        return true;
    if (error)
        *error = missing ? unavailableText()
                         : QStringLiteral("The keyring did not store the password") +
                               (outcome.errorText.isEmpty() ? QStringLiteral(".")
                                                            : QStringLiteral(": ") + outcome.errorText);
    return false;
}

std::optional<QString> lookupPassword(const QString& server, const QString& user, Service service) {
    if (!isAvailable())
        return std::nullopt;
    const Outcome outcome = runAndWait(readJob(server, user, service));
    note(outcome);
    return found(outcome);
}

void lookupPassword(const QString& server, const QString& user, Service service, QObject* receiver,
                    std::function<void(std::optional<QString>)> done) {
    if (!isAvailable()) {
        QMetaObject::invokeMethod(
            receiver, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    QPointer<QObject> guard(receiver);
    start(readJob(server, user, service), [guard, done = std::move(done)](const Outcome& outcome) {
        // Back to the application's thread, where the receiver lives; a receiver gone by then gets
        // nothing.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, outcome] {
            if (!guard)
                return;
            note(outcome);
            done(found(outcome));
        });
    });
}

bool clearPassword(const QString& server, const QString& user, Service service) {
    if (!isAvailable())
        return false;
    const Outcome outcome = runAndWait([key = keyOf(server, user), name = serviceName(service)] {
        auto* job = new QKeychain::DeletePasswordJob(name);
        job->setKey(key);
        return job;
    });
    note(outcome);
    return outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound;
}

} // namespace SecretStore
