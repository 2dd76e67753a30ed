#pragma once

#include <QString>
#include <optional>

// Every message box and question of the program goes through one Prompter: the desktop shows a
// message box, the command line prints and answers from its options or the terminal, tests script it.
class Prompter {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    // SaveDontSaveCancel asks whether to save a changed document: "&Save" answers Yes, "&Don't Save" No.
    enum class Buttons {
        Ok,
        OkCancel,
        YesNo,
        YesNoCancel,
        RetryCancel,
        AbortRetryIgnore,
        SaveDontSaveCancel
    };
    enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

    virtual ~Prompter() = default;

    virtual void inform(const QString& title, const QString& text, Icon icon = Icon::Information) = 0;
    virtual Answer ask(const QString& title, const QString& text, Buttons buttons,
                       Icon icon = Icon::Question) = 0;
    // Asks for a line of text (a name, a password when secret); nullopt when the user cancels or
    // nothing can be asked. A secret answer is never echoed.
    virtual std::optional<QString> askText(const QString& title, const QString& text,
                                           bool secret = false) = 0;

    // The answer that changes nothing: No where there is one (Cancel for a save question), else Cancel, else
    // the only button.
    static Answer safeAnswer(Buttons buttons);
    // The answer that goes ahead: Yes, Ok or Retry.
    static Answer affirmativeAnswer(Buttons buttons);
    static QString answerText(Answer answer);
};
