// The wizards keep the window responsive while they work: a 10 ms timer records the gaps of the event
// loop while the windows harvest a large mailbox file, read a POP mailbox of 5,000 messages (box81) and
// import a CSV file of a million rows; each is timed beside the same work without a window. Targets: no
// gap above 50 ms at the 99th percentile, and at most 1.2 times the headless time. "--scale F" shrinks
// the inputs (0.01 for a quick look). The POP part needs the variables that ./test sets.
#include "BenchSupport.h"
#include "harvest/AddrManager.h"
#include "harvest/ui/frmEmailWizard.h"
#include "import/ImportBuild.h"
#include "import/IsolatedReader.h"
#include "import/ui/frmDBImportWiz.h"
#include "mailbox/ProcessEMail.h"
#include "mailbox/SearchCategories.h"
#include "mailbox/ui/frmPOPWizard.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Box = 81;

void report(const char* what, double headless, double windowed, const EventLoopGaps& gaps) {
    std::printf("%s: headless %.2f s, window %.2f s (%.2fx, target <= 1.2x); event-loop gap max %.1f ms, "
                "99th percentile %.1f ms (target <= 50 ms)\n",
                what, headless, windowed, headless > 0 ? windowed / headless : 0.0, gaps.max(),
                gaps.percentile99());
}

// Runs the event loop until done() is true.
void runUntil(const std::function<bool()>& done) {
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            QCoreApplication::exit(0);
    });
    check.start(5);
    QCoreApplication::exec();
}

void harvest(const BenchHome& home, double scale) {
    const QString path = home.filePath(QStringLiteral("big.mbx"));
    const qint64 target = qint64(200.0 * 1024 * 1024 * scale);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        for (qint64 i = 0; file.size() < target; ++i)
            file.write(QStringLiteral("From p%1@x.org Mon Jan  1 10:00:00 2024\nFrom: Person %1 <p%1@x.org>\n"
                                      "To: list@y.org\nSubject: note %1\n\nSome words of the body, and more "
                                      "words, to make a line of ordinary length.\n\n")
                           .arg(i)
                           .toUtf8());
    }
    BenchPrompter prompter;
    QElapsedTimer timer;
    double headless = 0;
    {
        AddrManager manager(prompter);
        manager.SelectSourceFile(path, EmailSrcFileObj::mailboxType());
        timer.start();
        const AddrManager::BuildResult result = manager.BuildList();
        headless = timer.nsecsElapsed() / 1e9;
        QFile::remove(result.listPath);
    }
    frmEmailWizard wizard(prompter, [](const QString& list) { QFile::remove(list); });
    wizard.show();
    wizard.findChild<QWidget*>(QStringLiteral("optMailBox"))->setProperty("checked", true);
    wizard.addSourceFile(path);
    while (wizard.goNext()) {
    }
    bool finished = false;
    QObject::connect(&wizard.manager(), &AddrManager::buildFinished, [&] { finished = true; });
    EventLoopGaps gaps(10);
    gaps.start();
    timer.start();
    wizard.findChild<QPushButton*>(QStringLiteral("cmdBuild"))->click();
    runUntil([&] { return finished; });
    const double windowed = timer.nsecsElapsed() / 1e9;
    gaps.stop();
    report(qPrintable(QStringLiteral("Harvest %1 MB mailbox").arg(target / (1024 * 1024))), headless,
           windowed, gaps);
}

int boxFiles(const QString& mailDir) {
    int count = 0;
    for (const char* sub : {"new", "cur"})
        count += int(QDir(mailDir + QStringLiteral("/example.test/box%1/").arg(Box) + QLatin1String(sub))
                         .entryList(QDir::Files)
                         .size());
    return count;
}

