#pragma once

#include "core/Prompter.h"
#include "db/Database.h"
#include "import/ImportEngine.h"

#include <QList>
#include <QString>

// ACT! 4 import through its data files (mdlACT): the contact file is a dBase table; its chosen fields become
// the list's columns under the names of ValidateFieldName, the records are copied, and the duplicate
// addresses are taken out.
namespace importer {

// The list column an ACT! field becomes: ".", "[" and "]" taken out; "First Name" -> FirstName, "Last Name"
// and "Surname" -> LastName; a field named like one of the system columns EAddress, Date, Sent, Keyword1,
// Keyword2 gets a leading underscore (Date -> _Date).
QString ValidateFieldName(const QString& actFieldName);

class ActImport {
public:
    struct Mapping {
        QString actField;
        QString column;
    };

    explicit ActImport(Prompter& prompter) : prompter_(prompter) {}

    // The contact file request.path with the e-mail field request.roles.email; first name, last name and
    // title fields fill their system columns, and every kept field its own column. The result is a new
    // temporary list sorted by address, as ImportJob::run gives it.
    ImportResult run(const ImportRequest& request);

    // Records that an ACT! field fills a list column.
    void AddMapping(const QString& actField, const QString& column);
    const QList<Mapping>& mappings() const { return mappings_; }

    // Takes out every row whose address an earlier row (lower rowid) already has, without regard to case,
    // then rewrites AddressList sorted by EAddress with the list's key. The rows taken out, each as the
    // pair (its rowid, the rowid of the row kept); -1 in the first of a single pair on failure.
    static QList<QPair<qint64, qint64>> DeleteDuplicates(db::Database& list, db::DbError* error = nullptr);

private:
    // The target table's columns in the order the ACT! import makes them.
    static QStringList requiredColumns();
    bool fail(const QString& text, ImportResult& result);

    Prompter& prompter_;
    QList<Mapping> mappings_;
};

} // namespace importer
