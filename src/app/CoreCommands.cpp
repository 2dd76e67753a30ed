#include "app/CoreCommands.h"

#include "mailbox/SearchCategories.h"
#include "send/UnsubscribeHeaders.h"

#include <QFileInfo>

namespace {

int runInit(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("sample"), QStringLiteral("Answer the sample-data question with Yes.")});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    ctx.startup.sampleData = parser.isSet(QStringLiteral("sample"));
    if (!ctx.start(true))
        return ExitFailed;
    // The subject of the List-Unsubscribe mail, so that a subscription run can act on those requests.
    if (!SearchCategories::addIfMissing(QStringLiteral("Unsubscribe"), UnsubscribeHeaders::mailSubject())) {
        ctx.err << "The category Unsubscribe could not be written." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "The application folder " << QFileInfo(ctx.startup.appFolder).absoluteFilePath()
            << " is ready." << Qt::endl;
    return ExitOk;
}

} // namespace

QList<Command> coreCommands() {
    return {
        {"init", "Create the application folder, settings and databases (--sample adds the sample data).",
         runInit},
    };
}
