#include "harvest/EmailParser.h"

#include "core/AppInfo.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "util/FileNameObject.h"
#include "util/StringFunctionsObject.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace {

// A comma that separates addresses; one inside a quoted display name ("Berg, Ann") does not.
bool hasSeparatingComma(QStringView line) {
    bool quoted = false;
    for (const QChar c : line) {
        if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            return true;
    }
    return false;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QByteArrayView trimmedBytes(QByteArrayView bytes) {
    while (!bytes.isEmpty() && (bytes.back() == ' ' || bytes.back() == '\t'))
        bytes.chop(1);
    while (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.front() == '\t'))
        bytes = bytes.sliced(1);
    return bytes;
}

// Blanks and tabs off both ends, in place, so a long line is not copied.
void trimBlanks(QString& line) {
    qsizetype end = line.size();
    while (end > 0 && isBlank(line.at(end - 1)))
        --end;
    qsizetype start = 0;
    while (start < end && isBlank(line.at(start)))
        ++start;
    if (end < line.size())
        line.truncate(end);
    if (start > 0)
        line.remove(0, start);
}

bool isPmmFile(const QString& path) {
    return path.contains(QLatin1String(".pmm"), Qt::CaseInsensitive);
}

// A .pmm file holds NUL and end-of-file characters between its records: a copy with those made blanks
// and CR LF line breaks is scanned instead. The copy goes to the temp folder, never beside the user's file.
QString reformatPmm(const QString& source) {
    QString folder = appFolders().TempFolder;
    if (folder.isEmpty())
        folder = QDir::tempPath() + u'/';
    const QString name = QFileInfo(QDir::fromNativeSeparators(source)).fileName();
    const QString target =
        folder + name.left(std::max<qsizetype>(name.size() - 4, 0)) + QStringLiteral("_Reformat");
    QFile::remove(target);
    FileObject in;
    in.setMode(QStringLiteral("binary"));
    if (in.OpenFile(source) == 0)
        return {};
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    for (QString line = in.Readline(); line != FileObject::EndOfFile() || !in.atEndOfFile();
         line = in.Readline()) {
        line.replace(QChar(u'\0'), QChar(u' '));
        line.replace(QChar(26), QChar(u' '));
        out.write(line.toUtf8());
        out.write("\r\n", 2);
    }
    in.closefile();
    if (!out.flush()) {
        out.remove();
        return {};
    }
    return target;
}

} // namespace

EmailParser::EmailParser(DataTank& target, Prompter& prompter, QObject* parent)
    : QObject(parent), target_(target), prompter_(prompter) {
    reader_.setSegmentSize(65536);
    dateStamp_ = generalDateText(QDateTime::currentDateTime());
}

EmailParser::~EmailParser() {
    if (file_)
        file_->closefile();
    if (!reformatted_.isEmpty())
        QFile::remove(reformatted_);
}

void EmailParser::setNameMode(NameMode mode) {
    nameMode_ = mode;
    askIfAmbigous_ = mode == NameMode::AskMe;
}

void EmailParser::setKeywords(const QString& keyword1, const QString& keyword2) {
    keyword1_ = keyword1;
    keyword2_ = keyword2;
}

void EmailParser::SetFLName(const QString& firstName, const QString& lastName) {
    firstName_ = firstName;
    lastName_ = lastName;
}

// ---- One address ----

