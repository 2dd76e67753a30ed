#pragma once

#include <QObject>
#include <QString>

// What the mailing operations tell the windows: every change of a mailing, a group or a set of
// delivery options is announced here, and whichever windows are open refresh what they show.
class MailingEvents : public QObject {
    Q_OBJECT
public:
    static MailingEvents& instance();

Q_SIGNALS:
    // A mailing was added, deleted, or its schedule changed.
    void mailingsChanged();
    // A run's counts and date were added to the mailing's totals.
    void mailingResults(qint32 id);
    // A run of the mailing started or ended: its run history changed.
    void runsChanged(qint32 id);
    // A group was added, changed or deleted.
    void groupsChanged();
    // A set of delivery options was stored, changed or deleted.
    void profilesChanged();

private:
    MailingEvents() = default;
};
