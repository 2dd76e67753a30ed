#include "mailings/MailingCommands.h"

#include "core/AppInfo.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "mailings/MailEvent.h"
#include "mailings/MailRuns.h"
#include "mailings/Mailings.h"
#include "mailings/mdlTBProfile.h"
#include "mailings/mdlTamberlynGroupOptions.h"

#include <functional>
#include <optional>

namespace {

// The arguments after "tamberlyn NAME VERB", with the usage name in front for the option parser.
QStringList verbArguments(const QStringList& arguments, const char* command) {
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tamberlyn ") + QLatin1StringView(command) + u' ' + arguments.value(1));
    return rest;
}

bool exists(const char* table, const char* column, const QString& value) {
    return CountMatching(QLatin1StringView(table), QLatin1StringView(column), value) > 0;
}

int runMailingCreate(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption group(QStringLiteral("group"), QStringLiteral("The mailing group."),
                                   QStringLiteral("GROUP"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("The list."),
                                  QStringLiteral("LIST"));
    const QCommandLineOption message(QStringLiteral("message"), QStringLiteral("The message."),
                                     QStringLiteral("MESSAGE"));
    const QCommandLineOption options(
        QStringLiteral("options"),
        QStringLiteral("The delivery options (default: Default Delivery Options)."),
        QStringLiteral("OPTIONS"), QString::fromLatin1(DefaultDeliveryOptionsName));
    parser.addOptions({group, list, message, options});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    if (!parser.isSet(group) || !parser.isSet(list) || !parser.isSet(message)) {
        ctx.err << "Give the mailing's --group, --list and --message." << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    const struct {
        const char* table;
        const char* column;
        QString value;
        const char* what;
        const char* hint;
    } references[] = {
        {"Tamberlyn", "TamberlynName", parser.value(group), "group",
         " (tamberlyn groups add NAME makes one)"},
        {"List", "ListName", parser.value(list), "list", ""},
        {"Message", "MessageName", parser.value(message), "message", ""},
        {"Profile", "ProfileName", parser.value(options), "set of delivery options", ""},
    };
    for (const auto& reference : references) {
        if (!exists(reference.table, reference.column, reference.value)) {
            ctx.err << "There is no " << reference.what << " named " << reference.value << reference.hint
                    << "." << Qt::endl;
            return ExitFailed;
        }
    }
    const qint32 id = Mailings::PrepareMailing(parser.value(group), parser.value(list), parser.value(message),
                                               parser.value(options));
    if (id == 0) {
        ctx.err << "The mailing could not be saved." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << id << Qt::endl;
    return ExitOk;
}

// The one mailing number after the verb ("mailing delete 3"); says so and gives nothing otherwise.
std::optional<qint32> mailingNumberArgument(CommandContext& ctx, const QStringList& arguments) {
    bool ok = false;
    const qint32 id = arguments.value(2).toInt(&ok);
    if (arguments.size() != 3 || !ok) {
        ctx.err << "Give one mailing number." << Qt::endl;
        return std::nullopt;
    }
    return id;
}

int runMailingDelete(CommandContext& ctx, const QStringList& arguments) {
    const std::optional<qint32> id = mailingNumberArgument(ctx, arguments);
    if (!id)
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;
    return Mailings::deleteMailing(ctx.prompter, *id) ? ExitOk : ExitFailed;
}

int runMailingList(CommandContext& ctx) {
    if (!ctx.start())
        return ExitFailed;
    for (const Mailing& m : Mailings::all())
        ctx.out << m.MailEventName << '\t' << m.TamberlynName << '\t' << m.ListName << '\t' << m.MessageName
                << '\t' << m.Profile << '\t' << m.DateSent << '\t' << m.SentCount << '\t' << m.SentCountFailed
                << Qt::endl;
    return ExitOk;
}

// One line per run of the mailing, oldest first: number, trigger, start, end, passed, failed, outcome.
int runMailingRuns(CommandContext& ctx, const QStringList& arguments) {
    const std::optional<qint32> id = mailingNumberArgument(ctx, arguments);
    if (!id)
        return ExitUsage;
    if (!ctx.start())
        return ExitFailed;
    if (!Mailings::find(*id)) {
        ctx.err << "There is no mailing number " << *id << "." << Qt::endl;
        return ExitFailed;
    }
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    for (const MailRuns::Run& run : MailRuns::of(*id))
        ctx.out << run.RunID << '\t' << run.Trigger << '\t' << run.RunStart.toString(format) << '\t'
                << run.RunEnd.toString(format) << '\t' << run.Passed << '\t' << run.Failed << '\t'
                << run.Outcome << Qt::endl;
    return ExitOk;
}

int runMailing(CommandContext& ctx, const QStringList& arguments) {
    const QString verb = arguments.value(1);
    if (verb == QLatin1StringView("create"))
        return runMailingCreate(ctx, verbArguments(arguments, "mailing"));
    if (verb == QLatin1StringView("delete"))
        return runMailingDelete(ctx, arguments);
    if (verb == QLatin1StringView("runs"))
        return runMailingRuns(ctx, arguments);
    if (verb == QLatin1StringView("list") && arguments.size() == 2)
        return runMailingList(ctx);
    ctx.err << "Use tamberlyn mailing create --group G --list L --message M [--options O], "
               "tamberlyn mailing delete ID, tamberlyn mailing runs ID or tamberlyn mailing list."
            << Qt::endl;
    return ExitUsage;
}

int runGroups(CommandContext& ctx, const QStringList& arguments) {
    namespace groups = mdlTamberlynGroupOptions;
    const QString verb = arguments.value(1);
    const QString name = arguments.value(2);
    const QString description = arguments.mid(3).join(u' ');
    if (verb.isEmpty()) {
        if (!ctx.start())
            return ExitFailed;
        for (const groups::Group& g : groups::Groups())
            ctx.out << g.TamberlynName << '\t' << QString(g.TamberlynDescription).replace(u'\n', u' ')
                    << Qt::endl;
        return ExitOk;
    }
    const bool known = verb == QLatin1StringView("add") || verb == QLatin1StringView("describe") ||
                       verb == QLatin1StringView("remove");
    if (!known || name.trimmed().isEmpty() || (verb == QLatin1StringView("remove") && arguments.size() > 3)) {
        ctx.err << "Use tamberlyn groups, tamberlyn groups add NAME [DESCRIPTION], tamberlyn groups describe "
                   "NAME "
                   "DESCRIPTION or tamberlyn groups remove NAME."
                << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    bool done = false;
    if (verb == QLatin1StringView("add"))
        done = groups::CreateTamberlynGroup(ctx.prompter, name, description);
    else if (verb == QLatin1StringView("describe"))
        done = groups::UpdateTamberlynGroup(ctx.prompter, name, description);
    else if (ctx.prompter.ask(QString(),
                              QStringLiteral("Are you sure you wish to delete the group '") + name +
                                  QStringLiteral("'?"),
                              Prompter::Buttons::YesNo) == Prompter::Answer::Yes)
        done = groups::DeleteTamberlynGroup(ctx.prompter, name);
    return done ? ExitOk : ExitFailed;
}

// One field of a set of delivery options as the command line shows and sets it, by its column name.
struct OptionField {
    const char* name;
    std::function<QString(const MailEvent&)> get;
    std::function<bool(MailEvent&, const QString&)> set;
};

QString yesNoText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBool(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1StringView("true") || t == QLatin1StringView("yes") || t == QLatin1StringView("1") ||
        t == QLatin1StringView("-1") || t == QLatin1StringView("on"))
        return true;
    if (t == QLatin1StringView("false") || t == QLatin1StringView("no") || t == QLatin1StringView("0") ||
        t == QLatin1StringView("off"))
        return false;
    return std::nullopt;
}

template <typename Field> OptionField textField(const char* name, Field field) {
    return {name, [field](const MailEvent& m) { return m.*field; },
            [field](MailEvent& m, const QString& v) {
                m.*field = v;
                return true;
            }};
}

template <typename Field> OptionField boolField(const char* name, Field field) {
    return {name, [field](const MailEvent& m) { return yesNoText(m.*field); },
            [field](MailEvent& m, const QString& v) {
                const std::optional<bool> b = parseBool(v);
                if (b)
                    m.*field = *b;
                return b.has_value();
            }};
}

template <typename Field>
OptionField numberField(const char* name, Field field, qint64 maximum, qint64 minimum = 0) {
    return {name, [field](const MailEvent& m) { return QString::number(m.*field); },
            [field, maximum, minimum](MailEvent& m, const QString& v) {
                bool ok = false;
                const qint64 n = v.trimmed().toLongLong(&ok);
                if (!ok || n < minimum || n > maximum)
                    return false;
                m.*field = decltype(+(m.*field))(n);
                return true;
            }};
}

const QList<OptionField>& optionFields() {
    static const QList<OptionField> fields = {
        textField("ProfileDescription", &MailEvent::Description),
        textField("From", &MailEvent::From),
        textField("ReplyTo", &MailEvent::ReplyTo),
        textField("ErrorsTo", &MailEvent::ErrorsTo),
        textField("X_URL", &MailEvent::X_URL),
        boolField("bSendFiltered", &MailEvent::bSendFiltered),
        textField("SQLFilter", &MailEvent::SQLFilterText),
        boolField("bFlagSends", &MailEvent::bFlagSends),
        textField("SentFlag", &MailEvent::SentFlag),
        boolField("bSendInBlocks", &MailEvent::bSendInBlocks),
        numberField("SendBlockSize", &MailEvent::SendBlockSize, 2147483647),
        boolField("bIfNotYetFlagged", &MailEvent::bIfNotYetFlagged),
        textField("SentFlagToCheck", &MailEvent::SentFlagToCheck),
        boolField("bTimedBlocks", &MailEvent::bTimedBlocks),
        numberField("TimedBlockSize", &MailEvent::TimedBlockSize, 2147483647),
        numberField("TimeIncrement", &MailEvent::TimeIncrement, 32767),
        boolField("bInsertTimeDelay", &MailEvent::bInsertTimeDelay),
        numberField("TimeDelay", &MailEvent::TimeDelay, 2147483647),
        textField("SmtpServer", &MailEvent::SmtpServer),
        textField("UnsubscribeAddress", &MailEvent::UnsubscribeAddress),
        textField("UnsubscribeURL", &MailEvent::UnsubscribeURL),
        textField("BounceAddress", &MailEvent::BounceAddress),
        boolField("UseVERP", &MailEvent::UseVERP),
        textField("DKIMDomain", &MailEvent::DKIMDomain),
        textField("DKIMSelector", &MailEvent::DKIMSelector),
        textField("DKIMKeyFile", &MailEvent::DKIMKeyFile),
        numberField("Connections", &MailEvent::Connections, MailEvent::MaxConnections, 1),
        numberField("MaxPerHour", &MailEvent::MaxPerHour, 2147483647),
        numberField("MaxPerDay", &MailEvent::MaxPerDay, 2147483647),
    };
    return fields;
}

const OptionField* optionField(const QString& name) {
    for (const OptionField& field : optionFields())
        if (name.compare(QLatin1StringView(field.name), Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

// The address checks of the delivery-options wizard.
QString addressProblem(const MailEvent& options) {
    if (options.From.trimmed().isEmpty())
        return QStringLiteral("The 'From' address is required. Please enter a valid email address.");
    const struct {
        QString value;
        const char* text;
    } addresses[] = {{options.From, "The 'From' address is invalid.  "},
                     {options.ReplyTo, "The 'Reply To' address is invalid.  "},
                     {options.ErrorsTo, "The 'Errors To' address is invalid.  "},
                     {options.UnsubscribeAddress, "The 'Unsubscribe' address is invalid.  "},
                     {options.BounceAddress, "The 'Bounce' address is invalid.  "}};
    for (const auto& a : addresses)
        if (!a.value.trimmed().isEmpty() && !IsValidEmailAddress(a.value.trimmed()))
            return QLatin1StringView(a.text) +
                   QStringLiteral("Please re-enter using a valid email address format.  ");
    const QString url = options.UnsubscribeURL.trimmed();
    if (!url.isEmpty() && !url.startsWith(QLatin1StringView("https://"), Qt::CaseInsensitive))
        return QStringLiteral("The unsubscribe URL must begin with https://.");
    if (!url.isEmpty() && options.UnsubscribeAddress.trimmed().isEmpty())
        return QStringLiteral("An unsubscribe URL needs an 'Unsubscribe' address beside it.");
    if (options.UseVERP && options.BounceAddress.trimmed().isEmpty())
        return QStringLiteral("VERP needs a 'Bounce' address.");
    const int dkimSet = int(!options.DKIMDomain.trimmed().isEmpty()) +
                        int(!options.DKIMSelector.trimmed().isEmpty()) +
                        int(!options.DKIMKeyFile.trimmed().isEmpty());
    if (dkimSet != 0 && dkimSet != 3)
        return QStringLiteral("DKIM signing needs all of DKIMDomain, DKIMSelector and DKIMKeyFile.");
    return QString();
}

int runOptionsShow(CommandContext& ctx, const QString& name) {
    MailEvent options;
    if (!options.GetMEPFromDB(name)) {
        ctx.err << "There is no set of delivery options named " << name << "." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "ProfileName=" << options.MailEventName << Qt::endl;
    for (const OptionField& field : optionFields())
        ctx.out << field.name << '=' << QString(field.get(options)).replace(u'\n', u' ') << Qt::endl;
    return ExitOk;
}

int runOptionsSet(CommandContext& ctx, const QString& name, const QStringList& assignments) {
    MailEvent options;
    if (!options.GetMEPFromDB(name) &&
        !options.GetMEPFromDB(QString::fromLatin1(DefaultDeliveryOptionsName))) {
        ctx.err << "The delivery options cannot be read." << Qt::endl;
        return ExitFailed;
    }
    options.MailEventName = name;
    for (const QString& assignment : assignments) {
        const qsizetype equals = assignment.indexOf(u'=');
        const OptionField* field = equals > 0 ? optionField(assignment.left(equals)) : nullptr;
        if (!field) {
            ctx.err << "Unknown setting '" << assignment.left(equals) << "'; use key=value with one of:";
            for (const OptionField& f : optionFields())
                ctx.err << ' ' << f.name;
            ctx.err << Qt::endl;
            return ExitUsage;
        }
        if (!field->set(options, assignment.mid(equals + 1))) {
            ctx.err << "The value of " << field->name << " is not valid: " << assignment.mid(equals + 1)
                    << Qt::endl;
            return ExitUsage;
        }
    }
    if (const QString problem = addressProblem(options); !problem.isEmpty()) {
        ctx.err << problem << Qt::endl;
        return ExitFailed;
    }
    if (!options.storeMEP()) {
        ctx.err << "The delivery options could not be saved." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "Delivery options " << name << " saved." << Qt::endl;
    return ExitOk;
}

int runOptions(CommandContext& ctx, const QStringList& arguments) {
    const QString verb = arguments.value(1);
    const QString name = arguments.value(2);
    const bool named = !name.trimmed().isEmpty();
    const bool valid = (verb == QLatin1StringView("list") && arguments.size() == 2) ||
                       ((verb == QLatin1StringView("show") || verb == QLatin1StringView("delete")) && named &&
                        arguments.size() == 3) ||
                       (verb == QLatin1StringView("set") && named);
    if (!valid) {
        ctx.err << "Use tamberlyn options list, tamberlyn options show NAME, tamberlyn options set NAME "
                   "key=value... "
                   "or tamberlyn options delete NAME."
                << Qt::endl;
        return ExitUsage;
    }
    if (verb == QLatin1StringView("set")) {
        if (const QString refusal = NameRefusal(MailEvent::nameKind(), name); !refusal.isEmpty()) {
            ctx.err << refusal << Qt::endl;
            return ExitUsage;
        }
    }
    if (!ctx.start())
        return ExitFailed;
    if (verb == QLatin1StringView("list")) {
        for (const QString& n : mdlTBProfile::ProfileNames())
            ctx.out << n << Qt::endl;
        return ExitOk;
    }
    if (verb == QLatin1StringView("show"))
        return runOptionsShow(ctx, name);
    if (verb == QLatin1StringView("delete"))
        return mdlTBProfile::DeleteTBProfile(ctx.prompter, name) ? ExitOk : ExitFailed;
    return runOptionsSet(ctx, name, arguments.mid(3));
}

} // namespace

QList<Command> mailingCommands() {
    return {
        {"mailing",
         "Create (mailing create --group G --list L --message M [--options O]), delete or list mailings, "
         "or show a mailing's runs (mailing runs ID).",
         runMailing},
        {"groups", "List the mailing groups, or groups add|describe|remove NAME [DESCRIPTION].", runGroups},
        {"options", "Delivery options: options list | show NAME | set NAME key=value... | delete NAME.",
         runOptions},
    };
}
