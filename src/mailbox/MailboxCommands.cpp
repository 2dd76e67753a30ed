#include "mailbox/MailboxCommands.h"

#include "core/AppInfo.h"
#include "core/TerminalProgress.h"
#include "mailbox/PopAccounts.h"
#include "mailbox/PopWizardRun.h"
#include "mailbox/SearchCategories.h"
#include "mailbox/ServerTrust.h"
#include "send/TerminationSignals.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace {

QString passwordFromEnvironment() {
    return QProcessEnvironment::systemEnvironment().value(QStringLiteral("TAMBERLYN_POP_PASSWORD"));
}

std::optional<QString> askPassword(CommandContext& ctx, const PopAccount& account) {
    const QString password = passwordFromEnvironment();
    if (!password.isEmpty())
        return password;
    return ctx.prompter.askText(QStringLiteral("Password"),
                                QStringLiteral("The password of ") + account.UserName +
                                    QStringLiteral(" at ") + account.ServerName + u':',
                                true);
}

QStringList listNames(const QString& value) {
    QStringList names;
    for (const QString& name : value.split(u',', Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    return names;
}

bool usage(CommandContext& ctx, const QString& text) {
    ctx.err << text << Qt::endl;
    return false;
}

// Reads the options of pop into the run's settings; false after the usage error.
bool popSettings(CommandContext& ctx, const QCommandLineParser& parser, PopWizardRun::Settings& settings) {
    const QString format = parser.value(QStringLiteral("format")).trimmed().toLower();
    if (format == QLatin1String("importer"))
        settings.format = PopWizardRun::Format::Importer;
    else if (format == QLatin1String("subscription"))
        settings.format = PopWizardRun::Format::Subscription;
    else if (format == QLatin1String("returned"))
        settings.format = PopWizardRun::Format::Returned;
    else
        return usage(ctx, QStringLiteral("Give --format importer, subscription or returned."));

    const bool all = parser.isSet(QStringLiteral("all"));
    const bool phrases = parser.isSet(QStringLiteral("phrases"));
    const bool category = parser.isSet(QStringLiteral("category"));
    if (int(all) + int(phrases) + int(category) > 1)
        return usage(ctx, QStringLiteral("Give only one of --all, --phrases and --category."));
    if (settings.format == PopWizardRun::Format::Returned && (all || phrases || category))
        return usage(ctx, QStringLiteral("Returned mail is found by its own phrases; --all, --phrases and "
                                         "--category do not apply."));
    if (all) {
        settings.filter = PopWizardRun::FilterMethod::All;
    } else if (phrases) {
        settings.filter = PopWizardRun::FilterMethod::Phrases;
        for (const QString& phrase : parser.value(QStringLiteral("phrases")).split(u';', Qt::SkipEmptyParts))
            if (!phrase.trimmed().isEmpty())
                settings.phrases << phrase.trimmed();
    } else {
        // The checked phrases of one category, or of every category.
        settings.filter = PopWizardRun::FilterMethod::Phrases;
        settings.phrases = SearchCategories::checkedPhrases(parser.value(QStringLiteral("category")));
    }

    const bool addTo = parser.isSet(QStringLiteral("add-to"));
    const bool removeFrom = parser.isSet(QStringLiteral("remove-from"));
    if (addTo && removeFrom)
        return usage(ctx, QStringLiteral("Give either --add-to or --remove-from, not both."));
    settings.newListName = parser.value(QStringLiteral("new-list")).trimmed();
    settings.savedListName = parser.value(QStringLiteral("save-list")).trimmed();
    settings.saveCreatedList = !settings.savedListName.isEmpty();
    for (const QString& name : {settings.newListName, settings.savedListName})
        if (!name.isEmpty() && !IsValidFileName(name))
            return usage(ctx, QStringLiteral("'") + name + QStringLiteral("' cannot be the name of a list."));
    settings.deleteFromServer = parser.isSet(QStringLiteral("delete-from-server"));

    switch (settings.format) {
    case PopWizardRun::Format::Importer:
        if (addTo || removeFrom)
            return usage(ctx, QStringLiteral(
                                  "The importer makes a new list; --add-to and --remove-from do not apply."));
        if (settings.newListName.isEmpty())
            return usage(ctx, QStringLiteral("Give the name of the new list with --new-list."));
        settings.method = PopWizardRun::Method::CreateList;
        break;
    case PopWizardRun::Format::Subscription:
        if (addTo || removeFrom) {
            settings.method = PopWizardRun::Method::UpdateLists;
            settings.action = addTo ? PopWizardRun::Action::Add : PopWizardRun::Action::Remove;
            settings.lists =
                listNames(parser.value(addTo ? QStringLiteral("add-to") : QStringLiteral("remove-from")));
            if (!settings.newListName.isEmpty())
                return usage(ctx, QStringLiteral("Give --new-list or the lists to change, not both."));
        } else if (!settings.newListName.isEmpty()) {
            settings.method = PopWizardRun::Method::CreateList;
        } else {
            settings.method = PopWizardRun::Method::UpdateLists;
        }
        break;
    case PopWizardRun::Format::Returned:
        if (addTo)
            return usage(ctx, QStringLiteral("Returned mail is only removed from lists; use --remove-from."));
        if (!settings.newListName.isEmpty())
            return usage(ctx,
                         QStringLiteral("Returned mail is only removed from lists; use --save-list to keep "
                                        "the addresses as a list."));
        settings.lists = listNames(parser.value(QStringLiteral("remove-from")));
        break;
    }
    return true;
}

int runPop(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const auto valueOption = [&](const char* name, const char* text, const char* valueName) {
        parser.addOption({QLatin1String(name), QLatin1String(text), QLatin1String(valueName)});
    };
    valueOption("account", "The POP account to read.", "NAME");
    valueOption("format", "importer, subscription or returned.", "FORMAT");
    parser.addOption({QStringLiteral("all"), QStringLiteral("Take every message.")});
    valueOption("phrases", "Subject phrases, separated by ';'.", "PHRASES");
    valueOption("category", "The checked phrases of this category.", "NAME");
    valueOption("new-list", "Make a new list of the addresses under this name.", "LIST");
    valueOption("add-to", "Add the addresses to these lists.", "LISTS");
    valueOption("remove-from", "Remove the addresses from these lists.", "LISTS");
    valueOption("save-list", "Also save the addresses as a new list.", "LIST");
    parser.addOption({QStringLiteral("delete-from-server"), QStringLiteral("Delete the matched messages.")});
    parser.addOption(verboseOption());
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    const QString accountName = parser.value(QStringLiteral("account"));
    if (accountName.trimmed().isEmpty()) {
        usage(ctx, QStringLiteral("Give the POP account with --account."));
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;

    PopWizardRun::Settings settings;
    if (!popSettings(ctx, parser, settings))
        return ExitUsage;
    const std::optional<PopAccount> account = PopAccounts::choose(accountName, ctx.prompter);
    if (!account)
        return ExitFailed;
    settings.account = *account;
    if (settings.account.Password.isEmpty()) {
        const std::optional<QString> password = askPassword(ctx, settings.account);
        if (!password)
            return ExitFailed;
        settings.account.Password = *password;
    }

    // On a terminal one progress line shows the messages read; the operations are lines of their own.
    TerminalProgress progress(ctx.out, showsProgressLine(ctx, parser), QStringLiteral("messages"));
    ProgressPrompter prompter(ctx.prompter, progress);
    PopWizardRun run(prompter);
    if (!run.validate(settings))
        return ExitFailed;
    QObject::connect(&run, &PopWizardRun::showCurrentOperation, &run,
                     [&progress](const QString& text) { progress.print(text); });
    QObject::connect(&run, &PopWizardRun::messageProgress, &run,
                     [&progress](int current, int total) { progress.update(current, total); });
    QObject::connect(&run, &PopWizardRun::reportReady, &run, [&](const PopWizardRun::Report& report) {
        progress.finish();
        ctx.out << report.title << Qt::endl << report.heading << Qt::endl;
        ctx.out << report.columns.join(u'\t') << Qt::endl;
        for (const QStringList& row : report.rows)
            ctx.out << row.join(u'\t') << Qt::endl;
    });
    QObject::connect(&run, &PopWizardRun::finished, &run, [&progress] { progress.finish(); });
    QObject::connect(&run, &PopWizardRun::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Ctrl-C or SIGTERM stops the run as the Stop button does; a second one ends the program at once.
    TerminationSignals stopSignals;
    stopSignals.endProcessOnSecondSignal();
    QObject::connect(&stopSignals, &TerminationSignals::received, &run, [&] {
        progress.print(QStringLiteral("Stopping"));
        run.stop();
    });
    ctx.out << PopWizardRun::headingText(settings.format) << Qt::endl;
    run.start(settings);
    // The command line has no window: the run's events are served by the application's own loop.
    QCoreApplication::exec();
    if (settings.deleteFromServer && run.outcome() == PopWizardRun::Outcome::Completed)
        ctx.out << run.deletedCount() << " messages deleted from the server." << Qt::endl;
    switch (run.outcome()) {
    case PopWizardRun::Outcome::Completed:
    case PopWizardRun::Outcome::FoundNothing:
        return ExitOk;
    case PopWizardRun::Outcome::Stopped:
    case PopWizardRun::Outcome::Failed:
        break;
    }
    return ExitFailed;
}

int runPopAccount(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("host"),
                      QStringLiteral("POP host, [pop3s://|pop3+starttls://]HOST[:PORT]."),
                      QStringLiteral("HOST")});
    parser.addOption({QStringLiteral("user"), QStringLiteral("POP user name."), QStringLiteral("USER")});
    parser.addOption({QStringLiteral("remember"), QStringLiteral("Remember the password.")});
    parser.addOption(
        {QStringLiteral("ca-file"),
         QStringLiteral("CA certificates (PEM or DER) the server is trusted with besides the system's."),
         QStringLiteral("FILE")});
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return ExitUsage;
    const QStringList positional = parser.positionalArguments();
    const QString verb = positional.value(0);
    const bool needsName = verb == QLatin1String("add") || verb == QLatin1String("remove");
    if ((verb != QLatin1String("list") && !needsName) || positional.size() != (needsName ? 2 : 1)) {
        usage(ctx, QStringLiteral("Usage: tamberlyn pop-account add NAME --host HOST[:PORT] --user USER "
                                  "[--remember] [--ca-file FILE] | remove NAME | list"));
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;

    if (verb == QLatin1String("list")) {
        for (const QString& name : PopAccounts::names()) {
            const std::optional<PopAccount> account = PopAccounts::find(name);
            if (!account)
                continue;
            const QString place = PopAccounts::passwordPlace(name);
            ctx.out << name << '\t' << account->UserName << '\t' << account->ServerName << '\t'
                    << (place.isEmpty() ? QStringLiteral("password not stored")
                                        : QStringLiteral("password in the ") + place)
                    << Qt::endl;
        }
        return ExitOk;
    }
    const QString name = positional.at(1);
    if (verb == QLatin1String("remove")) {
        if (!PopAccounts::remove(name, ctx.prompter))
            return ExitFailed;
        ctx.out << "Account '" << name << "' removed." << Qt::endl;
        return ExitOk;
    }

    PopAccount account{name,
                       parser.value(QStringLiteral("user")).trimmed(),
                       {},
                       parser.value(QStringLiteral("host")).trimmed()};
    if (!account.ServerName.isEmpty() && !PopServer::parse(account.ServerName).valid) {
        usage(ctx, QStringLiteral("'") + account.ServerName + QStringLiteral("' is not a POP host."));
        return ExitUsage;
    }
    const QString caFile = parser.value(QStringLiteral("ca-file")).trimmed();
    if (!caFile.isEmpty() && TlsTrust::readCaFile(caFile).isEmpty()) {
        usage(ctx, TlsTrust::unreadableCaFileText(caFile));
        return ExitUsage;
    }
    const bool remember = parser.isSet(QStringLiteral("remember"));
    if (remember && PopAccounts::validate(account, ctx.prompter)) {
        const std::optional<QString> password = askPassword(ctx, account);
        if (!password)
            return ExitFailed;
        account.Password = *password;
    }
    if (!PopAccounts::add(account, remember, ctx.prompter))
        return ExitFailed;
    if (!caFile.isEmpty() && !PopAccounts::setTrust(name, {{}, caFile})) {
        ctx.err << "The CA file of the account could not be stored." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "Account '" << name << "' added." << Qt::endl;
    if (remember && PopAccounts::passwordPlace(name) == QLatin1String("database"))
        ctx.out << PopAccounts::unencryptedPasswordText() << Qt::endl;
    return ExitOk;
}

// "tamberlyn trust HOST:PORT [--starttls|--tls]": shows the server's certificate and pins it for the
// SMTP server and the POP accounts that name HOST:PORT once the user agrees.
int runTrust(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption(
        {QStringLiteral("starttls"), QStringLiteral("STARTTLS (SMTP) or STLS (POP3) after the greeting.")});
    parser.addOption({QStringLiteral("tls"), QStringLiteral("TLS from the first byte.")});
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return ExitUsage;
    const QStringList positional = parser.positionalArguments();
    const QString server = positional.value(0).trimmed();
    const qsizetype colon = server.lastIndexOf(u':');
    bool portOk = false;
    const uint port = colon > 0 ? server.mid(colon + 1).toUInt(&portOk) : 0;
    const bool bothModes = parser.isSet(QStringLiteral("starttls")) && parser.isSet(QStringLiteral("tls"));
    if (positional.size() != 1 || !portOk || port == 0 || port > 65535 || bothModes) {
        usage(ctx, QStringLiteral("Usage: tamberlyn trust HOST:PORT [--starttls|--tls]"));
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const QString host = server.left(colon);
    const ServerTrust::Users users = ServerTrust::usersOf(host, quint16(port));
    if (users.isEmpty()) {
        ctx.err << ServerTrust::notConfiguredText(server) << Qt::endl;
        return ExitFailed;
    }
    const CertificateProbe::Security security =
        parser.isSet(QStringLiteral("tls")) ? CertificateProbe::Security::Tls
        : parser.isSet(QStringLiteral("starttls"))
            ? CertificateProbe::Security::StartTls
            : users.security.value_or(CertificateProbe::Security::StartTls);

    CertificateProbe probe;
    QObject::connect(&probe, &CertificateProbe::finished, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    probe.start(host, quint16(port), security);
    // The command line has no window: the probe's events are served by the application's own loop.
    QCoreApplication::exec();
    if (!probe.succeeded()) {
        ctx.err << probe.errorText() << Qt::endl;
        return ExitFailed;
    }
    // The question itself shows the facts, on the terminal as in a window.
    const CertificateFacts& facts = probe.facts();
    if (ctx.prompter.ask(CertificateFacts::questionTitle(), facts.questionText(), Prompter::Buttons::YesNo) !=
        Prompter::Answer::Yes) {
        ctx.out << "Not trusted; nothing was changed." << Qt::endl;
        return ExitFailed;
    }
    const QString fingerprint = TlsTrust::fingerprint(facts.certificate);
    if (!ServerTrust::pin(users, fingerprint)) {
        ctx.err << "The trusted certificate could not be stored." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "Trusted for " << users.describe() << ": SHA-256 " << fingerprint << Qt::endl;
    return ExitOk;
}

} // namespace

QList<Command> mailboxCommands() {
    return {
        {"pop",
         "Read a POP mailbox and make or change lists: --account NAME --format "
         "importer|subscription|returned "
         "[--all | --phrases \"p1;p2\" | --category NAME] [--new-list LIST] [--add-to L1,L2 | --remove-from "
         "L1,L2] [--save-list LIST] [--delete-from-server] [--verbose].",
         runPop},
        {"pop-account",
         "POP accounts: add NAME --host [pop3s://|pop3+starttls://]HOST[:PORT] --user USER [--remember] "
         "[--ca-file FILE] "
         "(password from $TAMBERLYN_POP_PASSWORD, else asked), remove NAME, list.",
         runPopAccount},
        {"trust",
         "Show the certificate of HOST:PORT [--starttls|--tls] and trust exactly that certificate for the "
         "SMTP "
         "server and the POP accounts there (asked, or --yes).",
         runTrust},
    };
}
