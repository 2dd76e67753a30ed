// The desktop program: start-up to the main window with 500 registered lists, and a list window on a
// list of a million rows (open, scroll to the end, sort by another column). Run with
// QT_QPA_PLATFORM=offscreen on a machine without a display.
#include "BenchLists.h"
#include "app/mdlMain.h"
#include "app/ui/mdiMain.h"
#include "core/ConsolePrompter.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "lists/ListTableModel.h"
#include "lists/ui/frmList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int ListCount = 500;
constexpr int BigListRows = 1000000;

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QString none;
    QTextStream in(&none), out(&none), err(stderr);
    ConsolePrompter prompter(ConsolePrompter::Mode::AnswerNo, in, out, err, false);

    QString bigList;
    {
        registerSmallLists(home, ListCount, prompter);
        db::Database central = CentralDatabase::open();

        // The big list, written straight into a blank list file and registered under a name.
        bigList = DataTank::CreateBlankDatabase();
        db::Database list = db::Database::open(bigList);
        db::Transaction rows(list);
        db::Statement insert = list.prepare(QStringLiteral(
            "INSERT INTO AddressList (EAddress, FirstName, LastName, Keyword1) VALUES (?,?,?,?)"));
        for (int i = 0; i < BigListRows; ++i) {
            // Addresses out of order, so the address order is not the file order.
            const quint32 key = quint32(i) * 2654435761u;
            insert.bindAll({QStringLiteral("user%1.%2@example.invalid").arg(key).arg(i),
                            QStringLiteral("First%1").arg(i % 997), QStringLiteral("Last%1").arg(i % 1009),
                            QStringLiteral("kw%1").arg(i % 13)});
            insert.exec();
        }
        insert = {};
        rows.commit();
        list.close();
        central.exec(QStringLiteral("INSERT INTO List (ListName, ListPath) VALUES ('Big', 'Big.mdb')"));
        QFile::rename(bigList, home + QStringLiteral("/AddressLists/Big.mdb"));
    }

    // Start-up to the main window: everything Main does, until the window is shown and painted.
    std::unique_ptr<mdiMain> window;
    QElapsedTimer timer;
    timer.start();
    StartupOptions options{home, QStringLiteral("tamberlyn"), &prompter};
    options.showMainWindow = [&] {
        window = std::make_unique<mdiMain>(prompter);
        window->show();
    };
    {
        Startup startup(options);
        startup.run();
        window->finishStartup();
        settle();
        const double started = timer.nsecsElapsed() / 1e9;
        std::printf("Start to the main window with %d registered lists: %.3f s (target < 1.5 s)\n",
                    ListCount + 1, started);

        const long before = residentKiB();
        timer.restart();
        window->ShowListFromName(QStringLiteral("Big"));
        settle();
        std::printf("Open a list window on %d rows: %.3f s (target < 1 s)\n", BigListRows,
                    timer.nsecsElapsed() / 1e9);
        frmList* list = window->activeList();
        timer.restart();
        QTableView* grid = list->grid();
        for (int step = 0; step <= 20; ++step) {
            grid->scrollTo(list->model().index(step * (BigListRows / 20) - (step ? 1 : 0), 0));
            settle();
        }
        std::printf("Scroll through it in 20 jumps: %.3f s; memory held by the window: %ld MiB\n",
                    timer.nsecsElapsed() / 1e9, (residentKiB() - before) / 1024);
        timer.restart();
        list->sortBy(1, Qt::DescendingOrder);
        settle();
        std::printf("Sort by FirstName, descending: %.3f s\n", timer.nsecsElapsed() / 1e9);
        list->closeQuietly();
        settle();
        window.reset();
    }
    return 0;
}
