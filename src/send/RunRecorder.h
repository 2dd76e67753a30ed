#pragma once

#include "mailings/MailRuns.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class SMTPSocket;

// Writes the run history of one run: its MailRun row when it starts, a MailRunSlice with the messages
// passed and failed in each step, and the end with the totals and the outcome. A process that dies
// leaves the row "running" with the slices written so far; the next start closes it as interrupted.
// Its times come from the schedules' clock, so that they compare with the moments mailings are due.
class RunRecorder : public QObject {
    Q_OBJECT
public:
    explicit RunRecorder(const SMTPSocket& socket, QObject* parent = nullptr);

    // The length of a step; MailRuns::SliceSeconds unless the environment variable TAMBERLYN_SLICE_MS
    // or a test sets another.
    void setSliceMs(int ms) { sliceMs_ = qMax(1, ms); }

    void begin(qint32 mailing, MailRuns::Trigger trigger);
    void end(MailRuns::Outcome outcome);
    bool isRecording() const { return run_ > 0; }
    qint32 runId() const { return lastRun_; }

private:
    void writeSlice();

    const SMTPSocket& socket_;
    QTimer clock_;
    int sliceMs_;
    qint32 run_ = 0;
    qint32 lastRun_ = 0;
    qint32 step_ = 0;
    qint64 passedBefore_ = 0;
    qint64 failedBefore_ = 0;
};
