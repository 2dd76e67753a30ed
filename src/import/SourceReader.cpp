#include "import/SourceReader.h"

#include <QSet>

namespace importer {

int fieldIndex(const QList<SourceField>& fields, const QString& name) {
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QStringList uniqueFieldNames(const QStringList& names) {
    QStringList result;
    QSet<QString> taken;
    for (qsizetype i = 0; i < names.size(); ++i) {
        QString name = names.at(i).trimmed();
        if (name.isEmpty())
            name = QStringLiteral("F") + QString::number(i + 1);
        QString candidate = name;
        for (int n = 2; taken.contains(candidate.toCaseFolded()); ++n)
            candidate = name + QString::number(n);
        taken.insert(candidate.toCaseFolded());
        result.append(candidate);
    }
    return result;
}

} // namespace importer