EmailParser::Examined EmailParser::examine(QStringView text, qsizetype& position) {
    const mdlParser::Located found = mdlParser::locateCandidate(text, position);
    if (found.status != mdlParser::Located::Status::Found)
        return Examined::Nothing;
    // An address written before passed the validity test, which letter case does not change.
    const bool repeat = written_.contains(found.address);
    if (!repeat && !IsValidEmailAddress(found.address))
        return Examined::Nothing;
    // A Message-Id names a message, not a person: checked on the line itself, so no name mode lets it by.
    if (mdlParser::isMessageIdLine(text)) {
        position = 0;
        return Examined::Nothing;
    }
    firstName_ = QStringLiteral("not_found");
    lastName_.clear();
    // A repeat of an address this parser wrote would be refused by the list: it is counted without being
    // named or written again. Only a text that could make a Message-Id name goes the whole way.
    if (repeat && !mdlParser::containsAsciiNoCase(text, QLatin1StringView("message-id"))) {
        state_ = DataTank::CommitRefused;
        lastAddress_ = found.address;
        ++found_;
        Q_EMIT EmailAddressFound();
        return Examined::Found;
    }
    if (nameMode_ != NameMode::NoNames) {
        const mdlParser::NameGuess guess =
            mdlParser::ParseFirstLastName(text, found.start, found.end, found.angleBracket, found.delimiterAt,
                                          found.userName, rule_ == LineRule::FirstAddress);
        firstName_ = guess.firstName;
        lastName_ = guess.lastName;
        // An address the list already holds would be refused: its name is not worth a question.
        if (guess.doubt != mdlParser::Doubt::None && askIfAmbigous_ && asker_ &&
            !target_.GetTargetRecord(found.address)) {
            const NameQuestion question{mdlParser::doubtMessage(guess.doubt), found.address,
                                        mdlParser::removeTitle(text.toString()),
                                        guess.found() ? guess.firstName : QString(), guess.lastName};
            const std::optional<NameAnswer> answer = asker_(question);
            if (!answer) {
                pending_ = question;
                pendingAddress_ = found.address;
                return Examined::Waiting;
            }
            applyAnswer(*answer);
        }
    }
    if (!finishAddress(found.address)) {
        position = 0;
        return Examined::Nothing;
    }
    return Examined::Found;
}

bool EmailParser::finishAddress(const QString& address) {
    if (mdlParser::containsAsciiNoCase(firstName_, QLatin1StringView("message-id")))
        return false;
    state_ = target_.CommitTargetRecord(address, firstName_, lastName_, keyword1_, keyword2_, dateStamp_, {});
    lastAddress_ = address;
    ++found_;
    if (state_ == DataTank::CommitOk) {
        written_.insert(address);
        ++rowsWritten_;
        Q_EMIT rowCountChanged(rowsWritten_);
    }
    Q_EMIT EmailAddressFound();
    return true;
}

void EmailParser::applyAnswer(const NameAnswer& answer) {
    switch (answer.choice) {
    case NameAnswer::Choice::UseBestGuessOn:
        askIfAmbigous_ = false;
        [[fallthrough]];
    case NameAnswer::Choice::Confirm:
        firstName_ = answer.firstName;
        lastName_ = answer.lastName;
        break;
    case NameAnswer::Choice::NotFound:
        firstName_.clear();
        lastName_.clear();
        break;
    }
}

void EmailParser::answerQuestion(const NameAnswer& answer) {
    if (!pending_)
        return;
    pending_.reset();
    applyAnswer(answer);
    finishAddress(pendingAddress_);
}

void EmailParser::answerWithBestGuess() {
    if (!pending_)
        return;
    pending_.reset();
    finishAddress(pendingAddress_);
}

QString EmailParser::parseEmailAddress(const QString& text, qsizetype& position, qint16& state) {
    const int before = found_;
    if (examine(text, position) == Examined::Waiting) {
        answerWithBestGuess();
        if (found_ == before)
            position = 0;
    }
    state = state_;
    return found_ != before ? lastAddress_ : QString();
}

int EmailParser::getMultipleAddress(const QString& text, QStringList* pieces) {
    int looked = 0;
    for (const QStringView piece : mdlParser::splitAddressPieces(text)) {
        const QString part = piece.toString();
        if (pieces)
            *pieces << part;
        qsizetype position = 1;
        qint16 state = 0;
        parseEmailAddress(part, position, state);
        if (position != 0)
            ++looked;
    }
    return looked;
}

