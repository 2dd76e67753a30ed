#include "messages/SpellChecker.h"

#include "core/AppSettings.h"
#include "core/ErrorLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <hunspell.hxx>

// ---- Words ----

namespace {

bool startsWithAt(QStringView text, qsizetype at, QLatin1StringView what) {
    return text.mid(at, what.size()).compare(what, Qt::CaseInsensitive) == 0;
}

// Marks [from, to) as not to be checked.
void skip(QList<bool>& skipped, qsizetype from, qsizetype to) {
    for (qsizetype i = std::max<qsizetype>(from, 0); i < std::min(to, skipped.size()); ++i)
        skipped[i] = true;
}

// The end of the markup that starts at `at` (a comment, a tag, or a style or script element with its
// content).
qsizetype markupEnd(QStringView text, qsizetype at) {
    if (startsWithAt(text, at, QLatin1StringView("<!--"))) {
        const qsizetype end = text.indexOf(QLatin1StringView("-->"), at + 4);
        return end < 0 ? text.size() : end + 3;
    }
    qsizetype end = text.indexOf(u'>', at);
    end = end < 0 ? text.size() : end + 1;
    for (const auto element : {QLatin1StringView("style"), QLatin1StringView("script")}) {
        if (startsWithAt(text, at + 1, element)) {
            const qsizetype close =
                text.indexOf(QString(QLatin1StringView("</") + element), end, Qt::CaseInsensitive);
            if (close >= 0) {
                const qsizetype closeEnd = text.indexOf(u'>', close);
                return closeEnd < 0 ? text.size() : closeEnd + 1;
            }
        }
    }
    return end;
}

void skipMergeTags(QStringView text, QList<bool>& skipped) {
    for (const auto& [open, close] :
         {std::pair{QLatin1StringView("<<"), QLatin1StringView(">>")},
          std::pair{QLatin1StringView("&lt;&lt;"), QLatin1StringView("&gt;&gt;")}}) {
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = text.indexOf(open, from, Qt::CaseInsensitive);
            if (at < 0)
                break;
            const qsizetype end = text.indexOf(close, at + open.size(), Qt::CaseInsensitive);
            if (end < 0)
                break;
            skip(skipped, at, end + close.size());
            from = end + close.size();
        }
    }
}

bool isUrlOrAddress(QStringView token) {
    for (const auto scheme :
         {QLatin1StringView("http://"), QLatin1StringView("https://"), QLatin1StringView("ftp://"),
          QLatin1StringView("mailto:"), QLatin1StringView("www.")}) {
        if (token.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    }
    return token.contains(u'@') || token.contains(QLatin1StringView("://"));
}

bool isApostrophe(QChar c) {
    return c == u'\'' || c == QChar(0x2019);
}

} // namespace

QList<TextWord> CheckableWords(QStringView text, bool html) {
    QList<bool> skipped(text.size(), false);
    skipMergeTags(text, skipped);
    if (html) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (skipped[i])
                continue;
            if (text[i] == u'<') {
                const qsizetype end = markupEnd(text, i);
                skip(skipped, i, end);
                i = end - 1;
            } else if (text[i] == u'&') {
                const qsizetype end = text.indexOf(u';', i);
                if (end > i && end - i <= 10) {
                    skip(skipped, i, end + 1);
                    i = end;
                }
            }
        }
    }

    QList<TextWord> words;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        // One token: the characters up to the next blank or skipped character.
        if (skipped[i] || text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && !skipped[end] && !text[end].isSpace())
            ++end;
        const QStringView token = text.mid(i, end - i);
        if (!isUrlOrAddress(token)) {
            // Its words: letters and digits, with apostrophes inside; one with a digit is not checked.
            qsizetype p = i;
            while (p < end) {
                if (!text[p].isLetterOrNumber()) {
                    ++p;
                    continue;
                }
                qsizetype q = p;
                bool digit = false;
                while (q < end && (text[q].isLetterOrNumber() || text[q].isMark() ||
                                   (isApostrophe(text[q]) && q + 1 < end && text[q + 1].isLetter()))) {
                    digit = digit || text[q].isDigit();
                    ++q;
                }
                if (!digit)
                    words.append({p, q - p});
                p = q;
            }
        }
        i = end;
    }
    return words;
}

