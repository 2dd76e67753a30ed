#include "lists/ListCommands.h"

#include "core/AppInfo.h"
#include "core/TerminalProgress.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "lists/ListOperations.h"
#include "lists/ListResync.h"

#include <QFile>
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
        QString count = QStringLiteral("missing");
        if (QFileInfo::exists(path)) {
            const std::optional<qint64> addresses =
                CountFieldIfReadable(path, QStringLiteral("AddressList"), QStringLiteral("EAddress"));
            count = addresses ? QString::number(*addresses) : QStringLiteral("damaged");
        }
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

// ---- List operations ----

// The file of a registered list; the empty text, after "Could not locate ...", when there is none.
QString registeredListFile(CommandContext& ctx, const QString& name) {
    return DataTank::OpenRegisteredList(name, ctx.prompter);
}

// Parses the options and the positional arguments the usage names; with withName, --name must give a
// name a list can have.
bool parseOperationOptions(QCommandLineParser& parser, const QStringList& arguments, CommandContext& ctx,
                           const QString& usage, bool withName) {
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return false;
    const qsizetype expected = usage.split(u' ').size();
    if (parser.positionalArguments().size() != expected) {
        ctx.err << "Usage: " << arguments.value(0) << ' ' << usage << (withName ? " --name NEW" : "")
                << "; see tamberlyn --help." << Qt::endl;
        return false;
    }
    if (!withName)
        return true;
    const QString name = parser.value(QStringLiteral("name"));
    if (name.trimmed().isEmpty()) {
        ctx.err << "Give the new list's name with --name." << Qt::endl;
        return false;
    }
    if (!IsValidFileName(name)) {
        ctx.err << "The name '" << name
                << "' cannot be a list name: it may not begin with an apostrophe or hold any of \" / \\ ? : "
                   "; | *."
                << Qt::endl;
        return false;
    }
    if (const QString refusal = NameRefusal(QStringLiteral("list name"), name); !refusal.isEmpty()) {
        ctx.err << refusal << Qt::endl;
        return false;
    }
    return true;
}

// Saves a builder's result under the name and reports it; a result that is not a list reports why.
int saveResult(CommandContext& ctx, const QString& result, const QString& name) {
    if (ListOperations::isError(result)) {
        const QString description = ListOperations::errorDescription(result);
        if (!description.isEmpty())
            ctx.err << sentence(description) << "." << Qt::endl;
        return ExitFailed;
    }
    if (result == ListOperations::noRecordsResult()) {
        ctx.err << "The resulting list is empty" << Qt::endl;
        return ExitFailed;
    }
    if (!ListOperations::isPath(result))
        return ExitFailed; // "<Cancel": its message was shown
    const bool saved = DataTank::SaveListAs(result, name, QString(), false, ctx.prompter);
    QFile::remove(result);
    if (!saved) {
        ctx.err << "The list " << name << " was not saved." << Qt::endl;
        return ExitFailed;
    }
    const qint64 rows = CountField(DataTank::registeredPath(DataTank::GetListPath(name)),
                                   QStringLiteral("AddressList"), QStringLiteral("EAddress"));
    ctx.out << "Saved the list " << name << " with " << rows << (rows == 1 ? " address." : " addresses.")
            << Qt::endl;
    return ExitOk;
}

using TwoListBuilder =
    std::function<QString(const QString&, const QString&, Prompter&, const ListOperations::RowProgress&)>;