// ---- Files ----

void EmailParser::connectReader(FileObject& file) {
    disconnectReader();
    readerConnections_ << connect(&file, &FileObject::FileOpened, this, &EmailParser::FileOpened)
                       << connect(&file, &FileObject::FinishedReadingSegment, this,
                                  &EmailParser::FinishedReadingSegment)
                       << connect(&file, &FileObject::SegmentsSet, this, &EmailParser::SegmentsSet)
                       << connect(&file, &FileObject::StartingToReadSegment, this,
                                  &EmailParser::StartingToReadSegment);
}

void EmailParser::disconnectReader() {
    for (const QMetaObject::Connection& connection : std::as_const(readerConnections_))
        disconnect(connection);
    readerConnections_.clear();
}

bool EmailParser::beginScan(FileObject& file, const EmailSrcFileObj& source) {
    if (file_)
        endScan();
    source_ = source;
    rule_ = source.isTextLike()                           ? LineRule::FirstAddress
            : !source.isMailbox()                         ? LineRule::Nothing
            : source.scope == EmailSrcFileObj::Scope::All ? LineRule::EveryAddress
                                                          : LineRule::HeaderLines;
    linesRead_ = 0;
    found_ = 0;
    state_ = 0;
    skippedBlank_ = false;
    inContinuation_ = false;
    texts_.clear();
    textIndex_ = 0;
    pending_.reset();
    dateStamp_ = generalDateText(QDateTime::currentDateTime());

    QString path = file.Filename().isEmpty() ? source.fileName.trimmed() : file.Filename();
    const QString shownName = path;
    Q_EMIT UpdateDescriptor1(QStringLiteral("Input File: ") + shownName +
                             QStringLiteral(", Lines Processed"));
    Q_EMIT UpdateDescriptor2(QStringLiteral("Unique Email Addresses Extracted"));
    Q_EMIT rowCountChanged(rowsWritten_);

    // A FIFO or device would block the first read (the .pmm copy reads before the scan does): only a
    // regular file is scanned.
    if (!FileNameObject::IsRegularFile(path)) {
        prompter_.inform(AppTitle(), unableToOpenText(shownName), Prompter::Icon::Exclamation);
        return false;
    }
    if (isPmmFile(path)) {
        reformatted_ = reformatPmm(path);
        if (!reformatted_.isEmpty())
            path = reformatted_;
    }
    connectReader(file);
    file.setMode(QStringLiteral("binary"));
    // An empty file has nothing to scan: it gets the message that says so, not the one about options.
    if (file.OpenFile(path) == 0 || file.FileSize() == 0) {
        file.closefile();
        disconnectReader();
        if (!reformatted_.isEmpty())
            QFile::remove(reformatted_);
        reformatted_.clear();
        prompter_.inform(AppTitle(), unableToOpenText(shownName), Prompter::Icon::Exclamation);
        return false;
    }
    file_ = &file;
    return true;
}

int EmailParser::endScan() {
    if (file_) {
        file_->closefile();
        file_ = nullptr;
    }
    disconnectReader();
    if (!reformatted_.isEmpty())
        QFile::remove(reformatted_);
    reformatted_.clear();
    pending_.reset();
    texts_.clear();
    textIndex_ = 0;
    Q_EMIT FileLineRead(linesRead_);
    return found_;
}

bool EmailParser::readLine(QString& line) {
    skippedBlank_ = false;
    if (!file_)
        return false;
    QByteArrayView bytes;
    QString text;
    while (true) {
        const FileObject::LineKind kind = file_->ReadLineBytes(bytes, text);
        if (kind == FileObject::LineKind::End)
            return false;
        ++linesRead_;
        if (linesRead_ % 10 == 0)
            Q_EMIT FileLineRead(linesRead_);
        if (kind == FileObject::LineKind::Text) {
            trimBlanks(text);
            if (text.isEmpty()) {
                skippedBlank_ = true;
                continue;
            }
            line = std::move(text);
            return true;
        }
        bytes = trimmedBytes(bytes);
        if (bytes.isEmpty()) {
            skippedBlank_ = true;
            continue;
        }
        if (!worthReading(bytes)) {
            skippedBlank_ = false;
            continue;
        }
        line = decodeSourceText(bytes);
        return true;
    }
}