// ---- Dictionaries ----

struct SpellChecker::Dictionary {
    std::unique_ptr<Hunspell> hunspell;
    QByteArray encoding;

    // The word in the dictionary's encoding; nullopt when it has no such characters.
    std::optional<std::string> encode(const QString& word) const {
        QStringEncoder encoder(encoding.constData());
        if (!encoder.isValid())
            encoder = QStringEncoder(QStringConverter::Utf8);
        const QByteArray bytes = encoder.encode(word);
        if (encoder.hasError())
            return std::nullopt;
        return bytes.toStdString();
    }
    QString decode(const std::string& text) const {
        QStringDecoder decoder(encoding.constData());
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringConverter::Utf8);
        return decoder.decode(QByteArray::fromStdString(text));
    }
};

namespace {

QStringList& systemPaths() {
    static QStringList paths = {QStringLiteral("/usr/share/hunspell"), QStringLiteral("/usr/share/myspell"),
                                QStringLiteral("/usr/share/myspell/dicts")};
    return paths;
}

// Why Hunspell cannot use the pair; "" when it can be given to it.
QString pairFault(const QString& aff, const QString& dic) {
    const QFileInfo affInfo(aff), dicInfo(dic);
    if (!affInfo.isFile())
        return QStringLiteral("missing ") + affInfo.fileName();
    if (!dicInfo.isFile())
        return QStringLiteral("missing ") + dicInfo.fileName();
    if (affInfo.size() == 0)
        return QStringLiteral("empty ") + affInfo.fileName();
    QFile file(dic);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable ") + dicInfo.fileName();
    // A dictionary starts with the number of its words.
    QByteArray first = file.readLine(64).trimmed();
    if (first.startsWith("\xEF\xBB\xBF"))
        first = first.mid(3);
    bool number = false;
    first.toLong(&number);
    if (!number)
        return QStringLiteral("no word count in ") + dicInfo.fileName();
    return {};
}

} // namespace

SpellChecker::SpellChecker() = default;
SpellChecker::~SpellChecker() = default;

QString SpellChecker::lexFolder() {
    return appFolders().AppFolder + QStringLiteral("lex/");
}

QString SpellChecker::userWordsFile() {
    return lexFolder() + QStringLiteral("user-words.txt");
}

QStringList SpellChecker::systemDictionaryPaths() {
    return systemPaths();
}

void SpellChecker::setSystemDictionaryPaths(const QStringList& paths) {
    systemPaths() = paths;
}

QString SpellChecker::noDictionaryText() {
    return QStringLiteral("Tamberlyn is unable to find the files needed for spellchecking to function.  "
                          "These are the files located in the Tamberlyn application directory under the "
                          "folder lex.");
}

QString SpellChecker::errorText(const QString& detail) {
    return QStringLiteral("Error in spellchecker: ") + detail;
}

QString SpellChecker::statisticsTitle() {
    return QStringLiteral("Tamberlyn Spellchecker");
}

QString SpellChecker::statisticsText(int checked, int changed) {
    return QStringLiteral("Number of words checked:   ") + QString::number(checked) + u'\n' +
           QStringLiteral("Number of words changed:   ") + QString::number(changed);
}

QString SpellChecker::failureText() {
    return QStringLiteral("An error occured checking the spelling of the current message in the Message "
                          "Editor.");
}

