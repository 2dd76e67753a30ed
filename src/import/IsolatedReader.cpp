#include "import/IsolatedReader.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

// AddressSanitizer reserves terabytes of address space up front, so an address-space limit cannot apply
// to a sanitized build.
#if defined(__SANITIZE_ADDRESS__)
#define TAMBERLYN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMBERLYN_ADDRESS_SANITIZER 1
#endif
#endif

namespace importer {

// A field list as frames carry it.
static QDataStream& operator<<(QDataStream& stream, const QList<SourceField>& fields) {
    stream << qint32(fields.size());
    for (const SourceField& field : fields)
        stream << field.name << qint32(field.kind) << field.typeName << qint32(field.size);
    return stream;
}

static QDataStream& operator>>(QDataStream& stream, QList<SourceField>& fields) {
    qint32 count = 0;
    stream >> count;
    for (qint32 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        SourceField field;
        qint32 kind = 0;
        qint32 size = 0;
        stream >> field.name >> kind >> field.typeName >> size;
        field.kind = FieldKind(qBound(0, int(kind), int(FieldKind::Binary)));
        field.size = size;
        fields.append(field);
    }
    return stream;
}

namespace {

QString programPath;
int progressTimeout = 10000;
qint64 memoryLimit = qint64(1) << 30;

constexpr rlim_t ChildMemoryLimit = rlim_t(1) << 30;
constexpr int MemoryCheckMilliseconds = 100;
constexpr int RowsPerBatch = 500;
constexpr quint32 MaxFrameBytes = 1u << 30;
constexpr int HeaderBytes = 5; // kind, then the payload's length (4 bytes, little-endian)

// Frames, both ways: a kind letter and a payload written with QDataStream.
// From the child: 'T' tables, 'F' fields, 'K' rows begun (with the row count hint), 'R' row, 'B' end of a
// batch, 'Z' no more rows, 'E' error text, 'W' warnings. To the child: 'f' fields of a table, 'r' begin
// the rows of a table, 'm' the next batch of rows.
template <typename... Values> QByteArray frame(char kind, const Values&... values) {
    QByteArray payload;
    {
        QDataStream stream(&payload, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_0);
        if constexpr (sizeof...(values) > 0)
            (stream << ... << values);
    }
    QByteArray bytes;
    bytes.reserve(HeaderBytes + payload.size());
    bytes.append(kind);
    const quint32 size = quint32(payload.size());
    for (int i = 0; i < 4; ++i)
        bytes.append(char((size >> (8 * i)) & 0xFF));
    return bytes + payload;
}

quint32 payloadSize(const char* header) {
    const auto* u = reinterpret_cast<const unsigned char*>(header);
    return quint32(u[1]) | (quint32(u[2]) << 8) | (quint32(u[3]) << 16) | (quint32(u[4]) << 24);
}

template <typename... Values> bool readPayload(const QByteArray& payload, Values&... values) {
    QDataStream stream(payload);
    stream.setVersion(QDataStream::Qt_6_0);
    (stream >> ... >> values);
    return stream.status() == QDataStream::Ok;
}

// The memory a process holds (its resident set); 0 when it cannot be told.
qint64 residentBytes(qint64 pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> pages = statm.readLine().split(' ');
    return pages.size() > 1 ? pages.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

QString decodeText(const QByteArray& payload) {
    QString text;
    readPayload(payload, text);
    return text;
}

} // namespace

// ---- The parent's side ----

IsolatedReader::IsolatedReader(SourceType type) : type_(std::move(type)) {}

IsolatedReader::~IsolatedReader() {
    if (child_) {
        child_->kill();
        child_->waitForFinished();
    }
}

void IsolatedReader::setProgram(const QString& path) {
    programPath = path;
}

void IsolatedReader::setProgressTimeout(int milliseconds) {
    progressTimeout = milliseconds;
}

void IsolatedReader::setMemoryLimit(qint64 bytes) {
    memoryLimit = bytes;
}

bool IsolatedReader::broken(const QString& text) {
    if (child_) {
        child_->kill();
        child_->waitForFinished();
        child_.reset();
    }
    tables_.clear();
    fields_.clear();
    buffer_.clear();
    bufferPos_ = 0;
    batchOpen_ = false;
    return fail(text);
}

bool IsolatedReader::open(const QString& path) {
    clearError();
    broken(QString());
    clearError();
    rowCountHint_ = -1;
    child_ = std::make_unique<QProcess>();
    child_->setProgram(programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath);
    child_->setArguments({isolatedReaderCommand(), type_.code, path});
    child_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child_->start();
    if (!child_->waitForStarted(progressTimeout))
        return broken(QStringLiteral("the reader process cannot be started: ") + child_->errorString());
    Frame answer;
    if (!receive(answer))
        return false;
    if (answer.kind == 'T') {
        if (readPayload(answer.payload, tables_))
            return true;
        return broken(QStringLiteral("the reader process sent a damaged answer"));
    }
    const QString error = answer.kind == 'E' ? decodeText(answer.payload) : QStringLiteral("no tables");
    return broken(error);
}

bool IsolatedReader::send(const QByteArray& command) {
    if (!child_ || child_->state() != QProcess::Running)
        return broken(QStringLiteral("the reader process has ended"));
    child_->write(command);
    while (child_->bytesToWrite() > 0)
        if (!child_->waitForBytesWritten(progressTimeout))
            return broken(QStringLiteral("the reader process takes no more commands"));
    return true;
}

bool IsolatedReader::receive(Frame& frame) {
    if (!child_)
        return false;
    QElapsedTimer idle;
    idle.start();
    for (;;) {
        const qsizetype available = buffer_.size() - bufferPos_;
        if (available >= HeaderBytes) {
            const quint32 size = payloadSize(buffer_.constData() + bufferPos_);
            if (size > MaxFrameBytes)
                return broken(QStringLiteral("the reader process sent a damaged answer"));
            if (available >= HeaderBytes + qsizetype(size)) {
                frame.kind = buffer_.at(bufferPos_);
                frame.payload = buffer_.mid(bufferPos_ + HeaderBytes, size);
                bufferPos_ += HeaderBytes + size;
                if (frame.kind != 'W')
                    return true;
                QStringList texts;
                readPayload(frame.payload, texts);
                for (const QString& text : std::as_const(texts))
                    warn(text);
                continue;
            }
        }
        const QByteArray more = child_->readAllStandardOutput();
        if (!more.isEmpty()) {
            // Frames read so far are dropped only when more arrives, not once per frame.
            buffer_.remove(0, bufferPos_);
            bufferPos_ = 0;
            buffer_ += more;
            idle.restart();
            continue;
        }
        if (child_->state() == QProcess::NotRunning) {
            const bool crashed = child_->exitStatus() == QProcess::CrashExit;
            const int code = child_->exitCode();
            return broken(crashed ? QStringLiteral("the reader process crashed")
                                  : QStringLiteral("the reader process ended with code %1").arg(code));
        }
        const qint64 left = progressTimeout - idle.elapsed();
        if (left <= 0)
            return broken(QStringLiteral("the reader process made no progress for %1 ms; it was ended")
                              .arg(progressTimeout));
        // While the child is silent its memory is watched too: the address-space limit it sets itself
        // does not hold in every build.
        child_->waitForReadyRead(int(qMin<qint64>(left, MemoryCheckMilliseconds)));
        if (residentBytes(child_->processId()) > memoryLimit)
            return broken(
                QStringLiteral("the reader process used more than %1 bytes; it was ended").arg(memoryLimit));
    }
}

bool IsolatedReader::drainBatch() {
    Frame answer;
    while (batchOpen_) {
        if (!receive(answer))
            return false;
        if (answer.kind == 'B' || answer.kind == 'Z' || answer.kind == 'E')
            batchOpen_ = false;
    }
    return true;
}

QList<SourceField> IsolatedReader::fields(const QString& table) {
    const auto known = fields_.constFind(table);
    if (known != fields_.constEnd())
        return known.value();
    Frame answer;
    if (!drainBatch() || !send(frame('f', table)) || !receive(answer))
        return {};
    if (answer.kind != 'F') {
        fail(answer.kind == 'E' ? decodeText(answer.payload) : QStringLiteral("no fields"));
        return {};
    }
    QList<SourceField> list;
    if (!readPayload(answer.payload, list)) {
        broken(QStringLiteral("the reader process sent a damaged answer"));
        return {};
    }
    fields_.insert(table, list);
    return list;
}

bool IsolatedReader::beginRows(const QString& table) {
    Frame answer;
    if (!drainBatch() || !send(frame('r', table)) || !receive(answer))
        return false;
    if (answer.kind != 'K')
        return fail(answer.kind == 'E' ? decodeText(answer.payload) : QStringLiteral("no rows"));
    readPayload(answer.payload, rowCountHint_);
    rowsEnded_ = false;
    return true;
}

SourceReader::ReadResult IsolatedReader::nextRow(SourceRow& row) {
    Frame answer;
    for (;;) {
        if (!batchOpen_) {
            if (rowsEnded_)
                return ReadResult::End;
            if (!send(frame('m')))
                return ReadResult::Failed;
            batchOpen_ = true;
        }
        if (!receive(answer))
            return ReadResult::Failed;
        switch (answer.kind) {
        case 'R': {
            row.clear();
            if (!readPayload(answer.payload, row)) {
                broken(QStringLiteral("the reader process sent a damaged row"));
                return ReadResult::Failed;
            }
            return ReadResult::Row;
        }
        case 'B':
            batchOpen_ = false;
            break;
        case 'Z':
            batchOpen_ = false;
            rowsEnded_ = true;
            return ReadResult::End;
        default:
            batchOpen_ = false;
            rowsEnded_ = true;
            fail(answer.kind == 'E' ? decodeText(answer.payload) : QStringLiteral("no rows"));
            return ReadResult::Failed;
        }
    }
}

// ---- The child's side ----

namespace {

// Blocking, unbuffered I/O on the standard streams: the child does nothing else.
bool readExactly(int fd, char* target, size_t length) {
    while (length > 0) {
        const ssize_t done = ::read(fd, target, length);
        if (done <= 0)
            return false;
        target += done;
        length -= size_t(done);
    }
    return true;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    size_t length = size_t(bytes.size());
    while (length > 0) {
        const ssize_t done = ::write(fd, data, length);
        if (done <= 0)
            return false;
        data += done;
        length -= size_t(done);
    }
    return true;
}

// A fault for tests to provoke in the child, from TAMBERLYN_READER_FAULT: "crash@open", "hang@open", or
// "crash@N" / "hang@N" / "grow@N" (memory without end) before the Nth row of a table is sent.
struct FaultHook {
    QByteArray action;
    qint64 row = -1; // 0: at the opening
    explicit FaultHook(const QByteArray& setting) {
        const qsizetype at = setting.indexOf('@');
        if (at <= 0)
            return;
        action = setting.left(at);
        row = setting.mid(at + 1) == "open" ? 0 : setting.mid(at + 1).toLongLong();
    }
    void at(qint64 where) const {
        if (row != where)
            return;
        if (action == "crash")
            std::abort();
        if (action == "hang")
            for (;;)
                ::pause();
        if (action == "grow")
            for (;;) {
                char* block = static_cast<char*>(std::malloc(16 << 20));
                if (block)
                    std::memset(block, 1, 16 << 20);
                ::usleep(10000);
            }
    }
};

void limitResources() {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#ifndef TAMBERLYN_ADDRESS_SANITIZER
    const rlimit memory{ChildMemoryLimit, ChildMemoryLimit};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
}

class ChildSession {
public:
    explicit ChildSession(SourceReader& reader) : reader_(reader) {}

