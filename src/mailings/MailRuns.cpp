#include "mailings/MailRuns.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/TypeMapping.h"
#include "mailings/MailingEvents.h"

namespace MailRuns {

namespace {

bool execute(const char* caller, const QString& sql, const QVariantList& values, qint64* rowId = nullptr) {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    if (central.isOpen() && central.exec(sql, values, &error)) {
        if (rowId)
            *rowId = central.lastInsertRowId();
        return true;
    }
    LogError(QString::fromLatin1(caller), {error.number, error.text});
    return false;
}

QVariant stored(const QDateTime& time) {
    return time.isValid() ? QVariant(db::toStoredDate(time)) : QVariant();
}

qint32 mailingOf(qint32 run) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.isOpen()
               ? central
                     .scalar(QStringLiteral("SELECT \"MailEventName\" FROM \"MailRun\" WHERE \"RunID\" = ?1"),
                             {run})
                     .value_or(QVariant(0))
                     .toInt()
               : 0;
}

} // namespace

QString triggerText(Trigger trigger) {
    switch (trigger) {
    case Trigger::Desktop:
        return QStringLiteral("desktop");
    case Trigger::Command:
        return QStringLiteral("command");
    case Trigger::Schedule:
        break;
    }
    return QStringLiteral("schedule");
}

QString outcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Running:
        return QStringLiteral("running");
    case Outcome::Completed:
        return QStringLiteral("completed");
    case Outcome::Stopped:
        return QStringLiteral("stopped");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Interrupted:
        break;
    }
    return QStringLiteral("interrupted");
}

qint32 begin(qint32 mailing, Trigger trigger, const QDateTime& start) {
    qint64 run = 0;
    if (!execute("begin in MailRuns",
                 QStringLiteral("INSERT INTO \"MailRun\" (\"MailEventName\", \"Trigger\", \"RunStart\", "
                                "\"Passed\", \"Failed\", \"Outcome\") VALUES (?1, ?2, ?3, 0, 0, ?4)"),
                 {mailing, triggerText(trigger), stored(start), outcomeText(Outcome::Running)}, &run))
        return 0;
    Q_EMIT MailingEvents::instance().runsChanged(mailing);
    return qint32(run);
}

bool addSlice(qint32 run, qint32 step, qint64 passed, qint64 failed) {
    return execute(
        "addSlice in MailRuns",
        QStringLiteral("INSERT INTO \"MailRunSlice\" (\"RunID\", \"Step\", \"Passed\", \"Failed\") "
                       "VALUES (?1, ?2, ?3, ?4)"),
        {run, step, passed, failed});
}

bool finish(qint32 run, const QDateTime& end, qint64 passed, qint64 failed, Outcome outcome) {
    if (!execute("finish in MailRuns",
                 QStringLiteral("UPDATE \"MailRun\" SET \"RunEnd\" = ?2, \"Passed\" = ?3, \"Failed\" = ?4, "
                                "\"Outcome\" = ?5 WHERE \"RunID\" = ?1"),
                 {run, stored(end), passed, failed, outcomeText(outcome)}))
        return false;
    Q_EMIT MailingEvents::instance().runsChanged(mailingOf(run));
    return true;
}

int markInterrupted() {
    db::DbError error;
    db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadWrite, &error);
    // The end of an interrupted run is unknown: its last slice tells the latest time it was seen.
    if (central.isOpen() &&
        central.exec(
            QStringLiteral(
                "UPDATE \"MailRun\" SET \"Outcome\" = ?1, "
                "\"Passed\" = (SELECT IFNULL(SUM(\"Passed\"), 0) FROM \"MailRunSlice\" s WHERE s.\"RunID\" = "
                "\"MailRun\".\"RunID\"), "
                "\"Failed\" = (SELECT IFNULL(SUM(\"Failed\"), 0) FROM \"MailRunSlice\" s WHERE s.\"RunID\" = "
                "\"MailRun\".\"RunID\") WHERE \"Outcome\" = ?2"),
            {outcomeText(Outcome::Interrupted), outcomeText(Outcome::Running)}, &error))
        return int(central.changes());
    LogError(QStringLiteral("markInterrupted in MailRuns"), {error.number, error.text});
    return 0;
}

QList<Run> of(qint32 mailing) {
    QList<Run> runs;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.isOpen() ? central.prepare(QStringLiteral(
                               "SELECT \"RunID\", \"MailEventName\", \"Trigger\", \"RunStart\", \"RunEnd\", "
                               "\"Passed\", \"Failed\", \"Outcome\" FROM \"MailRun\" WHERE "
                               "\"MailEventName\" = ?1 ORDER BY \"RunID\""))
                         : db::Statement();
    if (!rows.isValid())
        return runs;
    rows.bind(1, mailing);
    while (rows.next()) {
        Run run;
        run.RunID = rows.value(0).toInt();
        run.MailEventName = rows.value(1).toInt();
        run.Trigger = rows.text(2);
        run.RunStart = db::fromStoredDate(rows.text(3));
        run.RunEnd = rows.value(4).isNull() ? QDateTime() : db::fromStoredDate(rows.text(4));
        run.Passed = rows.value(5).toLongLong();
        run.Failed = rows.value(6).toLongLong();
        run.Outcome = rows.text(7);
        runs.append(run);
    }
    return runs;
}

QList<Slice> slices(qint32 run) {
    QList<Slice> result;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows = central.isOpen()
                             ? central.prepare(QStringLiteral(
                                   "SELECT \"Step\", \"Passed\", \"Failed\" FROM \"MailRunSlice\" WHERE "
                                   "\"RunID\" = ?1 ORDER BY \"Step\""))
                             : db::Statement();
    if (!rows.isValid())
        return result;
    rows.bind(1, run);
    while (rows.next())
        result.append({rows.value(0).toInt(), rows.value(1).toLongLong(), rows.value(2).toLongLong()});
    return result;
}

QList<Minute> perMinute(const QList<Slice>& slices) {
    constexpr int SlicesPerMinute = 60 / SliceSeconds;
    QList<Minute> minutes;
    for (const Slice& slice : slices) {
        if (slice.Step < 0)
            continue;
        const int minute = slice.Step / SlicesPerMinute;
        while (minutes.size() <= minute)
            minutes.append({int(minutes.size()), 0, 0});
        minutes[minute].Passed += slice.Passed;
        minutes[minute].Failed += slice.Failed;
    }
    return minutes;
}

Totals totals(const QList<Run>& runs) {
    Totals sum;
    for (const Run& run : runs) {
        sum.Passed += run.Passed;
        sum.Failed += run.Failed;
    }
    return sum;
}

} // namespace MailRuns
