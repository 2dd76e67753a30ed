#include "harvest/HarvestCommands.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/TerminalProgress.h"
#include "db/DataTank.h"
#include "harvest/AddrManager.h"

#include <QFile>
#include <optional>

namespace {

struct HarvestRequest {
    QString listName;
    bool haveName = false;
    bool verbose = false;
    EmailParser::NameMode nameMode = EmailParser::NameMode::BestGuess;
    QString keyword1;
    QString keyword2;
    QList<EmailSrcFileObj> files;
};

// The command line of harvest. The file options hold for every file after them until given again, so
// each file can be searched its own way.
class HarvestArguments {
public:
    explicit HarvestArguments(QTextStream& err) : err_(err) { current_.SetDefaults(); }

    bool parse(const QStringList& arguments, HarvestRequest& request) {
        QString pendingFileOption;
        bool onlyFiles = false;
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            const QString& argument = arguments[i];
            if (onlyFiles || !argument.startsWith(QLatin1String("--"))) {
                EmailSrcFileObj file = current_;
                file.fileName = argument;
                request.files << file;
                pendingFileOption.clear();
                continue;
            }
            if (argument == QLatin1String("--")) {
                onlyFiles = true;
                continue;
            }
            if (argument == QLatin1String("--verbose")) {
                request.verbose = true;
                continue;
            }
            QString name = argument.mid(2);
            std::optional<QString> value;
            if (const qsizetype equals = name.indexOf(u'='); equals >= 0) {
                value = name.mid(equals + 1);
                name.truncate(equals);
            }
            static const QStringList known = {"name", "names", "keyword1", "keyword2",
                                              "type", "scope", "headers",  "after"};
            if (!known.contains(name))
                return usage(QStringLiteral("Unknown option '") + name + QStringLiteral("'."));
            if (!value) {
                if (i + 1 >= arguments.size())
                    return usage(QStringLiteral("Missing value after '--") + name + QStringLiteral("'."));
                value = arguments[++i];
            }
            if (!apply(name, *value, request))
                return false;
            if (name == QLatin1String("type") || name == QLatin1String("scope") ||
                name == QLatin1String("headers") || name == QLatin1String("after"))
                pendingFileOption = name;
        }
        if (!pendingFileOption.isEmpty())
            return usage(QStringLiteral("The option '--") + pendingFileOption +
                         QStringLiteral("' is not followed by a file it could apply to."));
        if (!request.haveName)
            return usage(QStringLiteral("Give the name of the new list with --name."));
        if (request.files.isEmpty())
            return usage(AddrManager::noFilesText());
        return true;
    }

private:
    bool usage(const QString& text) {
        err_ << text << Qt::endl;
        return false;
    }

    bool invalid(const QString& option, const QString& value, const char* choices) {
        return usage(QStringLiteral("Invalid value '") + value + QStringLiteral("' for --") + option +
                     QStringLiteral("; use ") + QLatin1String(choices) + QStringLiteral("."));
    }

    bool apply(const QString& name, const QString& value, HarvestRequest& request) {
        const QString word = value.trimmed().toLower();
        if (name == QLatin1String("name")) {
            if (value.trimmed().isEmpty() || !IsValidFileName(value))
                return usage(QStringLiteral("'") + value + QStringLiteral("' cannot be the name of a list."));
            if (const QString refusal = NameRefusal(QStringLiteral("list name"), value); !refusal.isEmpty())
                return usage(refusal);
            request.listName = value;
            request.haveName = true;
        } else if (name == QLatin1String("names")) {
            if (word == QLatin1String("none"))
                request.nameMode = EmailParser::NameMode::NoNames;
            else if (word == QLatin1String("guess"))
                request.nameMode = EmailParser::NameMode::BestGuess;
            else
                return invalid(name, value, "none or guess");
        } else if (name == QLatin1String("keyword1")) {
            request.keyword1 = value;
        } else if (name == QLatin1String("keyword2")) {
            request.keyword2 = value;
        } else if (name == QLatin1String("type")) {
            if (word == QLatin1String("text"))
                current_.fileType = EmailSrcFileObj::textType();
            else if (word == QLatin1String("mailbox"))
                current_.fileType = EmailSrcFileObj::mailboxType();
            else if (word == QLatin1String("binary"))
                current_.fileType = EmailSrcFileObj::binaryType();
            else
                return invalid(name, value, "text, mailbox or binary");
        } else if (name == QLatin1String("scope")) {
            if (word == QLatin1String("all"))
                current_.scope = EmailSrcFileObj::Scope::All;
            else if (word == QLatin1String("headers"))
                current_.scope = EmailSrcFileObj::Scope::Headers;
            else
                return invalid(name, value, "all or headers");
        } else if (name == QLatin1String("headers")) {
            bool from = false, to = false, cc = false, bcc = false;
            for (const QString& header : word.split(u',', Qt::SkipEmptyParts)) {
                const QString h = header.trimmed();
                if (h == QLatin1String("from"))
                    from = true;
                else if (h == QLatin1String("to"))
                    to = true;
                else if (h == QLatin1String("cc"))
                    cc = true;
                else if (h == QLatin1String("bcc"))
                    bcc = true;
                else
                    return invalid(name, value, "a comma-separated choice of from, to, cc and bcc");
            }
            current_.from = from;
            current_.to = to;
            current_.cc = cc;
            current_.bcc = bcc;
        } else if (name == QLatin1String("after")) {
            current_.userHeaderText = value;
            current_.userHeader = !value.isEmpty();
        }
        return true;
    }

