#include "import/SourceTypes.h"

namespace importer {

QString SourceType::shortName() const {
    QString name = code.toLower();
    if (name.startsWith(QLatin1String("db")))
        name.remove(0, 2);
    return name;
}

const QList<SourceType>& sourceTypes() {
    static const QList<SourceType> types = [] {
        struct Row {
            const char* code;
            const char* filterText;
            const char* pattern;
            const char* connect;
            SourceFamily family;
        };
        static const Row rows[] = {
            {"DBACCESS", "Access MDBs (*.mdb)", "*.mdb", "Access", SourceFamily::Access},
            {"DBACT4", "ACT-4 Files (*.dbf)", "*.dbf", "Dbase 5.0;", SourceFamily::ActContacts},
            {"DBBTRIEVE", "Btrieve DBs (FILE.DDF)", "FILE.DDF", "Btrieve;", SourceFamily::Btrieve},
            {"DBDBASE3", "Dbase-III (*.dbf)", "*.dbf", "Dbase III;", SourceFamily::XBase},
            {"DBDBASE4", "Dbase-IV (*.dbf)", "*.dbf", "Dbase IV;", SourceFamily::XBase},
            {"DBDBASE5", "Dbase-5.0 (*.dbf)", "*.dbf", "Dbase 5.0;", SourceFamily::XBase},
            {"DBEXCEL5", "Excel Files (*.xls)", "*.xls", "Excel 8.0;", SourceFamily::Excel},
            {"DBFOX2", "FoxPro-2.0 Files (*.dbf)", "*.dbf", "FoxPro 2.0;", SourceFamily::XBase},
            {"DBFOX25", "FoxPro-2.5 Files (dbf)", "*.dbf", "FoxPro 2.5;", SourceFamily::XBase},
            {"DBFOX26", "FoxPro-2.6 Files (*.dbf)", "*.dbf", "FoxPro 2.6;", SourceFamily::XBase},
            {"DBFOX30", "FoxPro-3.0 Files (*.dbf)", "*.dbf", "FoxPro 3.0;", SourceFamily::XBase},
            {"DBGOLD", "Goldmine Files (*.dbf)", "*.dbf", "Dbase 5.0;", SourceFamily::GoldMine},
            {"DBPARADOX3", "Paradox-3 Files (*.db)", "*.db", "Paradox 3.X;", SourceFamily::Paradox},
            {"DBPARADOX4", "Paradox-4 Files (*.db)", "*.db", "Paradox 4.X;", SourceFamily::Paradox},
            {"DBPARADOX5", "Paradox-5 Files (*.db)", "*.db", "Paradox 5.X;", SourceFamily::Paradox},
            {"DBTEXTFILE", "Text Files (*.txt,*.csv)", "*.txt;*.csv", "Text;", SourceFamily::Text},
        };
        QList<SourceType> list;
        int index = 0;
        for (const Row& row : rows)
            list.append({index++, QString::fromLatin1(row.code), QString::fromLatin1(row.filterText),
                         QString::fromLatin1(row.pattern), QString::fromLatin1(row.connect), row.family});
        return list;
    }();
    return types;
}

SourceType sourceTypeAt(int index) {
    const QList<SourceType>& types = sourceTypes();
    if (index >= 0 && index < types.size())
        return types.at(index);
    SourceType unknown;
    unknown.code = QStringLiteral("UNKNOWN");
    return unknown;
}

SourceType sourceTypeByCode(const QString& code) {
    const QString wanted = code.trimmed();
    for (const SourceType& type : sourceTypes())
        if (type.code.compare(wanted, Qt::CaseInsensitive) == 0 ||
            type.shortName().compare(wanted, Qt::CaseInsensitive) == 0)
            return type;
    return sourceTypeAt(-1);
}

QString btrieveUnsupportedText() {
    return QStringLiteral(
        "Btrieve databases cannot be read on this computer: no Btrieve driver exists for it.");
}

} // namespace importer
