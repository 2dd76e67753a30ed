#include "app/CommandLine.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

// Every file below a folder with a digest of its content and its modification time.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        files[path] = QCryptographicHash::hash(readFileBytes(path), QCryptographicHash::Sha1) +
                      QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    }
    return files;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initCreatesTheFolderOnceAndChangesNothingTheSecondTime() {
        TestHome home;
        const CommandRun first = runCommandLine({"--home", home.path(), "init"});
        QCOMPARE(first.status, 0);
        QVERIFY(first.err.isEmpty());
        QVERIFY(QFile::exists(home.file("Tamberlyn.ini")));
        QVERIFY(QFile::exists(home.file("MailEventProfiles/Default Mail Event")));
        const auto before = snapshot(home.path());
        QTest::qWait(20);
        QCOMPARE(runCommandLine({"--home", home.path(), "init"}).status, 0);
        QCOMPARE(snapshot(home.path()), before);
    }

    void homeComesFromTheEnvironmentWhenNotGiven() {
        TestHome home;
        qputenv("TAMBERLYN_HOME", home.path().toUtf8());
        const CommandRun run = runCommandLine({"init"});
        qunsetenv("TAMBERLYN_HOME");
        QCOMPARE(run.status, 0);
        QVERIFY(QFile::exists(home.file("Tamberlyn.ini")));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << "No command given; see tamberlyn --help.\n";
        QTest::newRow("unknown command")
            << QStringList{"frobnicate"} << "Unknown command 'frobnicate'; see tamberlyn --help.\n";
        QTest::newRow("unknown option")
            << QStringList{"--bogus", "init"} << "Unknown option 'bogus'; see tamberlyn --help.\n";
        QTest::newRow("yes and no") << QStringList{"--yes", "--no", "init"}
                                    << "Give either --yes or --no, not both.\n";
        QTest::newRow("command option") << QStringList{"init", "--samples"} << "Unknown option 'samples'.\n";
        QTest::newRow("stray argument") << QStringList{"init", "extra"} << "Unexpected argument 'extra'.\n";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestHome home;
        const CommandRun run = runCommandLine(QStringList{"--home", home.path()} + arguments);
        QCOMPARE(run.status, 2);
        QCOMPARE(run.err, message);
        QVERIFY(!QFileInfo::exists(home.path()));
    }

    void unreadableCentralDatabaseFailsEveryCommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("init") << QStringList{"init"};
        QTest::newRow("lists") << QStringList{"lists"};
        QTest::newRow("resync") << QStringList{"resync"};
        QTest::newRow("merge") << QStringList{"merge", "A", "B", "--name", "C"};
        QTest::newRow("export") << QStringList{"export", "A", "a.csv"};
        QTest::newRow("groups") << QStringList{"groups"};
        QTest::newRow("options list") << QStringList{"options", "list"};
        QTest::newRow("mailing list") << QStringList{"mailing", "list"};
        QTest::newRow("message show") << QStringList{"message", "show", "M"};
        QTest::newRow("message import") << QStringList{"message", "import", "--name", "M", "--subject", "S"};
        QTest::newRow("harvest") << QStringList{"harvest", "--name", "H", "notes.txt"};
        QTest::newRow("pop-account list") << QStringList{"pop-account", "list"};
        QTest::newRow("send") << QStringList{"send", "1"};
    }
    void unreadableCentralDatabaseFailsEveryCommand() {
        QFETCH(QStringList, arguments);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator seeded(13);
        seeded.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QFile central(home.file("system/Tamberlyn.tbf"));
        QVERIFY(central.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(central.write(noise), noise.size());
        central.close();

        const CommandRun run = runCommandLine(QStringList{"--home", home.path()} + arguments);
        QCOMPARE(run.status, 1);
        QVERIFY2(QRegularExpression("^Tamberlyn: Error \\d+ in TBFVerify\nfile is not a database\n")
                     .match(run.err)
                     .hasMatch(),
                 qPrintable(run.err));
        QCOMPARE(readFileBytes(home.file("system/Tamberlyn.tbf")), noise);
    }

    void helpAndVersion() {
        const CommandRun help = runCommandLine({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains(QStringLiteral("--home <DIR>")));
        QVERIFY(help.out.contains(QStringLiteral("  init ")));
        const CommandRun version = runCommandLine({"--version"});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith(QStringLiteral("Tamberlyn Version ")));
    }

    void secondCopyOnTheSameFolderIsRefused() {
        TestHome home;
        QVERIFY(home.start());
        const auto before = snapshot(home.path());
        const CommandRun run = runCommandLine({"--home", home.path(), "init"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith(QStringLiteral("Tamberlyn: Tamberlyn is already running.")));
        QCOMPARE(snapshot(home.path()), before);
    }

    void wantsDesktopOnlyWithoutACommand() {
        QVERIFY(WantsDesktop({"tamberlyn"}));
        QVERIFY(WantsDesktop({"tamberlyn", "--home", "/x", "--yes"}));
        QVERIFY(WantsDesktop({"tamberlyn", "--home=/x"}));
        QVERIFY(!WantsDesktop({"tamberlyn", "init"}));
        QVERIFY(!WantsDesktop({"tamberlyn", "--help"}));
        QVERIFY(!WantsDesktop({"tamberlyn", "--home", "/x", "lists"}));
    }

    void realProcesses() {
        TestHome home;
        const QString program = QStringLiteral(TAMBERLYN_EXECUTABLE);
        QProcess process;
        process.start(program, {"--home", home.path(), "init"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);

        // A copy under another name refuses to run and touches nothing.
        QTemporaryDir dir;
        const QString copy = dir.path() + QStringLiteral("/mailer");
        QVERIFY(QFile::copy(program, copy));
        const auto before = snapshot(home.path());
        process.start(copy, {"--home", home.path(), "init"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError())
                    .contains(QStringLiteral("The executable file name has been changed to 'mailer'")));
        QCOMPARE(snapshot(home.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
