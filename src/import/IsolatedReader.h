#pragma once

#include "import/SourceReader.h"

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QStringList>
#include <memory>

// Readers that hand the file to a third-party C library (Paradox, Access, Excel .xls) run in a child
// process: a crash, a hang or runaway memory in the library ends the child, never the program. The child
// is this program started with an internal command; it opens the file with the in-process reader and
// streams tables, fields and rows back over its standard output.
namespace importer {

// The reader a family uses in this process; the child's reader, and the one for the families that do not
// need a child (null for Btrieve and unknown types).
std::unique_ptr<SourceReader> createInProcessReader(const SourceType& type, const QString& path);

class IsolatedReader : public SourceReader {
public:
    explicit IsolatedReader(SourceType type);
    ~IsolatedReader() override;

    bool open(const QString& path) override;
    QStringList tables() const override { return tables_; }
    QList<SourceField> fields(const QString& table) override;
    bool beginRows(const QString& table) override;
    ReadResult nextRow(SourceRow& row) override;
    qint64 rowCountHint() const override { return rowCountHint_; }

    // The program started as the child: this executable unless set (tests set the built program).
    static void setProgram(const QString& path);
    // How long the child may go without sending anything before it is ended (10 s).
    static void setProgressTimeout(int milliseconds);
    // How much memory the child may hold before it is ended (1 GiB).
    static void setMemoryLimit(qint64 bytes);

    struct Frame {
        char kind = 0;
        QByteArray payload;
    };

private:
    bool send(const QByteArray& command);
    // The next frame from the child, warnings taken in on the way; false (with the error set and the
    // child ended) when the child crashed, hung, or sent something that is not a frame.
    bool receive(Frame& frame);
    // Reads to the end of a batch of rows that is still coming, so that the next answer is the next
    // command's.
    bool drainBatch();
    bool broken(const QString& text);

    SourceType type_;
    std::unique_ptr<QProcess> child_;
    QByteArray buffer_; // what the child sent, read up to bufferPos_
    qsizetype bufferPos_ = 0;
    QStringList tables_;
    QHash<QString, QList<SourceField>> fields_;
    qint64 rowCountHint_ = -1;
    bool batchOpen_ = false; // rows were asked for and the batch has not ended
    bool rowsEnded_ = false;
};

// The internal command that starts a child, and its main: arguments are the source type's code and the
// file; commands come on standard input, frames go to standard output.
QString isolatedReaderCommand();
int runIsolatedReader(const QStringList& arguments);

} // namespace importer