    QTextStream& err_;
    EmailSrcFileObj current_;
};

int runHarvest(CommandContext& ctx, const QStringList& arguments) {
    HarvestRequest request;
    if (!HarvestArguments(ctx.err).parse(arguments, request))
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;

    // As the wizard does: the keywords of the build are the settings' keyword values.
    const QString section = QStringLiteral("ApplicationDefaults");
    appSettings().KeyCategoryVal1 = request.keyword1;
    appSettings().KeyCategoryVal2 = request.keyword2;
    AppSaveSetting(section, QStringLiteral("KeyCategoryVal1"), request.keyword1);
    AppSaveSetting(section, QStringLiteral("KeyCategoryVal2"), request.keyword2);

    // On a terminal one progress line shows the bytes of the files scanned.
    TerminalProgress progress(ctx.out, ctx.outputIsTerminal && !request.verbose, QString(),
                              TerminalProgress::Measure::Bytes);
    ProgressPrompter prompter(ctx.prompter, progress);
    AddrManager manager(prompter);
    manager.setNameMode(request.nameMode);
    QObject::connect(&manager, &AddrManager::progress,
                     [&progress](qint64 done, qint64 total) { progress.update(done, total); });
    for (const EmailSrcFileObj& file : std::as_const(request.files))
        if (manager.SelectSourceFile(file.fileName, file.fileType))
            manager.ChangeSearchOptions(file.fileName, file);

    const AddrManager::BuildResult result = manager.BuildList();
    progress.finish();
    if (!result.built)
        return ExitFailed;
    QStringList notRead;
    for (const AddrManager::FileCount& file : result.files) {
        if (file.addresses < 0) {
            ctx.out << file.fileName << ": not read" << Qt::endl;
            notRead << file.fileName;
        } else {
            ctx.out << file.fileName << ": " << file.addresses << " addresses found" << Qt::endl;
        }
    }
    if (result.rows == 0) {
        QFile::remove(result.listPath);
        ctx.err << "No addresses were extracted; the list '" << request.listName << "' was not saved."
                << Qt::endl;
        return ExitFailed;
    }
    if (!DataTank::SaveListAs(result.listPath, request.listName, QString(), false, ctx.prompter)) {
        ctx.err << "The list '" << request.listName << "' was not saved." << Qt::endl;
        return ExitFailed;
    }
    QFile::remove(result.listPath);
    ctx.out << "List '" << request.listName << "' saved with " << result.rows << " addresses." << Qt::endl;
    // The list of the files read is kept, but a file left out is a failure the caller must see.
    for (const QString& fileName : std::as_const(notRead))
        ctx.err << "The file " << fileName << " was not read; its addresses are not in the list." << Qt::endl;
    return notRead.isEmpty() ? ExitOk : ExitFailed;
}

} // namespace

QList<Command> harvestCommands() {
    return {
        {"harvest",
         "Build a list from text and mailbox files: --name LIST [--names none|guess] [--keyword1 K] "
         "[--keyword2 K] then files, each after its options [--type text|mailbox|binary] [--scope "
         "all|headers] "
         "[--headers from,to,cc,bcc] [--after TEXT] (an option holds for the files after it); [--verbose].",
         runHarvest},
    };
}
