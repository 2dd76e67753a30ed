#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QSet>
#include <functional>
#include <memory>

class Prompter;
class QLineEdit;
class QListWidget;
class QPushButton;
class SpellChecker;

// One text the checker walks. HTML fields skip tags, attributes, entities, merge tags, URLs and
// addresses.
struct SpellField {
    QString name;
    std::function<QString()> text;
    std::function<void(int start, int length, const QString& replacement)> replace;
    bool html = false;
};

// The spelling dialog: shows one unknown word at a time with suggestions and walks on when a button is
// pressed; ends with the statistics box.
class frmSpellCheck : public QDialog {
    Q_OBJECT
public:
    // Checks the fields in order (a modeless walk, no nested loop); ends with the statistics box.
    // Refusals and errors go through the prompter.
    static void checkFields(const QList<SpellField>& fields, Prompter& prompter, QWidget* parent);
    ~frmSpellCheck() override;

    int wordsChecked() const { return checked_; }
    int wordsChanged() const { return changed_; }

private:
    frmSpellCheck(std::unique_ptr<SpellChecker> checker, const QList<SpellField>& fields, Prompter& prompter,
                  QWidget* parent);
    // Goes on from the current place to the next unknown word; false when the walk is over.
    bool advance();
    void showWord();
    void skipWord();
    void changeWord(const QString& replacement);
    void finish();

    void cmdIgnore_Click();
    void cmdIgnoreAll_Click();
    void cmdChange_Click();
    void cmdChangeAll_Click();
    void cmdAdd_Click();

    std::unique_ptr<SpellChecker> checker_;
    QList<SpellField> fields_;
    Prompter& prompter_;
    int field_ = 0;
    qsizetype offset_ = 0;    // where the walk goes on in the current field
    qsizetype wordStart_ = 0; // the unknown word shown
    qsizetype wordLength_ = 0;
    QString word_;
    QSet<QString> ignored_;
    QHash<QString, QString> changeAll_;
    int checked_ = 0;
    int changed_ = 0;
    bool finished_ = false;

    QLineEdit* notInDictionary_;
    QLineEdit* changeTo_;
    QListWidget* suggestions_;
};
