#include "send/SendCommands.h"

#include "core/AppSettings.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "send/DkimSigner.h"
#include "send/SMTPSocket.h"
#include "send/SendMDBList.h"
#include "send/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// How long the end of the session (QUIT and its answer) may take after the run has ended.
constexpr int ClosingGraceMs = 3000;

int runSend(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print only the end summary, not a line per recipient."));
    parser.addOption(quiet);
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return ExitUsage;
    bool isNumber = false;
    const qint32 id = parser.positionalArguments().value(0).toInt(&isNumber);
    if (parser.positionalArguments().size() != 1 || !isNumber || id <= 0) {
        ctx.err << "Give the number of one mailing (tamberlyn send MAILING_ID)." << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const std::optional<Mailing> mailing = Mailings::find(id);
    if (!mailing) {
        ctx.err << "There is no mailing number " << id << "." << Qt::endl;
        return ExitFailed;
    }
    if (!Mailings::checkBeforeSend(ctx.prompter, *mailing))
        return ExitFailed;
    MailEvent options;
    if (!options.GetMEPFromDB(mailing->Profile)) {
        ctx.err << "The delivery options '" << mailing->Profile << "' of mailing " << id << " do not exist."
                << Qt::endl;
        return ExitFailed;
    }
    const QString server =
        options.SmtpServer.trimmed().isEmpty() ? appSettings().MailServer : options.SmtpServer.trimmed();

    SendMDBList source(ctx.prompter);
    source.MailEventID = mailing->MailEventName;
    source.TotalSoFar = mailing->SentCount;
    source.Tamberlyn = mailing->TamberlynName;
    source.AddrListName = mailing->ListName;
    source.MsgName = mailing->MessageName;
    source.MailOptionsName = mailing->Profile;
    source.DateMailed = mailing->DateSent;

    SMTPSocket run(source, options, ctx.prompter);
    const bool perRecipientLines = !parser.isSet(quiet);
    QObject::connect(&run, &SMTPSocket::AddMailed, [&](const QString& text, bool picture, bool pass) {
        if (!picture)
            ctx.out << text << Qt::endl;
        else if (perRecipientLines)
            ctx.out << (pass ? "[Ok]   " : "[Fail] ") << text << Qt::endl;
    });
    QObject::connect(&run, &SMTPSocket::Progress, [&](const QString& text) {
        if (perRecipientLines)
            ctx.out << text << Qt::endl;
    });
    TerminationSignals interrupt;
    interrupt.endProcessOnSecondSignal();
    QObject::connect(&interrupt, &TerminationSignals::received, [&] {
        ctx.out << "Stopping" << Qt::endl;
        run.stop();
    });
    QTimer grace;
    grace.setSingleShot(true);
    QObject::connect(&grace, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    QObject::connect(&run, &SMTPSocket::ReenableSendButton, [&] { grace.start(ClosingGraceMs); });
    QObject::connect(&run, &SMTPSocket::SessionClosed, [] { QCoreApplication::exit(0); });

    if (!run.sendEmailToList(options.From, options.ErrorsTo, options.ReplyTo, options.X_URL, server))
        return ExitFailed;
    // The command line has no event loop of its own yet: the run is driven by the application's.
    QCoreApplication::exec();
    return run.completed() ? ExitOk : ExitFailed;
}

// "dkim keygen": a new signing key and the DNS record that publishes it. Needs no application folder.
int runDkim(CommandContext& ctx, const QStringList& arguments) {
    if (arguments.value(1) != QLatin1StringView("keygen")) {
        ctx.err << "Use tamberlyn dkim keygen --domain D --selector S [--type rsa|ed25519] --out FILE."
                << Qt::endl;
        return ExitUsage;
    }
    QCommandLineParser parser;
    const QCommandLineOption domain(QStringLiteral("domain"), QStringLiteral("The signing domain."),
                                    QStringLiteral("DOMAIN"));
    const QCommandLineOption selector(QStringLiteral("selector"), QStringLiteral("The selector."),
                                      QStringLiteral("SELECTOR"));
    const QCommandLineOption type(QStringLiteral("type"),
                                  QStringLiteral("rsa (2048 bits, the default) or ed25519."),
                                  QStringLiteral("TYPE"), QStringLiteral("rsa"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The private key file to write."),
                                 QStringLiteral("FILE"));
    parser.addOptions({domain, selector, type, out});
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tamberlyn dkim keygen"));
    if (!parseCommandOptions(parser, rest, ctx))
        return ExitUsage;
    const QString kind = parser.value(type).toLower();
    if (parser.value(domain).trimmed().isEmpty() || parser.value(selector).trimmed().isEmpty() ||
        parser.value(out).trimmed().isEmpty() ||
        (kind != QLatin1StringView("rsa") && kind != QLatin1StringView("ed25519"))) {
        ctx.err << "Give --domain, --selector and --out, and --type rsa or ed25519." << Qt::endl;
        return ExitUsage;
    }
    QString problem;
    const QString record = DkimSigner::generateKey(
        parser.value(domain), parser.value(selector),
        kind == QLatin1StringView("ed25519") ? DkimSigner::KeyType::Ed25519 : DkimSigner::KeyType::Rsa,
        parser.value(out), &problem);
    if (record.isEmpty()) {
        ctx.err << problem << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "The private key is in " << parser.value(out) << ". Publish this DNS record:" << Qt::endl
            << record << Qt::endl;
    return ExitOk;
}

} // namespace

QList<Command> sendCommands() {
    return {
        {"send", "Send a mailing (send MAILING_ID [--quiet]); Ctrl-C stops it.", runSend},
        {"dkim", "Make a DKIM key: dkim keygen --domain D --selector S [--type rsa|ed25519] --out FILE.",
         runDkim},
    };
}
