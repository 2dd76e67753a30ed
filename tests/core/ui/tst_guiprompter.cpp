#include "core/ui/GuiPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// Clicks the given button of the next message box once it is shown, and records its texts.
struct BoxClicker {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;

    void clickWhenShown(QMessageBox::StandardButton which) {
        QTimer::singleShot(0, [this, which] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text().remove(u'&');
            box->button(which)->click();
        });
    }
};

} // namespace

class TestGuiPrompter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void askShowsTheButtonsAndReturnsTheClickedOne() {
        GuiPrompter prompter;
        BoxClicker clicker;
        clicker.clickWhenShown(QMessageBox::No);
        QCOMPARE(prompter.ask("Invalid Fields", "Continue?", Prompter::Buttons::YesNoCancel),
                 Prompter::Answer::No);
        QCOMPARE(clicker.title, QStringLiteral("Invalid Fields"));
        QCOMPARE(clicker.text, QStringLiteral("Continue?"));
        QCOMPARE(clicker.icon, QMessageBox::Question);
        QCOMPARE(clicker.buttons.size(), 3);
    }

    void informShowsOneOkButtonWithTheIcon() {
        GuiPrompter prompter;
        BoxClicker clicker;
        clicker.clickWhenShown(QMessageBox::Ok);
        prompter.inform("Tamberlyn", "Already running.", Prompter::Icon::Exclamation);
        QCOMPARE(clicker.icon, QMessageBox::Warning);
        QCOMPARE(clicker.buttons, QStringList{"OK"});
    }
};

QTEST_MAIN(TestGuiPrompter)
#include "tst_guiprompter.moc"
