#include "send/SendCommands.h"

#include "core/AppSettings.h"
#include "core/TerminalProgress.h"
#include "db/Database.h"
#include "mailings/MailEvent.h"
#include "mailings/Mailings.h"
#include "send/DkimSigner.h"
#include "send/MailingRun.h"
#include "send/PreflightCheck.h"
#include "send/SMTPSocket.h"
#include "send/SendMDBList.h"
#include "send/ServerSizeProbe.h"
#include "send/TerminationSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// How long the end of the session (QUIT and its answer) may take after the run has ended.
constexpr int ClosingGraceMs = 3000;

int runSend(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print only the end summary, not a line per recipient."));
    parser.addOptions({quiet, verboseOption()});
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
    // On a terminal one progress line stands for the lines per recipient; --quiet shows neither.
    TerminalProgress progress(ctx.out, showsProgressLine(ctx, parser) && !parser.isSet(quiet),
                              QStringLiteral("recipients"));
    ProgressPrompter prompter(ctx.prompter, progress);
    MailingRun mailingRun(prompter);
    SMTPSocket& run = mailingRun.socket();
    const bool perRecipientLines = !parser.isSet(quiet) && !progress.isShown();
    QObject::connect(&run, &SMTPSocket::AddMailed, [&](const QString& text, bool picture, bool pass) {
        if (!picture)
            progress.print(text);
        else if (perRecipientLines)
            ctx.out << (pass ? "[Ok]   " : "[Fail] ") << text << Qt::endl;
    });
    QObject::connect(&run, &SMTPSocket::Progress, [&](const QString& text) {
        if (!parser.isSet(quiet))
            progress.print(text);
    });
    // A limit's pause can last hours, so it is told even with --quiet (otherwise it is a progress text).
    QObject::connect(&run, &SMTPSocket::LimitState, [&](bool paused, const QString& text) {
        if (paused && parser.isSet(quiet))
            ctx.out << text << Qt::endl;
    });
    QObject::connect(&run, &SMTPSocket::CounterUpdate, [&](qint64 sent, qint64 failed) {
        progress.update(sent + failed, mailingRun.source().selectionCount());
    });
    QObject::connect(&run, &SMTPSocket::ReenableSendButton, [&] { progress.finish(); });
    TerminationSignals interrupt;
    interrupt.endProcessOnSecondSignal();
    QObject::connect(&interrupt, &TerminationSignals::received, [&] {
        progress.print(QStringLiteral("Stopping"));
        mailingRun.stop();
    });
    QTimer grace;
    grace.setSingleShot(true);
    QObject::connect(&grace, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    QObject::connect(&run, &SMTPSocket::ReenableSendButton, [&] { grace.start(ClosingGraceMs); });
    QObject::connect(&run, &SMTPSocket::SessionClosed, [] { QCoreApplication::exit(0); });

    if (!mailingRun.start(id, MailRuns::Trigger::Command)) {
        if (!mailingRun.refusalText().isEmpty())
            ctx.err << mailingRun.refusalText() << Qt::endl;
        return ExitFailed;
    }
    // The command line has no event loop of its own yet: the run is driven by the application's.
    QCoreApplication::exec();
    return run.completed() ? ExitOk : ExitFailed;
}

// The run's messages and questions during a check become its findings; a question is answered so
// that the check goes as far as the run would.
class FindingsPrompter : public Prompter {
public:
    QList<PreflightCheck::Finding> findings;

    void inform(const QString& title, const QString& text, Icon) override {
        findings.append({PreflightCheck::Severity::Error, QStringLiteral("mailing"), oneLine(title, text)});
    }
    Answer ask(const QString& title, const QString& text, Buttons buttons, Icon) override {
        findings.append({PreflightCheck::Severity::Error, QStringLiteral("message"), oneLine(title, text)});
        return affirmativeAnswer(buttons);
    }
    std::optional<QString> askText(const QString&, const QString&, bool) override { return std::nullopt; }

private:
    static QString oneLine(const QString& title, const QString& text) {
        return (title.isEmpty() ? QString() : title + QStringLiteral(": ")) + QString(text).simplified();
    }
};

QString jsonText(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

// "check": the first copies of a mailing built as its run builds them, nothing sent and nothing marked,
// and what is wrong with them or the message.
int runCheck(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption sample(QStringLiteral("sample"),
                                    QStringLiteral("How many copies to build (default 5)."),
                                    QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("The findings as JSON."));
    const QCommandLineOption save(QStringLiteral("save"),
                                  QStringLiteral("Also write each copy built to DIR/copy-N.eml, to look at."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("Also ask the SMTP server the largest message it takes "
                                                   "(connects, reads EHLO, quits; sends nothing)."));
    parser.addOptions({sample, json, save, server});
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return ExitUsage;
    bool isNumber = false;
    const qint32 id = parser.positionalArguments().value(0).toInt(&isNumber);
    bool sampleOk = false;
    const int count = parser.value(sample).toInt(&sampleOk);
    if (parser.positionalArguments().size() != 1 || !isNumber || id <= 0 || !sampleOk || count < 1) {
        ctx.err << "Give the number of one mailing and a sample of at least 1 (tamberlyn check MAILING_ID "
                   "[--sample N])."
                << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const std::optional<Mailing> mailing = Mailings::find(id);
    if (!mailing) {
        ctx.err << "There is no mailing number " << id << "." << Qt::endl;
        return ExitFailed;
    }
    MailEvent options;
    if (!options.GetMEPFromDB(mailing->Profile)) {
        ctx.err << "The delivery options '" << mailing->Profile << "' of mailing " << id << " do not exist."
                << Qt::endl;
        return ExitFailed;
    }
    FindingsPrompter prompter;
    SendMDBList source(prompter);
    source.MailEventID = mailing->MailEventName;
    source.Tamberlyn = mailing->TamberlynName;
    source.AddrListName = mailing->ListName;
    source.MsgName = mailing->MessageName;
    source.MailOptionsName = mailing->Profile;
    QTemporaryDir scratch; // the run's send log goes here: a check leaves no trace in the real one
    SMTPSocket run(source, options, prompter);
    run.setLogPath(scratch.filePath(QStringLiteral("check.log")));
    QObject::connect(&run, &SMTPSocket::AddMailed, [&](const QString& text, bool, bool) {
        if (text.startsWith(QLatin1StringView("Warning: ")))
            prompter.findings.append(
                {PreflightCheck::Severity::Warning, QStringLiteral("delivery options"), text.mid(9)});
    });
    QList<PreflightCheck::Finding> findings;
    if (run.prepareRun(options.From, options.ErrorsTo, options.ReplyTo, options.X_URL, options.SmtpServer)) {
        const qint64 listSize = db::Database::open(source.listPath(), db::Database::OpenMode::ReadOnly)
                                    .scalar(QStringLiteral("SELECT COUNT(*) FROM \"AddressList\""))
                                    .value_or(QVariant(0))
                                    .toLongLong();
        const QList<SMTPSocket::Copy> copies = run.buildCopies(count);
        findings = prompter.findings;
        if (source.CurMessageRS())
            findings += PreflightCheck::inspectMessage(*source.CurMessageRS(), options, listSize);
        qint64 announcedSize = 0;
        QString serverName;
        if (parser.isSet(server)) {
            ServerSizeProbe probe;
            QObject::connect(&probe, &ServerSizeProbe::finished, QCoreApplication::instance(),
                             &QCoreApplication::quit, Qt::QueuedConnection);
            const qsizetype at = options.From.indexOf(u'@');
            probe.start(options.SmtpServer,
                        at < 0 ? options.From.trimmed() : options.From.mid(at + 1).trimmed());
            // The command line has no window: the probe's events are served by the application's own loop.
            QCoreApplication::exec();
            serverName = probe.server();
            if (probe.succeeded())
                announcedSize = probe.announcedSize();
            else
                findings.append(
                    {PreflightCheck::Severity::Warning, QStringLiteral("server ") + probe.server(),
                     QStringLiteral("the largest message size could not be asked: ") + probe.errorText()});
        }
        for (qsizetype i = 0; i < copies.size(); ++i) {
            findings += PreflightCheck::inspectCopy(int(i + 1), copies.at(i));
            if (parser.isSet(server))
                findings += PreflightCheck::inspectSize(int(i + 1), copies.at(i), announcedSize, serverName);
            if (parser.isSet(save)) {
                QSaveFile file(QDir(parser.value(save)).filePath(QStringLiteral("copy-%1.eml").arg(i + 1)));
                if (!QDir().mkpath(parser.value(save)) || !file.open(QIODevice::WriteOnly) ||
                    file.write(copies.at(i).text) != copies.at(i).text.size() || !file.commit())
                    ctx.err << "The copy could not be saved: " << file.fileName() << Qt::endl;
            }
        }
    } else {
        findings = prompter.findings;
    }
    const bool anyError =
        std::any_of(findings.cbegin(), findings.cend(), [](const PreflightCheck::Finding& f) {
            return f.severity == PreflightCheck::Severity::Error;
        });
    if (parser.isSet(json)) {
        ctx.out << '[';
        for (qsizetype i = 0; i < findings.size(); ++i)
            ctx.out << (i ? ",\n " : "") << "{\"severity\": " << jsonText(severityText(findings[i].severity))
                    << ", \"concerns\": " << jsonText(findings[i].concerns)
                    << ", \"text\": " << jsonText(findings[i].text) << '}';
        ctx.out << ']' << Qt::endl;
    } else {
        for (const PreflightCheck::Finding& f : findings)
            ctx.out << severityText(f.severity) << ": " << f.concerns << ": " << f.text << Qt::endl;
        ctx.out << findings.size() << " finding(s) in mailing " << id << '.' << Qt::endl;
    }
    return anyError ? ExitFailed : ExitOk;
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
        {"send", "Send a mailing (send MAILING_ID [--quiet] [--verbose]); Ctrl-C stops it.", runSend},
        {"check",
         "Build the first copies of a mailing as a run would, send nothing, and report what is wrong "
         "(check MAILING_ID [--sample N] [--json] [--save DIR] [--server]).",
         runCheck},
        {"dkim", "Make a DKIM key: dkim keygen --domain D --selector S [--type rsa|ed25519] --out FILE.",
         runDkim},
    };
}
