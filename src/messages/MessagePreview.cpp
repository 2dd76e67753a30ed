#include "messages/MessagePreview.h"

#include "core/ErrorLog.h"
#include "db/DataTank.h"
#include "messages/MimeEncoding.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QLatin1StringView CrLf("\r\n");

// The row id goes first, then the list's own columns.
const QString Select = QStringLiteral("SELECT rowid, * FROM \"AddressList\" ");
// Address order, ties (a list without its key may repeat an address) in row order.
const QString Ascending = QStringLiteral(" ORDER BY \"EAddress\", rowid LIMIT 1");
const QString Descending = QStringLiteral(" ORDER BY \"EAddress\" DESC, rowid DESC LIMIT 1");

QString unquoted(const QString& reference) {
    QString path = reference.trimmed();
    if (path.size() >= 2 && (path.front() == u'"' || path.front() == u'\'') && path.back() == path.front())
        path = path.mid(1, path.size() - 2);
    return path;
}

QString merged(const MergeSegments& segments, const RecipientRecord& record, ValueLineBreaks lineBreaks) {
    QString out;
    MergeInto(segments, record, out, lineBreaks);
    return out;
}

} // namespace

QString MessagePreview::noListText() {
    return QStringLiteral("You need a valid list in order to use the preview function.");
}

QString MessagePreview::unknownListText() {
    return QStringLiteral("Please choose a valid list.");
}

QString MessagePreview::missingListText(const QString& path) {
    return QStringLiteral("The addresslist '") + path + QStringLiteral("' could not be found.");
}

QString MessagePreview::noAddressText() {
    return QStringLiteral("There are no Address to preview this message with.");
}

QString MessagePreview::noListName() {
    return QStringLiteral("<no list>");
}

std::unique_ptr<MessagePreview> MessagePreview::open(const MessageRecord& message, int wrapWidth,
                                                     QString* refusal) {
    const auto refuse = [refusal](const QString& text) {
        if (refusal)
            *refusal = text;
        return nullptr;
    };
    const QString listName = message.MailingList.trimmed();
    if (listName.isEmpty() || listName == noListName())
        return refuse(noListText());
    const QString listPath = DataTank::GetListPath(listName);
    if (listPath.isEmpty())
        return refuse(unknownListText());
    const QString path = DataTank::registeredPath(listPath);
    if (!QFileInfo(path).isFile())
        return refuse(missingListText(path));

    std::unique_ptr<MessagePreview> preview(new MessagePreview);
    db::DbError error;
    preview->list_ = db::Database::open(path, db::Database::OpenMode::ReadOnly, &error);
    if (preview->list_.isOpen()) {
        const std::optional<QVariant> count =
            preview->list_.scalar(QStringLiteral("SELECT count(*) FROM \"AddressList\""), {}, &error);
        preview->count_ = count ? count->toLongLong() : 0;
    }
    if (error.isError())
        LogError(QStringLiteral("PreviewMessage in frmMessagePreview"), {error.number, error.text});
    if (preview->count_ == 0)
        return refuse(noAddressText());

    MessagePreview& p = *preview;
    p.first_ = p.list_.prepare(Select + Ascending);
    p.after_ = p.list_.prepare(Select + QStringLiteral("WHERE (\"EAddress\", rowid) > (?1, ?2)") + Ascending);
    p.before_ =
        p.list_.prepare(Select + QStringLiteral("WHERE (\"EAddress\", rowid) < (?1, ?2)") + Descending);
    p.name_ = message.MessageName;
    p.sendType_ = message.SendType;
    p.wrapWidth_ = wrapWidth;
    p.greeting_ = LoadGreetingSettings(message);
    p.htmlGreeting_ = HtmlGreetingTemplate(p.greeting_);

    // The message as the run prepares it: local images become cid: references, then each text is cut
    // at the merge fields of this list.
    QString html = message.HTMLText;
    p.images_ = AssignContentIDs(GetUniqueEntries(GetImages(html)), ContentIdSuffix(QString()));
    Path2CID(html, p.images_);
    const ListFieldSet fields = ListFieldSet::read(p.list_);
    QStringList invalid;
    const MergeDelimiters& delimiters = MergeDelimiters::standard();
    p.subject_ = BuildMessageArray(message.Subject, fields, delimiters, invalid);
    // The text part ends with a line break, as laid out for sending, so that it wraps the same.
    p.text_ =
        BuildMessageArray(MimeEncoding::withCrLf(message.MessageText) + CrLf, fields, delimiters, invalid);
    p.html_ = BuildMessageArray(MimeEncoding::withCrLf(html), fields, delimiters, invalid);

    if (!p.readRow(p.first_))
        return refuse(noAddressText());
    p.position_ = 1;
    p.makeCopy();
    return preview;
}

