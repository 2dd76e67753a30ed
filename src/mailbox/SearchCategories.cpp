#include "mailbox/SearchCategories.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "util/StringFunctionsObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace SearchCategories {

namespace {

const QString Suffix = QStringLiteral(".dat");

QString filePath(const QString& name) {
    return appFolders().SearchFilesFolder + name + Suffix;
}

// The file of the category whatever the case of its name; the path a new one gets when there is none.
QString existingFile(const QString& name) {
    const QDir folder(appFolders().SearchFilesFolder);
    for (const QString& file : folder.entryList({QStringLiteral("*") + Suffix}, QDir::Files))
        if (file.chopped(Suffix.size()).compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(file);
    return {};
}

qsizetype phraseIndex(const Category& category, const QString& phrase) {
    for (qsizetype i = 0; i < category.phrases.size(); ++i)
        if (category.phrases.at(i).text.compare(phrase, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Category readFile(const QString& path, const QString& name) {
    Category category{name, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return category;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line == endMarker())
            break;
        if (line.size() >= 2 && line.at(1) == u'|' && (line.at(0) == u'0' || line.at(0) == u'1'))
            category.phrases.append({line.mid(2), line.at(0) == u'1'});
        else if (!line.trimmed().isEmpty())
            category.phrases.append({line, true});
    }
    return category;
}

} // namespace

QString defaultsName() {
    return QStringLiteral("Defaults");
}

QString endMarker() {
    return QStringLiteral("BN_EOF");
}

QList<Category> load() {
    QList<Category> categories;
    if (existingFile(defaultsName()).isEmpty())
        save({defaultsName(), {}});
    categories << read(defaultsName());
    const QDir folder(appFolders().SearchFilesFolder);
    for (const QString& file : folder.entryList({QStringLiteral("*") + Suffix}, QDir::Files, QDir::Name)) {
        const QString name = file.chopped(Suffix.size());
        if (name.compare(defaultsName(), Qt::CaseInsensitive) != 0)
            categories << readFile(folder.filePath(file), name);
    }
    return categories;
}

Category read(const QString& name) {
    const QString path = existingFile(name);
    return path.isEmpty() ? Category{name, {}} : readFile(path, QFileInfo(path).completeBaseName());
}

bool save(const Category& category) {
    QDir().mkpath(appFolders().SearchFilesFolder);
    const QString existing = existingFile(category.name);
    QSaveFile file(existing.isEmpty() ? filePath(category.name) : existing);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out.setEncoding(QStringConverter::Utf8);
        for (const Phrase& phrase : category.phrases)
            out << (phrase.checked ? "1|" : "0|") << phrase.text << '\n';
        out << endMarker() << '\n';
        out.flush();
        if (file.commit())
            return true;
    }
    LogError(QStringLiteral("save in SearchCategories"), {0, file.errorString()});
    return false;
}

bool addIfMissing(const QString& name, const QString& phrase) {
    if (!existingFile(name).isEmpty())
        return true;
    return save({name, {{phrase, true}}});
}

bool addCategory(const QString& name, Prompter& prompter) {
    const QString trimmed = name.trimmed();
    if (StringFunctionsObject::containsControlCharacter(trimmed)) {
        prompter.inform(AppTitle(),
                        QStringLiteral("A category name cannot hold a tab, a line break or another control "
                                       "character."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    // The name is the file's name, with ".dat", within the 255 octets a file name may have.
    if (trimmed.toUtf8().size() + 4 > 255) {
        prompter.inform(AppTitle(), QStringLiteral("The category name is too long to be a file name."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (trimmed.isEmpty() || !IsValidFileName(trimmed)) {
        prompter.inform(AppTitle(),
                        QStringLiteral("'") + name + QStringLiteral("' cannot be the name of a category."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (!existingFile(trimmed).isEmpty() || trimmed.compare(defaultsName(), Qt::CaseInsensitive) == 0) {
        prompter.inform(AppTitle(), QStringLiteral("This category already exists."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    return save({trimmed, {}});
}

bool removeCategory(const QString& name, Prompter& prompter) {
    const QString path = existingFile(name);
    if (path.isEmpty()) {
        prompter.inform(AppTitle(), QStringLiteral("Cannot find the category to delete."),
                        Prompter::Icon::Exclamation);
        return false;
    }
    if (prompter.ask(AppTitle(),
                     QStringLiteral("Are you sure you want to delete the category: \"") + name + u'"',
                     Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    const bool removed = QFile::remove(path);
    // "Defaults" always exists: deleting it leaves it empty.
    if (removed && name.compare(defaultsName(), Qt::CaseInsensitive) == 0)
        save({defaultsName(), {}});
    return removed;
}

bool addPhrase(const QString& categoryName, const QString& phrase) {
    const QString text = phrase.trimmed();
    // One phrase per line: a line break would split it.
    if (text.isEmpty() || text.contains(u'\n') || text.contains(u'\r') || text == endMarker())
        return false;
    Category category = read(categoryName);
    if (const qsizetype at = phraseIndex(category, text); at >= 0)
        category.phrases[at].checked = true;
    else
        category.phrases.append({text, true});
    return save(category);
}

bool removePhrase(const QString& categoryName, const QString& phrase, Prompter& prompter) {
    Category category = read(categoryName);
    const qsizetype at = phraseIndex(category, phrase);
    if (at < 0)
        return false;
    if (prompter.ask(AppTitle(),
                     QStringLiteral("Are you sure you want to delete the phrase: \"") + phrase + u'"',
                     Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    category.phrases.removeAt(at);
    return save(category);
}

bool setChecked(const QString& categoryName, const QString& phrase, bool checked) {
    Category category = read(categoryName);
    const qsizetype at = phraseIndex(category, phrase);
    if (at < 0)
        return false;
    category.phrases[at].checked = checked;
    return save(category);
}

QStringList checkedPhrases(const QString& categoryName) {
    QStringList phrases;
    const QList<Category> categories = categoryName.isEmpty() ? load() : QList<Category>{read(categoryName)};
    for (const Category& category : categories)
        for (const Phrase& phrase : category.phrases)
            if (phrase.checked && !phrases.contains(phrase.text, Qt::CaseInsensitive))
                phrases << phrase.text;
    return phrases;
}

} // namespace SearchCategories
