#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The kinds of database the import offers, in the order of their codes (DBGlobal).
namespace importer {

// Which reader serves a source type.
enum class SourceFamily { Access, XBase, ActContacts, GoldMine, Btrieve, Excel, Paradox, Text, Unknown };

struct SourceType {
    int index = -1;
    QString code;       // "DBDBASE3"
    QString filterText; // "Dbase-III (*.dbf)"
    QString pattern;    // "*.dbf", or several joined by ";"
    QString connect;    // the connect string of the original engine, kept for reference
    SourceFamily family = SourceFamily::Unknown;

    bool isValid() const { return index >= 0; }
    // The file-dialog filter: the filter text, a vertical bar and the pattern.
    QString fileFilter() const { return filterText + u'|' + pattern; }
    // The code without "DB", in lower case: "dbase3", "textfile".
    QString shortName() const;
    // The patterns one by one, for a file list.
    QStringList patterns() const { return pattern.split(u';', Qt::SkipEmptyParts); }
};

// The sixteen types, index 0 to 15.
const QList<SourceType>& sourceTypes();
// The type of an index; an invalid type (code "UNKNOWN") for any other index.
SourceType sourceTypeAt(int index);
// The type named by its code ("DBDBASE3") or short name ("dbase3"), without regard to case; invalid when
// nothing matches.
SourceType sourceTypeByCode(const QString& code);

// What choosing Btrieve tells the user: no reader for it exists on this platform.
QString btrieveUnsupportedText();

} // namespace importer
