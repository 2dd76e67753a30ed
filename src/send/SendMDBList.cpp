#include "send/SendMDBList.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "core/ErrorLog.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/ListSchema.h"
#include "db/SqlDialect.h"
#include "mailings/MailEvent.h"
#include "mailings/Schedules.h"
#include "send/SendLedger.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

QString noMatchText() {
    return QStringLiteral("No messages were sent because there were no addresses that "
                          "matched the 'Selection Criteria' in this mailing's Delivery Options.\r\n\r\n"
                          "Please review this mailing's Delivery Options before attempting to send.");
}

CurrentError errorOf(const db::DbError& error) {
    return {error.number, error.text};
}

const QString LedgerSchema = QStringLiteral("Ledger");

// The address as the list holds it: trimmed, without the angle brackets added for the server.
QString bareAddress(const QString& address) {
    QString bare = address.trimmed();
    if (bare.startsWith(u'<'))
        bare = bare.mid(1, bare.size() - 2);
    return bare;
}

} // namespace

SendMDBList::SendMDBList(Prompter& prompter) : prompter_(prompter) {}

SendMDBList::~SendMDBList() {
    EndMailingDBSupport();
}

bool SendMDBList::InitMailingDBSupport() {
    OpenTamberlynDB();
    const bool opened = OpenListFiltered();
    GetMessageParams();
    return opened;
}

void SendMDBList::EndMailingDBSupport() {
    CloseList();
    CloseTamberlynDB();
}

void SendMDBList::OpenTamberlynDB() {
    if (central_.isOpen())
        return;
    db::DbError error;
    central_ = CentralDatabase::open(db::Database::OpenMode::ReadOnly, &error);
    if (!central_.isOpen())
        LogError(QStringLiteral("OpenTamberlynDB in SendMDBList"), errorOf(error));
}

void SendMDBList::CloseTamberlynDB() {
    central_.close();
}

bool SendMDBList::resolveListPath() {
    OpenTamberlynDB();
    std::optional<QVariant> path;
    if (central_.isOpen())
        path = central_.scalar(QStringLiteral("SELECT \"ListPath\" FROM \"List\" WHERE \"ListName\" = ?"),
                               {AddrListName});
    listPath_ = DataTank::registeredPath(path && !path->isNull() ? path->toString() : QString());
    return true;
}

bool SendMDBList::openListFiles() {
    CloseList();
    db::DbError error;
    // The marks go through their own connection; the write-ahead log lets them commit while the
    // selection is being stepped on the other one.
    writer_ = db::Database::open(listPath_, db::Database::OpenMode::ReadWrite, &error);
    if (writer_.isOpen()) {
        writer_.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        writer_.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Someone else may hold the list for a moment (another program, a backup): a mark waits for it.
        writer_.exec(QStringLiteral("PRAGMA busy_timeout = ") + QString::number(markBusyTimeoutMs_));
        reader_ = db::Database::open(listPath_, db::Database::OpenMode::ReadOnly, &error);
    }
    if (!reader_.isOpen()) {
        LogError(QStringLiteral("OpenList in SendMDBList"), errorOf(error));
        CloseList();
        return false;
    }
    fields_ = ListFieldSet::read(reader_);
    // The ledger is counted on the marks' connection.
    ledgerAttached_ =
        !ledgerServer_.isEmpty() && writer_.attach(CentralDatabase::path(), LedgerSchema, &error);
    if (!ledgerServer_.isEmpty() && !ledgerAttached_)
        LogError(QStringLiteral("OpenList in SendMDBList: the send ledger cannot be written"),
                 errorOf(error));
    mark_ = writer_.prepare(QStringLiteral("UPDATE ") + db::quoteName(ListSchema::table()) +
                            QStringLiteral(" SET \"Sent\" = ? WHERE ") +
                            db::quoteName(ListSchema::keyColumn()) + QStringLiteral(" = ?"));
    return true;
}

QString SendMDBList::owedMarksPath() const {
    return appFolders().MailingsFolder + QFileInfo(listPath_).fileName() + QStringLiteral(".unmarked");
}

