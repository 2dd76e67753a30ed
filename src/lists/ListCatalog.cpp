#include "lists/ListCatalog.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"

QList<RegisteredList> RegisteredLists() {
    QList<RegisteredList> lists;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows =
        central.isOpen()
            ? central.prepare(QStringLiteral("SELECT ListName, ListDescription, ListPath FROM List "
                                             "ORDER BY ListName COLLATE NOCASE"),
                              &error)
            : db::Statement();
    while (rows.next())
        lists.append({rows.text(0), rows.text(1), rows.text(2)});
    if (error.isError() || rows.error().isError()) {
        const db::DbError& failure = error.isError() ? error : rows.error();
        LogError(QStringLiteral("RegisteredLists in ListCatalog"), {failure.number, failure.text});
    }
    return lists;
}

std::optional<RegisteredList> FindRegisteredList(const QString& name, db::DbError* error) {
    db::DbError failure;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &failure);
    if (central.isOpen()) {
        db::Statement row = central.prepare(
            QStringLiteral("SELECT ListName, ListDescription, ListPath FROM List WHERE ListName = ?1"),
            &failure);
        row.bind(1, name);
        if (row.next())
            return RegisteredList{row.text(0), row.text(1), row.text(2)};
        if (!row.isValid() || row.error().isError())
            failure = row.isValid() ? row.error() : failure;
        else
            return std::nullopt;
    }
    LogError(QStringLiteral("FindRegisteredList in ListCatalog"), {failure.number, failure.text});
    if (error)
        *error = failure;
    return std::nullopt;
}
