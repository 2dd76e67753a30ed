#include "import/ImportCommands.h"

#include "core/AppInfo.h"
#include "core/TerminalProgress.h"
#include "db/DataTank.h"
#include "import/ActImport.h"
#include "import/ImportEngine.h"

#include <QDir>
#include <QFileInfo>

using namespace importer;

namespace {

QString typeCodes() {
    QStringList codes;
    for (const SourceType& type : sourceTypes())
        codes << type.code;
    return codes.join(QStringLiteral(", "));
}

QString kindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::Text:
        return QStringLiteral("text");
    case FieldKind::Memo:
        return QStringLiteral("memo");
    case FieldKind::Number:
        return QStringLiteral("number");
    case FieldKind::Date:
        return QStringLiteral("date");
    case FieldKind::DateTime:
        return QStringLiteral("date-time");
    case FieldKind::Boolean:
        return QStringLiteral("logical");
    case FieldKind::Binary:
        return QStringLiteral("binary");
    }
    return {};
}

// Saves the new list, and the rows without an address beside it, and reports what came in.
int saveImportedList(CommandContext& ctx, const ImportRequest& request, const ImportResult& result,
                     const QString& description) {
    if (!DataTank::SaveListAs(result.listPath, request.listName, description, false, ctx.prompter)) {
        QFile::remove(result.listPath);
        ctx.err << "The list was not saved." << Qt::endl;
        return ExitFailed;
    }
    QFile::remove(result.listPath);
    recordImportSource(request.listName, request);
    ctx.out << "Imported " << result.summary.rowsImported << " row(s) into the list '" << request.listName
            << "'." << Qt::endl;
    if (!result.nullEntries.newListPath.isEmpty()) {
        const QString name = result.nullEntries.caption;
        if (DataTank::SaveListAs(result.nullEntries.newListPath, name, description, false, ctx.prompter))
            ctx.out << DataTank::invalidAddressesLabel() << ' ' << result.nullEntries.count
                    << " (saved as the list '" << name << "')." << Qt::endl;
        QFile::remove(result.nullEntries.newListPath);
    }
    ctx.out << ImportText::summaryTitle() << Qt::endl << result.summary.text() << Qt::endl;
    return ExitOk;
}

