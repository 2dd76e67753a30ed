// The send dialog over a long run: 100,000 per-recipient messages (one personalised copy each, marks
// on) to the program's outbox with --discard, started as a child process. A 5 ms timer watches the
// event loop; the figures are the longest stall, the 99th percentile and messages per second (target:
// no stall of 50 ms or more). BENCH_SENDMAIL_RECIPIENTS changes the count, BENCH_SENDMAIL_PER_HOUR sets
// an hourly limit (counted in the send ledger). Run with
// QT_QPA_PLATFORM=offscreen on a machine without a display.
#include "BenchSupport.h"
#include "app/mdlMain.h"
#include "db/DataTank.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "send/MailingRun.h"
#include "send/ui/frmSendMail.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

bool makeMailing(const QString& name, int recipients, Prompter& prompter, qint32* id) {
    DataTank writer;
    for (int i = 0; i < recipients; ++i)
        writer.CommitTargetRecord(QStringLiteral("reader%1@bench.test").arg(i), QStringLiteral("Reader"),
                                  QString::number(i), {}, {}, {}, {});
    writer.closeTarget();
    if (!DataTank::SaveListAs(writer.targetPath(), name, {}, false, prompter))
        return false;

    MessageRecord message;
    message.MessageName = name;
    message.Subject = QStringLiteral("News for <<FirstName>>");
    message.SendType = 0;
    message.MessageText =
        QStringLiteral("Dear <<FirstName>> <<LastName>>,\r\n\r\n") +
        QStringLiteral("A line of ordinary news, long enough to wrap once or twice. ").repeated(8) +
        QStringLiteral("\r\n");
    message.AddressType = 1;
    message.GreetingType = -1;
    if (!MessageStore::ImportMessage(message) ||
        !MessageStore::WriteGreetingSettings(name, LoadGreetingSettings(message)))
        return false;

    MailEvent options;
    options.MailEventName = name;
    options.From = QStringLiteral("sender@bench.test");
    options.bFlagSends = qEnvironmentVariable("BENCH_SENDMAIL_MARKS") != QLatin1String("off");
    options.SentFlag = QStringLiteral("SENT");
    options.SentFlagToCheck = QStringLiteral("SENT");
    options.SendBlockSize = recipients;
    options.SmtpServer = QStringLiteral("127.0.0.1");
    // With a limit, each batch of marks commits together with its count in the central ledger.
    options.MaxPerHour = qEnvironmentVariableIntValue("BENCH_SENDMAIL_PER_HOUR");
    if (!options.storeMEP())
        return false;
    mdlTamberlynGroupOptions::CreateTamberlynGroup(prompter, name, {});
    *id = Mailings::PrepareMailing(name, name, name, name);
    return *id > 0;
}

struct Figures {
    int recipients = 0;
    qint64 passed = 0;
    double seconds = 0;
    double maxStall = 0;
    double p99 = 0;
    qsizetype over50 = 0;

    void print(const char* what) const {
        std::printf(
            "%s, %d per-recipient messages to the outbox (--discard): %lld accepted in %.1f s, %.0f "
            "messages/s; event-loop stall max %.1f ms, 99th percentile %.1f ms, %lld of 50 ms or more "
            "(target: none)\n",
            what, recipients, passed, seconds, seconds > 0 ? double(passed) / seconds : 0.0, maxStall, p99,
            qint64(over50));
        std::fflush(stdout);
    }
};

// Starts a run with start and turns the event loop until it reports its end.
Figures measure(int recipients, const std::function<void(const std::function<void(qint64)>&)>& start) {
    Figures figures;
    figures.recipients = recipients;
    EventLoopGaps stalls(5);
    QElapsedTimer timer;
    stalls.start();
    timer.start();
    start([&figures](qint64 passed) {
        figures.passed = passed;
        // Leaves the loop once the session's end is through.
        QTimer::singleShot(500, [] { QCoreApplication::exit(0); });
    });
    QCoreApplication::exec();
    figures.seconds = double(timer.nsecsElapsed()) / 1e9 - 0.5;
    stalls.stop();
    figures.maxStall = stalls.max();
    figures.p99 = stalls.percentile99();
    figures.over50 = stalls.over(50);
    return figures;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const int recipients = qMax(1, qEnvironmentVariableIntValue("BENCH_SENDMAIL_RECIPIENTS") > 0
                                       ? qEnvironmentVariableIntValue("BENCH_SENDMAIL_RECIPIENTS")
                                       : 100000);
    QTemporaryDir dir;
    BenchPrompter prompter(true);
    Startup program(
        StartupOptions{dir.filePath(QStringLiteral("home")), QStringLiteral("tamberlyn"), &prompter});
    if (program.run() != Startup::Result::Started)
        return 1;
    qint32 id = 0;
    qint32 headlessId = 0;
    if (!makeMailing(QStringLiteral("Bench"), recipients, prompter, &id) ||
        !makeMailing(QStringLiteral("Headless"), recipients, prompter, &headlessId)) {
        std::fprintf(stderr, "Could not prepare the mailing\n");
        return 1;
    }

    QProcess outbox;
    outbox.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                 {QStringLiteral("outbox"), QStringLiteral("--discard"), QStringLiteral("--dir"),
                  dir.filePath(QStringLiteral("outbox"))});
    if (!outbox.waitForReadyRead(10000)) {
        std::fprintf(stderr, "The outbox did not start\n");
        return 1;
    }
    appSettings().SMTPPort =
        QString::fromUtf8(outbox.readLine()).section(u':', 1).section(u',', 0, 0).toInt();

    // The same run without a window first: what the recipient source and the session cost alone.
    std::unique_ptr<MailingRun> run;
    const Figures headless = measure(recipients, [&](const std::function<void(qint64)>& ended) {
        run = std::make_unique<MailingRun>(prompter);
        QObject::connect(run.get(), &MailingRun::finished,
                         [&run, ended] { ended(run->socket().passedCount()); });
        run->start(headlessId, MailRuns::Trigger::Command);
    });
    headless.print("Without a window");
    frmSendMail dialog(prompter, id, MailRuns::Trigger::Desktop, true);
    dialog.show();
    const Figures windowed = measure(recipients, [&](const std::function<void(qint64)>& ended) {
        QObject::connect(&dialog, &frmSendMail::runFinished,
                         [&dialog, ended] { ended(dialog.run()->socket().passedCount()); });
        dialog.cmdSend_Click(0);
    });
    windowed.print("Send dialog");

    ::kill(pid_t(outbox.processId()), SIGTERM);
    outbox.waitForFinished(10000);
    const QString received = QString::fromUtf8(outbox.readAll()).trimmed();

    std::printf("  outbox: %s\n", qPrintable(received));
    return headless.passed == recipients && windowed.passed == recipients ? 0 : 1;
}