bool MessagePreview::readRow(db::Statement& statement) {
    if (!statement.next()) {
        if (statement.error().isError())
            LogError(QStringLiteral("PreviewCurrentAddress in frmMessagePreview"),
                     {statement.error().number, statement.error().text});
        statement.reset();
        return false;
    }
    rowId_ = statement.value(0).toLongLong();
    key_ = statement.text(statement.columnIndex(QStringLiteral("EAddress")));
    // Column 0 is the row id; the record holds the list's own columns.
    QStringList columns;
    for (int i = 1; i < statement.columnCount(); ++i)
        columns << statement.columnName(i);
    if (record_.columns() != columns)
        record_.setColumns(columns);
    for (int i = 1; i < statement.columnCount(); ++i)
        record_.setValue(i - 1, statement.text(i));
    statement.reset();
    return true;
}

bool MessagePreview::next() {
    if (position_ >= count_)
        return false;
    after_.bind(1, key_);
    after_.bind(2, rowId_);
    if (!readRow(after_))
        return false;
    ++position_;
    makeCopy();
    return true;
}

bool MessagePreview::previous() {
    if (position_ <= 1)
        return false;
    before_.bind(1, key_);
    before_.bind(2, rowId_);
    if (!readRow(before_))
        return false;
    --position_;
    makeCopy();
    return true;
}

QString MessagePreview::counterText() const {
    return QString::number(position_) + QStringLiteral(" of ") + QString::number(count_);
}

void MessagePreview::makeCopy() {
    PreviewCopy& c = copy_;
    c.address = key_;
    c.to = ToDisplayText(&record_, greeting_, key_);
    c.subject = merged(subject_, record_, ValueLineBreaks::Blank);

    const QString greeting = BuildPersonalGreeting(&record_, greeting_, true);
    // The text part gets the greeting line, the HTML part the filled template, as each format has them.
    const bool textPart = sendType_ == 0 || sendType_ == 2;
    const bool htmlPart = sendType_ == 1 || sendType_ == 2;

    QString text = textPart ? MimeEncoding::withCrLf(greeting) : QString();
    MergeInto(text_, record_, text, ValueLineBreaks::CrLf);
    text = WordWrap(text, wrapWidth_);
    if (text.endsWith(CrLf))
        text.chop(2); // the line break the layout added
    c.text = text;

    c.html = InsertAfterBodyTag(merged(html_, record_, ValueLineBreaks::CrLf),
                                htmlPart ? MimeEncoding::withCrLf(htmlGreeting_.fill(greeting)) : QString());
}

std::optional<QString> MessagePreview::imagePath(const QString& contentId, QString* name) const {
    for (const ImageEntry& entry : images_) {
        if (!entry.ContentId.isEmpty() && entry.ContentId.compare(contentId, Qt::CaseInsensitive) == 0) {
            const QString reference = unquoted(entry.ImagePath);
            if (name)
                *name = reference;
            return ResolveMessageFile(reference);
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> MessagePreview::imageBytes(const QString& contentId, QString* name) const {
    const std::optional<QString> path = imagePath(contentId, name);
    if (!path || path->isEmpty())
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}
