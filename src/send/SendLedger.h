#pragma once

#include "db/Database.h"

#include <QDateTime>
#include <QString>
#include <optional>

// The send ledger: how many recipients each SMTP server accepted in each hour, in the central table
// SendLedger, shared by every run and process. The hourly and daily limits of the delivery options are
// checked against it.
namespace SendLedger {

// The name a server is counted under: its host name without regard to case.
QString serverKey(const QString& server);
// The start of the hour a moment counts in.
QDateTime hourOf(const QDateTime& moment);

// Adds count to the server's hour of moment, in the database's transaction when one is open. schema
// names the attached central database, or is empty when database is the central database itself.
bool add(db::Database& database, const QString& schema, const QString& server, const QDateTime& moment,
         qint64 count, db::DbError* error = nullptr);
// The recipients counted for the server in the hour, and in the day, of moment.
qint64 sentInHour(db::Database& central, const QString& server, const QDateTime& moment);
qint64 sentOnDay(db::Database& central, const QString& server, const QDateTime& moment);

} // namespace SendLedger

// The hourly and daily limits of one run. Each check reads the ledger afresh, so that runs in other
// processes count too; the recipients in flight are those handed to a session and not yet counted.
class SendLimits {
public:
    SendLimits() = default;
    SendLimits(const QString& server, qint64 perHour, qint64 perDay);

    bool isSet() const { return perHour_ > 0 || perDay_ > 0; }

    // A limit that the run has reached at now.
    struct Reached {
        QString text;       // "Hourly limit of 500 reached; sending resumes at 14:00."
        QDateTime resumeAt; // the start of the next hour or day
    };
    std::optional<Reached> reached(const QDateTime& now, qint64 inFlight);
    // How many recipients may still go out at now; -1 without limits.
    qint64 allowance(const QDateTime& now, qint64 inFlight);

private:
    QString server_;
    qint64 perHour_ = 0;
    qint64 perDay_ = 0;
    db::Database central_;
};
