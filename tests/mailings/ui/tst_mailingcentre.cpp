#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "db/CentralDatabase.h"
#include "db/CentralSchema.h"
#include "mailings/MailRunTable.h"
#include "mailings/MailRuns.h"
#include "mailings/MailingOutline.h"
#include "mailings/Mailings.h"
#include "mailings/Schedules.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "mailings/ui/MailingLauncher.h"
#include "mailings/ui/frmScheduler.h"
#include "mailings/ui/frmTBCentral.h"
#include "mailings/ui/frmTamberlynGroupOptions.h"
#include "messages/MessageStore.h"
#include "send/SendFixture.h"
#include "support/DesktopTest.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>
#include <QTreeWidget>

using namespace SendFixture;

namespace {

const QString Options = QString::fromLatin1(DefaultDeliveryOptionsName);

void removeMailingBehindTheWindowsBack(qint32 id) {
    db::Database central = CentralDatabase::open();
    QVERIFY(central.exec(QStringLiteral("DELETE FROM MailEvent WHERE MailEventName = ?1"), {id}));
}

qint64 mailingRows(qint32 id) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.scalar(QStringLiteral("SELECT COUNT(*) FROM MailEvent WHERE MailEventName = ?1"), {id})
        .value_or(-1)
        .toLongLong();
}

QList<QPointF> points(QChartView* chart, const char* series) {
    for (QAbstractSeries* s : chart->chart()->series())
        if (s->objectName() == QLatin1String(series))
            return static_cast<QLineSeries*>(s)->points();
    return {};
}

} // namespace

// The mailing centre, the scheduler and the group windows, driven as the user drives them.
class TestMailingCentre : public QObject, public DesktopTest {
    Q_OBJECT

    QList<qint32> launched;
    bool cancelWarning = false;
    qint32 spring = 0; // Spring / Customers / Welcome, never sent
    qint32 lost = 0;   // Old / Gone / Lost / Nowhere: every part of it missing
    qsizetype mark = 0;

