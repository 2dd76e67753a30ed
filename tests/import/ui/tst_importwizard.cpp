#include "../DbfWriter.h"
#include "../FixtureRows.h"
#include "core/AppSettings.h"
#include "core/ui/frmStatus.h"
#include "db/Database.h"
#include "import/IsolatedReader.h"
#include "import/ui/FieldTrays.h"
#include "import/ui/frmDBImportWiz.h"
#include "support/DesktopTest.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace importer;

namespace {

void click(QWidget* parent, const QString& name) {
    child<QAbstractButton>(parent, name)->click();
}

// Chooses the entry with that text in a list box.
bool choose(QWidget* parent, const QString& list, const QString& text) {
    auto* box = child<QListWidget>(parent, list);
    const QList<QListWidgetItem*> found = box->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    box->setCurrentItem(found.first());
    return true;
}

// Drops a field name on a tray as a drag from the field list would.
void dropField(QWidget* tray, const QString& field) {
    QMimeData data;
    data.setText(field);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tray, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tray, &drop);
}

QList<QStringList> rowsOf(const QString& path, const QStringList& columns) {
    QList<QStringList> rows;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    QStringList quoted;
    for (const QString& column : columns)
        quoted << u'"' + column + u'"';
    db::Statement query = list.prepare(QStringLiteral("SELECT ") + quoted.join(u',') +
                                       QStringLiteral(" FROM AddressList ORDER BY rowid"));
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < columns.size(); ++i)
            row << query.text(i);
        rows << row;
    }
    return rows;
}

QStringList fieldNames(QTreeWidget* list) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    return names;
}

} // namespace

class TestImportWizard : public QObject, public DesktopTest {
    Q_OBJECT

    QPointer<frmDBImportWiz> wizard_;

    frmDBImportWiz* openWizard() {
        if (!window->dispatch(QStringLiteral("id_ToolsImportContactDatabase")))
            return nullptr;
        const frmDBImportWiz* previous = wizard_;
        wizard_ = nullptr;
        for (frmDBImportWiz* wizard : window->findChildren<frmDBImportWiz*>())
            if (wizard != previous && wizard->isVisible())
                wizard_ = wizard;
        return wizard_;
    }
    // Type, folder and file, then Next onto the table page.
    bool toTablePage(const QString& code, const QString& file) {
        const SourceType type = sourceTypeByCode(code);
        child<QListWidget>(wizard_, QStringLiteral("lstDBTypes"))->setCurrentRow(type.index);
        if (!wizard_->goNext())
            return false;
        wizard_->setFolder(QFileInfo(file).absolutePath());
        return choose(wizard_, QStringLiteral("filSource"), QFileInfo(file).fileName()) && wizard_->goNext();
    }
    // From the fields page through the filter page to a finished build.
    bool build() {
        if (!wizard_->goNext() || !wizard_->goNext())
            return false;
        click(wizard_, QStringLiteral("cmdBuild"));
        return waitForBuild();
    }

