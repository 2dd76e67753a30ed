#include "core/ConsolePrompter.h"

#include <QList>
#include <termios.h>
#include <unistd.h>

namespace {

QList<Prompter::Answer> choicesOf(Prompter::Buttons buttons) {
    using A = Prompter::Answer;
    switch (buttons) {
    case Prompter::Buttons::Ok:
        return {A::Ok};
    case Prompter::Buttons::OkCancel:
        return {A::Ok, A::Cancel};
    case Prompter::Buttons::YesNo:
        return {A::Yes, A::No};
    case Prompter::Buttons::YesNoCancel:
    case Prompter::Buttons::SaveDontSaveCancel:
        return {A::Yes, A::No, A::Cancel};
    case Prompter::Buttons::RetryCancel:
        return {A::Retry, A::Cancel};
    case Prompter::Buttons::AbortRetryIgnore:
        return {A::Abort, A::Retry, A::Ignore};
    }
    return {A::Ok};
}

} // namespace

ConsolePrompter::ConsolePrompter(Mode mode, QTextStream& in, QTextStream& out, QTextStream& err,
                                 bool inputIsTerminal)
    : mode_(mode), in_(in), out_(out), err_(err), inputIsTerminal_(inputIsTerminal) {}

QTextStream& ConsolePrompter::streamFor(Icon icon) {
    return icon == Icon::Critical || icon == Icon::Exclamation ? err_ : out_;
}

void ConsolePrompter::inform(const QString& title, const QString& text, Icon icon) {
    QTextStream& stream = streamFor(icon);
    if (!title.isEmpty())
        stream << title << ": ";
    stream << text << Qt::endl;
}

Prompter::Answer ConsolePrompter::ask(const QString& title, const QString& text, Buttons buttons, Icon icon) {
    Q_UNUSED(icon)
    if (!title.isEmpty())
        out_ << title << ": ";
    out_ << text << Qt::endl;
    Answer answer = safeAnswer(buttons);
    switch (mode_) {
    case Mode::AnswerYes:
        answer = affirmativeAnswer(buttons);
        break;
    case Mode::AnswerNo:
        answer = safeAnswer(buttons);
        break;
    case Mode::Interactive:
        if (inputIsTerminal_)
            return askOnTerminal(buttons);
        answer = safeAnswer(buttons);
        out_ << "No answer can be read here; taking " << answerText(answer)
             << " (give --yes or --no to answer)." << Qt::endl;
        return answer;
    }
    out_ << "Answered " << answerText(answer) << "." << Qt::endl;
    return answer;
}

Prompter::Answer ConsolePrompter::askOnTerminal(Buttons buttons) {
    const QList<Answer> choices = choicesOf(buttons);
    QStringList labels;
    for (const Answer a : choices)
        labels << answerText(a);
    for (;;) {
        out_ << "[" << labels.join(u'/') << "]? " << Qt::flush;
        const QString line = in_.readLine();
        if (line.isNull())
            return safeAnswer(buttons);
        const QString reply = line.trimmed();
        for (const Answer a : choices)
            if (!reply.isEmpty() && answerText(a).startsWith(reply, Qt::CaseInsensitive))
                return a;
    }
}

std::optional<QString> ConsolePrompter::askText(const QString& title, const QString& text, bool secret) {
    if (!title.isEmpty())
        out_ << title << ": ";
    out_ << text << Qt::endl;
    if (mode_ != Mode::Interactive || !inputIsTerminal_) {
        out_ << "No answer can be read here." << Qt::endl;
        return std::nullopt;
    }
    out_ << "> " << Qt::flush;
    termios saved{};
    const bool hide = secret && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const QString line = in_.readLine();
    if (hide) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        out_ << Qt::endl;
    }
    if (line.isNull())
        return std::nullopt;
    return line;
}
