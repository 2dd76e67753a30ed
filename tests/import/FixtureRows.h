#pragma once

// Reading the expected-rows files of the import fixtures, independently of the importer's own CSV parser.

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

namespace fixture {

inline QString path(const QString& relative) {
    return QStringLiteral(TAMBERLYN_FIXTURES_DIR "/import/") + relative;
}

// RFC 4180 as the fixtures are written: UTF-8, comma, quotes doubled, records end with LF; line breaks
// inside quoted values are kept as they are.
inline QList<QStringList> readCsv(const QString& relative) {
    QFile file(path(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u',') {
            record << field;
            field.clear();
            any = true;
        } else if (c == u'\n') {
            record << field;
            records << record;
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any) {
        record << field;
        records << record;
    }
    return records;
}

} // namespace fixture
