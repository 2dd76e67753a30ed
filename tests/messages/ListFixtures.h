#pragma once

#include "db/Database.h"
#include "db/ListSchema.h"

#include <QFile>
#include <QStringList>
#include <QTest>

// Small list files for the message tests: the blank-list layout plus any extra columns, with rows given
// as column=value pairs (a missing column stays NULL).
namespace ListFixtures {

using Row = QList<QPair<QString, QVariant>>;

inline bool writeList(const QString& path, const QList<Row>& rows, const QStringList& extraColumns = {},
                      bool withKey = true) {
    QFile::remove(path);
    db::Database list = db::Database::create(path);
    if (!list.isOpen())
        return false;
    QString create = ListSchema::blankListSql();
    if (!withKey) // a list whose addresses may repeat
        create =
            QStringLiteral("CREATE TABLE \"AddressList\" (\"EAddress\" TEXT(255) COLLATE NOCASE, "
                           "\"FirstName\" TEXT(255) COLLATE NOCASE, \"LastName\" TEXT(255) COLLATE NOCASE, "
                           "\"Title\" TEXT(255) COLLATE NOCASE)");
    if (!list.exec(create))
        return false;
    for (const QString& column : extraColumns) {
        if (!list.exec(ListSchema::addColumnSql(QStringLiteral("AddressList"), column)))
            return false;
    }
    if (!list.beginTransaction()) // one commit, so that long lists are written quickly
        return false;
    for (const Row& row : rows) {
        QStringList names, marks;
        QVariantList values;
        for (const auto& [column, value] : row) {
            names << db::quoteName(column);
            marks << QStringLiteral("?");
            values << value;
        }
        if (!list.exec(QStringLiteral("INSERT INTO \"AddressList\" (") + names.join(u',') +
                           QStringLiteral(") VALUES (") + marks.join(u',') + u')',
                       values))
            return false;
    }
    return list.commit();
}

} // namespace ListFixtures
