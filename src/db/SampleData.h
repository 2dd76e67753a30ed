#pragma once

#include "core/Prompter.h"
#include "db/Database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The sample data a new central database may be given: a logo in the templates folder, a sample list
// file of fictional contacts, and a group, list, message and mailing that use them.
namespace SampleData {

inline constexpr char GroupName[] = "Sample";
inline constexpr char ListName[] = "Sample - Formal Letter";
inline constexpr char ListFileName[] = "Sample - Formal Letter.mdb";
inline constexpr char MessageName[] = "Sample - Tamberlyn HTML";
inline constexpr char LogoFileName[] = "message_logo_large.jpg";

// Asked when the sample list file is already in the list folder.
QString replaceListQuestion();

// The sixteen columns of the sample list, in table order.
QStringList listColumns();

// The logo image and the two letters as the program holds them. The HTML letter's logo points into
// templatesFolder.
QByteArray logoImage();
QString htmlLetter(const QString& templatesFolder);
QString textLetter();

// Writes the logo unless the templates folder already holds one.
bool writeLogo(const QString& templatesFolder, db::DbError* error = nullptr);
// Creates the sample list file at path, replacing one that is there only once the new one is complete.
bool createSampleList(const QString& path, db::DbError* error = nullptr);
// Writes the sample group, list row, message and mailing into the open central database, in one
// transaction.
bool insertSampleRows(db::Database& central, const QString& templatesFolder, db::DbError* error = nullptr);

// All of the above, in order, for the current application folder; the user decides whether an existing
// sample list file is replaced. A failed file step is reported and the rows are written all the same.
bool write(db::Database& central, Prompter& prompter);

} // namespace SampleData
