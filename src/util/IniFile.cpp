#include "util/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// One line of the file as it stood, split where it matters.
struct Line {
    QString text;
    QString section; // for a header line: the section name
    QString key;     // for a key line: the trimmed key name
    bool isHeader = false;
    bool isKey = false;
};

Line parseLine(const QString& text) {
    Line line;
    line.text = text;
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        line.isHeader = true;
        line.section = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
        return line;
    }
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return line;
    const qsizetype eq = trimmed.indexOf(u'=');
    if (eq > 0) {
        line.isKey = true;
        line.key = trimmed.left(eq).trimmed();
    }
    return line;
}

QString valueOf(const QString& text) {
    QString value = text.mid(text.indexOf(u'=') + 1).trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value written into the file must stay on its own line.
QString oneLine(QString value) {
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    return value;
}

} // namespace

struct IniFile::Document {
    QList<Line> lines;
    QString lineEnd = QStringLiteral("\n");
    bool bom = false;
    bool exists = false;

    // Index of the first header of the section, or -1.
    qsizetype sectionStart(const QString& section) const {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].isHeader && sameName(lines[i].section, section))
                return i;
        return -1;
    }
    // One past the last line of the section that starts at header index.
    qsizetype sectionEnd(qsizetype header) const {
        qsizetype i = header + 1;
        while (i < lines.size() && !lines[i].isHeader)
            ++i;
        return i;
    }
    qsizetype keyLine(const QString& section, const QString& key) const {
        const qsizetype start = sectionStart(section);
        if (start < 0)
            return -1;
        const qsizetype end = sectionEnd(start);
        for (qsizetype i = start + 1; i < end; ++i)
            if (lines[i].isKey && sameName(lines[i].key, key))
                return i;
        return -1;
    }
};

IniFile::Document IniFile::load() const {
    Document doc;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return doc;
    doc.exists = true;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.bom = true;
        bytes.remove(0, 3);
    }
    if (bytes.contains("\r\n"))
        doc.lineEnd = QStringLiteral("\r\n");
    // Files written by other tools may be in a Windows code page rather than UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList rows = text.split(u'\n');
    if (!rows.isEmpty() && rows.back().isEmpty())
        rows.removeLast();
    for (const QString& row : std::as_const(rows))
        doc.lines.append(parseLine(row));
    return doc;
}

bool IniFile::save(const Document& doc) const {
    QString text;
    for (const Line& line : doc.lines)
        text += line.text + doc.lineEnd;
    QByteArray bytes = text.toUtf8();
    if (doc.bom)
        bytes.prepend("\xEF\xBB\xBF");
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

QString IniFile::value(const QString& section, const QString& key, bool* found) const {
    const Document doc = load();
    const qsizetype at = doc.keyLine(section, key);
    if (found)
        *found = at >= 0;
    return at < 0 ? QString() : valueOf(doc.lines[at].text);
}

QStringList IniFile::keys(const QString& section) const {
    const Document doc = load();
    QStringList names;
    const qsizetype start = doc.sectionStart(section);
    if (start < 0)
        return names;
    const qsizetype end = doc.sectionEnd(start);
    for (qsizetype i = start + 1; i < end; ++i)
        if (doc.lines[i].isKey)
            names.append(doc.lines[i].key);
    return names;
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) {
    Document doc = load();
    const QString text = key.trimmed() + u'=' + oneLine(value);
    const qsizetype at = doc.keyLine(section, key);
    if (at >= 0) {
        doc.lines[at] = parseLine(text);
        return save(doc);
    }
    qsizetype start = doc.sectionStart(section);
    if (start < 0) {
        doc.lines.append(parseLine(u'[' + section.trimmed() + u']'));
        doc.lines.append(parseLine(text));
        return save(doc);
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    qsizetype insertAt = doc.sectionEnd(start);
    while (insertAt > start + 1 && doc.lines[insertAt - 1].text.trimmed().isEmpty())
        --insertAt;
    doc.lines.insert(insertAt, parseLine(text));
    return save(doc);
}

bool IniFile::removeKey(const QString& section, const QString& key) {
    Document doc = load();
    const qsizetype at = doc.keyLine(section, key);
    if (at < 0)
        return true;
    doc.lines.removeAt(at);
    return save(doc);
}

bool IniFile::removeSection(const QString& section) {
    Document doc = load();
    const qsizetype start = doc.sectionStart(section);
    if (start < 0)
        return true;
    doc.lines.remove(start, doc.sectionEnd(start) - start);
    return save(doc);
}