bool SendMDBList::keepOwedMarks(const QStringList& addresses) {
    if (!options_)
        return false;
    QSaveFile file(owedMarksPath());
    QByteArray text;
    if (QFile existing(owedMarksPath()); existing.open(QIODevice::ReadOnly))
        text = existing.readAll();
    for (const QString& address : addresses)
        text += (options_->SentFlag + u'\t' + bareAddress(address) + u'\n').toUtf8();
    const bool kept = file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
    if (!kept)
        LogError(QStringLiteral("keepOwedMarks in SendMDBList"), {1, file.errorString()});
    return kept;
}

// Each line of the file is a flag and an address, as the earlier run would have written them.
bool SendMDBList::writeOwedMarks() {
    owedMarksWritten_ = 0;
    QFile file(owedMarksPath());
    if (!file.exists())
        return true;
    QList<QStringList> marks;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n'))
            if (const QStringList parts = QString::fromUtf8(line).split(u'\t'); parts.size() == 2)
                marks << parts;
        file.close();
    }
    db::DbError error;
    bool written = file.error() == QFileDevice::NoError && writer_.beginTransaction(&error);
    for (qsizetype i = 0; written && i < marks.size(); ++i) {
        mark_.bind(1, marks[i][0]);
        mark_.bind(2, marks[i][1]);
        written = mark_.exec();
        if (!written)
            error = mark_.error();
        mark_.reset();
    }
    if (written && writer_.commit(&error) && file.remove()) {
        owedMarksWritten_ = marks.size();
        return true;
    }
    writer_.rollback();
    LogError(QStringLiteral("writeOwedMarks in SendMDBList"), errorOf(error));
    prompter_.inform(
        AppTitle(),
        QStringLiteral("The sent marks that an earlier run owes to ") + listPath_ +
            QStringLiteral(" could not be written, so nothing was sent: the recipients named in ") +
            owedMarksPath() +
            QStringLiteral(" would get the message twice. Please try again when the list is free."),
        Prompter::Icon::Exclamation);
    return false;
}

bool SendMDBList::runSelection(const Selection& selection) {
    selection_ = selection;
    onlyMarkedLeft_ = false;
    const bool ok = select({});
    firstPending_ = !atEnd_;
    selectionCount_ = ok ? qMax<qint64>(0, countSelected(selection)) : 0;
    if (ok && atEnd_)
        noteOnlyMarkedLeft(selection);
    return ok;
}

