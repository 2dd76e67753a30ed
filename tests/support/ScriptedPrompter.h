#pragma once

#include "core/Prompter.h"

#include <QHash>
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
    Answer ask(const QString& title, const QString& text, Buttons buttons,
               Icon icon = Icon::Question) override;
    // Text questions take the scripted texts in order (nullopt = cancelled) and are recorded too.
    std::optional<QString> askText(const QString& title, const QString& text, bool secret = false) override;
    void answerText(std::optional<QString> text) { texts_.enqueue(std::move(text)); }

    // The next answers, in order. A question with no scripted answer fails the running test.
    void answer(Answer a) { answers_.enqueue(a); }
    const QList<Shown>& shown() const { return shown_; }
    QStringList texts() const;
    bool allAnswersUsed() const { return answers_.isEmpty() && texts_.isEmpty(); }
    // Answers the sample-data question of a first start with No (a standing answer), so that tests
    // which start the program need not script it.
    ScriptedPrompter();

    // A standing answer to the question with this text, given every time it is asked and not recorded
    // in shown(): for routine questions a test does not look at.
    void answerAlways(const QString& text, Answer a) { standing_.insert(text, a); }
    // Makes that question an ordinary one again: scripted and recorded.
    void dropStandingAnswer(const QString& text) { standing_.remove(text); }

private:
    QHash<QString, Answer> standing_;
    QQueue<Answer> answers_;
    QQueue<std::optional<QString>> texts_;
    QList<Shown> shown_;
};
