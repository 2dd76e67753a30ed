#include "core/AppSettings.h"
#include "db/Database.h"
#include "harvest/ui/HarvestWindows.h"
#include "harvest/ui/frmEmailWizard.h"
#include "harvest/ui/frmQueryUserReName.h"
#include "harvest/ui/frmSearchOptions.h"
#include "support/DesktopTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Row {
    QString address;
    QString first;
    QString last;
    QString keyword1;
    QString keyword2;
};

QList<Row> rowsOf(const QString& path) {
    QList<Row> rows;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    db::Statement query = list.prepare(QStringLiteral(
        "SELECT EAddress, FirstName, LastName, Keyword1, Keyword2 FROM AddressList ORDER BY rowid"));
    while (query.next())
        rows.append({query.text(0), query.text(1), query.text(2), query.text(3), query.text(4)});
    return rows;
}

void click(QWidget* parent, const char* name) {
    child<QAbstractButton>(parent, name)->click();
}

void dropFiles(QWidget* target, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

class TestEmailWizard : public QObject, public DesktopTest {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QPointer<frmEmailWizard> wizard_;

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir_->filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return path;
    }
    // The wizard as the Tools command opens it.
    frmEmailWizard* openWizard() {
        if (!window->dispatch(QStringLiteral("id_ToolsImportEPSFile")))
            return nullptr;
        wizard_ = window->findChild<frmEmailWizard*>();
        return wizard_;
    }
    void selectEntry(int row) {
        auto* list = child<QListWidget>(wizard_, "lstSelected");
        list->setCurrentRow(row);
    }
    // Runs the build from the build page to its end.
    AddrManager::BuildResult build() {
        while (wizard_->currentPage() < frmEmailWizard::BuildPage)
            if (!wizard_->goNext())
                return {};
        QSignalSpy finished(&wizard_->manager(), &AddrManager::buildFinished);
        click(wizard_, "cmdBuild");
        if (!finished.wait(30000))
            return {};
        return finished.first().first().value<AddrManager::BuildResult>();
    }

private Q_SLOTS:
    void init() {
        QVERIFY(openDesktop());
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(openWizard());
        QVERIFY(wizard_->isVisible());
    }
    void cleanup() {
        if (wizard_ && wizard_->isVisible()) {
            home->prompter.answer(Prompter::Answer::Yes);
            wizard_->close();
        }
        closeDesktop();
    }

    void theFilePageSaysWhatIsMissing() {
        wizard_->button(frmWizard::Next)->click();
        click(wizard_, "cmdViewFile");
        click(wizard_, "cmdRemoveFile");
        click(wizard_, "cmdSrcOptions");
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("notes.txt"), "ann@x.org\n")));
        selectEntry(0);
        click(wizard_, "cmdSrcOptions"); // a text file has no options
        QVERIFY(!wizard_->searchOptions());
        QCOMPARE(wizard_->currentPage(), 0);
        QCOMPARE(home->prompter.texts(),
                 (QStringList{frmEmailWizard::noSourceFilesText(), frmEmailWizard::selectToViewText(),
                              frmEmailWizard::selectToRemoveText(), frmEmailWizard::selectForOptionsText(),
                              frmEmailWizard::optionsRefusedText()}));
        QCOMPARE(home->prompter.shown()[0].title, frmEmailWizard::noSourceFilesTitle());
        QCOMPARE(home->prompter.shown()[1].title, frmEmailWizard::noFileSelectedTitle());
        QCOMPARE(wizard_->windowTitle(), frmWizard::stepCaption(frmEmailWizard::title(), 1, 4));
    }

    void aFileChosenOrDroppedTwiceIsListedOnce() {
        const QString path = writeFile(QStringLiteral("a.txt"), "ann@x.org\n");
        click(wizard_, "cmdSelect");
        QFileDialog* dialog = wizard_->fileDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Select source file for addresses"));
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
        dropFiles(wizard_, {path});
        QCOMPARE(child<QListWidget>(wizard_, "lstSelected")->count(), 1);
        QCOMPARE(home->prompter.texts(), QStringList{EmailSrcFileColl::duplicateText()});
    }

    void searchOptionsStartAtFromAndStayWithTheirFile() {
        click(wizard_, "optMailBox");
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("one.mbx"), "From: a@x.org\n")));
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("two.mbx"), "From: b@x.org\n")));
        selectEntry(0);
        click(wizard_, "cmdSrcOptions");
        frmSearchOptions* options = wizard_->searchOptions();
        QVERIFY(options);
        QVERIFY(child<QRadioButton>(options, "optPredefined")->isChecked());
        QVERIFY(child<QCheckBox>(options, "chkFrom")->isChecked());
        QVERIFY(!child<QCheckBox>(options, "chkTo")->isChecked());
        QVERIFY(!child<QCheckBox>(options, "chkText")->isVisible());
        child<QRadioButton>(options, "optAll")->click();
        click(options, "cmdOK");

        const QString one =
            child<QListWidget>(wizard_, "lstSelected")->item(0)->data(Qt::UserRole).toString();
        const QString two =
            child<QListWidget>(wizard_, "lstSelected")->item(1)->data(Qt::UserRole).toString();
        QCOMPARE(wizard_->manager().GetSearchOptions(one).scope, EmailSrcFileObj::Scope::All);
        QCOMPARE(wizard_->manager().GetSearchOptions(two).scope, EmailSrcFileObj::Scope::Headers);
        QVERIFY(wizard_->manager().GetSearchOptions(two).from);

        // Choosing the other type with an entry selected retypes it; selecting shows its type.
        selectEntry(1);
        click(wizard_, "optAscii");
        QVERIFY(!wizard_->manager().GetSearchOptions(two).isMailbox());
        selectEntry(0);
        QVERIFY(child<QRadioButton>(wizard_, "optMailBox")->isChecked());
    }

    void keywordsStartEmptyAndTypedOnesReachTheRows() {
        AddrManager::SetKeywords(QStringLiteral("old1"), QStringLiteral("old2"));
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("k.txt"), "Ann Lee <ann@x.org>\n")));
        QVERIFY(wizard_->goNext());
        QVERIFY(wizard_->goNext());
        const QByteArray ini = readFileBytes(home->file(QStringLiteral("Tamberlyn.ini")));
        QVERIFY(ini.contains("KeyCategoryVal1="));
        QVERIFY(!ini.contains("old1"));
        QVERIFY(!ini.contains("old2"));
        QCOMPARE(appSettings().KeyCategoryVal2, QString());
        child<QLineEdit>(wizard_, "txtKeyword1")->setText(QStringLiteral("fair"));
        child<QLineEdit>(wizard_, "txtKeyword2")->setText(QStringLiteral("2024"));
        const AddrManager::BuildResult result = build();
        const QList<Row> rows = rowsOf(result.listPath);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].keyword1, QStringLiteral("fair"));
        QCOMPARE(rows[0].keyword2, QStringLiteral("2024"));
        QCOMPARE(rows[0].first, QStringLiteral("Ann"));
    }

    void noNamesModeWritesEmptyNames() {
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("n.txt"), "Ann Lee <ann@x.org>\n")));
        QVERIFY(wizard_->goNext());
        click(wizard_, "optExtractNoNames");
        const QList<Row> rows = rowsOf(build().listPath);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].first, QString());
        QCOMPARE(rows[0].last, QString());
    }

    void aFileWithoutAddressesIsSaidAndTheBuildGoesOnAndFinishOpensTheList() {
        const QString empty = writeFile(QStringLiteral("empty.txt"), "no addresses here\n");
        QVERIFY(wizard_->addSourceFile(empty));
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("full.txt"), "bob@y.org\n")));
        const AddrManager::BuildResult result = build();
        QCOMPARE(result.rows, 1);
        QCOMPARE(home->prompter.texts(), QStringList{AddrManager::noAddressesText(empty)});
        QCOMPARE(child<QLabel>(wizard_, "lblCounter2")->text(), QStringLiteral("1"));
        QVERIFY(child<QLabel>(wizard_, "lblLines")->text().startsWith(QStringLiteral("Input File: ")));
        wizard_->button(frmWizard::Finish)->click();
        QVERIFY(!wizard_->isVisible());
        frmList* list = window->activeList();
        QVERIFY(list);
        QCOMPARE(list->path(), result.listPath);
        QVERIFY(list->isUnsaved());
        QCOMPARE(list->caption(), QStringLiteral("Untitled Mailing List 1"));
    }

    void interruptInTheSecondFileKeepsWhatWasRead() {
        QStringList paths;
        for (int file = 1; file <= 3; ++file) {
            QByteArray bytes;
            for (int i = 0; i < (file == 2 ? 40000 : 100); ++i)
                bytes += QStringLiteral("f%1_%2@x.org\n").arg(file).arg(i).toUtf8();
            paths << writeFile(QStringLiteral("f%1.txt").arg(file), bytes);
            QVERIFY(wizard_->addSourceFile(paths.last()));
        }
        connect(&wizard_->manager(), &AddrManager::rowsExtracted, this, [this](int rows) {
            if (rows > 5000 && child(wizard_, "cmdInterrupt")->isEnabled())
                click(wizard_, "cmdInterrupt");
        });
        const AddrManager::BuildResult result = build();
        QVERIFY(result.interrupted);
        const QList<Row> rows = rowsOf(result.listPath);
        const auto count = [&](const char* prefix) {
            return std::count_if(rows.begin(), rows.end(),
                                 [&](const Row& r) { return r.address.startsWith(QLatin1String(prefix)); });
        };
        QCOMPARE(count("f1_"), 100);
        QVERIFY(count("f2_") > 0 && count("f2_") < 40000);
        QCOMPARE(count("f3_"), 0);
        QCOMPARE(home->prompter.texts(), QStringList{AddrManager::stoppedText()});
        QVERIFY(wizard_->button(frmWizard::Finish)->isEnabled());
    }

    void doubtfulNamesAreAnsweredInTheirWindow() {
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("ask.txt"),
                                                 "ann_lee@x.org\nbob_day@y.org\ncleo_berg@z.org\n"
                                                 "dan_moss@w.org\neve_kay@v.org\n")));
        QVERIFY(wizard_->goNext());
        click(wizard_, "optExtractAskMe");
        QList<QStringList> asked;
        // Each question is answered from its window: edited, not found, then best guess for the rest.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            frmQueryUserReName* question = wizard_->question();
            if (!question || !question->isVisible())
                return;
            asked << QStringList{child<QLabel>(question, "lblAddress")->text(),
                                 child<QLineEdit>(question, "txtFirstName")->text()};
            if (asked.size() == 1) {
                child<QLineEdit>(question, "txtFirstName")->setText(QStringLiteral("Annie"));
                click(question, "cmdCfm");
            } else if (asked.size() == 2) {
                click(question, "cmdNF");
            } else if (asked.size() == 3) {
                question->close(); // the close box confirms the names shown
            } else {
                click(question, "cmdGuess");
            }
        });
        poll.start(1);
        const QList<Row> rows = rowsOf(build().listPath);
        QCOMPARE(asked.size(), 4);
        QCOMPARE(asked[0], (QStringList{QStringLiteral("ann_lee@x.org"), QStringLiteral("Ann")}));
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0].first, QStringLiteral("Annie"));
        QCOMPARE(rows[0].last, QStringLiteral("Lee"));
        QCOMPARE(rows[1].first, QString());
        QCOMPARE(rows[2].first, QStringLiteral("Cleo"));
        QCOMPARE(rows[4].first, QStringLiteral("Eve")); // no fifth question
    }

    // A question never blocks a stop: the open one takes the best guess and no other comes.
    void interruptWhileTheNameQuestionIsOpenTakesTheBestGuess() {
        QVERIFY(
            wizard_->addSourceFile(writeFile(QStringLiteral("ask.txt"), "ann_lee@x.org\nbob_day@y.org\n")));
        QVERIFY(wizard_->goNext());
        click(wizard_, "optExtractAskMe");
        int asked = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            frmQueryUserReName* question = wizard_->question();
            if (!question || !question->isVisible())
                return;
            ++asked;
            child<QLineEdit>(question, "txtFirstName")->setText(QStringLiteral("Edited"));
            click(wizard_, "cmdInterrupt");
        });
        poll.start(1);
        const AddrManager::BuildResult result = build();
        QVERIFY(result.interrupted);
        QCOMPARE(asked, 1);
        QVERIFY(!wizard_->question());
        const QList<Row> rows = rowsOf(result.listPath);
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows[0].address, QStringLiteral("ann_lee@x.org"));
        QCOMPARE(rows[0].first, QStringLiteral("Ann"));
        QCOMPARE(rows[0].last, QStringLiteral("Lee"));
        QCOMPARE(home->prompter.texts(), QStringList{AddrManager::stoppedText()});
    }

    void exitDuringABuildStopsItAndDropsTheList_data() {
        QTest::addColumn<bool>("leave");
        QTest::newRow("No keeps the wizard running") << false;
        QTest::newRow("Yes stops and drops the list") << true;
    }
    void exitDuringABuildStopsItAndDropsTheList() {
        QFETCH(bool, leave);
        QByteArray bytes;
        for (int i = 0; i < 60000; ++i)
            bytes += QStringLiteral("p%1@x.org\n").arg(i).toUtf8();
        QVERIFY(wizard_->addSourceFile(writeFile(QStringLiteral("big.txt"), bytes)));
        while (wizard_->goNext()) {
        }
        QSignalSpy finished(&wizard_->manager(), &AddrManager::buildFinished);
        click(wizard_, "cmdBuild");
        QVERIFY(wizard_->manager().isBuilding());
        QVERIFY(!wizard_->button(frmWizard::Back)->isEnabled());
        home->prompter.answer(leave ? Prompter::Answer::Yes : Prompter::Answer::No);
        wizard_->close();
        QCOMPARE(home->prompter.texts(), QStringList{frmWizard::exitQuestionText()});
        if (!leave) {
            QVERIFY(wizard_->isVisible());
            QVERIFY(finished.wait(30000));
            QCOMPARE(finished.first().first().value<AddrManager::BuildResult>().rows, 60000);
            return;
        }
        QVERIFY(!wizard_->manager().isBuilding());
        const QStringList temp = QDir(appFolders().TempFolder).entryList({QStringLiteral("*.mdb")});
        QVERIFY2(temp.isEmpty(), qPrintable(temp.join(u' ')));
    }
};

QTEST_MAIN(TestEmailWizard)
#include "tst_emailwizard.moc"
