#include "send/RunRecorder.h"

#include "mailings/Schedules.h"
#include "send/SMTPSocket.h"

namespace {

int sliceMsFromEnvironment() {
    bool ok = false;
    const int value = qEnvironmentVariable("TAMBERLYN_SLICE_MS").toInt(&ok);
    return ok && value > 0 ? value : MailRuns::SliceSeconds * 1000;
}

} // namespace

RunRecorder::RunRecorder(const SMTPSocket& socket, QObject* parent)
    : QObject(parent), socket_(socket), sliceMs_(sliceMsFromEnvironment()) {
    connect(&clock_, &QTimer::timeout, this, &RunRecorder::writeSlice);
}

void RunRecorder::begin(qint32 mailing, MailRuns::Trigger trigger) {
    run_ = lastRun_ = MailRuns::begin(mailing, trigger, Schedules::now());
    step_ = 0;
    passedBefore_ = failedBefore_ = 0;
    if (run_ > 0)
        clock_.start(sliceMs_);
}

void RunRecorder::writeSlice() {
    const qint64 passed = socket_.passedCount();
    const qint64 failed = socket_.failedCount();
    MailRuns::addSlice(run_, step_++, passed - passedBefore_, failed - failedBefore_);
    passedBefore_ = passed;
    failedBefore_ = failed;
}

void RunRecorder::end(MailRuns::Outcome outcome) {
    if (run_ <= 0)
        return;
    clock_.stop();
    // The last, partial step; a run shorter than one step still gets its one slice.
    if (step_ == 0 || socket_.passedCount() != passedBefore_ || socket_.failedCount() != failedBefore_)
        writeSlice();
    MailRuns::finish(run_, Schedules::now(), socket_.passedCount(), socket_.failedCount(), outcome);
    run_ = 0;
}