int runImport(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption typeOption(QStringLiteral("type"),
                                        QStringLiteral("The source type: ") + typeCodes() +
                                            QStringLiteral(", or its short form (dbase3)."),
                                        QStringLiteral("CODE"));
    const QCommandLineOption fileOption(QStringLiteral("file"), QStringLiteral("The source file."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption tableOption(QStringLiteral("table"),
                                         QStringLiteral("The source table (needed when there are several)."),
                                         QStringLiteral("NAME"));
    const QCommandLineOption emailOption(
        QStringLiteral("email"), QStringLiteral("The field of the e-mail address."), QStringLiteral("FIELD"));
    const QCommandLineOption firstOption(
        QStringLiteral("first"), QStringLiteral("The field of the first name."), QStringLiteral("FIELD"));
    const QCommandLineOption lastOption(QStringLiteral("last"), QStringLiteral("The field of the last name."),
                                        QStringLiteral("FIELD"));
    const QCommandLineOption titleOption(QStringLiteral("title"), QStringLiteral("The field of the title."),
                                         QStringLiteral("FIELD"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep"), QStringLiteral("Further fields to keep as columns, separated by commas."),
        QStringLiteral("F1,F2"));
    const QCommandLineOption whereOption(
        QStringLiteral("where"),
        QStringLiteral("A filter: a WHERE clause such as [Table].[City] = \"Lyon\"."),
        QStringLiteral("CLAUSE"));
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The name of the new list."),
                                        QStringLiteral("LIST"));
    const QCommandLineOption descriptionOption(QStringLiteral("description"),
                                               QStringLiteral("The description of the new list."),
                                               QStringLiteral("TEXT"));
    const QCommandLineOption tablesOption(QStringLiteral("tables"),
                                          QStringLiteral("List the source's tables."));
    const QCommandLineOption fieldsOption(QStringLiteral("fields"),
                                          QStringLiteral("List the fields of a table (name, type, kind)."),
                                          QStringLiteral("TABLE"));
    parser.addOptions({typeOption, fileOption, tableOption, emailOption, firstOption, lastOption, titleOption,
                       keepOption, whereOption, nameOption, descriptionOption, tablesOption, fieldsOption,
                       verboseOption()});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;

    const SourceType type = sourceTypeByCode(parser.value(typeOption));
    if (!type.isValid()) {
        ctx.err << "Give the source type with --type: one of " << typeCodes() << "." << Qt::endl;
        return ExitUsage;
    }
    const QString file = parser.value(fileOption);
    if (file.isEmpty()) {
        ctx.err << "Give the source file with --file." << Qt::endl;
        return ExitUsage;
    }
    const bool listing = parser.isSet(tablesOption) || parser.isSet(fieldsOption);
    if (!listing && (parser.value(emailOption).isEmpty() || parser.value(nameOption).trimmed().isEmpty())) {
        ctx.err << "Give the e-mail field with --email and the new list's name with --name." << Qt::endl;
        return ExitUsage;
    }
    const QString listName = parser.value(nameOption).trimmed();
    if (!listing && !IsValidFileName(listName)) {
        ctx.err << "The list name '" << listName << "' holds a character that a list name cannot have."
                << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;

    const QString path = QFileInfo(file).absoluteFilePath();
    if (listing) {
        ImportSource source;
        if (!source.open(type, path, ctx.prompter))
            return ExitFailed;
        if (parser.isSet(tablesOption)) {
            const QStringList tables = source.tables(ctx.prompter);
            for (const QString& table : tables)
                ctx.out << table << Qt::endl;
            return tables.isEmpty() ? ExitFailed : ExitOk;
        }
        const QString table = source.resolveTable(parser.value(fieldsOption));
        if (table.isEmpty()) {
            ctx.err << "The source has no table named '" << parser.value(fieldsOption) << "'." << Qt::endl;
            return ExitFailed;
        }
        const QList<SourceField> fields = source.fields(table, ctx.prompter);
        for (const SourceField& field : fields)
            ctx.out << field.name << '\t' << field.typeName << '\t' << kindName(field.kind) << Qt::endl;
        return fields.isEmpty() ? ExitFailed : ExitOk;
    }

    ImportRequest request;
    request.type = type;
    request.path = path;
    request.table = parser.value(tableOption);
    request.roles.email = parser.value(emailOption);
    request.roles.firstName = parser.value(firstOption);
    request.roles.lastName = parser.value(lastOption);
    request.roles.title = parser.value(titleOption);
    for (const QString& name : parser.value(keepOption).split(u',', Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            request.roles.keep << name.trimmed();
    request.filter = parser.value(whereOption);
    request.listName = listName;

    // On a terminal one progress line shows the records read and copied.
    TerminalProgress progress(ctx.out, showsProgressLine(ctx, parser), QStringLiteral("records"));
    ProgressPrompter prompter(ctx.prompter, progress);
    ImportResult result;
    if (type.family == SourceFamily::ActContacts) {
        ActImport act(prompter);
        for (bool more = act.begin(request); more;) {
            more = act.copy(4096);
            progress.update(act.recordsCopied(), act.recordsTotal());
        }
        result = act.finish();
    } else {
        ImportJob job(request, prompter);
        qint64 lastTotal = -1;
        QObject::connect(&job, &ImportJob::progress, [&](ImportJob::Stage stage, qint64 done, qint64 total) {
            progress.setUnit(stage == ImportJob::Stage::Reading ? QStringLiteral("records read")
                                                                : QStringLiteral("records copied"));
            progress.update(done, total);
            lastTotal = total;
        });
        result = job.run();
        // The job reports as it goes, not at its end: the last figures are those of the whole source.
        if (result.succeeded() && !result.summary.interrupted)
            progress.update(lastTotal > 0 ? lastTotal : result.summary.recordsRead, lastTotal);
    }
    progress.finish();
    if (result.listPath == ImportText::noRecords() || result.listPath == QLatin1String("<Cancel")) {
        ctx.err << result.listPath << ": no record of the table passed to the new list." << Qt::endl;
        return ExitFailed;
    }
    if (!result.succeeded())
        return ExitFailed;
    rememberImportFolder(type, path);
    const QString description = parser.isSet(descriptionOption)
                                    ? parser.value(descriptionOption)
                                    : QStringLiteral("Imported from ") + QDir::toNativeSeparators(path);
    return saveImportedList(ctx, request, result, description);
}

} // namespace

QList<Command> importCommands() {
    return {
        {"import",
         "Build a list from a contact database: --type CODE --file PATH [--table NAME] --email FIELD "
         "[--first F] "
         "[--last F] [--title F] [--keep F1,F2] [--where CLAUSE] --name LIST; --tables or --fields TABLE "
         "look "
         "inside a source first; [--verbose].",
         runImport},
    };
}
