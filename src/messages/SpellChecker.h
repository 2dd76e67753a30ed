#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>

// One word of a text to check: where it starts and how long it is.
struct TextWord {
    qsizetype start = 0;
    qsizetype length = 0;
};

// The words of a text that spelling is checked for. Merge tags, URLs, e-mail addresses and words with
// digits are skipped; in HTML also tags with their attributes, comments, entities and the content of
// style and script elements.
QList<TextWord> CheckableWords(QStringView text, bool html);

// Spelling with Hunspell. Each .aff/.dic pair in the lexicon folder is one dictionary, and a word passes
// when any of them accepts it; the user's own words are in user-words.txt there, one a line.
class SpellChecker {
public:
    SpellChecker();
    ~SpellChecker();
    SpellChecker(const SpellChecker&) = delete;
    SpellChecker& operator=(const SpellChecker&) = delete;

    // The application folder's "lex/".
    static QString lexFolder();
    static QString userWordsFile();
    // Where a dictionary is looked for when the lexicon folder has none (Hunspell's own folders unless
    // set otherwise).
    static QStringList systemDictionaryPaths();
    static void setSystemDictionaryPaths(const QStringList& paths);

    // Loads every dictionary of the lexicon folder, copying in the system dictionary of the user's
    // language (else en_US) when the folder has none. Each pair that cannot be used is skipped and named
    // in errors as errorText(name). False when no dictionary could be loaded.
    bool load(QStringList* errors = nullptr);
    bool isLoaded() const { return !dictionaries_.empty(); }
    int dictionaryCount() const { return int(dictionaries_.size()); }

    bool isCorrect(const QString& word) const;
    QStringList suggestions(const QString& word) const;
    // Adds the word to the user's dictionary file and to this checker.
    bool addToUserDictionary(const QString& word);

    static QString noDictionaryText();
    static QString errorText(const QString& detail);
    static QString statisticsTitle();
    static QString statisticsText(int checked, int changed);
    static QString failureText();

private:
    struct Dictionary;
    bool loadPair(const QString& aff, const QString& dic, QStringList* errors);
    void copySystemDictionary() const;

    std::vector<std::unique_ptr<Dictionary>> dictionaries_;
};
