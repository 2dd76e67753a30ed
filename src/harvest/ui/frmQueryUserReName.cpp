#include "harvest/ui/frmQueryUserReName.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmQueryUserReName::frmQueryUserReName(const EmailParser::NameQuestion& question, QWidget* parent)
    : QDialog(parent), firstName_(new QLineEdit(question.firstName, this)),
      lastName_(new QLineEdit(question.lastName, this)) {
    setObjectName(QStringLiteral("frmQueryUserReName"));
    setWindowTitle(QStringLiteral("Confirm, Correct, or Ignore Name"));

    auto* message = new QLabel(question.message, this);
    message->setObjectName(QStringLiteral("lblMessage"));
    message->setWordWrap(true);
    auto* address = new QLabel(question.address, this);
    address->setObjectName(QStringLiteral("lblAddress"));
    auto* inferred = new QLabel(question.line, this);
    inferred->setObjectName(QStringLiteral("lblInferred"));
    inferred->setWordWrap(true);
    firstName_->setObjectName(QStringLiteral("txtFirstName"));
    lastName_->setObjectName(QStringLiteral("txtLastName"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("EMail Address:"), address);
    form->addRow(QStringLiteral("Inferred from string:"), inferred);
    form->setRowVisible(1, !question.line.isEmpty());
    form->addRow(QStringLiteral("Possible First Name:"), firstName_);
    form->addRow(QStringLiteral("Possible Last Name:"), lastName_);

    using Choice = EmailParser::NameAnswer::Choice;
    auto* row = new QHBoxLayout;
    const auto button = [&](const QString& text, const char* name, Choice choice) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, [this, choice] { answer(choice); });
        row->addWidget(b);
        return b;
    };
    button(QStringLiteral("Confirm Name as Shown"), "cmdCfm", Choice::Confirm)->setDefault(true);
    button(QStringLiteral("Continue Using Best Guess"), "cmdGuess", Choice::UseBestGuessOn);
    button(QStringLiteral("Mark as Name Not Found"), "cmdNF", Choice::NotFound);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addLayout(form);
    layout->addLayout(row);
    resize(520, sizeHint().height());
}

void frmQueryUserReName::answer(EmailParser::NameAnswer::Choice choice) {
    if (settled_)
        return;
    settled_ = true;
    EmailParser::NameAnswer reply;
    reply.choice = choice;
    if (choice != EmailParser::NameAnswer::Choice::NotFound) {
        reply.firstName = firstName_->text().trimmed();
        reply.lastName = lastName_->text().trimmed();
    }
    QDialog::done(Accepted);
    Q_EMIT answered(reply);
}

void frmQueryUserReName::dismiss() {
    settled_ = true;
    QDialog::done(Rejected);
}

void frmQueryUserReName::done(int result) {
    // The close box and Escape confirm what is shown: a question never stays without an answer.
    if (!settled_)
        answer(EmailParser::NameAnswer::Choice::Confirm);
    else
        QDialog::done(result);
}
