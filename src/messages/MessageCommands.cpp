#include "messages/MessageCommands.h"

#include "core/AppInfo.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "messages/MimeAssembly.h"
#include "util/FileNameObject.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A FIFO or a device would block the read (or never end it): only a regular file is taken.
bool refuseIrregularFile(CommandContext& ctx, const QString& path) {
    if (!QFileInfo::exists(path) || FileNameObject::IsRegularFile(path))
        return false;
    ctx.err << "Cannot read " << path << ": it is not a regular file." << Qt::endl;
    return true;
}

bool readUtf8(CommandContext& ctx, const QString& path, QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ctx.err << "Cannot read " << path << ": " << sentence(file.errorString()) << "." << Qt::endl;
        return false;
    }
    text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return true;
}

// An attachment as the message stores it: a file named from here becomes absolute; one that is only
// found in the templates folder stays relative to it.
bool attachmentPath(CommandContext& ctx, const QString& given, QString& stored) {
    const QFileInfo here(given);
    if (here.isFile()) {
        stored = here.absoluteFilePath();
    } else if (QFileInfo(ResolveMessageFile(given)).isFile()) {
        stored = given;
    } else {
        ctx.err << "The attachment " << given << " was not found." << Qt::endl;
        return false;
    }
    if (stored.contains(u';')) {
        ctx.err << "The attachment path " << stored << " holds a \";\", which separates attachments."
                << Qt::endl;
        return false;
    }
    return true;
}

int runImport(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("The message's name."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption subject(QStringLiteral("subject"), QStringLiteral("The subject line."),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption type(QStringLiteral("type"),
                                  QStringLiteral("0 plain text, 1 HTML, 2 HTML with a plain-text alternative "
                                                 "(default: from the files given)."),
                                  QStringLiteral("0|1|2"));
    const QCommandLineOption text(QStringLiteral("text"), QStringLiteral("The plain text (UTF-8 file)."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption html(QStringLiteral("html"), QStringLiteral("The HTML (UTF-8 file)."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption attach(QStringLiteral("attach"),
                                    QStringLiteral("A file to attach (repeatable)."), QStringLiteral("FILE"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("The From text."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption list(
        QStringLiteral("list"), QStringLiteral("The mailing list for merge fields."), QStringLiteral("LIST"));
    parser.addOptions({name, subject, type, text, html, attach, from, list});
    if (!parseCommandOptions(parser, arguments, ctx))
        return ExitUsage;
    if (!parser.isSet(name) || !parser.isSet(subject)) {
        ctx.err << "Give the message's --name and --subject." << Qt::endl;
        return ExitUsage;
    }
    MessageRecord message;
    message.MessageName = parser.value(name);
    message.Subject = parser.value(subject);
    if (parser.isSet(type)) {
        bool ok = false;
        message.SendType = parser.value(type).toInt(&ok);
        if (!ok || message.SendType < 0 || message.SendType > 2) {
            ctx.err << "The --type is 0, 1 or 2." << Qt::endl;
            return ExitUsage;
        }
    } else {
        message.SendType = !parser.isSet(html) ? 0 : parser.isSet(text) ? 2 : 1;
    }
    if (message.MessageName.trimmed().isEmpty() || message.MessageName.size() > MaxNameLength) {
        ctx.err << "A message name has 1 to " << MaxNameLength << " characters." << Qt::endl;
        return ExitFailed;
    }
    if (const QString refusal = NameRefusal(QStringLiteral("message name"), message.MessageName);
        !refusal.isEmpty()) {
        ctx.err << refusal << Qt::endl;
        return ExitFailed;
    }
    if (!MessageStore::IsValidMessageName(message.MessageName)) {
        ctx.err << MessageStore::invalidNameText() << Qt::endl;
        return ExitFailed;
    }
    for (const QString& input : parser.values(text) + parser.values(html) + parser.values(attach))
        if (refuseIrregularFile(ctx, input))
            return ExitFailed;
    if (!ctx.start())
        return ExitFailed;
    if ((parser.isSet(text) && !readUtf8(ctx, parser.value(text), message.MessageText)) ||
        (parser.isSet(html) && !readUtf8(ctx, parser.value(html), message.HTMLText)))
        return ExitFailed;
    QStringList attachments;
    for (const QString& given : parser.values(attach)) {
        QString stored;
        if (!attachmentPath(ctx, given, stored))
            return ExitFailed;
        attachments << stored;
    }
    message.Attachments = attachments.join(u';');
    message.From = parser.value(from);
    if (parser.isSet(list)) {
        message.MailingList = parser.value(list);
        if (DataTank::GetListPath(message.MailingList).isEmpty()) {
            ctx.err << "No list named " << message.MailingList << " is registered." << Qt::endl;
            return ExitFailed;
        }
    }
    message.GreetingDisplay = SetToAddressDisplay(SetGreetingManagerDefaultValues());
    db::DbError error;
    if (!MessageStore::ImportMessage(message, &error)) {
        ctx.err << "The message could not be saved: " << sentence(error.text) << "." << Qt::endl;
        return ExitFailed;
    }
    ctx.out << "Message " << message.MessageName << " saved." << Qt::endl;
    return ExitOk;
}

int runShow(CommandContext& ctx, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The message's name."));
    if (!parseCommandOptions(parser, arguments, ctx, true))
        return ExitUsage;
    if (parser.positionalArguments().size() != 1) {
        ctx.err << "Give one message name." << Qt::endl;
        return ExitUsage;
    }
    if (!ctx.start())
        return ExitFailed;
    db::DbError error;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    db::Statement row = central.prepare(
        QStringLiteral("SELECT * FROM \"Message\" WHERE \"MessageName\" = ? ORDER BY rowid LIMIT 1"), &error);
    if (!row.isValid()) {
        ctx.err << "The messages cannot be read: " << sentence(error.text) << "." << Qt::endl;
        return ExitFailed;
    }
    row.bind(1, parser.positionalArguments().first());
    if (!row.next()) {
        ctx.err << "No message named " << parser.positionalArguments().first() << "." << Qt::endl;
        return ExitFailed;
    }
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    for (int i = 0; i < row.columnCount(); ++i) {
        const QString value = row.text(i);
        if (!value.contains(u'\n') && !value.contains(u'\r')) {
            ctx.out << row.columnName(i) << ": " << value << Qt::endl;
            continue;
        }
        // A text of several lines follows its name, each line indented.
        ctx.out << row.columnName(i) << ":" << Qt::endl;
        for (const QString& line : value.split(lineBreak))
            ctx.out << "    " << line << Qt::endl;
    }
    return ExitOk;
}

int runMessage(CommandContext& ctx, const QStringList& arguments) {
    const QString verb = arguments.value(1);
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tamberlyn message ") + verb);
    if (verb == QLatin1StringView("import"))
        return runImport(ctx, rest);
    if (verb == QLatin1StringView("show"))
        return runShow(ctx, rest);
    ctx.err << "Use tamberlyn message import --name NAME --subject TEXT [--type 0|1|2] [--text FILE] "
               "[--html FILE] [--attach FILE]... [--from TEXT] [--list LIST], or tamberlyn message show NAME."
            << Qt::endl;
    return ExitUsage;
}

} // namespace

QList<Command> messageCommands() {
    return {
        {"message", "Import a message from files (message import ...) or print one (message show NAME).",
         runMessage},
    };
}
