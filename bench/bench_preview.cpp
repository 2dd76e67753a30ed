// The message preview on a list of a million rows: opening the window on the first recipient, then
// stepping through recipients, with the list read a row at a time. Run with QT_QPA_PLATFORM=offscreen on
// a machine without a display.
#include "BenchSupport.h"
#include "app/mdlMain.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "messages/MessagePreview.h"
#include "messages/ui/frmMessagePreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Rows = 1000000;
constexpr int Steps = 200;

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

MessageRecord letter() {
    MessageRecord m;
    m.MessageName = QStringLiteral("Autumn letter");
    m.MailingList = QStringLiteral("Big");
    m.SendType = 2;
    m.Subject = QStringLiteral("Your order <<Keyword1>>");
    QString text;
    QString html = QStringLiteral("<html><body><h1>Autumn</h1>");
    for (int i = 0; i < 60; ++i) {
        text +=
            QStringLiteral("Dear <<FirstName>> <<LastName>>, this is paragraph %1 of the letter about the "
                           "autumn catalogue and your order <<Keyword1>>.\n")
                .arg(i);
        html += QStringLiteral("<p>Dear &lt;&lt;FirstName&gt;&gt;, paragraph %1 about <b>order</b> "
                               "<<Keyword1>>.</p>")
                    .arg(i);
    }
    m.MessageText = text;
    m.HTMLText = html + QStringLiteral("</body></html>");
    m.UseGreetingManager = true;
    m.Salutation = QStringLiteral("Dear");
    m.Punctuation = QStringLiteral(",");
    m.UseFName = m.UseLName = true;
    m.MissingFNameOption = m.MissingLNameOption = true;
    m.GreetingType = 1;
    m.AddressType = 1;
    m.HTMLGreeting = QStringLiteral("<BODY><p>{Prefix} {Salutation}</p></BODY>");
    return m;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    BenchPrompter prompter(true);
    Startup startup(StartupOptions{home, QStringLiteral("tamberlyn"), &prompter});
    startup.run();
    {
        const QString path = DataTank::CreateBlankDatabase();
        db::Database list = db::Database::open(path);
        db::Transaction rows(list);
        db::Statement insert = list.prepare(QStringLiteral(
            "INSERT INTO AddressList (EAddress, FirstName, LastName, Keyword1) VALUES (?,?,?,?)"));
        for (int i = 0; i < Rows; ++i) {
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
        db::Database central = CentralDatabase::open();
        central.exec(QStringLiteral("INSERT INTO List (ListName, ListPath) VALUES ('Big', 'Big.mdb')"));
        QFile::rename(path, appFolders().AddressListsFolder + QStringLiteral("Big.mdb"));
    }

    const long before = residentKiB();
    QElapsedTimer timer;
    timer.start();
    frmMessagePreview* window = frmMessagePreview::showPreview(letter(), prompter, nullptr);
    if (!window) {
        std::fprintf(stderr, "The preview did not open\n");
        return 1;
    }
    settle();
    std::printf(
        "Open the preview on %d rows, first recipient shown: %.3f s (target < 1 s); memory: %ld MiB\n", Rows,
        timer.nsecsElapsed() / 1e9, (residentKiB() - before) / 1024);

    auto* next = window->findChild<QPushButton*>(QStringLiteral("cmdNext"));
    std::vector<double> steps;
    for (int i = 0; i < Steps; ++i) {
        timer.restart();
        next->click();
        settle();
        steps.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(steps.begin(), steps.end());
    std::printf("Next, %d times: median %.2f ms, slowest %.2f ms (%s)\n", Steps, steps[steps.size() / 2],
                steps.back(), qPrintable(window->preview().counterText()));
    delete window;
    return 0;
}
