#include "mailings/MailingChoices.h"

#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"

namespace MailingChoices {

namespace {

// The rows of a query over the central database; columns beyond the first go into the description.
QList<NamedItem> rowsOf(const QString& statement, const QVariantList& values, const char* source) {
    QList<NamedItem> items;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows = central.isOpen() ? central.prepare(statement, &error) : db::Statement();
    if (!rows.isValid()) {
        LogError(QString::fromLatin1(source) + QStringLiteral(" in MailingChoices"),
                 {error.number, error.text});
        return items;
    }
    for (int i = 0; i < values.size(); ++i)
        rows.bind(i + 1, values[i]);
    while (rows.next())
        items.append({rows.text(0), rows.columnCount() > 1 ? rows.text(1) : QString()});
    return items;
}

QStringList namesOf(const QList<NamedItem>& items) {
    QStringList names;
    for (const NamedItem& item : items)
        names << item.name;
    return names;
}

} // namespace

QStringList listNames() {
    return namesOf(
        rowsOf(QStringLiteral("SELECT \"ListName\" FROM \"List\" ORDER BY \"ListName\""), {}, "listNames"));
}

QString listFile(const QString& name) {
    const QString listPath = DataTank::GetListPath(name);
    return listPath.isEmpty() ? QString() : DataTank::registeredPath(listPath);
}

QStringList messageNames() {
    // A message never saved keeps the temporary name the editor gave it.
    QStringList names;
    for (const QString& name :
         namesOf(rowsOf(QStringLiteral("SELECT \"MessageName\" FROM \"Message\" ORDER BY \"MessageName\""),
                        {}, "messageNames")))
        if (!name.startsWith(QStringLiteral("%%NewMailMessage%%"), Qt::CaseInsensitive))
            names << name;
    return names;
}

QList<NamedItem> profiles() {
    return rowsOf(QStringLiteral("SELECT \"ProfileName\", \"ProfileDescription\" FROM \"Profile\" ORDER BY "
                                 "\"ProfileName\""),
                  {}, "profiles");
}

bool profileExists(const QString& name) {
    return CountMatching(QStringLiteral("Profile"), QStringLiteral("ProfileName"), name) > 0;
}

} // namespace MailingChoices
