#include "core/Prompter.h"

Prompter::Answer Prompter::safeAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
    case Buttons::RetryCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::No;
    case Buttons::SaveDontSaveCancel:
        // Neither stores nor throws away the document.
        return Answer::Cancel;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    }
    return Answer::Cancel;
}

Prompter::Answer Prompter::affirmativeAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
    case Buttons::SaveDontSaveCancel:
        return Answer::Yes;
    case Buttons::RetryCancel:
    case Buttons::AbortRetryIgnore:
        return Answer::Retry;
    }
    return Answer::Ok;
}

QString Prompter::answerText(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return QStringLiteral("OK");
    case Answer::Cancel:
        return QStringLiteral("Cancel");
    case Answer::Yes:
        return QStringLiteral("Yes");
    case Answer::No:
        return QStringLiteral("No");
    case Answer::Retry:
        return QStringLiteral("Retry");
    case Answer::Abort:
        return QStringLiteral("Abort");
    case Answer::Ignore:
        return QStringLiteral("Ignore");
    }
    return {};
}
