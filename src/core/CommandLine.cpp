#include "core/CommandLine.h"

#include "Version.h"
#include "core/ConsolePrompter.h"
#include "core/mdlMain.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "lists/ListResync.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <functional>
#include <memory>

namespace {

// A parser's error text as one sentence with one full stop.
QString sentence(QString text) {
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

// What every command gets: the started program and the way to talk to the user.
struct CommandContext {
    Prompter& prompter;
    QTextStream& out;
    QTextStream& err;
    StartupOptions startup;
};

struct Command {
    const char* name;
    const char* summary;
    std::function<int(CommandContext&, const QStringList&)> run;
};

// A command's own options; prints the usage error and returns false when they do not parse.
bool parseCommandOptions(QCommandLineParser& parser, const QStringList& arguments, CommandContext& ctx) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        ctx.err << sentence(parser.errorText()) << "." << Qt::endl;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        ctx.err << "Unexpected argument '" << parser.positionalArguments().first() << "'." << Qt::endl;
        return false;
    }
    return true;
}

int runInit(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("sample"), QStringLiteral("Answer the sample-data question with Yes.")});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    ctx.startup.sampleData = parser.isSet(QStringLiteral("sample"));
    Startup startup(ctx.startup);
    if (startup.run() != Startup::Result::Started)
        return ExitFailed;
    ctx.out << "The application folder " << QFileInfo(ctx.startup.appFolder).absoluteFilePath()
            << " is ready." << Qt::endl;
    return ExitOk;
}

// Starts the program for a command that works on a few lists only.
bool startLight(CommandContext& ctx, std::unique_ptr<Startup>& startup) {
    ctx.startup.fullStart = false;
    startup = std::make_unique<Startup>(ctx.startup);
    return startup->run() == Startup::Result::Started;
}

int runLists(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    std::unique_ptr<Startup> startup;
    if (!startLight(ctx, startup))
        return ExitFailed;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows = central.prepare(
        QStringLiteral("SELECT \"ListName\", \"ListPath\" FROM \"List\" ORDER BY \"ListName\""), &error);
    if (!rows.isValid()) {
        ctx.err << "The list registry cannot be read: " << error.text << "." << Qt::endl;
        return ExitFailed;
    }
    while (rows.next()) {
        const QString path = DataTank::registeredPath(rows.text(1));
        const QString count =
            QFileInfo::exists(path)
                ? QString::number(CountField(path, QStringLiteral("AddressList"), QStringLiteral("EAddress")))
                : QStringLiteral("missing");
        ctx.out << rows.text(0) << '\t' << path << '\t' << count << Qt::endl;
    }
    return rows.error().isError() ? ExitFailed : ExitOk;
}

int runResync(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    std::unique_ptr<Startup> startup;
    if (!startLight(ctx, startup))
        return ExitFailed;
    gSyncronizeAddressLists(ctx.prompter);
    return ExitOk;
}

const QList<Command>& commands() {
    static const QList<Command> table = {
        {"init", "Create the application folder, settings and databases (--sample adds the sample data).",
         runInit},
        {"lists", "List the registered lists: name, file and number of addresses (tab separated).", runLists},
        {"resync", "Repair the list registry against the files in the list folder.", runResync},
    };
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
    CommandContext ctx{prompter, io.out, io.err, {}};
    ctx.startup.appFolder = ResolveAppFolder(parser.value(homeOption));
    ctx.startup.executableName = QFileInfo(arguments.value(0)).fileName();
    ctx.startup.prompter = &prompter;
    // The command's own parser expects a program name in front.
    QStringList commandArguments = positional;
    commandArguments[0] = QStringLiteral("tamberlyn ") + name;
    return command->run(ctx, commandArguments);
}
