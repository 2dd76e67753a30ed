#include "core/Command.h"
#include "core/CommandLine.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "lists/ListResync.h"

#include <QFileInfo>

namespace {

int runLists(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement rows = central.prepare(
        QStringLiteral("SELECT \"ListName\", \"ListPath\" FROM \"List\" ORDER BY \"ListName\""), &error);
    if (!rows.isValid()) {
        ctx.err << "The list registry cannot be read: " << sentence(error.text) << "." << Qt::endl;
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
    if (!ctx.start())
        return ExitFailed;
    gSyncronizeAddressLists(ctx.prompter);
    return ExitOk;
}

} // namespace

QList<Command> listCommands() {
    return {
        {"lists", "List the registered lists: name, file and number of addresses (tab separated).", runLists},
        {"resync", "Repair the list registry against the files in the list folder.", runResync},
    };
}