    bool answer(char kind, const QByteArray& payload) {
        QString table;
        readPayload(payload, table);
        switch (kind) {
        case 'f': {
            const QList<SourceField> fields = reader_.fields(table);
            return put(fields.isEmpty() ? frame('E', reader_.errorText()) : frame('F', fields));
        }
        case 'r':
            sent_ = 0;
            if (!reader_.beginRows(table))
                return put(frame('E', reader_.errorText()));
            return put(frame('K', reader_.rowCountHint()));
        case 'm':
            return batch();
        default:
            return false;
        }
    }

    bool put(const QByteArray& bytes) {
        if (reader_.warnings().size() > warningsSent_) {
            warningsSent_ = reader_.warnings().size();
            out_ += frame('W', reader_.warnings());
        }
        out_ += bytes;
        const bool written = writeAll(STDOUT_FILENO, out_);
        out_.clear();
        return written;
    }

    FaultHook fault{qgetenv("TAMBERLYN_READER_FAULT")};

private:
    bool batch() {
        SourceRow row;
        for (int i = 0; i < RowsPerBatch; ++i) {
            const SourceReader::ReadResult result = reader_.nextRow(row);
            if (result == SourceReader::ReadResult::End)
                return put(frame('Z'));
            if (result == SourceReader::ReadResult::Failed)
                return put(frame('E', reader_.errorText()));
            fault.at(++sent_);
            out_ += frame('R', row);
        }
        return put(frame('B'));
    }

