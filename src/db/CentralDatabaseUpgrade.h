#pragma once

#include "core/Prompter.h"
#include "db/TypeMapping.h"

#include <QString>
#include <QVariant>

// Brings the central database to the current schema at start-up: a missing file is built, a file of
// another schema version is rebuilt into a fresh file that replaces it, the old one kept as a backup.
namespace CentralDatabaseUpgrade {

// What GetTBFVersion gives when the file cannot be read at all; no rebuild is tried on it.
inline constexpr qint16 UnreadableVersion = -1;

// The rebuild target and the backup of the replaced file, both in the system folder.
QString temporaryPath();
QString backupPath();

// The text shown when the version cannot be read.
QString versionErrorText(int number, const QString& description);

} // namespace CentralDatabaseUpgrade

// Start-up entry: builds a missing central database (with the sample-data question) or rebuilds one of
// another schema version. sampleData answers the sample-data question with Yes. False when the central
// database can be neither read nor built (the error was shown); a failed upgrade keeps the old file,
// which can still be read.
bool VerifyCentralDatabase(Prompter& prompter, bool sampleData = false);

// The schema version of the central database: ProductVersion.TBFVersion, or for a file without that
// table 2 when List has the column SourcePath and 1 when it has not. A file that cannot be read shows
// the error and gives UnreadableVersion.
qint16 GetTBFVersion(Prompter& prompter);

// Copies every row of the central database into the freshly built file at temporaryPath, in one
// transaction, then renames the central database to Tamberlyn.tbf.old and the new file into its place.
// Any failure before the swap leaves the central database as it was, removes the new file and tells the
// user; false then. Rows the new file refuses are skipped, logged and counted in a message.
bool RebuildCentralDatabase(const QString& temporaryPath, Prompter& prompter);

// The value written for a column whose source value is missing or null.
QVariant DefaultForType(db::EngineType type);
