#include "core/Command.h"

bool CommandContext::start(bool fullStart) {
    startup.fullStart = fullStart;
    started = runStartup(startup);
    // Every command works on the central database: one that cannot be read ends the command, after the
    // start-up has shown why.
    return started && started->centralDatabaseReadable();
}

QString sentence(QString text) {
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

bool parseCommandOptions(QCommandLineParser& parser, const QStringList& arguments, CommandContext& ctx,
                         bool allowPositional) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        ctx.err << sentence(parser.errorText()) << "." << Qt::endl;
        return false;
    }
    if (!allowPositional && !parser.positionalArguments().isEmpty()) {
        ctx.err << "Unexpected argument '" << parser.positionalArguments().first() << "'." << Qt::endl;
        return false;
    }
    return true;
}

QCommandLineOption verboseOption() {
    return {QStringLiteral("verbose"),
            QStringLiteral("A line per item, also on a terminal (which otherwise shows one progress line).")};
}

bool showsProgressLine(const CommandContext& ctx, const QCommandLineParser& parser) {
    return ctx.outputIsTerminal && !parser.isSet(QStringLiteral("verbose"));
}
