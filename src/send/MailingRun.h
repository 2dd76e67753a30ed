#pragma once

#include "core/Prompter.h"
#include "mailings/MailEvent.h"
#include "mailings/MailRuns.h"
#include "mailings/Mailings.h"
#include "send/RunRecorder.h"
#include "send/SMTPSocket.h"
#include "send/SendMDBList.h"

#include <QObject>

// The one way to start a mailing by its number: the mailing's checks, its delivery options, the
// server, the recipient source's names and the run over SMTPSocket, with the run recorded in the
// history. Hosts connect to socket() before start() and steer the run through stop() and socket().
class MailingRun : public QObject {
    Q_OBJECT
public:
    enum class Refusal {
        None,
        NoMailing,    // no mailing of that number
        ListDeleted,  // the mailing's list is gone (the message was shown)
        NotConfirmed, // the send-again question was not answered OK
        NoOptions,    // its delivery options are gone
        NotStarted,   // the run's set-up refused it (the reason was shown)
    };

    explicit MailingRun(Prompter& prompter, QObject* parent = nullptr);

    // Checks and starts the run; false when it was refused (see refusal()). A scheduled start skips
    // only the send-again question: the schedule is the consent.
    bool start(qint32 id, MailRuns::Trigger trigger);
    // Stops the run; its history records it as stopped.
    void stop();
    // The user already answered the send-again warning in a window: start() does not ask again.
    void setSendAgainConfirmed(bool confirmed) { sendAgainConfirmed_ = confirmed; }

    Refusal refusal() const { return refusal_; }
    // The text of a refusal that was not shown through the prompter (no mailing, no options).
    const QString& refusalText() const { return refusalText_; }
    const Mailing& mailing() const { return mailing_; }
    const MailEvent& options() const { return options_; }
    SMTPSocket& socket() { return socket_; }
    SendMDBList& source() { return source_; }
    RunRecorder& recorder() { return recorder_; }

Q_SIGNALS:
    // The run ended and its history was written.
    void finished(MailRuns::Outcome outcome);

private:
    bool refuse(Refusal refusal, const QString& text = {});
    void onEnded();

    Prompter& prompter_;
    MailEvent options_;
    SendMDBList source_;
    SMTPSocket socket_;
    RunRecorder recorder_;
    Mailing mailing_;
    Refusal refusal_ = Refusal::None;
    QString refusalText_;
    bool sessionStarted_ = false;
    bool stopRequested_ = false;
    bool sendAgainConfirmed_ = false;
};