// Fills the box through SMTP with blocking calls (set-up only); 5% of the subjects ask to subscribe.
bool fillBox(quint16 port, const QString& mailDir, int messages) {
    if (boxFiles(mailDir) == messages)
        return true;
    for (const char* sub : {"new", "cur"}) {
        QDir dir(mailDir + QStringLiteral("/example.test/box%1/").arg(Box) + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files))
            dir.remove(name);
    }
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return false;
    QByteArray pending;
    const auto reply = [&]() -> int {
        for (;;) {
            const qsizetype end = pending.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray line = pending.left(end);
                pending.remove(0, end + 2);
                if (line.size() >= 4 && line.at(3) == '-')
                    continue;
                return line.left(3).toInt();
            }
            if (!socket.waitForReadyRead(10000))
                return 0;
            pending += socket.readAll();
        }
    };
    const auto command = [&](const QByteArray& line) {
        socket.write(line + "\r\n");
        return reply();
    };
    if (reply() != 220 || command("EHLO bench.test") != 250)
        return false;
    const QByteArray to = QStringLiteral("box%1@example.test").arg(Box).toUtf8();
    for (int i = 0; i < messages; ++i) {
        const QByteArray number = QByteArray::number(i);
        const QByteArray subject =
            i % 20 == 0 ? QByteArray("Please subscribe me") : QByteArray("Weekly report number ") + number;
        const QByteArray text = "From: Person " + number + " <p" + number + "@client.test>\r\nTo: " + to +
                                "\r\nSubject: " + subject + "\r\nMessage-ID: <" + number +
                                "@bench.test>\r\n\r\n" + QByteArray(2000, 'x') + "\r\n.";
        if (command("MAIL FROM:<p" + number + "@client.test>") != 250 ||
            command("RCPT TO:<" + to + ">") != 250 || command("DATA") != 354 || command(text) != 250)
            return false;
    }
    command("QUIT");
    for (int waited = 0; boxFiles(mailDir) < messages && waited < 600; ++waited)
        QThread::msleep(100);
    return boxFiles(mailDir) == messages;
}

void mailbox(double scale) {
    const quint16 smtp = quint16(qEnvironmentVariableIntValue("TAMBERLYN_TEST_SMTP_PORT"));
    const quint16 pop = quint16(qEnvironmentVariableIntValue("TAMBERLYN_TEST_POP3_PORT"));
    const QString mailDir = qEnvironmentVariable("TAMBERLYN_TEST_MAIL_DIR");
    const int messages = qMax(20, int(5000 * scale));
    if (!smtp || !pop || mailDir.isEmpty() || !fillBox(smtp, mailDir, messages)) {
        std::printf("POP mailbox: skipped (no test mail servers)\n");
        return;
    }
    const QString user = QStringLiteral("box%1@example.test").arg(Box);
    BenchPrompter prompter;
    QElapsedTimer timer;
    double headless = 0;
    {
        ProcessEMail process(prompter);
        bool done = false;
        QObject::connect(&process, &ProcessEMail::connectionNotEstablished, [&] { done = true; });
        QObject::connect(&process, &ProcessEMail::connectionEstablished, [&] {
            process.setSearchVariables({QStringLiteral("subscribe")}, ProcessEMail::FilterMethod::Phrases,
                                       false);
            process.processMailBox();
        });
        QObject::connect(&process, &ProcessEMail::processingFinished, [&] {
            QFile::remove(process.listPath());
            process.endSession();
        });
        // Timed like the window's run: from connecting to the end of the session.
        QObject::connect(&process, &ProcessEMail::sessionEnded, [&] {
            headless = timer.nsecsElapsed() / 1e9;
            done = true;
        });
        timer.start();
        process.connectToMailBox(QStringLiteral("127.0.0.1"), user, QStringLiteral("testpw"), pop, false);
        runUntil([&] { return done; });
    }
    frmPOPWizard wizard(PopWizardRun::Format::Importer, prompter, nullptr);
    wizard.show();
    wizard.findChild<QLineEdit*>(QStringLiteral("txtPOPHostName"))
        ->setText(QStringLiteral("127.0.0.1:%1").arg(pop));
    wizard.findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(user);
    wizard.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("testpw"));
    SearchCategories::addPhrase(SearchCategories::defaultsName(), QStringLiteral("subscribe"));
    while (wizard.goNext()) {
    }
    wizard.run().setConfirm([](const PopWizardRun::Confirmation&) { return std::optional<bool>(true); });
    bool finished = false;
    QObject::connect(&wizard.run(), &PopWizardRun::finished, [&] { finished = true; });
    EventLoopGaps gaps(10);
    gaps.start();
    timer.start();
    wizard.findChild<QPushButton*>(QStringLiteral("cmdBuild"))->click();
    runUntil([&] { return finished; });
    const double windowed = timer.nsecsElapsed() / 1e9;
    gaps.stop();
    report(qPrintable(QStringLiteral("POP mailbox of %1 messages").arg(messages)), headless, windowed, gaps);
}

