#pragma once

#include "core/Prompter.h"

class QWidget;

// The desktop's Prompter: a modal message box with the asked-for buttons and icon.
class GuiPrompter : public Prompter {
public:
    explicit GuiPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    void inform(const QString& title, const QString& text, Icon icon = Icon::Information) override;
    Answer ask(const QString& title, const QString& text, Buttons buttons,
               Icon icon = Icon::Question) override;
    std::optional<QString> askText(const QString& title, const QString& text, bool secret = false) override;

private:
    QWidget* parent_;
};
