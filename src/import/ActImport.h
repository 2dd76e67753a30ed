#pragma once

#include "core/Prompter.h"
#include "db/Database.h"
#include "import/ImportEngine.h"

#include <QList>
#include <QString>
#include <memory>

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

    explicit ActImport(Prompter& prompter);
    ~ActImport(); // an unfinished import leaves no list behind

    // The contact file request.path with the e-mail field request.roles.email; first name, last name and
    // title fields fill their system columns, and every kept field its own column. The result is a new
    // temporary list sorted by address, as ImportJob::run gives it.
    ImportResult run(const ImportRequest& request);

    // run() in pieces, for the event loop: begin() opens the file and makes the list (false, after the
    // message, when it cannot); copy() copies up to budget records, false once none is left or it failed;
    // finish() takes the duplicates out and gives the result. Finishing before copy() has returned false
    // is an interrupt: the records copied so far make the list.
    bool begin(const ImportRequest& request);
    bool copy(int budget);
    ImportResult finish();
    qint64 recordsCopied() const { return result_.summary.recordsRead; }
    // The records in the contact file; -1 when it cannot tell or no import is under way.
    qint64 recordsTotal() const;

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
    // Drops the list being built and shows text unless it is empty; false.
    bool giveUp(const QString& text);

    struct Work;
    Prompter& prompter_;
    QList<Mapping> mappings_;
    QString listName_;
    std::unique_ptr<Work> work_;
    ImportResult result_;
    bool copied_ = false;
};

} // namespace importer
