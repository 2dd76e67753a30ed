#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// The run history of the mailings: tables MailRun (one row per run) and MailRunSlice (the messages
// passed and failed in each 10-second step of a run, counted from its start).
namespace MailRuns {

inline constexpr int SliceSeconds = 10;

enum class Trigger { Desktop, Command, Schedule };
enum class Outcome { Running, Completed, Stopped, Failed, Interrupted };

QString triggerText(Trigger trigger);
QString outcomeText(Outcome outcome);

struct Run {
    qint32 RunID = 0;
    qint32 MailEventName = 0;
    QString Trigger;
    QDateTime RunStart;
    QDateTime RunEnd; // invalid while running
    qint64 Passed = 0;
    qint64 Failed = 0;
    QString Outcome;
};

struct Slice {
    qint32 Step = 0; // 0 for the first SliceSeconds of the run
    qint64 Passed = 0;
    qint64 Failed = 0;
};

// Adds a running run of the mailing; its number, 0 on failure.
qint32 begin(qint32 mailing, Trigger trigger, const QDateTime& start);
bool addSlice(qint32 run, qint32 step, qint64 passed, qint64 failed);
bool finish(qint32 run, const QDateTime& end, qint64 passed, qint64 failed, Outcome outcome);
// Runs still "running" belong to a process that ended without closing them: they become
// "interrupted", with the counts of their slices. Called at start-up, under the folder's lock.
// How many runs were closed.
int markInterrupted();
// The mailing's runs, oldest first.
QList<Run> of(qint32 mailing);
QList<Slice> slices(qint32 run);

// The messages of a run minute by minute (minute 0 first, every minute up to the last slice's).
struct Minute {
    int minute = 0;
    qint64 Passed = 0;
    qint64 Failed = 0;
};
QList<Minute> perMinute(const QList<Slice>& slices);
// The passed and failed messages of runs added up.
struct Totals {
    qint64 Passed = 0;
    qint64 Failed = 0;
};
Totals totals(const QList<Run>& runs);

} // namespace MailRuns
