#include "send/OutboxCommands.h"

#include "send/Outbox.h"
#include "send/TerminationSignals.h"

#include <QCoreApplication>

namespace {

bool numberOption(const QCommandLineParser& parser, const QString& name, int minimum, int maximum, int* value,
                  QTextStream& err) {
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < minimum || number > maximum) {
        err << "Invalid value '" << parser.value(name) << "' for --" << name << "; use a number from "
            << minimum << " to " << maximum << "." << Qt::endl;
        return false;
    }
    *value = number;
    return true;
}

// Runs the outbox until SIGINT or SIGTERM; it needs no application folder.
int runOutbox(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (default: any free port)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder for the messages (default ./outbox)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("refuse"),
                      QStringLiteral("Refuse recipients matching this pattern (case-insensitive) with 550."),
                      QStringLiteral("REGEX")});
    parser.addOption({QStringLiteral("delay"), QStringLiteral("Wait this long before every reply."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("silent-after"),
                      QStringLiteral("After N stored messages, leave the next message unanswered."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("drop-after"),
                      QStringLiteral("After N stored messages, drop the connection at the next command."),
                      QStringLiteral("N")});
    parser.addOption(
        {QStringLiteral("discard"), QStringLiteral("Accept and count every message without keeping it.")});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;

    OutboxOptions options;
    int port = 0;
    if (!numberOption(parser, QStringLiteral("port"), 0, 65535, &port, ctx.err) ||
        !numberOption(parser, QStringLiteral("delay"), 0, 3600000, &options.replyDelayMs, ctx.err) ||
        !numberOption(parser, QStringLiteral("silent-after"), 0, 1 << 30, &options.silentAfterMessages,
                      ctx.err) ||
        !numberOption(parser, QStringLiteral("drop-after"), 0, 1 << 30, &options.dropAfterMessages, ctx.err))
        return ExitUsage;
    options.port = quint16(port);
    options.directory =
        parser.isSet(QStringLiteral("dir")) ? parser.value(QStringLiteral("dir")) : QStringLiteral("outbox");
    options.refusePattern = parser.value(QStringLiteral("refuse"));
    options.discard = parser.isSet(QStringLiteral("discard"));

    Outbox outbox;
    QString error;
    if (!outbox.start(options, &error)) {
        ctx.err << error << Qt::endl;
        return ExitFailed;
    }
    TerminationSignals stopSignals;
    QObject::connect(&stopSignals, &TerminationSignals::received, &outbox, [] { QCoreApplication::quit(); });
    QObject::connect(&outbox, &Outbox::messageStored, &outbox,
                     [&ctx](const QString& path) { ctx.out << "Stored " << path << Qt::endl; });
    ctx.out << "Outbox listening on 127.0.0.1:" << outbox.port();
    if (options.discard)
        ctx.out << ", discarding every message" << Qt::endl;
    else
        ctx.out << ", saving to " << outbox.directory() << Qt::endl;
    QCoreApplication::exec();
    if (options.discard)
        ctx.out << "Discarded " << outbox.storedCount() << " messages" << Qt::endl;
    return ExitOk;
}

} // namespace

QList<Command> outboxCommands() {
    return {
        {"outbox",
         "Run a local SMTP server on 127.0.0.1 that keeps every message as a file: [--port N] [--dir DIR] "
         "[--refuse REGEX] [--delay MS] [--silent-after N] [--drop-after N] [--discard]; stops on Ctrl-C.",
         runOutbox},
    };
}