int runTwoListOperation(CommandContext& ctx, const QStringList& arguments, const QString& usage,
                        const TwoListBuilder& build) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("name"), QStringLiteral("The name the new list is saved under."),
                      QStringLiteral("NEW")});
    parser.addOption(verboseOption());
    parser.addPositionalArgument(QStringLiteral("LIST1"), QStringLiteral("The first list."));
    parser.addPositionalArgument(QStringLiteral("LIST2"), QStringLiteral("The second list."));
    if (!parseOperationOptions(parser, arguments, ctx, usage, true))
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;
    const QStringList lists = parser.positionalArguments();
    const QString first = registeredListFile(ctx, lists.at(0));
    const QString second = first.isEmpty() ? QString() : registeredListFile(ctx, lists.at(1));
    if (second.isEmpty())
        return ExitFailed;
    // On a terminal one progress line shows the source rows read.
    TerminalProgress progress(ctx.out, showsProgressLine(ctx, parser), QStringLiteral("rows"));
    ProgressPrompter prompter(ctx.prompter, progress);
    const QString result = build(first, second, prompter,
                                 [&progress](qint64 done, qint64 total) { progress.update(done, total); });
    progress.finish();
    return saveResult(ctx, result, parser.value(QStringLiteral("name")));
}

int runMerge(CommandContext& ctx, const QStringList& arguments) {
    return runTwoListOperation(ctx, arguments, QStringLiteral("LIST1 LIST2"), &ListOperations::gMergeLists);
}

int runClean(CommandContext& ctx, const QStringList& arguments) {
    return runTwoListOperation(ctx, arguments, QStringLiteral("LIST REMOVE"),
                               [](const QString& list, const QString& removal, Prompter& prompter,
                                  const ListOperations::RowProgress& progress) {
                                   return ListOperations::gCleanList(list, removal, prompter, -1, progress);
                               });
}

int runDuplicates(CommandContext& ctx, const QStringList& arguments) {
    return runTwoListOperation(ctx, arguments, QStringLiteral("LIST1 LIST2"),
                               &ListOperations::gFindDuplicates);
}

int runFilter(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("name"), QStringLiteral("The name the new list is saved under."),
                      QStringLiteral("NEW")});
    parser.addOption({QStringLiteral("where"),
                      QStringLiteral("The condition, as the query builder writes it (WHERE is optional)."),
                      QStringLiteral("CLAUSE")});
    parser.addPositionalArgument(QStringLiteral("LIST"), QStringLiteral("The list to filter."));
    if (!parseOperationOptions(parser, arguments, ctx, QStringLiteral("LIST"), true))
        return ExitUsage;
    const QString clause = parser.value(QStringLiteral("where"));
    if (clause.trimmed().isEmpty()) {
        ctx.err << "Give the condition with --where." << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const QString list = registeredListFile(ctx, parser.positionalArguments().at(0));
    if (list.isEmpty())
        return ExitFailed;
    return saveResult(ctx, ListOperations::gFilterList(list, ctx.prompter, clause),
                      parser.value(QStringLiteral("name")));
}

int runExport(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("LIST"), QStringLiteral("The list to export."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The text file to write."));
    if (!parseOperationOptions(parser, arguments, ctx, QStringLiteral("LIST FILE"), false))
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;
    const QStringList positional = parser.positionalArguments();
    const QString list = registeredListFile(ctx, positional.at(0));
    if (list.isEmpty())
        return ExitFailed;
    const QString file = QFileInfo(positional.at(1)).absoluteFilePath();
    const qint64 rows = ListOperations::gExportList(list, file, ctx.prompter);
    if (rows <= 0)
        return ExitFailed;
    ctx.out << "Exported " << rows << (rows == 1 ? " row to " : " rows to ") << file << "." << Qt::endl;
    return ExitOk;
}

} // namespace

QList<Command> listCommands() {
    return {
        {"lists", "List the registered lists: name, file and number of addresses (tab separated).", runLists},
        {"resync", "Repair the list registry against the files in the list folder.", runResync},
        {"merge", "LIST1 LIST2 --name NEW: save the rows of both lists, one per address, as NEW.", runMerge},
        {"clean", "LIST REMOVE --name NEW: save the rows of LIST whose address REMOVE lacks as NEW.",
         runClean},
        {"duplicates", "LIST1 LIST2 --name NEW: save the rows of LIST1 whose address LIST2 holds as NEW.",
         runDuplicates},
        {"filter", "LIST --where CLAUSE --name NEW: save the rows of LIST that satisfy CLAUSE as NEW.",
         runFilter},
        {"export", "LIST FILE: write the list as comma-separated text.", runExport},
    };
}
