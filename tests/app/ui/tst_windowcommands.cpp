#include "app/ui/mdiMain.h"
#include "support/DesktopTest.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>
#include <QToolBar>
#include <QToolBox>

namespace {

// A menu's entries as "text" lines, "-" for a separator.
QStringList entries(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

// The main window builds its menus, toolbar and side bar from the commands the modules register.
class TestWindowCommands : public QObject, public DesktopTest {
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(openDesktop()); }
    void cleanup() { closeDesktop(); }

    // Every command the menus, toolbar and side bar show has a handler.
    void everyCommandIsWired() {
        QVERIFY(!window->commandIds().isEmpty());
        for (const QString& id : window->commandIds())
            QVERIFY2(window->isWired(id), qPrintable(id + QStringLiteral(" has no handler")));
    }

    void theMenusKeepTheirEntriesAndOrder_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("File") << "mnuFile"
                              << QStringList{"&New List",
                                             "New &Message",
                                             "New &Delivery Options",
                                             "New Mailing &Group",
                                             "-",
                                             "&Open List...",
                                             "Open M&essage...",
                                             "Open Deli&very Options...",
                                             "Open Mailing Gro&up...",
                                             "-",
                                             "&Close",
                                             "Close A&ll",
                                             "-",
                                             "&Save",
                                             "Save &As...",
                                             "-",
                                             "Delete L&ist...",
                                             "Delete Messa&ge...",
                                             "Delete Delivery O&ptions...",
                                             "Delete Mailing G&roup...",
                                             "-",
                                             "Sen&d Mailing...",
                                             "-",
                                             "Op&tions...",
                                             "-",
                                             "E&xit"};
        QTest::newRow("Edit") << "mnuEdit"
                              << QStringList{
                                     "Cu&t",           "&Copy",       "&Paste", "Select &All",       "-",
                                     "&Find...",       "R&eplace...", "-",      "&Delete Record(s)", "-",
                                     "Check &Spelling"};
        QTest::newRow("Tools") << "mnuTools"
                               << QStringList{"Import from &Mailbox...",
                                              "Import Contact &Database...",
                                              "&Build List from Files...",
                                              "Subscription Manager...",
                                              "Returned Mail Manager...",
                                              "-",
                                              "Merge &Lists...",
                                              "&Clean List...",
                                              "Find D&uplicates...",
                                              "&Filter...",
                                              "&Export List..."};
        QTest::newRow("Message") << "mnuMessageTools"
                                 << QStringList{"&Greeting Manager...", "Message &Preview",
                                                "Insert &Attachment...", "Insert &File...", "&Spell Check"};
        QTest::newRow("Tamberlyn") << "mnuTamberlyn"
                                   << QStringList{"Tamberlyn &Central", "Tamberlyn &Wizard..."};
        QTest::newRow("Help") << "mnuHelp"
                              << QStringList{"Tamberlyn &Help", "&Getting Started", "-", "&About Tamberlyn"};
    }
    void theMenusKeepTheirEntriesAndOrder() {
        QFETCH(QString, menu);
        QFETCH(QStringList, expected);
        auto* found = window->menuBar()->findChild<QMenu*>(menu);
        QVERIFY(found);
        QCOMPARE(entries(found->actions()), expected);
    }

    void theMenuBarToolbarAndSideBarKeepTheirOrder() {
        QStringList menus;
        for (const QAction* action : window->menuBar()->actions())
            menus << action->menu()->objectName();
        QCOMPARE(menus, (QStringList{"mnuFile", "mnuEdit", "mnuTools", "mnuMessageTools", "mnuTamberlyn",
                                     "mnuWindow", "mnuHelp"}));
        QStringList buttons;
        for (const QAction* action : window->findChild<QToolBar*>(QStringLiteral("tbrMain"))->actions())
            buttons << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        QCOMPARE(buttons, (QStringList{"id_FileNewList", "id_FileOpenList", "id_FileSave", "-", "id_EditFind",
                                       "id_EditDeleteRecord", "-", "id_TBCentral", "id_FileSendTamberlyn",
                                       "-", "ID_Options", "id_HelpTamberlynHelp"}));
        const QList<QStringList> groups = {
            {"New list", "Open existing list", "Manage lists", "Delete list"},
            {"New Message", "Open existing message", "Delete Message"},
            {"Tamberlyn Delivery Options", "Tamberlyn Central", "Tamberlyn Wizard", "Tamberlyn Groups"},
        };
        QCOMPARE(window->listbarOrder(), (QStringList{"Lists", "Messages", "Tamberlyn"}));
        for (int group = 0; group < groups.size(); ++group) {
            const auto* items = window->listbar()->findChild<QListWidget*>(QStringLiteral("albGroup") +
                                                                           QString::number(group + 1));
            QStringList texts;
            for (int i = 0; i < items->count(); ++i)
                texts << items->item(i)->text();
            QCOMPARE(texts, groups[group]);
        }
    }
};

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