qint64 SendMDBList::countSelected(const Selection& selection) {
    QString sql = QStringLiteral("SELECT COUNT(*) FROM \"AddressList\"");
    if (!selection.conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + selection.conditions.join(QStringLiteral(" AND "));
    db::DbError error;
    db::Statement count =
        selection.userQuery ? db::prepareUserQuery(reader_, sql, &error) : reader_.prepare(sql, &error);
    if (!count.isValid())
        return -1;
    count.bindAll(selection.values);
    if (!count.next())
        return -1;
    const qint64 rows = count.value(0).toLongLong();
    return selection.limit >= 0 ? qMin(rows, selection.limit) : rows;
}

void SendMDBList::noteOnlyMarkedLeft(Selection selection) {
    if (!markCondition_ || selection.conditions.isEmpty())
        return;
    selection.conditions.removeLast();
    selection.values.removeLast();
    selection.limit = -1;
    onlyMarkedLeft_ = countSelected(selection) > 0;
}

bool SendMDBList::select(const QVariant& after) {
    const Selection& s = selection_;
    QStringList conditions = s.conditions;
    QVariantList values = s.values;
    qint64 limit = s.limit;
    if (after.isValid()) {
        conditions << (s.byRowId ? QStringLiteral("rowid > ?") : QStringLiteral("\"EAddress\" > ?"));
        values << after;
        if (limit >= 0)
            limit = qMax<qint64>(0, limit - handedOut_);
    } else {
        handedOut_ = 0;
    }
    QString sql = QStringLiteral("SELECT * FROM \"AddressList\"");
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += s.byRowId ? QStringLiteral(" ORDER BY rowid") : QStringLiteral(" ORDER BY \"EAddress\"");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(limit);

    rows_ = db::Statement(); // ends the read of the statement before
    db::DbError error;
    rows_ = s.userQuery ? db::prepareUserQuery(reader_, sql, &error) : reader_.prepare(sql, &error);
    if (!rows_.isValid())
        return false;
    rows_.bindAll(values);
    sinceRestart_ = 0;
    atEnd_ = !rows_.next();
    if (atEnd_) {
        record_ = RecipientRecord();
    } else {
        record_.readFrom(rows_);
        ++handedOut_;
        ++sinceRestart_;
    }
    return !rows_.error().isError();
}

// A statement stepped for the whole run would hold one read of the list for as long, and the marks
// written meanwhile could never be folded back into the file: the log would grow with every mark.
// So the selection is taken up again after the current row every so many rows. In between nothing
// reads the list, so the marks so far are folded into the file there: the log then starts again from
// its beginning instead of growing for the whole run, and closing the list has little left to do
// (unlinking a log of hundreds of megabytes alone held the event loop for a quarter of a second).
bool SendMDBList::continueSelection() {
    QVariant after = record_.value(ListSchema::keyColumn());
    if (selection_.byRowId) {
        after =
            reader_
                .scalar(QStringLiteral("SELECT rowid FROM \"AddressList\" WHERE \"EAddress\" = ?"), {after})
                .value_or(QVariant());
        if (!after.isValid())
            return false;
    }
    rows_ = db::Statement();
    if (writer_.isOpen())
        writer_.exec(QStringLiteral("PRAGMA main.wal_checkpoint(PASSIVE)"));
    return select(after);
}

bool SendMDBList::OpenListFiltered() {
    if (!options_)
        return false;
    bool filtered = false;
    QString filter;
    if (central_.isOpen()) {
        db::Statement profile = central_.prepare(QStringLiteral(
            "SELECT \"bSendFiltered\", \"SQLFilter\" FROM \"Profile\" WHERE \"ProfileName\" = ?"));
        profile.bind(1, MailOptionsName);
        if (profile.next()) {
            filtered = profile.value(0).toInt() != 0;
            filter = filtered ? profile.text(1) : QString();
        }
    }
    if (filter.trimmed().isEmpty())
        return OpenList();

    resolveListPath();
    if (!openListFiles()) {
        prompter_.inform(AppTitle(),
                         QStringLiteral("Cannot find ") + listPath_ +
                             QStringLiteral("\nPlease check that the file exists, or choose another list"),
                         Prompter::Icon::Exclamation);
        return false;
    }
    if (!writeOwedMarks()) {
        CloseList();
        return false;
    }
    QString message;
    const std::optional<db::TranslatedClause> clause = db::translateWhereClause(filter, &message);
    const auto refused = [&](const db::DbError& error) {
        prompter_.inform(AppTitle(),
                         QStringLiteral("In Open List Filtered, Error: ") + QString::number(error.number) +
                             QStringLiteral("  ") + error.text,
                         Prompter::Icon::Exclamation);
        CloseList();
        return false;
    };
    if (!clause)
        return refused({1, message});

    // The filter's statement as the delivery options build it: filter AND (not yet marked), in the
    // table's own order.
    Selection selection;
    selection.conditions << u'(' + clause->sql + u')';
    selection.values = clause->values;
    markCondition_ = options_->bSendInBlocks && options_->bIfNotYetFlagged;
    if (markCondition_) {
        selection.conditions << QStringLiteral("(\"Sent\" <> ? OR \"Sent\" IS NULL)");
        selection.values << options_->SentFlagToCheck;
    }
    if (options_->bSendInBlocks)
        selection.limit = qMax<qint32>(options_->SendBlockSize, 0);
    selection.byRowId = true;
    selection.userQuery = true;
    if (!runSelection(selection)) {
        db::DbError error = rows_.isValid() ? rows_.error() : reader_.lastError();
        return refused(error);
    }
    if (atEnd_) {
        prompter_.inform(QStringLiteral("No Messages Sent"), noMatchText(), Prompter::Icon::Exclamation);
        CloseList();
        return false;
    }
    return true;
}

bool SendMDBList::OpenList() {
    if (!options_)
        return false;
    resolveListPath();
    if (!QFileInfo(listPath_).isFile() || !openListFiles()) {
        prompter_.inform(AppTitle(),
                         QStringLiteral("Cannot find ") + listPath_ +
                             QStringLiteral("\nPlease check that the file exists, or choose another list"),
                         Prompter::Icon::Exclamation);
        return false;
    }
    if (!writeOwedMarks()) {
        CloseList();
        return false;
    }
    Selection selection;
    markCondition_ = options_->bSendInBlocks && options_->bIfNotYetFlagged;
    if (markCondition_) {
        selection.conditions << QStringLiteral("(\"Sent\" <> ? OR \"Sent\" IS NULL)");
        selection.values << options_->SentFlagToCheck;
    }
    if (options_->bSendInBlocks)
        selection.limit = qMax<qint32>(options_->SendBlockSize, 0);
    if (!runSelection(selection)) {
        LogError(QStringLiteral("OpenList in SendMDBList"),
                 errorOf(rows_.isValid() ? rows_.error() : reader_.lastError()));
        CloseList();
        return false;
    }
    if (atEnd_) {
        prompter_.inform(QStringLiteral("No Addresses in List"),
                         QStringLiteral("This List contains no email addresses."),
                         Prompter::Icon::Exclamation);
        CloseList();
        return false;
    }
    return true;
}

void SendMDBList::CloseList() {
    rows_ = db::Statement();
    mark_ = db::Statement();
    reader_.close();
    if (ledgerAttached_) {
        writeCounts();
        writer_.detach(LedgerSchema);
    }
    ledgerAttached_ = false;
    uncounted_.clear();
    countedAt_.invalidate();
    if (writer_.isOpen()) {
        // Leaves the file in its usual journal mode, with the log folded back in.
        writer_.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        writer_.close();
    }
    atEnd_ = true;
    firstPending_ = false;
    record_ = RecipientRecord();
}

QString SendMDBList::step(const char* caller) {
    if (!rows_.isValid() || atEnd_)
        return endMarker();
    if (firstPending_) {
        firstPending_ = false;
        return record_.value(ListSchema::keyColumn());
    }
    bool ok = true;
    if (sinceRestart_ >= rereadEvery_) {
        ok = continueSelection();
    } else if (rows_.next()) {
        record_.readFrom(rows_);
        ++handedOut_;
        ++sinceRestart_;
    } else {
        atEnd_ = true;
        ok = !rows_.error().isError();
    }
    if (!ok)
        LogError(QString::fromLatin1(caller) + QStringLiteral(" In SendMDBList"),
                 errorOf(rows_.isValid() ? rows_.error() : reader_.lastError()));
    if (!ok || atEnd_) {
        atEnd_ = true;
        record_ = RecipientRecord();
        return endMarker();
    }
    return record_.value(ListSchema::keyColumn());
}

QString SendMDBList::GetFirstAddr() {
    if (!reader_.isOpen())
        return endMarker();
    if (!firstPending_) {
        select({});
        firstPending_ = !atEnd_;
    }
    return step("GetFirstAddr");
}

QString SendMDBList::GetNextAddr() {
    return step("GetNextAddr");
}

void SendMDBList::PositionToAddress(const QString& address) {
    for (QString current = GetFirstAddr(); current != endMarker(); current = GetNextAddr()) {
        if (current.compare(address, Qt::CaseInsensitive) == 0)
            return;
    }
}

QString SendMDBList::CheckSentField() const {
    return record_.value(QStringLiteral("Sent"));
}

bool SendMDBList::UpdateSuccessfulSentFlag(const QString& address) {
    if (!mark_.isValid() || !options_) {
        LogError(QStringLiteral("UpdateSuccessfulSentFlag in SendMDBList"),
                 {1, QStringLiteral("The list is not open for marking.")});
        return false;
    }
    mark_.bind(1, options_->SentFlag);
    mark_.bind(2, bareAddress(address));
    const bool marked = mark_.exec();
    if (!marked)
        LogError(QStringLiteral("UpdateSuccessfulSentFlag in SendMDBList"), errorOf(mark_.error()));
    mark_.reset();
    return marked;
}

bool SendMDBList::UpdateSuccessfulSentFlags(const QStringList& addresses) {
    if (addresses.size() < 2 || !writer_.isOpen()) {
        bool marked = true;
        for (const QString& address : addresses)
            marked = UpdateSuccessfulSentFlag(address) && marked;
        return marked;
    }
    db::DbError error;
    if (!writer_.beginTransaction(&error)) {
        LogError(QStringLiteral("UpdateSuccessfulSentFlag in SendMDBList"), errorOf(error));
        return false;
    }
    bool marked = true;
    for (const QString& address : addresses)
        marked = marked && UpdateSuccessfulSentFlag(address);
    if (marked && writer_.commit(&error))
        return true;
    if (error.isError())
        LogError(QStringLiteral("UpdateSuccessfulSentFlag in SendMDBList"), errorOf(error));
    writer_.rollback();
    return false;
}

bool SendMDBList::recordSent(const QStringList& marks, qint64 accepted) {
    const bool marked = UpdateSuccessfulSentFlags(marks);
    // The server accepted them whether or not their marks could be written: they count either way.
    if (ledgerAttached_ && accepted > 0) {
        uncounted_[SendLedger::hourOf(Schedules::now())] += accepted;
        if (!countedAt_.isValid() || countedAt_.hasExpired(ledgerIntervalMs_))
            writeCounts();
    }
    return marked;
}

bool SendMDBList::addUncounted(db::DbError* error) {
    for (auto it = uncounted_.cbegin(); it != uncounted_.cend(); ++it) {
        if (!SendLedger::add(writer_, LedgerSchema, ledgerServer_, it.key(), it.value(), error))
            return false;
    }
    return true;
}

qint64 SendMDBList::uncountedSent() const {
    qint64 sum = 0;
    for (const qint64 count : uncounted_)
        sum += count;
    return sum;
}

bool SendMDBList::writeCounts() {
    if (!ledgerAttached_ || uncounted_.isEmpty())
        return true;
    countedAt_.start();
    db::DbError error;
    if (writer_.beginTransaction(&error) && addUncounted(&error) && writer_.commit(&error)) {
        uncounted_.clear();
        return true;
    }
    writer_.rollback();
    // The counts are kept and tried again; if they are lost in the end, that only lets a limit pass.
    LogError(QStringLiteral("writeCounts in SendMDBList: the send ledger was not counted"), errorOf(error));
    return false;
}

void SendMDBList::GetMessageParams() {
    message_.reset();
    if (MsgName.isEmpty()) {
        prompter_.inform(
            AppTitle(),
            QStringLiteral("The message name was blank. Please recreate your mailing and try again."));
        return;
    }
    message_ = MessageStore::ReadMessage(MsgName);
    if (!message_)
        prompter_.inform(AppTitle(), QStringLiteral("Tamberlyn was unable to find the Message ") + MsgName +
                                         QStringLiteral("  Please recreate ") +
                                         QStringLiteral("your mailing and try again."));
}

QString SendMDBList::GetAttachmentsString() const {
    return message_ ? message_->Attachments.trimmed() : QString();
}

QString SendMDBList::GetSubject() const {
    return message_ ? message_->Subject : QString();
}

QString SendMDBList::GetMsgText() const {
    return message_ ? message_->MessageText : QString();
}

QString SendMDBList::getHTMLText() const {
    return message_ ? message_->HTMLText : QString();
}

qint16 SendMDBList::getMessageType() const {
    return message_ ? qint16(message_->SendType) : 0;
}

bool SendMDBList::CheckIfPersonalizedToAddress() const {
    return message_ && message_->AddressType == 1;
}

QString SendMDBList::GetPersonalName(const GreetingSettings& greeting) const {
    return ToDisplayText(record_.isEmpty() ? nullptr : &record_, greeting,
                         record_.value(ListSchema::keyColumn()));
}

QString SendMDBList::GetGroupToAddress() const {
    return message_ ? message_->GroupAddress : QString();
}
