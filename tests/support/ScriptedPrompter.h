#pragma once

#include "core/Prompter.h"

#include <QList>
#include <QQueue>

// A Prompter for tests: answers questions from a script and records every text shown.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        QString title;
        QString text;
        Icon icon;
        bool question;
    };

    void inform(const QString& title, const QString& text, Icon icon = Icon::Information) override;
    Answer ask(const QString& title, const QString& text, Buttons buttons, Icon icon = Icon::Question) override;

    // The next answers, in order. A question with no scripted answer fails the running test.
    void answer(Answer a) { answers_.enqueue(a); }
    const QList<Shown>& shown() const { return shown_; }
    QStringList texts() const;
    bool allAnswersUsed() const { return answers_.isEmpty(); }

private:
    QQueue<Answer> answers_;
    QList<Shown> shown_;
};
