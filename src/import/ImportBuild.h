#pragma once

#include "core/Prompter.h"
#include "import/ImportEngine.h"

#include <QObject>
#include <memory>

// One build of the import wizard: ACT! files go through ActImport, every other type through an ImportJob
// in slices on the event loop. progress() and finished() report; result() holds the answer.
namespace importer {

class ActImport;

// The list columns the kept fields become for a source type (ACT! renames its fields its own way).
QStringList keptColumnNames(const SourceType& type, const QStringList& fieldNames);
// The patterns of the wizard's file list: the type's own, and the newer workbook format for Excel.
QStringList fileListPatterns(const SourceType& type);
// The field a type fills the e-mail tray with before the user chooses one; empty for most types.
QString presetEmailField(const SourceType& type, const QList<SourceField>& fields);
// What the wizard says when a filter leaves no record to import.
QString noMatchingRecordsText();
// The summary as the lines of a two-column report: what, and how many (or the note's text).
QStringList summaryColumns();
QList<QStringList> summaryRows(const ImportSummary& summary);

// Removes a built list that nobody took, with its list of the records without an address.
void discardResult(const ImportResult& result);

class ImportBuild : public QObject {
    Q_OBJECT
public:
    ImportBuild(ImportRequest request, Prompter& prompter, QObject* parent = nullptr);
    ~ImportBuild() override;

    void start();
    // Stops after the current record, keeping what was imported.
    void interrupt();
    // Stops and removes what was written; finished() follows at once.
    void discard();
    bool isRunning() const { return running_; }
    // Records per slice of the event loop.
    void setSliceSize(int records);
    const ImportResult& result() const { return result_; }

Q_SIGNALS:
    void progress(importer::ImportJob::Stage stage, qint64 done, qint64 total);
    void finished();

private:
    void copyActSlice();
    void done();

    ImportRequest request_;
    Prompter& prompter_;
    std::unique_ptr<ImportJob> job_;
    std::unique_ptr<ActImport> act_;
    ImportResult result_;
    bool running_ = false;
    bool interruptRequested_ = false;
    int sliceSize_ = 500;
};

} // namespace importer
