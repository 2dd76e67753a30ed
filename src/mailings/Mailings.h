#pragma once

#include "core/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Mailings: rows of the MailEvent table, each tying a list, a message and a set of delivery options
// together inside a group.
struct Mailing {
    qint32 MailEventName = 0; // the mailing's number
    QString TamberlynName;
    QString ListName;
    QString MessageName;
    QString Profile;
    QString DateSent;
    qint32 SentCount = 0;
    qint32 SentCountFailed = 0;
};

namespace Mailings {

std::optional<Mailing> find(qint32 id);
// Every mailing in the mailing centre's order: group, list, message, date sent.
QList<Mailing> all();

// Adds a mailing, remembers the four choices in the settings, and answers its number; 0 on failure.
qint32 PrepareMailing(const QString& group, const QString& list, const QString& message,
                      const QString& options);
// Asks, then removes the mailing (not its list or message). messageName names it in the texts; empty,
// the mailing's number does.
bool deleteMailing(Prompter& prompter, qint32 id, const QString& messageName = {});
// Adds a run's counts to the mailing's totals and sets its date sent.
bool ReturnMailResults(Prompter& prompter, qint32 id, qint32 passed, qint32 failed, const QString& dateText);

// The checks before a mailing is sent: its list must still exist, and a mailing sent before asks the
// send-again question. True when the run may start.
bool checkBeforeSend(Prompter& prompter, const Mailing& mailing);
// The list check alone: false, with the message shown, when the mailing's list was deleted.
bool checkList(Prompter& prompter, const Mailing& mailing);
// The send-again question alone: true for a mailing never sent, else the answer OK.
bool confirmSendAgain(Prompter& prompter, const Mailing& mailing);
// The explanation of the send-again warning.
QString sendAgainExplanation();

// What a new mailing is made of, as the mailing centre offers it.
enum class Part { Group, List, Message, Options };
// The names of every group, list, message (those of unsaved messages left out) or set of delivery
// options, sorted.
QStringList choices(Part part);
// Whether the group, list, message or set of delivery options exists (without regard to case).
bool exists(Part part, const QString& name);

} // namespace Mailings
