// Saves pictures of the main window and of each dialog into build/screenshots, for people to look at.
#include "app/ui/frmConfiguration.h"
#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "db/DataTank.h"
#include "lists/ListResync.h"
#include "lists/ui/ResyncLists.h"
#include "lists/ui/frmFileDisplay.h"
#include "lists/ui/frmFindReplace.h"
#include "lists/ui/frmList.h"
#include "lists/ui/frmTableView.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QTest>

namespace {

QString shotFolder() {
    return QStringLiteral(TAMBERLYN_SOURCE_DIR) + QStringLiteral("/build/screenshots");
}

void save(QWidget* widget, const QString& name) {
    widget->show();
    QCoreApplication::processEvents();
    const QString path = shotFolder() + u'/' + name + QStringLiteral(".png");
    QVERIFY2(widget->grab().save(path), qPrintable(path));
}

} // namespace

class TestScreenshots : public QObject {
    Q_OBJECT

private:
    TestHome home;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir().mkpath(shotFolder()));
        QVERIFY(home.start());
    }

    void mainWindowWithAList() {
        const QString temp = DataTank::CreateBlankDatabase();
        {
            db::Database list = db::Database::open(temp);
            db::Transaction transaction(list);
            const QStringList first = {"Ann",   "Bob",   "Carla", "Dmitri", "Eve",
                                       "Farid", "Grace", "Hiro",  "Ines"};
            const QStringList last = {"Archer", "Baker", "Cruz", "Dahl", "Evans",
                                      "Fox",    "Gray",  "Hale", "Ito"};
            for (int i = 0; i < 60; ++i)
                list.exec(QStringLiteral("INSERT INTO AddressList (EAddress, FirstName, LastName, Keyword1) "
                                         "VALUES (?, ?, ?, ?)"),
                          {QStringLiteral("%1.%2%3@example.org")
                               .arg(first[i % 9].toLower(), last[i % 9].toLower())
                               .arg(i),
                           first[i % 9], last[i % 9],
                           i % 3 ? QStringLiteral("customer") : QStringLiteral("press")});
            transaction.commit();
        }
        DataTank::SaveListAs(temp, QStringLiteral("Customers"), QStringLiteral("Our customers"), false,
                             home.prompter);
        mdiMain window(home.prompter);
        window.resize(1100, 700);
        window.show();
        QVERIFY(window.ShowListFromName(QStringLiteral("Customers")));
        frmList* list = window.activeList();
        qobject_cast<QMdiSubWindow*>(list->parentWidget())->resize(820, 480);
        window.setStatusText(QStringLiteral("Ready"));
        save(&window, QStringLiteral("main-window-with-list"));

        frmFindReplace find(list, true, &window);
        save(&find, QStringLiteral("frmFindReplace"));

        auto* table =
            window.showTable(list->path(), QStringLiteral("AddressList"), QStringLiteral("Customers"));
        QVERIFY(table);
        table->parentWidget()->resize(700, 360);
        save(table->parentWidget(), QStringLiteral("frmTableView"));
        list->closeQuietly();
    }

    void dialogs() {
        frmConfiguration options(home.prompter);
        save(&options, QStringLiteral("frmConfiguration"));

        const QList<frmOpenDelete::Entry> entries = {
            {QStringLiteral("Customers"), QStringLiteral("Our customers")},
            {QStringLiteral("Press"), QStringLiteral("Journalists")}};
        for (const auto& [mode, name] : {std::pair{frmOpenDelete::Mode::Open, "frmOpenDelete-open"},
                                         std::pair{frmOpenDelete::Mode::Delete, "frmOpenDelete-delete"},
                                         std::pair{frmOpenDelete::Mode::Save, "frmOpenDelete-save"}}) {
            frmOpenDelete dialog(mode, frmOpenDelete::listTexts(mode), entries, home.prompter);
            save(&dialog, QString::fromLatin1(name));
        }

        ResyncLists missing(ListResync::Phase::Missing, {QStringLiteral("Old List.mdb")}, home.prompter);
        save(&missing, QStringLiteral("ResyncLists-missing"));
        ResyncLists extra(ListResync::Phase::Extra, {QStringLiteral("New.mdb"), QStringLiteral("Copied.mdb")},
                          home.prompter);
        save(&extra, QStringLiteral("ResyncLists-extra"));

        QFile text(home.file(QStringLiteral("notes.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Harvested from mailbox export.\nann@example.org\nbob@example.org\n");
        text.close();
        frmFileDisplay display(text.fileName());
        save(&display, QStringLiteral("frmFileDisplay"));
    }
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
