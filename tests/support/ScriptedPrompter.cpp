#include "support/ScriptedPrompter.h"

#include "db/CentralDatabase.h"

#include <QTest>

ScriptedPrompter::ScriptedPrompter() {
    answerAlways(CentralDatabase::sampleDataQuestion(), Answer::No);
}

void ScriptedPrompter::inform(const QString& title, const QString& text, Icon icon) {
    shown_.append({title, text, icon, false});
}

Prompter::Answer ScriptedPrompter::ask(const QString& title, const QString& text, Buttons buttons,
                                       Icon icon) {
    if (const auto standing = standing_.constFind(text); standing != standing_.constEnd())
        return *standing;
    shown_.append({title, text, icon, true});
    if (answers_.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("Unexpected question: ") + text), __FILE__, __LINE__);
        return safeAnswer(buttons);
    }
    return answers_.dequeue();
}

std::optional<QString> ScriptedPrompter::askText(const QString& title, const QString& text, bool secret) {
    Q_UNUSED(secret)
    shown_.append({title, text, Icon::Question, true});
    if (texts_.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("Unexpected text question: ") + text), __FILE__, __LINE__);
        return std::nullopt;
    }
    return texts_.dequeue();
}

QStringList ScriptedPrompter::texts() const {
    QStringList list;
    for (const Shown& s : shown_)
        list << s.text;
    return list;
}
