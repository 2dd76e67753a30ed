#pragma once

#include <QObject>
#include <QString>

// What the message store tells the windows: the core never touches a window itself, it announces the
// effect here and whichever windows are open act on it.
class MessageEvents : public QObject {
    Q_OBJECT
public:
    static MessageEvents& instance();

Q_SIGNALS:
    // Every open message editor whose caption equals the text (compared without regard to case) closes
    // at once, without asking to save: its message is being renamed or deleted.
    void closeEditors(const QString& caption);
    // The message is gone: the mailing centre removes it from its tree.
    void messageRemoved(const QString& name);
    // Messages were renamed or added: the mailing centre refreshes its tree and an open mailing wizard
    // its lists.
    void messagesChanged();

private:
    MessageEvents() = default;
};
