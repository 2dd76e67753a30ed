#include "import/ImportBuild.h"

#include "import/ActImport.h"

#include <QFile>
#include <QTimer>

namespace importer {

QStringList keptColumnNames(const SourceType& type, const QStringList& fieldNames) {
    if (type.family != SourceFamily::ActContacts)
        return userColumnNames(fieldNames);
    QStringList columns;
    for (const QString& field : fieldNames)
        columns << ValidateFieldName(field);
    return columns;
}

QStringList fileListPatterns(const SourceType& type) {
    QStringList patterns = type.patterns();
    if (type.family == SourceFamily::Excel)
        patterns << QStringLiteral("*.xlsx");
    return patterns;
}

QString presetEmailField(const SourceType& type, const QList<SourceField>& fields) {
    if (type.family != SourceFamily::GoldMine)
        return {};
    const int index = fieldIndex(fields, QStringLiteral("CONTSUPREF"));
    return index < 0 ? QString() : fields.at(index).name;
}

QString noMatchingRecordsText() {
    return QStringLiteral("There were no records satisfying your selection parameters");
}

QStringList summaryColumns() {
    return {QStringLiteral("Item"), QStringLiteral("Result")};
}

QList<QStringList> summaryRows(const ImportSummary& summary) {
    QList<QStringList> rows;
    for (const QString& line : summary.text().split(u'\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        rows << (colon < 0 ? QStringList{line, QString()}
                           : QStringList{line.left(colon), line.mid(colon + 2)});
    }
    return rows;
}

void discardResult(const ImportResult& result) {
    if (!result.succeeded())
        return;
    QFile::remove(result.listPath);
    if (!result.nullEntries.newListPath.isEmpty())
        QFile::remove(result.nullEntries.newListPath);
}

ImportBuild::ImportBuild(ImportRequest request, Prompter& prompter, QObject* parent)
    : QObject(parent), request_(std::move(request)), prompter_(prompter) {}

ImportBuild::~ImportBuild() = default;

void ImportBuild::start() {
    if (running_)
        return;
    running_ = true;
    result_ = {};
    interruptRequested_ = false;
    if (request_.type.family == SourceFamily::ActContacts) {
        // After the window has shown that it started.
        QTimer::singleShot(0, this, [this] {
            if (!running_)
                return; // discarded before it began
            act_ = std::make_unique<ActImport>(prompter_);
            if (!act_->begin(request_)) {
                result_ = act_->finish();
                done();
                return;
            }
            copyActSlice();
        });
        return;
    }
    job_ = std::make_unique<ImportJob>(request_, prompter_);
    job_->setSliceSize(sliceSize_);
    connect(job_.get(), &ImportJob::progress, this, &ImportBuild::progress);
    connect(job_.get(), &ImportJob::finished, this, [this] {
        result_ = job_->result();
        done();
    });
    job_->start();
}

void ImportBuild::copyActSlice() {
    QTimer::singleShot(0, this, [this] {
        if (!act_)
            return; // discarded
        const bool more = !interruptRequested_ && act_->copy(sliceSize_);
        Q_EMIT progress(ImportJob::Stage::Copying, act_->recordsCopied(), act_->recordsTotal());
        if (more) {
            copyActSlice();
            return;
        }
        result_ = act_->finish();
        done();
    });
}

void ImportBuild::setSliceSize(int records) {
    sliceSize_ = qMax(1, records);
}

void ImportBuild::interrupt() {
    interruptRequested_ = true;
    if (job_)
        job_->interrupt();
}

void ImportBuild::discard() {
    if (!running_)
        return;
    interruptRequested_ = true;
    if (job_) {
        job_->discard(); // finished comes through the job
        return;
    }
    act_.reset(); // an unfinished ACT! import takes its list with it
    result_.listPath = QStringLiteral("<Cancel");
    done();
}

void ImportBuild::done() {
    running_ = false;
    act_.reset();
    if (job_)
        job_.release()->deleteLater(); // it is still on the stack of its own signal
    Q_EMIT finished();
}

} // namespace importer
