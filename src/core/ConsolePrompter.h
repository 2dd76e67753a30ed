#pragma once

#include "core/Prompter.h"

#include <QTextStream>

// The command line's Prompter. Texts go to the output stream, warnings and errors to the error stream.
// Questions take the --yes/--no answer when one was given, else ask on a terminal, else take the safe
// answer and say so.
class ConsolePrompter : public Prompter {
public:
    enum class Mode { AnswerYes, AnswerNo, Interactive };

    ConsolePrompter(Mode mode, QTextStream& in, QTextStream& out, QTextStream& err, bool inputIsTerminal);

    void inform(const QString& title, const QString& text, Icon icon = Icon::Information) override;
    Answer ask(const QString& title, const QString& text, Buttons buttons,
               Icon icon = Icon::Question) override;
    std::optional<QString> askText(const QString& title, const QString& text, bool secret = false) override;

private:
    QTextStream& streamFor(Icon icon);
    Answer askOnTerminal(Buttons buttons);

    Mode mode_;
    QTextStream& in_;
    QTextStream& out_;
    QTextStream& err_;
    bool inputIsTerminal_;
};
