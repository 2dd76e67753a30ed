#include "app/CommandLine.h"

#include "app/CoreCommands.h"
#include "app/mdlMain.h"
#include "core/ConsolePrompter.h"
#include "harvest/HarvestCommands.h"
#include "import/ImportCommands.h"
#include "lists/ListCommands.h"
#include "mailbox/MailboxCommands.h"
#include "mailings/MailingCommands.h"
#include "messages/MessageCommands.h"
#include "send/OutboxCommands.h"
#include "send/ScheduleCommands.h"
#include "send/SendCommands.h"

#include <QFileInfo>

namespace {

// Every module's commands, in the order the help lists them.
const QList<Command>& commands() {
    static const QList<Command> table =
        coreCommands() + listCommands() + messageCommands() + harvestCommands() + importCommands() +
        mailingCommands() + mailboxCommands() + outboxCommands() + sendCommands() + scheduleCommands();
    return table;
}

QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    text += QStringLiteral("\nCommands:\n");
    for (const Command& command : commands())
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(command.name), -10)
                    .arg(QString::fromLatin1(command.summary));
    text += QStringLiteral("\nWithout a command the desktop program starts.\n");
    return text;
}

std::unique_ptr<StartedProgram> runStartup(const StartupOptions& options) {
    auto startup = std::make_unique<Startup>(options);
    if (startup->run() != Startup::Result::Started)
        return nullptr;
    return startup;
}

} // namespace

bool WantsDesktop(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QStringLiteral("--home"))
            ++i;
        else if (!a.startsWith(QStringLiteral("--home=")) && a != QStringLiteral("--yes") &&
                 a != QStringLiteral("--no"))
            return false;
    }
    return true;
}

int RunCommandLine(const QStringList& arguments, CommandIo io) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tamberlyn keeps mailing lists and sends personalised mailings."));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("Application folder (default $TAMBERLYN_HOME, else "
                                                       "~/.local/share/Tamberlyn)."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption yesOption(QStringLiteral("yes"),
                                       QStringLiteral("Answer every question with Yes."));
    const QCommandLineOption noOption(QStringLiteral("no"), QStringLiteral("Answer every question with No."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOptions({homeOption, yesOption, noOption, helpOption, versionOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("COMMAND [options]"));

    if (!parser.parse(arguments)) {
        io.err << sentence(parser.errorText()) << "; see tamberlyn --help." << Qt::endl;
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        io.out << helpText(parser) << Qt::flush;
        return ExitOk;
    }
    if (parser.isSet(versionOption)) {
        io.out << VersionText(true, true) << Qt::endl;
        return ExitOk;
    }
    if (parser.isSet(yesOption) && parser.isSet(noOption)) {
        io.err << "Give either --yes or --no, not both." << Qt::endl;
        return ExitUsage;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        io.err << "No command given; see tamberlyn --help." << Qt::endl;
        return ExitUsage;
    }
    const QString name = positional.first();
    auto command = std::find_if(commands().cbegin(), commands().cend(),
                                [&](const Command& c) { return name == QLatin1StringView(c.name); });
    if (command == commands().cend()) {
        io.err << "Unknown command '" << name << "'; see tamberlyn --help." << Qt::endl;
        return ExitUsage;
    }

    const ConsolePrompter::Mode mode = parser.isSet(yesOption)  ? ConsolePrompter::Mode::AnswerYes
                                       : parser.isSet(noOption) ? ConsolePrompter::Mode::AnswerNo
                                                                : ConsolePrompter::Mode::Interactive;
    ConsolePrompter prompter(mode, io.in, io.out, io.err, io.inputIsTerminal);
    CommandContext ctx{prompter, io.in, io.out, io.err, {}, runStartup, {}, io.outputIsTerminal};
    ctx.startup.appFolder = ResolveAppFolder(parser.value(homeOption));
    ctx.startup.executableName = QFileInfo(arguments.value(0)).fileName();
    ctx.startup.prompter = &prompter;
    // The command's own parser expects a program name in front.
    QStringList commandArguments = positional;
    commandArguments[0] = QStringLiteral("tamberlyn ") + name;
    return command->run(ctx, commandArguments);
}