    frmTBCentral* centre() { return frmTBCentral::of(*window); }
    QTreeView* grid() { return centre()->findChild<QTreeView*>(QStringLiteral("grdFlex")); }
    // The texts shown since the last call.
    QStringList newTexts() {
        const QStringList all = home->prompter.texts();
        const QStringList fresh = all.mid(mark);
        mark = all.size();
        return fresh;
    }
    QModelIndex rowOf(const QString& which) {
        MailingOutline& outline = centre()->outline();
        if (which == QLatin1String("spring"))
            return outline.indexOfMailing(spring);
        if (which == QLatin1String("lost"))
            return outline.indexOfMailing(lost);
        if (which == QLatin1String("Spring group"))
            return outline.indexOfGroup(QStringLiteral("Spring"));
        if (which == QLatin1String("Old group"))
            return outline.indexOfGroup(QStringLiteral("Old"));
        if (which == QLatin1String("Customers list"))
            return outline.indexOfMailing(spring).parent();
        if (which == QLatin1String("Gone list"))
            return outline.indexOfMailing(lost).parent();
        return {};
    }
    void select(const QString& which) {
        const QModelIndex index = rowOf(which);
        QVERIFY2(index.isValid(), qPrintable(which));
        grid()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
    }
    void trigger(const char* command) {
        auto* action = grid()->findChild<QAction*>(QString::fromLatin1(command));
        QVERIFY2(action, command);
        action->trigger();
    }
    template <typename Dialog> Dialog* openDialog() {
        for (Dialog* dialog : window->findChildren<Dialog*>())
            if (dialog->isVisible())
                return dialog;
        return nullptr;
    }

private Q_SLOTS:
    void init() {
        QVERIFY(openDesktop());
        QVERIFY(makeListAndMessage(*home, QStringLiteral("Customers"), {QStringLiteral("ann@example.test")}));
        QVERIFY(makeMessage(plainMessage(QStringLiteral("Welcome"))));
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(home->prompter, QStringLiteral("Spring"), {}));
        spring = Mailings::PrepareMailing(QStringLiteral("Spring"), QStringLiteral("Customers"),
                                          QStringLiteral("Welcome"), Options);
        lost = Mailings::PrepareMailing(QStringLiteral("Old"), QStringLiteral("Gone"), QStringLiteral("Lost"),
                                        QStringLiteral("Nowhere"));
        QVERIFY(spring > 0 && lost > 0);
        launched.clear();
        cancelWarning = false;
        MailingLauncher::install([this](Desk&, qint32 id, std::function<void()> whenCancelled) {
            launched << id;
            if (cancelWarning && whenCancelled)
                whenCancelled();
        });
        QVERIFY(window->dispatch(QStringLiteral("id_TBCentral")));
        QVERIFY(centre());
        mark = home->prompter.texts().size();
    }
    void cleanup() {
        MailingLauncher::install({});
        Schedules::setClock({});
        closeDesktop();
    }

    void sendingChecksTheSelectedMailing_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("sentBefore");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("starts");
        const QString first = frmTBCentral::selectMessageFirstText();
        QTest::newRow("group row") << "Spring group" << false << first << false;
        QTest::newRow("list row") << "Customers list" << false << first << false;
        QTest::newRow("deleted list")
            << "lost" << false
            << "This mailing cannot be sent.  The 'Gone' mailing list has been deleted from Tamberlyn.  "
               "Please "
               "either re-create this list or create another mailing using a valid list."
            << false;
        // The send-again warning is the launcher's: the centre starts both.
        QTest::newRow("never sent") << "spring" << false << QString() << true;
        QTest::newRow("sent before") << "spring" << true << QString() << true;
    }
    void sendingChecksTheSelectedMailing() {
        QFETCH(QString, row);
        QFETCH(bool, sentBefore);
        QFETCH(QString, text);
        QFETCH(bool, starts);
        if (sentBefore)
            QVERIFY(Mailings::ReturnMailResults(home->prompter, spring, 3, 0,
                                                QStringLiteral("2026-01-02 10:00")));
        select(row);
        QTest::mouseClick(centre()->findChild<QPushButton*>(QStringLiteral("cmdSSSendTamberlyn")),
                          Qt::LeftButton);
        QCOMPARE(newTexts(), text.isEmpty() ? QStringList() : QStringList{text});
        QCOMPARE(launched, starts ? QList<qint32>{spring} : QList<qint32>{});
    }

    // The mailing is read again before it starts: one deleted by another program is not sent.
    void aMailingDeletedElsewhereIsNotSent() {
        select(QStringLiteral("spring"));
        removeMailingBehindTheWindowsBack(spring);
        QVERIFY(window->dispatch(QStringLiteral("id_FileSendTamberlyn")));
        QCOMPARE(newTexts(), QStringList{frmTBCentral::notFoundText()});
        QVERIFY(launched.isEmpty());
    }

    void theMenuCommandSendsTheSelectedMailingAndACancelledWarningIsNoted() {
        select(QStringLiteral("spring"));
        cancelWarning = true;
        QVERIFY(window->dispatch(QStringLiteral("id_FileSendTamberlyn")));
        QCOMPARE(launched, QList<qint32>{spring});
        QVERIFY(centre()->cancelSendFlag());
        // A new attempt starts with the flag cleared.
        cancelWarning = false;
        centre()->SendTamberlynIfPossible();
        QVERIFY(!centre()->cancelSendFlag());
        QCOMPARE(launched.size(), 2);
    }

    void twoRunsAddUpInTheRow() {
        select(QStringLiteral("Spring group"));
        QVERIFY(
            Mailings::ReturnMailResults(home->prompter, spring, 1000, 2, QStringLiteral("2026-01-02 10:00")));
        QVERIFY(
            Mailings::ReturnMailResults(home->prompter, spring, 400, 1, QStringLiteral("2026-01-09 08:30")));
        const QModelIndex row = centre()->outline().indexOfMailing(spring);
        QCOMPARE(row.siblingAtColumn(MailingOutline::TotalColumn).data().toInt(), 1400);
        QCOMPARE(row.siblingAtColumn(MailingOutline::DateColumn).data().toString(), "2026-01-09 08:30");
        // The finished run's mailing is the one selected.
        QCOMPARE(grid()->selectionModel()->currentIndex().siblingAtColumn(0), row);
        QCOMPARE(Mailings::find(spring)->SentCountFailed, 3);
    }

    void theChartShowsTheChosenRunPerMinute() {
        const QDateTime start(QDate(2026, 2, 1), QTime(9, 0));
        const qint32 first = MailRuns::begin(spring, MailRuns::Trigger::Desktop, start);
        QVERIFY(MailRuns::addSlice(first, 0, 7, 0));
        QVERIFY(MailRuns::finish(first, start.addSecs(5), 7, 0, MailRuns::Outcome::Completed));
        const qint32 second = MailRuns::begin(spring, MailRuns::Trigger::Schedule, start.addDays(1));
        for (int step = 0; step < 6; ++step) // the first minute
            QVERIFY(MailRuns::addSlice(second, step, 10, 0));
        QVERIFY(MailRuns::addSlice(second, 6, 4, 1));  // the second minute
        QVERIFY(MailRuns::addSlice(second, 20, 2, 2)); // the fourth, after a quiet one
        QVERIFY(MailRuns::finish(second, start.addDays(1).addSecs(205), 66, 3, MailRuns::Outcome::Stopped));

        select(QStringLiteral("spring"));
        auto* runs = centre()->findChild<QTableView*>(QStringLiteral("tblRuns"));
        QCOMPARE(runs->model()->rowCount(), 2);
        QCOMPARE(runs->model()->index(1, MailRunTable::OutcomeColumn).data().toString(), "stopped");
        QCOMPARE(centre()->findChild<QLabel*>(QStringLiteral("lblTotals"))->text(),
                 QStringLiteral("Mailing %1: sent 73, failed 3 over 2 run(s)").arg(spring));
        auto* chart = centre()->findChild<QChartView*>(QStringLiteral("chtRun"));
        // The latest run first.
        QCOMPARE(points(chart, "serPassed"), (QList<QPointF>{{1, 60}, {2, 4}, {3, 0}, {4, 2}}));
        QCOMPARE(points(chart, "serFailed"), (QList<QPointF>{{1, 0}, {2, 1}, {3, 0}, {4, 2}}));
        runs->selectRow(0);
        QCOMPARE(points(chart, "serPassed"), (QList<QPointF>{{1, 7}}));
        // A run still going shows its new slices as they are recorded.
        const qint32 third = MailRuns::begin(spring, MailRuns::Trigger::Command, start.addDays(2));
        QCOMPARE(runs->model()->rowCount(), 3);
        QVERIFY(MailRuns::addSlice(third, 0, 5, 0));
        QVERIFY(MailRuns::finish(third, start.addDays(2).addSecs(9), 5, 0, MailRuns::Outcome::Completed));
        QCOMPARE(points(chart, "serPassed"), (QList<QPointF>{{1, 5}}));
    }

    void theSchedulerFillsANeverScheduledMailing() {
        const QDateTime now(QDate(2026, 3, 4), QTime(10, 11, 12));
        Schedules::setClock([now] { return now; });
        select(QStringLiteral("spring"));
        QTest::mouseClick(centre()->findChild<QPushButton*>(QStringLiteral("cmdScheduler")), Qt::LeftButton);
        auto* scheduler = openDialog<frmScheduler>();
        QVERIFY(scheduler);
        QCOMPARE(scheduler->windowTitle(), QStringLiteral("Schedule Mailing # ") + QString::number(spring));
        // Stored at once, before OK.
        std::optional<Schedules::Schedule> stored = Schedules::find(spring);
        QCOMPARE(stored->date, now.date());
        QCOMPARE(stored->time, now.time());
        QVERIFY(!stored->Active && !stored->MailingSent);
        QCOMPARE(scheduler->findChild<QDateEdit*>(QStringLiteral("dtDateToSend"))->date(), now.date());
        QVERIFY(!scheduler->findChild<QCheckBox*>(QStringLiteral("chkActive"))->isChecked());
        QCOMPARE(centre()->findChild<QLabel*>(QStringLiteral("lblSchedule"))->text(),
                 "Scheduled for 2026-03-04 10:11, not active");

        scheduler->findChild<QDateEdit*>(QStringLiteral("dtDateToSend"))->setDate(QDate(2026, 3, 5));
        scheduler->findChild<QTimeEdit*>(QStringLiteral("dtTimeToSend"))->setTime(QTime(7, 30));
        scheduler->findChild<QCheckBox*>(QStringLiteral("chkActive"))->setChecked(true);
        QTest::mouseClick(scheduler->findChild<QPushButton*>(QStringLiteral("cmdOkCancel_0")),
                          Qt::LeftButton);
        QVERIFY(!scheduler->isVisible());
        stored = Schedules::find(spring);
        QCOMPARE(stored->dueAt(), QDateTime(QDate(2026, 3, 5), QTime(7, 30)));
        QVERIFY(stored->Active);
        QVERIFY(newTexts().isEmpty());
    }

    void aMailingDeletedWhileTheSchedulerIsOpenIsNotWritten() {
        select(QStringLiteral("spring"));
        centre()->openScheduler();
        auto* scheduler = openDialog<frmScheduler>();
        QVERIFY(scheduler);
        removeMailingBehindTheWindowsBack(spring);
        scheduler->findChild<QCheckBox*>(QStringLiteral("chkActive"))->setChecked(true);
        QTest::mouseClick(scheduler->findChild<QPushButton*>(QStringLiteral("cmdOkCancel_0")),
                          Qt::LeftButton);
        QCOMPARE(newTexts(), QStringList{"The selected mailing was not found."});
        QVERIFY(!scheduler->isVisible());
        QCOMPARE(mailingRows(spring), 0);

        // Loading one that is gone says so too, and nothing is added.
        frmScheduler again(home->prompter);
        QVERIFY(!again.LoadValuesByID(spring));
        QCOMPARE(newTexts(), QStringList{"The selected mailing was not found."});
        QCOMPARE(mailingRows(spring), 0);
    }

    void rowCommandsSayWhatIsMissing_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("text");
        QTest::newRow("open list") << "Gone list"
                                   << "mnuOpen"
                                   << "Cannot open 'Gone'.  This List has been removed from Tamberlyn.";
        QTest::newRow("open message") << "lost"
                                      << "mnuOpen"
                                      << "Cannot open 'Lost'.  This Message has been removed from Tamberlyn.";
        QTest::newRow("copy group")
            << "Old group"
            << "mnuUseForNewMailing"
            << "Cannot select 'Old' for a new mailing.  This Tamberlyn has been removed.";
        QTest::newRow("copy mailing")
            << "lost"
            << "mnuUseForNewMailing"
            << "Cannot select 'Old' for a new mailing.  This Tamberlyn has been removed.";
        const QString options =
            "Cannot display the Mailing Options.  The selected item does not have a valid "
            "Mailing Options defined for it.";
        QTest::newRow("options of a mailing") << "lost"
                                              << "mnuDeliveryOptions" << options;
        QTest::newRow("options of a group") << "Spring group"
                                            << "mnuDeliveryOptions" << options;
        QTest::newRow("delete a list")
            << "Customers list"
            << "mnuDeleteMailing"
            << "Cannot delete the mailing.  The selected item is not a mail message.";
        QTest::newRow("schedule a group") << "Spring group"
                                          << "mnuScheduler" << frmTBCentral::selectMessageFirstText();
    }
    void rowCommandsSayWhatIsMissing() {
        QFETCH(QString, row);
        QFETCH(QString, command);
        QFETCH(QString, text);
        select(row);
        trigger(qPrintable(command));
        QCOMPARE(newTexts(), QStringList{text});
        QVERIFY(!openDialog<frmScheduler>());
    }

    void copyingChecksListAndMessageBeforeChoosingAnything() {
        const auto chosen = [this](const char* box) {
            return centre()->findChild<QComboBox*>(QString::fromLatin1(box))->currentText();
        };
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(home->prompter, QStringLiteral("Old"), {}));
        const QString groupBefore = chosen("cboTamberlyn");
        select(QStringLiteral("lost"));
        trigger("mnuUseForNewMailing");
        QCOMPARE(newTexts(),
                 QStringList{"Cannot select 'Gone' for a new mailing.  This List has been removed "
                             "from Tamberlyn."});
        QCOMPARE(chosen("cboTamberlyn"), groupBefore);
        QVERIFY(makeList(*home, QStringLiteral("Gone"), people({QStringLiteral("bo@example.test")})));
        trigger("mnuUseForNewMailing");
        QCOMPARE(newTexts(),
                 QStringList{"Cannot select 'Lost' for a new mailing.  This Message has been removed "
                             "from Tamberlyn."});
        select(QStringLiteral("spring"));
        trigger("mnuUseForNewMailing");
        QVERIFY(newTexts().isEmpty());
        QCOMPARE(chosen("cboTamberlyn"), "Spring");
        QCOMPARE(chosen("cboList"), "Customers");
        QCOMPARE(chosen("cboMessage"), "Welcome");
        QCOMPARE(chosen("cboMailOptions"), Options);
    }

    void prepareMailingTakesTheFourChoices() {
        // A message never saved is not offered.
        MessageStore::CreateNewMessage();
        auto* messages = centre()->findChild<QComboBox*>(QStringLiteral("cboMessage"));
        messages->showPopup();
        messages->hidePopup();
        QStringList offered;
        for (int i = 0; i < messages->count(); ++i)
            offered << messages->itemText(i);
        QCOMPARE(offered, (QStringList{"Customers", "Welcome"}));
        QCOMPARE(messages->toolTip(), "Select a message for a new mailing.");
        QCOMPARE(centre()->findChild<QComboBox*>(QStringLiteral("cboTamberlyn"))->toolTip(),
                 "Select a Tamberlyn Group for a new mailing.");
        QCOMPARE(centre()->findChild<QComboBox*>(QStringLiteral("cboMailOptions"))->toolTip(),
                 "Select a Tamberlyn Delivery Options for a new mailing.");

        messages->setCurrentIndex(messages->findText(QStringLiteral("Customers")));
        auto* groups = centre()->findChild<QComboBox*>(QStringLiteral("cboTamberlyn"));
        groups->setCurrentIndex(groups->findText(QStringLiteral("Spring")));
        auto* lists = centre()->findChild<QComboBox*>(QStringLiteral("cboList"));
        lists->setCurrentIndex(lists->findText(QStringLiteral("Customers")));
        auto* options = centre()->findChild<QComboBox*>(QStringLiteral("cboMailOptions"));
        options->setCurrentIndex(options->findText(Options));
        QTest::mouseClick(centre()->findChild<QPushButton*>(QStringLiteral("cmdSSCreateMailing")),
                          Qt::LeftButton);
        const std::optional<Mailing> made =
            centre()->outline().mailingAt(grid()->selectionModel()->currentIndex());
        QVERIFY(made);
        QCOMPARE(made->MessageName, "Customers");
        QCOMPARE(made->ListName, "Customers");
        QCOMPARE(AppGetSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("CurMessage"), {}),
                 "Customers");

        messages->setCurrentIndex(-1);
        QTest::mouseClick(centre()->findChild<QPushButton*>(QStringLiteral("cmdSSCreateMailing")),
                          Qt::LeftButton);
        QCOMPARE(newTexts(),
                 QStringList{"Please choose a Tamberlyn Group, a list, a message and the Delivery "
                             "Options for the new mailing."});
        QCOMPARE(Mailings::all().size(), 3);
    }

    void theOutlineFollowsTheMailingEvents() {
        MailingOutline& outline = centre()->outline();
        QCOMPARE(outline.rowCount(), 2); // Old (deleted, still holding a mailing) and Spring
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(home->prompter, QStringLiteral("Autumn"), {}));
        QCOMPARE(outline.nameAt(outline.index(0, 0)), "Autumn");
        const qint32 added = Mailings::PrepareMailing(QStringLiteral("Autumn"), QStringLiteral("Customers"),
                                                      QStringLiteral("Welcome"), Options);
        QVERIFY(outline.indexOfMailing(added).isValid());
        QVERIFY(grid()->isExpanded(outline.indexOfMailing(added).parent()));
        // A closed group stays closed.
        select(QStringLiteral("spring"));
        grid()->setExpanded(outline.indexOfGroup(QStringLiteral("Spring")), false);
        home->prompter.answer(Prompter::Answer::Ok);
        trigger("mnuDeleteMailing");
        QCOMPARE(newTexts(),
                 QStringList{"Delete the mailing for 'Welcome' message?\n\nNote this deletes only "
                             "the mailing and not the list or message."});
        QVERIFY(!outline.indexOfMailing(spring).isValid());
        QVERIFY(!grid()->isExpanded(outline.indexOfGroup(QStringLiteral("Spring"))));
        QVERIFY(grid()->isExpanded(outline.indexOfGroup(QStringLiteral("Autumn"))));

        // Deleting a group keeps its mailings, shown under it.
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(home->prompter, QStringLiteral("Old"), {}));
        select(QStringLiteral("Old group"));
        home->prompter.answer(Prompter::Answer::Yes);
        trigger("mnuDeleteGroup");
        QCOMPARE(newTexts(), QStringList{"Are you sure you wish to delete the group 'Old'?"});
        QVERIFY(!Mailings::exists(Mailings::Part::Group, QStringLiteral("Old")));
        QVERIFY(outline.indexOfMailing(lost).isValid());
    }

    void expandAndCollapseOneLevelAtATime() {
        MailingOutline& outline = centre()->outline();
        const QModelIndex group = outline.indexOfGroup(QStringLiteral("Spring"));
        const QModelIndex list = outline.indexOfMailing(spring).parent();
        auto* expand = centre()->findChild<QPushButton*>(QStringLiteral("cmdOutlineExpand"));
        auto* collapse = centre()->findChild<QPushButton*>(QStringLiteral("cmdOutlineCollapse"));
        QVERIFY(grid()->isExpanded(group) && grid()->isExpanded(list));
        QTest::mouseClick(collapse, Qt::LeftButton);
        QVERIFY(grid()->isExpanded(group) && !grid()->isExpanded(list));
        QTest::mouseClick(collapse, Qt::LeftButton);
        QVERIFY(!grid()->isExpanded(group));
        QTest::mouseClick(expand, Qt::LeftButton);
        QVERIFY(grid()->isExpanded(group) && !grid()->isExpanded(list));
        QTest::mouseClick(expand, Qt::LeftButton);
        QVERIFY(grid()->isExpanded(list));
        QVERIFY(grid()->isColumnHidden(MailingOutline::OptionsColumn));
        QCOMPARE(outline.headerData(MailingOutline::IdColumn, Qt::Horizontal).toString(), "Mailing ID");
        QCOMPARE(outline.headerData(MailingOutline::DateColumn, Qt::Horizontal).toString(), "Date Mailed");
        QCOMPARE(outline.headerData(MailingOutline::TotalColumn, Qt::Horizontal).toString(), "Total Mailed");
        QCOMPARE(centre()->windowTitle(), "Tamberlyn Central");
    }

    void oneCentreCheckedInTheMenuWhileOpen() {
        QAction* command = window->action(QStringLiteral("id_TBCentral"));
        QVERIFY(command->isChecked());
        QVERIFY(window->dispatch(QStringLiteral("id_TBCentral")));
        int centres = 0;
        for (QMdiSubWindow* sub : window->mdiArea()->subWindowList())
            centres += qobject_cast<frmTBCentral*>(sub->widget()) != nullptr;
        QCOMPARE(centres, 1);
        qobject_cast<QMdiSubWindow*>(centre()->parentWidget())->close();
        QTRY_VERIFY(!command->isChecked());
        QVERIFY(!centre());
    }

    void theStartTimerOpensTheCentreWhenTheSettingSaysSo_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("opens");
        QTest::newRow("true") << "true" << true;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("false") << "False" << false;
    }
    void theStartTimerOpensTheCentreWhenTheSettingSaysSo() {
        QFETCH(QString, setting);
        QFETCH(bool, opens);
        qobject_cast<QMdiSubWindow*>(centre()->parentWidget())->close();
        QTRY_VERIFY(!centre());
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("StartTBCentral"), setting);
        window->finishStartup();
        QTest::qWait(400);
        QCOMPARE(centre() != nullptr, opens);
    }

    void groupCommandsAndTheirTexts() {
        // The side bar's window offers the three.
        QVERIFY(window->dispatch(QStringLiteral("id_TBGroups")));
        auto* options = openDialog<frmTamberlynGroupOptions>();
        QVERIFY(options);
        QCOMPARE(options->windowTitle(), "Tamberlyn Groups");
        QCOMPARE(options->findChild<QPushButton*>(QStringLiteral("cmdClose"))->text(), "&Close");
        QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("cmdSelect_0")), Qt::LeftButton);
        auto* dialog = openDialog<frmOpenDelete>();
        QVERIFY(dialog);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("txtName"));
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"));
        for (const char* refused : {"Spring", "Bad;name"}) {
            name->setText(QString::fromLatin1(refused));
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY(dialog->isVisible());
        }
        QCOMPARE(newTexts(),
                 (QStringList{"A Tamberlyn Group with this name already exists.  Please choose a new "
                              "name.",
                              frmOpenDelete::invalidNameText()}));
        name->setText(QStringLiteral("Summer"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtDescription"))
            ->setText(QStringLiteral("Hot offers"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(mdlTamberlynGroupOptions::Groups().last().TamberlynName, "Summer");
        QCOMPARE(mdlTamberlynGroupOptions::Groups().last().TamberlynDescription, "Hot offers");
        QCOMPARE(centre()->outline().nameAt(grid()->selectionModel()->currentIndex()), "Summer");

        // Deleting asks about each group; No keeps it.
        const auto deleteGroup = [this](Prompter::Answer answer) {
            QVERIFY(window->dispatch(QStringLiteral("id_DeleteTB")));
            auto* chooser = openDialog<frmOpenDelete>();
            QVERIFY(chooser);
            auto* items = chooser->findChild<QTreeWidget*>(QStringLiteral("lstItems"));
            items->findItems(QStringLiteral("Summer"), Qt::MatchExactly).first()->setSelected(true);
            home->prompter.answer(answer);
            QTest::mouseClick(chooser->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
            QCOMPARE(newTexts(), QStringList{"Are you sure you wish to delete the group 'Summer'?"});
        };
        deleteGroup(Prompter::Answer::No);
        QVERIFY(Mailings::exists(Mailings::Part::Group, QStringLiteral("Summer")));
        deleteGroup(Prompter::Answer::Yes);
        QVERIFY(!Mailings::exists(Mailings::Part::Group, QStringLiteral("Summer")));
        QVERIFY(!centre()->outline().indexOfGroup(QStringLiteral("Summer")).isValid());

        // Opening a group shows it selected in the centre.
        QVERIFY(window->dispatch(QStringLiteral("id_OpenTB")));
        auto* opener = openDialog<frmOpenDelete>();
        QVERIFY(opener);
        opener->findChild<QTreeWidget*>(QStringLiteral("lstItems"))
            ->findItems(QStringLiteral("Spring"), Qt::MatchExactly)
            .first()
            ->setSelected(true);
        QTest::mouseClick(opener->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(grid()->selectionModel()->currentIndex().siblingAtColumn(0),
                 rowOf(QStringLiteral("Spring group")));
    }

    void theModelsKeepTheirContract() {
        MailingOutline outline;
        QAbstractItemModelTester outlineTester(&outline,
                                               QAbstractItemModelTester::FailureReportingMode::QtTest);
        outline.setContent({QStringLiteral("A"), QStringLiteral("B")}, Mailings::all());
        Mailing extra = *Mailings::find(spring);
        extra.MailEventName = 99;
        extra.MessageName = QStringLiteral("Another");
        outline.setContent({}, Mailings::all() << extra);
        QCOMPARE(outline.rowCount(), 2);
        QCOMPARE(outline.rowCount(outline.indexOfMailing(99).parent()), 2);
        extra.SentCount = 12;
        QVERIFY(outline.updateMailing(extra));
        QCOMPARE(outline.indexOfMailing(99).siblingAtColumn(MailingOutline::TotalColumn).data().toInt(), 12);
        QCOMPARE(outline.indexOfMailing(99).siblingAtColumn(MailingOutline::OptionsColumn).data().toString(),
                 Options);

        MailRunTable runs;
        QAbstractItemModelTester runsTester(&runs, QAbstractItemModelTester::FailureReportingMode::QtTest);
        MailRuns::Run run;
        run.RunID = 4;
        run.RunStart = QDateTime(QDate(2026, 1, 1), QTime(8, 0));
        runs.setRuns({run, run});
        QCOMPARE(runs.index(0, MailRunTable::EndColumn).data().toString(), QString());
        runs.setRuns({});
    }
};

QTEST_MAIN(TestMailingCentre)
#include "tst_mailingcentre.moc"
