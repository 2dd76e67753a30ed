#include "send/SendLedger.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"

namespace {

QString hourText(const QDateTime& hour) {
    return hour.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString table(const QString& schema) {
    return (schema.isEmpty() ? QString() : db::quoteName(schema) + u'.') + QStringLiteral("\"SendLedger\"");
}

qint64 sentBetween(db::Database& central, const QString& server, const QDateTime& from, const QDateTime& to) {
    const std::optional<QVariant> sum = central.scalar(
        QStringLiteral("SELECT COALESCE(SUM(\"Count\"), 0) FROM \"SendLedger\" WHERE \"Server\" = ? AND "
                       "\"Hour\" >= ? AND \"Hour\" < ?"),
        {SendLedger::serverKey(server), hourText(from), hourText(to)});
    return sum ? sum->toLongLong() : 0;
}

} // namespace

namespace SendLedger {

QString serverKey(const QString& server) {
    return server.trimmed().toLower();
}

QDateTime hourOf(const QDateTime& moment) {
    return QDateTime(moment.date(), QTime(moment.time().hour(), 0));
}

bool add(db::Database& database, const QString& schema, const QString& server, const QDateTime& moment,
         qint64 count, db::DbError* error) {
    if (count <= 0)
        return true;
    const QVariantList key = {serverKey(server), hourText(hourOf(moment))};
    if (!database.exec(
            QStringLiteral("UPDATE ") + table(schema) +
                QStringLiteral(" SET \"Count\" = \"Count\" + ? WHERE \"Server\" = ? AND \"Hour\" = ?"),
            QVariantList{count} + key, error))
        return false;
    if (database.changes() > 0)
        return true;
    return database.exec(QStringLiteral("INSERT INTO ") + table(schema) +
                             QStringLiteral(" (\"Server\", \"Hour\", \"Count\") VALUES (?, ?, ?)"),
                         key + QVariantList{count}, error);
}

qint64 sentInHour(db::Database& central, const QString& server, const QDateTime& moment) {
    const QDateTime hour = hourOf(moment);
    return sentBetween(central, server, hour, hour.addSecs(3600));
}

qint64 sentOnDay(db::Database& central, const QString& server, const QDateTime& moment) {
    const QDateTime day(moment.date(), QTime(0, 0));
    return sentBetween(central, server, day, day.addDays(1));
}

} // namespace SendLedger

SendLimits::SendLimits(const QString& server, qint64 perHour, qint64 perDay)
    : server_(server), perHour_(qMax<qint64>(0, perHour)), perDay_(qMax<qint64>(0, perDay)) {}

std::optional<SendLimits::Reached> SendLimits::reached(const QDateTime& now, qint64 inFlight) {
    if (!isSet())
        return std::nullopt;
    if (!central_.isOpen()) {
        db::DbError error;
        central_ = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
        if (!central_.isOpen()) {
            LogError(QStringLiteral("SendLimits: the send ledger cannot be read"),
                     {error.number, error.text});
            return std::nullopt;
        }
    }
    if (perDay_ > 0 && SendLedger::sentOnDay(central_, server_, now) + inFlight >= perDay_) {
        const QDateTime resume(now.date().addDays(1), QTime(0, 0));
        return Reached{QStringLiteral("Daily limit of ") + QString::number(perDay_) +
                           QStringLiteral(" reached; sending resumes at ") +
                           resume.toString(QStringLiteral("HH:mm")) + u'.',
                       resume};
    }
    if (perHour_ > 0 && SendLedger::sentInHour(central_, server_, now) + inFlight >= perHour_) {
        const QDateTime resume = SendLedger::hourOf(now).addSecs(3600);
        return Reached{QStringLiteral("Hourly limit of ") + QString::number(perHour_) +
                           QStringLiteral(" reached; sending resumes at ") +
                           resume.toString(QStringLiteral("HH:mm")) + u'.',
                       resume};
    }
    return std::nullopt;
}

qint64 SendLimits::allowance(const QDateTime& now, qint64 inFlight) {
    if (!isSet() || !central_.isOpen())
        return -1;
    qint64 left = std::numeric_limits<qint64>::max();
    if (perHour_ > 0)
        left = qMin(left, perHour_ - SendLedger::sentInHour(central_, server_, now) - inFlight);
    if (perDay_ > 0)
        left = qMin(left, perDay_ - SendLedger::sentOnDay(central_, server_, now) - inFlight);
    return qMax<qint64>(0, left);
}
