// Bulk insert through the database adapter: one prepared statement, one transaction, a list-sized table.
#include "db/Database.h"
#include "db/TypeMapping.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

int main() {
    constexpr int kRows = 200000;
    const QStringList columns = {QStringLiteral("EAddress"), QStringLiteral("FirstName"),
                                 QStringLiteral("LastName"), QStringLiteral("Keyword1"),
                                 QStringLiteral("Keyword2"), QStringLiteral("Date"),
                                 QStringLiteral("Sent"),     QStringLiteral("Title")};
    QTemporaryDir dir;
    db::DbError error;
    db::Database database = db::Database::create(dir.filePath(QStringLiteral("bench.mdb")), &error);
    QString create = QStringLiteral("CREATE TABLE \"AddressList\" (");
    QString insert = QStringLiteral("INSERT INTO \"AddressList\" VALUES (");
    for (qsizetype i = 0; i < columns.size(); ++i) {
        create += (i ? QStringLiteral(", ") : QString()) + db::quoteName(columns[i]) + u' ' +
                  db::sqlType(db::EngineType::Text, 255);
        insert += i ? QStringLiteral(", ?") : QStringLiteral("?");
    }
    create += QStringLiteral(", CONSTRAINT \"MyPrKey\" PRIMARY KEY (\"EAddress\"))");
    insert += u')';
    if (!database.isOpen() || !database.exec(create, {}, &error)) {
        std::printf("setup failed: %s\n", qPrintable(error.text));
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    db::Statement statement = database.prepare(insert, &error);
    database.beginTransaction();
    for (int row = 0; row < kRows; ++row) {
        statement.bind(1, QStringLiteral("person%1@example.invalid").arg(row));
        statement.bind(2, QStringLiteral("First%1").arg(row % 977));
        statement.bind(3, QStringLiteral("Last%1").arg(row % 1999));
        statement.bind(4, QStringLiteral("keyword one"));
        statement.bind(5, QStringLiteral("keyword two"));
        statement.bind(6, QStringLiteral("2024-05-17"));
        statement.bind(7, QString());
        statement.bind(8, QStringLiteral("Dr."));
        if (!statement.exec()) {
            std::printf("insert failed at row %d: %s\n", row, qPrintable(statement.error().text));
            return 1;
        }
    }
    if (!database.commit(&error)) {
        std::printf("commit failed: %s\n", qPrintable(error.text));
        return 1;
    }
    const double insertSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("insert: %d rows of 8 TEXT columns in %.3f s = %.0f rows/s (aim: >= 200000)\n", kRows,
                insertSeconds, kRows / insertSeconds);

    timer.restart();
    const qint64 counted =
        database.scalar(QStringLiteral("SELECT count(*) FROM \"AddressList\"")).value_or(-1).toLongLong();
    std::printf("count(*): %lld rows in %.3f ms\n", static_cast<long long>(counted),
                double(timer.nsecsElapsed()) / 1e6);
    return counted == kRows ? 0 : 1;
}