    SourceReader& reader_;
    QByteArray out_;
    qsizetype warningsSent_ = 0;
    qint64 sent_ = 0;
};

} // namespace

QString isolatedReaderCommand() {
    return QStringLiteral("--internal-source-reader");
}

int runIsolatedReader(const QStringList& arguments) {
    limitResources();
    if (arguments.size() != 2)
        return 2;
    // A parent that has gone makes writes fail instead of ending the child by a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const QString path = arguments.at(1);
    std::unique_ptr<SourceReader> reader = createInProcessReader(sourceTypeByCode(arguments.at(0)), path);
    if (!reader)
        return 2;
    ChildSession session(*reader);
    session.fault.at(0);
    if (!reader->open(path)) {
        session.put(frame('E', reader->errorText()));
        return 1;
    }
    if (!session.put(frame('T', reader->tables())))
        return 1;
    char header[HeaderBytes];
    while (readExactly(STDIN_FILENO, header, HeaderBytes)) {
        const quint32 size = payloadSize(header);
        if (size > MaxFrameBytes)
            return 1;
        QByteArray payload(qsizetype(size), Qt::Uninitialized);
        if (!readExactly(STDIN_FILENO, payload.data(), size) || !session.answer(header[0], payload))
            return 1;
    }
    return 0; // the parent closed the pipe: done
}

} // namespace importer