void SpellChecker::copySystemDictionary() const {
    const QStringList languages = {QLocale::system().name(), QStringLiteral("en_US")};
    for (const QString& language : languages) {
        for (const QString& folder : systemPaths()) {
            const QString aff = folder + u'/' + language + QStringLiteral(".aff");
            const QString dic = folder + u'/' + language + QStringLiteral(".dic");
            if (!QFileInfo(aff).isFile() || !QFileInfo(dic).isFile())
                continue;
            QDir().mkpath(lexFolder());
            if (QFile::copy(aff, lexFolder() + language + QStringLiteral(".aff")) &&
                QFile::copy(dic, lexFolder() + language + QStringLiteral(".dic")))
                return;
        }
    }
}

bool SpellChecker::loadPair(const QString& aff, const QString& dic, QStringList* errors) {
    if (const QString fault = pairFault(aff, dic); !fault.isEmpty()) {
        const QString text =
            errorText(QFileInfo(dic).completeBaseName() + QStringLiteral(" (") + fault + u')');
        LogError(QStringLiteral("SpellCheckMailMessage in frmMessageEdit"), {1, text});
        if (errors)
            *errors << text;
        return false;
    }
    auto dictionary = std::make_unique<Dictionary>();
    dictionary->hunspell =
        std::make_unique<Hunspell>(QFile::encodeName(aff).constData(), QFile::encodeName(dic).constData());
    dictionary->encoding = QByteArray::fromStdString(dictionary->hunspell->get_dict_encoding());
    dictionaries_.push_back(std::move(dictionary));
    return true;
}

bool SpellChecker::load(QStringList* errors) {
    dictionaries_.clear();
    const auto pairs = [] {
        QStringList names;
        for (const QString& file :
             QDir(lexFolder())
                 .entryList({QStringLiteral("*.dic"), QStringLiteral("*.aff")}, QDir::Files, QDir::Name)) {
            const QString base = QFileInfo(file).completeBaseName();
            if (!names.contains(base))
                names << base;
        }
        return names;
    };
    QStringList names = pairs();
    if (names.isEmpty()) {
        copySystemDictionary();
        names = pairs();
    }
    for (const QString& base : names)
        loadPair(lexFolder() + base + QStringLiteral(".aff"), lexFolder() + base + QStringLiteral(".dic"),
                 errors);
    if (dictionaries_.empty())
        return false;

    QFile words(userWordsFile());
    if (words.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(words.readAll()).split(u'\n');
        for (const QString& line : lines) {
            const QString word = line.trimmed();
            if (word.isEmpty())
                continue;
            for (const auto& dictionary : dictionaries_)
                if (const auto encoded = dictionary->encode(word))
                    dictionary->hunspell->add(*encoded);
        }
    }
    return true;
}

bool SpellChecker::isCorrect(const QString& word) const {
    for (const auto& dictionary : dictionaries_) {
        const std::optional<std::string> encoded = dictionary->encode(word);
        if (encoded && dictionary->hunspell->spell(*encoded))
            return true;
    }
    return false;
}

QStringList SpellChecker::suggestions(const QString& word) const {
    QStringList all;
    for (const auto& dictionary : dictionaries_) {
        const std::optional<std::string> encoded = dictionary->encode(word);
        if (!encoded)
            continue;
        for (const std::string& suggestion : dictionary->hunspell->suggest(*encoded)) {
            const QString text = dictionary->decode(suggestion);
            if (!all.contains(text))
                all << text;
        }
    }
    return all;
}

bool SpellChecker::addToUserDictionary(const QString& word) {
    for (const auto& dictionary : dictionaries_)
        if (const auto encoded = dictionary->encode(word))
            dictionary->hunspell->add(*encoded);
    QDir().mkpath(lexFolder());
    QFile file(userWordsFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        LogError(QStringLiteral("SpellCheckMailMessage in frmMessageEdit"),
                 {1, QStringLiteral("Cannot write ") + userWordsFile()});
        return false;
    }
    // A file that does not end in a line break gets one first.
    if (file.size() > 0) {
        QFile check(userWordsFile());
        if (check.open(QIODevice::ReadOnly) && check.seek(check.size() - 1) && check.read(1) != "\n")
            file.write("\n");
    }
    return file.write(word.toUtf8() + '\n') > 0;
}