    ImportBuild* runningBuild() const {
        for (ImportBuild* build : wizard_->findChildren<ImportBuild*>())
            if (build->isRunning())
                return build;
        return nullptr;
    }
    bool waitForBuild() {
        ImportBuild* job = runningBuild();
        if (!job)
            return false;
        QSignalSpy done(job, &ImportBuild::finished);
        return done.wait(60000);
    }
    // A source of that many records, one address each: a text file, or an ACT! contact file.
    static QString writeMany(const QTemporaryDir& dir, const QString& code, int count) {
        QFile file;
        if (code == QLatin1String("DBACT4")) {
            QList<dbf::Record> records;
            for (int i = 1; i <= count; ++i)
                records.append({{"person" + QByteArray::number(i) + "@example.org"}});
            file.setFileName(dir.filePath(QStringLiteral("CONTACTS.DBF")));
            if (file.open(QIODevice::WriteOnly))
                file.write(dbf::table(0x03, {{"MAIL", 'C', 30}}, records));
            return file.fileName();
        }
        QByteArray csv = "Mail\n";
        for (int i = 1; i <= count; ++i)
            csv += "person" + QByteArray::number(i) + "@example.org\n";
        file.setFileName(dir.filePath(QStringLiteral("many.csv")));
        if (file.open(QIODevice::WriteOnly))
            file.write(csv);
        return file.fileName();
    }
    // Through the pages with the address field on its tray, and the build started.
    ImportBuild* startBuildOf(const QString& code, const QString& path, const QString& field) {
        if (!toTablePage(code, path))
            return nullptr;
        auto* tables = child<QListWidget>(wizard_, QStringLiteral("lstTables"));
        if (tables->currentRow() < 0)
            tables->setCurrentRow(0);
        if (!wizard_->goNext())
            return nullptr;
        dropField(wizard_->tray(frmDBImportWiz::EmailRole), field);
        if (!wizard_->goNext() || !wizard_->goNext())
            return nullptr;
        click(wizard_, QStringLiteral("cmdBuild"));
        return runningBuild();
    }
    static QStringList tempLists() {
        return QDir(appFolders().TempFolder).entryList({QStringLiteral("*.mdb")});
    }

private Q_SLOTS:
    void initTestCase() { IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE)); }
    void init() {
        QVERIFY(openDesktop());
        QVERIFY(openWizard());
    }
    void cleanup() {
        if (wizard_ && wizard_->isVisible()) {
            home->prompter.answer(Prompter::Answer::Yes);
            wizard_->close();
        }
        closeDesktop();
    }

    void theTypesComeInTheirOrderAndBtrieveIsRefused() {
        auto* types = child<QListWidget>(wizard_, QStringLiteral("lstDBTypes"));
        QCOMPARE(types->count(), 16);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(types->item(i)->text(), sourceTypeAt(i).filterText);
        QCOMPARE(wizard_->windowTitle(), frmWizard::stepCaption(frmDBImportWiz::title(), 1, 6));
        types->setCurrentRow(sourceTypeByCode(QStringLiteral("DBBTRIEVE")).index);
        QVERIFY(!wizard_->goNext());
        QCOMPARE(home->prompter.texts(), QStringList{btrieveUnsupportedText()});
    }

    void eachPageSaysWhatIsMissing() {
        QTemporaryDir dir;
        QFile bad(dir.filePath(QStringLiteral("broken.dbf")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("this is no table");
        bad.close();

        QVERIFY(wizard_->goNext());
        QVERIFY(!wizard_->goNext()); // no file
        wizard_->setFolder(dir.path());
        QVERIFY(choose(wizard_, QStringLiteral("filSource"), QStringLiteral("broken.dbf")));
        QVERIFY(!wizard_->goNext()); // cannot be opened
        QCOMPARE(home->prompter.texts(),
                 (QStringList{ImportText::noSourceFile(), ImportText::invalidFile(bad.fileName())}));

        // An Access file of several tables: one must be chosen.
        wizard_->goBack();
        child<QListWidget>(wizard_, QStringLiteral("lstDBTypes"))->setCurrentRow(0);
        QVERIFY(toTablePage(QStringLiteral("DBACCESS"), fixture::path("access/contacts_jet4/contacts.mdb")));
        QVERIFY(!wizard_->goNext());
        QCOMPARE(home->prompter.texts().last(), ImportText::noSourceTable());
        QVERIFY(choose(wizard_, QStringLiteral("lstTables"), QStringLiteral("Contacts")));
        QVERIFY(wizard_->goNext());
        QVERIFY(!wizard_->goNext()); // no e-mail field
        QCOMPARE(home->prompter.texts().last(), ImportText::noEmailField());
        QCOMPARE(wizard_->currentPage(), int(frmDBImportWiz::FieldsPage));
    }

    void excelSheetsAreTheTablesAndTheSampleIsTheFirstRecord() {
        QVERIFY(toTablePage(QStringLiteral("DBEXCEL5"), fixture::path("excel/workbook/contacts.xlsx")));
        auto* tables = child<QListWidget>(wizard_, QStringLiteral("lstTables"));
        QCOMPARE(tables->count(), 2);
        QCOMPARE(tables->item(0)->text(), QStringLiteral("Contacts$"));
        QCOMPARE(tables->item(1)->text(), QStringLiteral("Suppliers$"));
        QVERIFY(choose(wizard_, QStringLiteral("lstTables"), QStringLiteral("Contacts$")));
        const QList<QStringList> want = fixture::readCsv("excel/workbook/expected_sheet1.csv");
        QVERIFY(choose(wizard_, QStringLiteral("lstTableFields"), QStringLiteral("First Name")));
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblFieldSample"))->text(), want.at(1).at(1));
        auto* preview = child<QTableWidget>(wizard_, QStringLiteral("grdPreview"));
        QCOMPARE(preview->rowCount(), int(want.size() - 1));
        for (int c = 0; c < want.first().size(); ++c)
            QCOMPARE(preview->item(0, c)->text(), want.at(1).at(c));
    }

    void fixturesBuildTheirExpectedRows_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("email");
        QTest::newRow("dBase III memo") << "DBDBASE3"
                                        << "dbase/db3_memo/CONTACTS.DBF"
                                        << "dbase/db3_memo/expected.csv"
                                        << "EMAIL";
        QTest::newRow("Paradox") << "DBPARADOX3"
                                 << "paradox/contacts/CONTACTS.DB"
                                 << "paradox/contacts/expected.csv"
                                 << "Email";
        QTest::newRow("csv 1252") << "DBTEXTFILE"
                                  << "text/cp1252/contacts_ansi.csv"
                                  << "text/cp1252/expected.csv"
                                  << "E-mail";
        QTest::newRow("txt UTF-16") << "DBTEXTFILE"
                                    << "text/utf16_tab/contacts_unicode.txt"
                                    << "text/utf16_tab/expected.csv"
                                    << "E-mail";
    }
    void fixturesBuildTheirExpectedRows() {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QFETCH(QString, email);
        const QList<QStringList> want = fixture::readCsv(expected);
        const QStringList header = want.first();
        QVERIFY(toTablePage(type, fixture::path(file)));
        QVERIFY(wizard_->goNext()); // the only table was chosen
        auto* fields = child<QTreeWidget>(wizard_, QStringLiteral("lstFields"));
        QCOMPARE(fieldNames(fields), header);
        dropField(wizard_->tray(frmDBImportWiz::EmailRole), email);
        dropField(wizard_->tray(frmDBImportWiz::FirstNameRole), header.at(1));
        dropField(wizard_->tray(frmDBImportWiz::LastNameRole), header.at(2));
        // The fields on trays are not kept twice; every other one is checked.
        for (int i = 0; i < fields->topLevelItemCount(); ++i)
            if (!fields->topLevelItem(i)->isDisabled())
                fields->topLevelItem(i)->setCheckState(0, Qt::Checked);
        QCOMPARE(wizard_->fieldRoles().keep.size(), header.size() - 3);
        QVERIFY(build());
        QCOMPARE(child<QLabel>(wizard_, QStringLiteral("lblFinish"))->text(), ImportText::finishHint());

        const ImportResult result = wizard_->result();
        QCOMPARE(result.summary.recordsRead, qint64(12));
        QCOMPARE(result.summary.rowsImported, qint64(10)); // less the case duplicate and the empty address
        const QStringList names = {QStringLiteral("EAddress"), QStringLiteral("FirstName"),
                                   QStringLiteral("LastName")};
        const QList<QStringList> rows = rowsOf(result.listPath, names);
        QCOMPARE(rows.size(), 10);
        const qsizetype emailColumn = header.indexOf(email);
        QCOMPARE(rows.first(), (QStringList{want.at(1).at(emailColumn), want.at(1).at(1), want.at(1).at(2)}));

        wizard_->button(frmWizard::Finish)->click();
        QVERIFY(!wizard_->isVisible());
        QList<frmList*> lists = window->listWindows();
        QCOMPARE(lists.size(), 2);
        QVERIFY(lists[0]->isUnsaved() && lists[1]->isUnsaved());
        QCOMPARE(lists[0]->path(), result.listPath);
        QCOMPARE(lists[1]->caption(), result.nullEntries.caption);
        auto* status = window->findChild<frmStatus*>();
        QVERIFY(status && status->isVisible());
        QCOMPARE(status->windowTitle(), ImportText::summaryTitle());
        QVERIFY(
            !status->view()->findItems(QStringLiteral("Rows in the new list"), Qt::MatchExactly).isEmpty());
        status->close();
    }

    void aFilterFromTheQueryBuilderChoosesTheRecords() {
        QVERIFY(toTablePage(QStringLiteral("DBTEXTFILE"), fixture::path("text/utf8_comma/contacts.csv")));
        QVERIFY(wizard_->goNext());
        dropField(wizard_->tray(frmDBImportWiz::EmailRole), QStringLiteral("E-mail"));
        QVERIFY(wizard_->goNext());
        click(wizard_, QStringLiteral("cmdFilter"));
        frmSQLQuery* query = wizard_->filterDialog();
        QVERIFY(query);
        auto* field = child<QComboBox>(query, QStringLiteral("lstField1_0"));
        field->setCurrentIndex(field->findText(QStringLiteral("First Name")));
        auto* logic = child<QComboBox>(query, QStringLiteral("lstLogic1_0"));
        logic->setCurrentIndex(logic->findText(QStringLiteral("  =")));
        QTest::keyClicks(child<QLineEdit>(query, QStringLiteral("txtValue1_0")), QStringLiteral("Alice"));
        click(query, QStringLiteral("cmdOK"));
        QVERIFY(!wizard_->filter().isEmpty());
        QCOMPARE(child<QLineEdit>(wizard_, QStringLiteral("txtFilter"))->text(), wizard_->filter());
        wizard_->goBack();
        QVERIFY(build());
        const QList<QStringList> rows = rowsOf(wizard_->result().listPath, {QStringLiteral("EAddress")});
        QVERIFY2(rows.size() == 1, qPrintable(home->prompter.texts().join(u'|') + wizard_->filter()));
        QCOMPARE(rows, (QList<QStringList>{{QStringLiteral("alice.fairbanks@example.com")}}));

        // A filter nothing passes: said, and the wizard stays to loosen it.
        wizard_->goBack();
        click(wizard_, QStringLiteral("cmdFilter"));
        query = wizard_->filterDialog();
        field = child<QComboBox>(query, QStringLiteral("lstField1_0"));
        field->setCurrentIndex(field->findText(QStringLiteral("First Name")));
        child<QComboBox>(query, QStringLiteral("lstLogic1_0"))->setCurrentIndex(0);
        QTest::keyClicks(child<QLineEdit>(query, QStringLiteral("txtValue1_0")), QStringLiteral("Nobody"));
        click(query, QStringLiteral("cmdOK"));
        wizard_->goBack();
        QVERIFY(build());
        QCOMPARE(home->prompter.texts().last(), noMatchingRecordsText());
        QVERIFY(!wizard_->button(frmWizard::Finish)->isEnabled());
        QVERIFY(wizard_->isVisible());
    }

    void goldMineFillsTheEmailTrayAndGivesARowPerAddress() {
        QVERIFY(toTablePage(QStringLiteral("DBGOLD"), fixture::path("goldmine/contacts/CONTACT1.DBF")));
        if (child<QListWidget>(wizard_, QStringLiteral("lstTables"))->currentRow() < 0)
            child<QListWidget>(wizard_, QStringLiteral("lstTables"))->setCurrentRow(0);
        QVERIFY(wizard_->goNext());
        QCOMPARE(wizard_->tray(frmDBImportWiz::EmailRole)->field(), QStringLiteral("CONTSUPREF"));
        dropField(wizard_->tray(frmDBImportWiz::LastNameRole), QStringLiteral("LASTNAME"));
        QVERIFY(build());
        const QList<QStringList> rows =
            rowsOf(wizard_->result().listPath, {QStringLiteral("EAddress"), QStringLiteral("LastName")});
        QStringList fairbanks;
        for (const QStringList& row : rows)
            if (row.at(1) == u"Fairbanks")
                fairbanks << row.at(0);
        fairbanks.sort();
        QCOMPARE(fairbanks, (QStringList{QStringLiteral("a.fairbanks@example.org"),
                                         QStringLiteral("alice.fairbanks@example.com")}));
    }

    void actFieldsShowTheirColumns() {
        QTemporaryDir dir;
        const QList<dbf::Field> fields = {{"E-MAIL", 'C', 30}, {"SURNAME", 'C', 10}, {"DATE", 'D', 8}};
        QFile file(dir.filePath(QStringLiteral("CONTACTS.DBF")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dbf::table(0x03, fields,
                              {{{"ann@example.org", "Lee", "20240101"}}, {{"bob@example.org", "Ray", ""}}}));
        file.close();
        QVERIFY(toTablePage(QStringLiteral("DBACT4"), file.fileName()));
        if (child<QListWidget>(wizard_, QStringLiteral("lstTables"))->currentRow() < 0)
            child<QListWidget>(wizard_, QStringLiteral("lstTables"))->setCurrentRow(0);
        QVERIFY(wizard_->goNext());
        dropField(wizard_->tray(frmDBImportWiz::EmailRole), QStringLiteral("E-MAIL"));
        auto* list = child<QTreeWidget>(wizard_, QStringLiteral("lstFields"));
        list->topLevelItem(1)->setCheckState(0, Qt::Checked);
        list->topLevelItem(2)->setCheckState(0, Qt::Checked);
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("LastName"));
        QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("_Date"));
        QVERIFY(build());
        const QList<QStringList> rows =
            rowsOf(wizard_->result().listPath, {QStringLiteral("EAddress"), QStringLiteral("LastName"),
                                                QStringLiteral("Date"), QStringLiteral("_Date")});
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.first().mid(0, 3), (QStringList{"ann@example.org", "Lee", ""}));
        QVERIFY(!rows.first().at(3).isEmpty());
    }

    void traysMoveFieldsAndTheirMenuEmptiesThem() {
        QVERIFY(toTablePage(QStringLiteral("DBTEXTFILE"), fixture::path("text/utf8_comma/contacts.csv")));
        QVERIFY(wizard_->goNext());
        FieldTray* email = wizard_->tray(frmDBImportWiz::EmailRole);
        FieldTray* title = wizard_->tray(frmDBImportWiz::TitleRole);
        dropField(email, QStringLiteral("Company"));
        dropField(title, QStringLiteral("Company")); // moved, not copied
        QCOMPARE(email->field(), QString());
        QCOMPARE(title->field(), QStringLiteral("Company"));
        QCOMPARE(title->speedMenu()->objectName(), QStringLiteral("SpeedMenu"));
        QCOMPARE(title->speedMenu()->actions().at(0)->text(), QStringLiteral("&Remove"));
        QCOMPARE(title->speedMenu()->actions().at(1)->text(), QStringLiteral("&Cancel"));
        title->speedMenu()->actions().at(0)->trigger();
        QCOMPARE(title->field(), QString());
        auto* list = child<QTreeWidget>(wizard_, QStringLiteral("lstFields"));
        QVERIFY(!list->findItems(QStringLiteral("Company"), Qt::MatchExactly).first()->isDisabled());
    }

    void actInterruptKeepsTheRowsCopied() {
        QTemporaryDir dir;
        ImportBuild* job =
            startBuildOf(QStringLiteral("DBACT4"), writeMany(dir, QStringLiteral("DBACT4"), 30000),
                         QStringLiteral("MAIL"));
        QVERIFY(job);
        auto* bar = child<QProgressBar>(wizard_, QStringLiteral("prgImport"));
        connect(job, &ImportBuild::progress, this, [this, bar](ImportJob::Stage, qint64 done, qint64) {
            if (done >= 1000 && bar->maximum() == 30000)
                click(wizard_, QStringLiteral("cmdInterrupt"));
        });
        QSignalSpy done(job, &ImportBuild::finished);
        QVERIFY(done.wait(60000));
        const ImportResult& result = wizard_->result();
        QVERIFY(result.summary.interrupted);
        const qsizetype rows = rowsOf(result.listPath, {QStringLiteral("EAddress")}).size();
        QVERIFY2(rows >= 1000 && rows < 30000, qPrintable(QString::number(rows)));
        QCOMPARE(rows, result.summary.recordsRead);
        QVERIFY(wizard_->button(frmWizard::Finish)->isEnabled());
    }

    void exitDuringTheBuildLeavesNoList_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("field");
        QTest::newRow("text file") << "DBTEXTFILE"
                                   << "Mail";
        QTest::newRow("ACT!") << "DBACT4"
                              << "MAIL";
    }
    void exitDuringTheBuildLeavesNoList() {
        QFETCH(QString, code);
        QFETCH(QString, field);
        QTemporaryDir dir;
        const QStringList before = tempLists();
        ImportBuild* job = startBuildOf(code, writeMany(dir, code, 30000), field);
        QVERIFY(job);
        QSignalSpy done(job, &ImportBuild::finished);
        bool asked = false;
        connect(job, &ImportBuild::progress, this, [&](ImportJob::Stage, qint64 records, qint64) {
            if (records < 1000 || asked)
                return;
            asked = true;
            home->prompter.answer(Prompter::Answer::Yes);
            click(wizard_, QStringLiteral("cmdWizard_3"));
        });
        QVERIFY(done.count() == 1 || done.wait(60000));
        QVERIFY(asked);
        QVERIFY(!wizard_ || !wizard_->isVisible());
        QTRY_COMPARE(tempLists(), before);
    }

    void interruptKeepsTheRowsAndTheFolderIsRemembered() {
        QTemporaryDir dir;
        QByteArray csv = "Mail\n";
        for (int i = 1; i <= 30000; ++i)
            csv += "person" + QByteArray::number(i) + "@example.org\n";
        QFile file(dir.filePath(QStringLiteral("many.csv")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(csv);
        file.close();
        QVERIFY(toTablePage(QStringLiteral("DBTEXTFILE"), file.fileName()));
        const SourceType text = sourceTypeByCode(QStringLiteral("DBTEXTFILE"));
        QCOMPARE(defaultImportFolder(text), dir.path());
        QVERIFY(wizard_->goNext());
        dropField(wizard_->tray(frmDBImportWiz::EmailRole), QStringLiteral("Mail"));
        QVERIFY(wizard_->goNext());
        QVERIFY(wizard_->goNext());
        click(wizard_, QStringLiteral("cmdBuild"));
        ImportBuild* job = runningBuild();
        QVERIFY(job);
        QVERIFY(!wizard_->button(frmWizard::Back)->isEnabled());
        connect(job, &ImportBuild::progress, this, [this](ImportJob::Stage, qint64 done, qint64) {
            if (done >= 1000)
                click(wizard_, QStringLiteral("cmdInterrupt"));
        });
        QSignalSpy done(job, &ImportBuild::finished);
        QVERIFY(done.wait(60000));
        const ImportResult& result = wizard_->result();
        QVERIFY(result.summary.interrupted);
        const qsizetype rows = rowsOf(result.listPath, {QStringLiteral("EAddress")}).size();
        QVERIFY(rows >= 1000 && rows < 30000);
        QVERIFY(wizard_->button(frmWizard::Finish)->isEnabled());

        // The next wizard starts in the folder used.
        home->prompter.answer(Prompter::Answer::Yes);
        wizard_->close();
        QVERIFY(openWizard());
        child<QListWidget>(wizard_, QStringLiteral("lstDBTypes"))->setCurrentRow(text.index);
        QVERIFY(wizard_->goNext());
        QCOMPARE(child<QListWidget>(wizard_, QStringLiteral("filSource"))->item(0)->text(),
                 QStringLiteral("many.csv"));
    }
};

QTEST_MAIN(TestImportWizard)
#include "tst_importwizard.moc"
