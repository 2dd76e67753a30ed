#include "send/ScheduleCommands.h"

#include "core/AppSettings.h"
#include "core/InstanceLock.h"
#include "mailings/Schedules.h"
#include "send/ScheduleRunner.h"
#include "send/TerminationSignals.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd");
const QString TimeFormat = QStringLiteral("HH:mm");

int runScheduleList(CommandContext& ctx) {
    if (!ctx.start())
        return ExitFailed;
    for (const Schedules::Schedule& s : Schedules::all())
        ctx.out << s.MailEventName << '\t' << s.date.toString(DateFormat) << '\t'
                << s.time.toString(TimeFormat) << '\t' << (s.Active ? "active" : "inactive") << '\t'
                << (s.MailingSent ? "sent" : "not sent") << '\t' << s.TamberlynName << '\t' << s.ListName
                << '\t' << s.MessageName << Qt::endl;
    return ExitOk;
}

int runScheduleSet(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption date(QStringLiteral("date"), QStringLiteral("The day to send (YYYY-MM-DD)."),
                                  QStringLiteral("DATE"));
    const QCommandLineOption time(QStringLiteral("time"), QStringLiteral("The time to send (HH:MM)."),
                                  QStringLiteral("TIME"));
    const QCommandLineOption active(QStringLiteral("active"), QStringLiteral("Send it when it is due."));
    const QCommandLineOption inactive(QStringLiteral("inactive"), QStringLiteral("Keep it, do not send it."));
    parser.addOptions({date, time, active, inactive});
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tamberlyn schedule set"));
    if (!parseCommandOptions(parser, rest, ctx, true))
        return ExitUsage;
    bool isNumber = false;
    const qint32 id = parser.positionalArguments().value(0).toInt(&isNumber);
    const QDate day = QDate::fromString(parser.value(date), DateFormat);
    const QTime hour = QTime::fromString(parser.value(time), TimeFormat);
    if (parser.positionalArguments().size() != 1 || !isNumber || (parser.isSet(date) && !day.isValid()) ||
        (parser.isSet(time) && !hour.isValid()) || (parser.isSet(active) && parser.isSet(inactive))) {
        ctx.err << "Use tamberlyn schedule set ID [--date YYYY-MM-DD] [--time HH:MM] [--active|--inactive]."
                << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const QDateTime now = Schedules::now();
    const std::optional<Schedules::Schedule> loaded = Schedules::LoadValuesByID(id, now);
    if (!loaded) {
        ctx.err << "There is no mailing number " << id << "." << Qt::endl;
        return ExitFailed;
    }
    Schedules::Schedule edited = *loaded;
    if (parser.isSet(date))
        edited.date = day;
    if (parser.isSet(time))
        edited.time = hour;
    if (parser.isSet(active) || parser.isSet(inactive))
        edited.Active = parser.isSet(active);
    if (!Schedules::save(*loaded, edited)) {
        ctx.err << "The selected mailing was not found." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << id << '\t' << edited.date.toString(DateFormat) << '\t' << edited.time.toString(TimeFormat)
            << '\t' << (edited.Active ? "active" : "inactive") << Qt::endl;
    return ExitOk;
}

int runScheduleRunDue(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print only the starts and end summaries, not a line per "
                                                  "recipient."));
    parser.addOption(quiet);
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tamberlyn schedule run-due"));
    if (!parseCommandOptions(parser, rest, ctx))
        return ExitUsage;
    const QDateTime now = Schedules::now();
    if (!now.isValid()) {
        ctx.err << "TAMBERLYN_NOW must be a local time written YYYY-MM-DDTHH:MM:SS." << Qt::endl;
        return ExitUsage;
    }
    // A folder in use (a long run started a minute ago, or the desktop, which starts due mailings
    // itself) is no failure: the due mailings wait for it.
    {
        InstanceLock probe;
        const QString folder = AppFolders::under(ctx.startup.appFolder).AppFolder;
        if (QFileInfo::exists(folder) && !probe.tryLock(folder + QStringLiteral(".tamberlyn.lock"))) {
            ctx.out << "Tamberlyn is busy with this folder; due mailings wait for it." << Qt::endl;
            return ExitOk;
        }
    }
    if (!ctx.start())
        return ExitFailed;
    ScheduleRunner runner(ctx.prompter);
    const bool perRecipientLines = !parser.isSet(quiet);
    QObject::connect(&runner, &ScheduleRunner::report,
                     [&](const QString& text) { ctx.out << text << Qt::endl; });
    QObject::connect(&runner, &ScheduleRunner::runCreated, [&](MailingRun* run) {
        QObject::connect(&run->socket(), &SMTPSocket::AddMailed,
                         [&](const QString& text, bool picture, bool pass) {
                             if (!picture)
                                 ctx.out << text << Qt::endl;
                             else if (perRecipientLines)
                                 ctx.out << (pass ? "[Ok]   " : "[Fail] ") << text << Qt::endl;
                         });
        QObject::connect(&run->socket(), &SMTPSocket::Progress, [&](const QString& text) {
            if (perRecipientLines)
                ctx.out << text << Qt::endl;
        });
    });
    QObject::connect(&runner, &ScheduleRunner::finished, [] { QCoreApplication::exit(0); });
    TerminationSignals interrupt;
    interrupt.endProcessOnSecondSignal();
    QObject::connect(&interrupt, &TerminationSignals::received, [&] {
        ctx.out << "Stopping" << Qt::endl;
        runner.stop();
    });
    if (!runner.start(now)) {
        if (perRecipientLines)
            ctx.out << "No mailing is due." << Qt::endl;
        return ExitOk;
    }
    QCoreApplication::exec();
    return runner.anyRunFailed() ? ExitFailed : ExitOk;
}

int runSchedule(CommandContext& ctx, const QStringList& arguments) {
    const QString verb = arguments.value(1);
    if (verb == QLatin1StringView("list") && arguments.size() == 2)
        return runScheduleList(ctx);
    if (verb == QLatin1StringView("set"))
        return runScheduleSet(ctx, arguments);
    if (verb == QLatin1StringView("run-due"))
        return runScheduleRunDue(ctx, arguments);
    ctx.err << "Use tamberlyn schedule list, tamberlyn schedule set ID [--date YYYY-MM-DD] [--time HH:MM] "
               "[--active|--inactive] or tamberlyn schedule run-due [--quiet]."
            << Qt::endl;
    return ExitUsage;
}

} // namespace

QList<Command> scheduleCommands() {
    return {
        {"schedule",
         "Schedules of the mailings: schedule list | set ID [--date YYYY-MM-DD] [--time HH:MM] "
         "[--active|--inactive] | run-due [--quiet] (starts every due mailing; TAMBERLYN_NOW sets the "
         "clock).",
         runSchedule},
    };
}
