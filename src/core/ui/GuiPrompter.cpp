#include "core/ui/GuiPrompter.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon boxIcon(Prompter::Icon icon) {
    switch (icon) {
    case Prompter::Icon::None:
        return QMessageBox::NoIcon;
    case Prompter::Icon::Information:
        return QMessageBox::Information;
    case Prompter::Icon::Exclamation:
        return QMessageBox::Warning;
    case Prompter::Icon::Critical:
        return QMessageBox::Critical;
    case Prompter::Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Prompter::Buttons buttons) {
    switch (buttons) {
    case Prompter::Buttons::Ok:
        return QMessageBox::Ok;
    case Prompter::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Prompter::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Prompter::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Prompter::Buttons::SaveDontSaveCancel:
        return QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    case Prompter::Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case Prompter::Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

Prompter::Answer answerOf(int button, Prompter::Buttons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return Prompter::Answer::Ok;
    case QMessageBox::Cancel:
        return Prompter::Answer::Cancel;
    case QMessageBox::Yes:
        return Prompter::Answer::Yes;
    case QMessageBox::No:
    case QMessageBox::Discard:
        return Prompter::Answer::No;
    case QMessageBox::Save:
        return Prompter::Answer::Yes;
    case QMessageBox::Retry:
        return Prompter::Answer::Retry;
    case QMessageBox::Abort:
        return Prompter::Answer::Abort;
    case QMessageBox::Ignore:
        return Prompter::Answer::Ignore;
    default:
        return Prompter::safeAnswer(buttons);
    }
}

} // namespace

void GuiPrompter::inform(const QString& title, const QString& text, Icon icon) {
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, parent_);
    box.exec();
}

Prompter::Answer GuiPrompter::ask(const QString& title, const QString& text, Buttons buttons, Icon icon) {
    QMessageBox box(boxIcon(icon), title, text, boxButtons(buttons), parent_);
    if (buttons == Buttons::SaveDontSaveCancel) {
        box.button(QMessageBox::Save)->setText(QStringLiteral("&Save"));
        box.button(QMessageBox::Discard)->setText(QStringLiteral("&Don't Save"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("&Cancel"));
    }
    return answerOf(box.exec(), buttons);
}

std::optional<QString> GuiPrompter::askText(const QString& title, const QString& text, bool secret) {
    bool ok = false;
    const QString value = QInputDialog::getText(
        parent_, title, text, secret ? QLineEdit::Password : QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}