void import(const BenchHome& home, double scale) {
    const int rows = qMax(1000, int(1000000 * scale));
    const QString path = home.filePath(QStringLiteral("people.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("Mail,First Name,Last Name,City\n");
        for (int i = 0; i < rows; ++i)
            file.write("person" + QByteArray::number(i) + "@example.org,Ann,Lee,Springfield\n");
    }
    const importer::SourceType text = importer::sourceTypeByCode(QStringLiteral("DBTEXTFILE"));
    BenchPrompter prompter;
    QElapsedTimer timer;
    importer::ImportRequest request;
    request.type = text;
    request.path = path;
    request.roles.email = QStringLiteral("Mail");
    timer.start();
    const importer::ImportResult result = importer::ImportJob(request, prompter).run();
    const double headless = timer.nsecsElapsed() / 1e9;
    importer::discardResult(result);

    frmDBImportWiz wizard(prompter, nullptr);
    wizard.show();
    wizard.findChild<QListWidget*>(QStringLiteral("lstDBTypes"))->setCurrentRow(text.index);
    wizard.goNext();
    wizard.setFolder(home.path());
    auto* files = wizard.findChild<QListWidget*>(QStringLiteral("filSource"));
    files->setCurrentItem(files->findItems(QStringLiteral("people.csv"), Qt::MatchExactly).value(0));
    wizard.goNext();
    wizard.goNext();
    wizard.assignField(frmDBImportWiz::EmailRole, QStringLiteral("Mail"));
    wizard.goNext();
    wizard.goNext();
    EventLoopGaps gaps(10);
    gaps.start();
    timer.start();
    wizard.findChild<QPushButton*>(QStringLiteral("cmdBuild"))->click();
    runUntil([&] {
        const auto builds = wizard.findChildren<importer::ImportBuild*>();
        return std::none_of(builds.begin(), builds.end(), [](auto* b) { return b->isRunning(); });
    });
    const double windowed = timer.nsecsElapsed() / 1e9;
    gaps.stop();
    report(qPrintable(QStringLiteral("Import of %1 CSV rows").arg(rows)), headless, windowed, gaps);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--scale"));
    const double scale = at >= 0 ? arguments.value(at + 1).toDouble() : 1.0;
    importer::IsolatedReader::setProgram(QStringLiteral(TAMBERLYN_EXECUTABLE));
    BenchHome home;
    if (!home.isValid() || scale <= 0)
        return 1;
    // "--only harvest|mailbox|import" runs one of the three.
    const QString only = arguments.value(arguments.indexOf(QStringLiteral("--only")) + 1);
    const bool all = !arguments.contains(QStringLiteral("--only"));
    if (all || only == QLatin1String("harvest"))
        harvest(home, scale);
    if (all || only == QLatin1String("mailbox"))
        mailbox(scale);
    if (all || only == QLatin1String("import"))
        import(home, scale);
    return 0;
}