bool EmailParser::worthReading(QByteArrayView line) {
    if (!planning_)
        return true;
    const bool mayHoldAddress = std::memchr(line.data(), '@', static_cast<size_t>(line.size())) != nullptr;
    if (rule_ == LineRule::FirstAddress || rule_ == LineRule::EveryAddress)
        return mayHoldAddress;
    if (rule_ == LineRule::Nothing)
        return false;
    // Header lines: the same steps as planLine, on the bytes, so most lines are never decoded.
    if (inContinuation_) {
        if (skippedBlank_) {
            inContinuation_ = false;
        } else if (std::memchr(line.data(), ':', static_cast<size_t>(line.size()))) {
            inContinuation_ = false;
            return false;
        } else {
            return true;
        }
    }
    return source_.mayBeChosenHeader(line);
}

QString EmailParser::nextLine() {
    QString line;
    const bool planning = planning_;
    planning_ = false;
    const bool read = readLine(line);
    planning_ = planning;
    return read ? line : FileObject::EndOfFile();
}

void EmailParser::addPieces(QStringView line) {
    if (!line.contains(u','))
        texts_ << line;
    else
        texts_ << mdlParser::splitAddressPieces(line);
}

void EmailParser::planLine(const QString& text) {
    texts_.clear();
    textIndex_ = 0;
    line_ = text; // the texts looked at are views into it
    const QStringView line = line_;
    const bool messageId = mdlParser::isMessageIdLine(line);
    if (rule_ == LineRule::FirstAddress) {
        if (!messageId)
            texts_ << line; // one look per line: its first address
        return;
    }
    if (rule_ == LineRule::Nothing)
        return;
    if (rule_ == LineRule::EveryAddress) {
        if (!messageId)
            addPieces(line);
        return;
    }
    if (inContinuation_) {
        // The empty line that ends a header block ends a continuation too: the body is no header.
        if (skippedBlank_) {
            inContinuation_ = false;
        } else if (line.contains(u':')) {
            inContinuation_ = false;
            return; // the next header, passed over
        } else {
            addPieces(line);
            return;
        }
    }
    if (messageId || !source_.isChosenHeader(line))
        return;
    addPieces(line);
    inContinuation_ = hasSeparatingComma(line);
}

EmailParser::ScanStatus EmailParser::scan(qint64 byteBudget) {
    if (pending_)
        return ScanStatus::WaitingForAnswer;
    if (!file_)
        return ScanStatus::Finished;
    const qint64 start = file_->BytesRead();
    QString next;
    while (true) {
        while (textIndex_ < texts_.size()) {
            qsizetype position = 1;
            if (examine(texts_[textIndex_++], position) == Examined::Waiting)
                return ScanStatus::WaitingForAnswer;
        }
        if (byteBudget > 0 && file_->BytesRead() - start >= byteBudget)
            return ScanStatus::Running;
        if (interrupted_) {
            file_->closefile();
            return ScanStatus::Interrupted;
        }
        if (!readLine(next))
            return ScanStatus::Finished;
        planLine(next);
    }
}

int EmailParser::FileEmailAddressesToISAM2(FileObject& file, const EmailSrcFileObj& source) {
    if (!beginScan(file, source))
        return -1;
    ScanStatus status = ScanStatus::Running;
    do {
        status = scan(0);
        // Nobody can answer while the scan holds on: the best guess stands.
        if (status == ScanStatus::WaitingForAnswer)
            answerWithBestGuess();
    } while (status == ScanStatus::Running || status == ScanStatus::WaitingForAnswer);
    return endScan();
}
