#include "messages/MergeLists.h"

#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "messages/mdlMergeFields.h"

namespace MergeLists {

QString noListText() {
    return QStringLiteral("<no list>");
}

QStringList registeredListNames() {
    QStringList names;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement rows =
        central.prepare(QStringLiteral("SELECT \"ListName\" FROM \"List\" ORDER BY \"ListName\""));
    while (rows.next())
        names << rows.text(0);
    return names;
}

QStringList fieldNames(const QString& listName) {
    if (listName.isEmpty())
        return {};
    const QString listPath = DataTank::GetListPath(listName);
    if (listPath.isEmpty())
        return {};
    return ListFieldSet::read(DataTank::registeredPath(listPath)).columns();
}

} // namespace MergeLists
