#include "core/ui/frmStatus.h"
#include "core/ui/frmWizard.h"
#include "support/ScriptedPrompter.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

// Three pages; the second refuses Next until allowed.
class ThreeSteps : public frmWizard {
public:
    explicit ThreeSteps(Prompter& prompter) : frmWizard(prompter) {
        for (int i = 0; i < 3; ++i)
            addPage(QStringLiteral("Sample Wizard"), QStringLiteral("Heading ") + QString::number(i + 1));
    }
    bool allowLeavingTwo = false;
    int abandoned = 0;
    QList<int> entered;
    using frmWizard::setBusy;
    using frmWizard::setFinishEnabled;

protected:
    bool checkPage(int page) override {
        if (page == 1 && !allowLeavingTwo) {
            prompter().inform(QStringLiteral("t"), QStringLiteral("not yet"));
            return false;
        }
        return true;
    }
    void pageEntered(int page) override { entered << page; }
    void abandonWork() override { ++abandoned; }
};

QStringList columnTexts(QTreeWidget* view, int column) {
    QStringList texts;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        texts << view->topLevelItem(i)->text(column);
    return texts;
}

} // namespace

class TestWizardFrame : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nextRunsThePageCheckAndTheCaptionCountsSteps() {
        ScriptedPrompter prompter;
        ThreeSteps wizard(prompter);
        wizard.LoadWizModal();
        QCOMPARE(wizard.windowTitle(), QStringLiteral("Sample Wizard - Step 1 of 3"));
        QVERIFY(!wizard.button(frmWizard::Back)->isEnabled());
        QCOMPARE(wizard.button(frmWizard::Next)->objectName(), QStringLiteral("cmdWizard_1"));
        QCOMPARE(wizard.button(frmWizard::Exit)->text(), QStringLiteral("E&xit"));

        wizard.button(frmWizard::Next)->click();
        wizard.button(frmWizard::Next)->click(); // refused by the check
        QCOMPARE(wizard.currentPage(), 1);
        QCOMPARE(prompter.texts(), QStringList{QStringLiteral("not yet")});
        wizard.allowLeavingTwo = true;
        wizard.button(frmWizard::Next)->click();
        QCOMPARE(wizard.windowTitle(), QStringLiteral("Sample Wizard - Step 3 of 3"));
        QVERIFY(!wizard.button(frmWizard::Next)->isEnabled());
        wizard.button(frmWizard::Back)->click();
        QCOMPARE(wizard.currentPage(), 1);
        QCOMPARE(wizard.entered, (QList<int>{0, 1, 2, 1}));
        wizard.done(QDialog::Accepted);
    }

    void busyWorkHoldsTheButtons() {
        ScriptedPrompter prompter;
        ThreeSteps wizard(prompter);
        wizard.LoadWizModal();
        wizard.setFinishEnabled(true);
        wizard.setBusy(true);
        QVERIFY(!wizard.goNext());
        for (auto b : {frmWizard::Back, frmWizard::Next, frmWizard::Finish})
            QVERIFY(!wizard.button(b)->isEnabled());
        QVERIFY(wizard.button(frmWizard::Exit)->isEnabled());
        wizard.setBusy(false);
        QVERIFY(wizard.button(frmWizard::Finish)->isEnabled());
        wizard.button(frmWizard::Finish)->click(); // no question on Finish
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
    }

    void everyWayOutAsksFirst_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("close box") << QStringLiteral("close");
        QTest::newRow("Exit") << QStringLiteral("exit");
        QTest::newRow("Escape") << QStringLiteral("escape");
    }
    void everyWayOutAsksFirst() {
        QFETCH(QString, way);
        ScriptedPrompter prompter;
        ThreeSteps wizard(prompter);
        wizard.LoadWizModal();
        const auto leave = [&] {
            if (way == u"close")
                wizard.close();
            else if (way == u"exit")
                wizard.button(frmWizard::Exit)->click();
            else
                QTest::keyClick(&wizard, Qt::Key_Escape);
        };
        prompter.answer(Prompter::Answer::No);
        leave();
        QVERIFY(wizard.isVisible());
        QCOMPARE(wizard.abandoned, 0);
        prompter.answer(Prompter::Answer::Yes);
        leave();
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.abandoned, 1);
        QCOMPARE(prompter.texts(), QStringList(2, frmWizard::exitQuestionText()));
        QVERIFY(prompter.allAnswersUsed());
    }

    void statusReportSortsNumbersByValueAndHidesEmptyButtons() {
        const frmStatus::Table table{QStringLiteral("POP Import Summary"),
                                     {QStringLiteral("List Name"), QStringLiteral("Added")},
                                     {{QStringLiteral("Zeta"), QStringLiteral("9")},
                                      {QStringLiteral("alpha"), QStringLiteral("10")},
                                      {QStringLiteral("Beta"), QStringLiteral("100")}}};
        frmStatus* status = frmStatus::ShowStatus(QStringLiteral("Report"), table,
                                                  {QStringLiteral("OK"), QString(), QStringLiteral("Save")});
        QSignalSpy pressed(status, &frmStatus::pressed);
        QTreeWidget* view = status->view();
        QCOMPARE(columnTexts(view, 0), (QStringList{"Zeta", "alpha", "Beta"}));
        view->sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(columnTexts(view, 1), (QStringList{"9", "10", "100"}));
        view->sortByColumn(0, Qt::AscendingOrder);
        QCOMPARE(columnTexts(view, 0), (QStringList{"alpha", "Beta", "Zeta"}));
        QVERIFY(status->findChild<QPushButton*>(QStringLiteral("cmdButton_0"))->isVisible());
        QVERIFY(!status->findChild<QPushButton*>(QStringLiteral("cmdButton_1"))->isVisible());
        status->findChild<QPushButton*>(QStringLiteral("cmdButton_2"))->click();
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.first().first().toString(), QStringLiteral("Save"));
    }

    void statusCloseBoxAnswersNothing() {
        frmStatus status(QStringLiteral("Report"), {{}, {QStringLiteral("A")}, {}}, {QStringLiteral("OK")});
        QSignalSpy pressed(&status, &frmStatus::pressed);
        status.show();
        status.close();
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.first().first().toString(), QString());
    }
};

QTEST_MAIN(TestWizardFrame)
#include "tst_wizardframe.moc"
