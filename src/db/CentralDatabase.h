#pragma once

#include "core/Prompter.h"
#include "db/Database.h"

// The central database Tamberlyn.tbf in the system folder: the registry of lists, messages, delivery
// options, mailings and their groups, mailbox accounts and the version stamp.
namespace CentralDatabase {

// The file's path in the current application folder.
QString path();
// Opens the central database; each operation opens it, works and closes it again.
db::Database open(db::Database::OpenMode mode = db::Database::OpenMode::ReadWrite,
                  db::DbError* error = nullptr);

// The question asked when a new central database is built with its default records.
QString sampleDataQuestion();
// Shown at start-up when the default delivery options are missing.
QString defaultProfileMissingText();

// Writes the default delivery options ("Default Delivery Options") into table Profile.
bool insertDefaultDeliveryOptions(db::Database& database, db::DbError* error = nullptr);

} // namespace CentralDatabase

// Builds a new central database at path: every table, with the default delivery options when
// withDefaults, and the version row. Without allowEmptyText the text columns refuse the empty text.
// withDefaults also asks the sample-data question (answered Yes without asking when sampleData is set)
// and writes the sample data on Yes. The file is built beside path and only replaces it once complete;
// on a failure the user is told, the error logged, nothing is left at path's side and false returned.
bool BuildCentralDatabase(const QString& path, bool allowEmptyText, bool withDefaults, Prompter& prompter,
                          bool sampleData = false);

// Builds the central database of the application folder with its default records.
bool CreateTamberlynDatabase(Prompter& prompter, bool sampleData = false);

// Makes sure the default delivery options exist: when the row is missing the user is told and the row
// is written again with its default values.
void VerifyDefaultProfile(Prompter& prompter);
