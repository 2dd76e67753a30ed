#include "messages/ui/frmSpellCheck.h"

#include "core/ErrorLog.h"
#include "core/Prompter.h"
#include "messages/SpellChecker.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace {

const QString LogSource = QStringLiteral("SpellCheckMailMessage in frmMessageEdit");

} // namespace

void frmSpellCheck::checkFields(const QList<SpellField>& fields, Prompter& prompter, QWidget* parent) {
    auto checker = std::make_unique<SpellChecker>();
    QStringList errors;
    const bool loaded = checker->load(&errors);
    for (const QString& error : errors)
        prompter.inform(SpellChecker::statisticsTitle(), error, Prompter::Icon::Exclamation);
    if (!loaded) {
        prompter.inform(SpellChecker::statisticsTitle(), SpellChecker::noDictionaryText(),
                        Prompter::Icon::Exclamation);
        return;
    }
    auto* dialog = new frmSpellCheck(std::move(checker), fields, prompter, parent);
    if (dialog->advance())
        dialog->showWord();
    else
        dialog->finish();
}

frmSpellCheck::frmSpellCheck(std::unique_ptr<SpellChecker> checker, const QList<SpellField>& fields,
                             Prompter& prompter, QWidget* parent)
    : QDialog(parent), checker_(std::move(checker)), fields_(fields), prompter_(prompter),
      notInDictionary_(new QLineEdit(this)), changeTo_(new QLineEdit(this)),
      suggestions_(new QListWidget(this)) {
    setObjectName(QStringLiteral("frmSpellCheck"));
    setWindowTitle(QStringLiteral("Check Spelling"));
    setAttribute(Qt::WA_DeleteOnClose);
    notInDictionary_->setObjectName(QStringLiteral("txtNotInDictionary"));
    notInDictionary_->setReadOnly(true);
    changeTo_->setObjectName(QStringLiteral("txtChangeTo"));
    suggestions_->setObjectName(QStringLiteral("lstSuggestions"));

    const auto button = [this](const QString& text, const char* name, void (frmSpellCheck::*slot)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1StringView(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(button(QStringLiteral("&Ignore"), "cmdIgnore", &frmSpellCheck::cmdIgnore_Click));
    buttons->addWidget(
        button(QStringLiteral("I&gnore All"), "cmdIgnoreAll", &frmSpellCheck::cmdIgnoreAll_Click));
    buttons->addWidget(button(QStringLiteral("&Change"), "cmdChange", &frmSpellCheck::cmdChange_Click));
    buttons->addWidget(
        button(QStringLiteral("C&hange All"), "cmdChangeAll", &frmSpellCheck::cmdChangeAll_Click));
    buttons->addWidget(button(QStringLiteral("&Add"), "cmdAdd", &frmSpellCheck::cmdAdd_Click));
    buttons->addStretch();
    buttons->addWidget(button(QStringLiteral("Cancel"), "cmdCancel", &frmSpellCheck::finish));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Not in dictionary:"), notInDictionary_);
    form->addRow(QStringLiteral("Change &to:"), changeTo_);
    form->addRow(QStringLiteral("&Suggestions:"), suggestions_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);

    connect(suggestions_, &QListWidget::currentTextChanged, changeTo_, &QLineEdit::setText);
    connect(suggestions_, &QListWidget::itemDoubleClicked, this, &frmSpellCheck::cmdChange_Click);
    resize(460, 260);
}

frmSpellCheck::~frmSpellCheck() = default;

bool frmSpellCheck::advance() {
    try {
        for (; field_ < fields_.size(); ++field_, offset_ = 0) {
            const SpellField& field = fields_[field_];
            const QString text = field.text();
            for (const TextWord& word : CheckableWords(text, field.html)) {
                if (word.start < offset_)
                    continue;
                ++checked_;
                const QString found = text.mid(word.start, word.length);
                offset_ = word.start + word.length;
                if (ignored_.contains(found) || checker_->isCorrect(found))
                    continue;
                wordStart_ = word.start;
                wordLength_ = word.length;
                word_ = found;
                if (const auto change = changeAll_.constFind(found); change != changeAll_.cend()) {
                    changeWord(*change);
                    return advance();
                }
                return true;
            }
        }
    } catch (const std::exception& failure) {
        LogError(LogSource, {1, QString::fromLocal8Bit(failure.what())});
        prompter_.inform(SpellChecker::statisticsTitle(), SpellChecker::failureText(),
                         Prompter::Icon::Critical);
        field_ = int(fields_.size());
    }
    return false;
}

void frmSpellCheck::showWord() {
    notInDictionary_->setText(word_);
    suggestions_->clear();
    const QStringList suggestions = checker_->suggestions(word_);
    suggestions_->addItems(suggestions);
    changeTo_->setText(suggestions.value(0, word_));
    if (!suggestions.isEmpty())
        suggestions_->setCurrentRow(0);
    if (!isVisible())
        open();
}

void frmSpellCheck::changeWord(const QString& replacement) {
    if (replacement != word_) {
        fields_[field_].replace(int(wordStart_), int(wordLength_), replacement);
        ++changed_;
    }
    offset_ = wordStart_ + replacement.size();
}

void frmSpellCheck::skipWord() {
    if (advance())
        showWord();
    else
        finish();
}

void frmSpellCheck::cmdIgnore_Click() {
    skipWord();
}

void frmSpellCheck::cmdIgnoreAll_Click() {
    ignored_.insert(word_);
    skipWord();
}

void frmSpellCheck::cmdChange_Click() {
    changeWord(changeTo_->text());
    skipWord();
}

void frmSpellCheck::cmdChangeAll_Click() {
    changeAll_.insert(word_, changeTo_->text());
    changeWord(changeTo_->text());
    skipWord();
}

void frmSpellCheck::cmdAdd_Click() {
    checker_->addToUserDictionary(word_);
    skipWord();
}

void frmSpellCheck::finish() {
    if (finished_)
        return;
    finished_ = true;
    hide();
    prompter_.inform(SpellChecker::statisticsTitle(), SpellChecker::statisticsText(checked_, changed_),
                     Prompter::Icon::Information);
    close();
    deleteLater();
}
