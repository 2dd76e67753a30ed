#include "app/CommandLine.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "db/Database.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// Address, first name, last name, keyword 1 and keyword 2 of every row of a saved list, by address.
QStringList savedRows(const QString& home, const QString& list) {
    QStringList rows;
    const db::Database database =
        db::Database::open(home + QStringLiteral("/AddressLists/") + list + QStringLiteral(".mdb"),
                           db::Database::OpenMode::ReadOnly);
    db::Statement query = database.prepare(QStringLiteral(
        "SELECT EAddress, FirstName, LastName, Keyword1, Keyword2 FROM AddressList ORDER BY EAddress"));
    while (query.next())
        rows << QStringList{query.text(0), query.text(1), query.text(2), query.text(3), query.text(4)}.join(
            u'|');
    return rows;
}

} // namespace

class TestHarvestCommand : public QObject {
    Q_OBJECT

private:
    QTemporaryDir sources_;

    // The first start asks about sample data; the commands below are later starts.
    static void firstStart(TestHome& home) {
        QVERIFY(home.start());
        home.stop();
    }

private Q_SLOTS:
    void fileOptionsHoldForTheFilesAfterThem() {
        TestHome home;
        firstStart(home);
        const QString notes = writeFile(sources_, QStringLiteral("notes.txt"), "Ann Lee <ann@x.org>\n");
        const QString inbox = writeFile(sources_, QStringLiteral("inbox.mbox"),
                                        "From: Bob Day <bob@y.org>\nTo: cleo_berg@z.org\nCc: dan@w.org\n");
        const QString outbox = writeFile(sources_, QStringLiteral("outbox.mbox"),
                                         "From: eve@v.org\nTo: fay@u.org\nCc: gil@t.org\n");
        const QString all = writeFile(sources_, QStringLiteral("all.mbox"), "Hi hal@s.org\n");
        const CommandRun run = runCommandLine(
            {"--home", home.path(), "harvest", "--name", "Fair", "--keyword1", "fair", notes, "--type",
             "mailbox", "--headers", "to", inbox, "--headers=from,cc", outbox, "--scope", "all", all});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, notes + QStringLiteral(": 1 addresses found\n") + inbox +
                              QStringLiteral(": 1 addresses found\n") + outbox +
                              QStringLiteral(": 2 addresses found\n") + all +
                              QStringLiteral(": 1 addresses found\nList 'Fair' saved with 5 addresses.\n"));
        QCOMPARE(savedRows(home.path(), "Fair"),
                 (QStringList{"ann@x.org|Ann|Lee|fair|", "cleo_berg@z.org|Cleo|Berg|fair|",
                              "eve@v.org|||fair|", "gil@t.org|||fair|", "hal@s.org|||fair|"}));
        // The keywords of the build are the settings' keyword values, as the wizard leaves them.
        const QString ini = QString::fromUtf8(readFileBytes(home.file("Tamberlyn.ini")));
        QVERIFY(ini.contains(QStringLiteral("KeyCategoryVal1=fair")));
    }

    void namesCanBeLeftOut() {
        TestHome home;
        firstStart(home);
        const QString notes = writeFile(sources_, QStringLiteral("names.txt"), "Ann Lee <ann@x.org>\n");
        const CommandRun run =
            runCommandLine({"--home", home.path(), "harvest", "--names", "none", "--name", "Plain", notes});
        QCOMPARE(run.status, 0);
        QCOMPARE(savedRows(home.path(), "Plain"), QStringList{"ann@x.org||||"});
    }

    void nothingFoundSavesNothing() {
        TestHome home;
        firstStart(home);
        const QString empty = writeFile(sources_, QStringLiteral("empty.txt"), {});
        const QString none = writeFile(sources_, QStringLiteral("none.txt"), "no address\n");
        const CommandRun run =
            runCommandLine({"--home", home.path(), "harvest", "--name", "Nothing", empty, none});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(QStringLiteral("Unable to open Email file, \"") + empty +
                                 QStringLiteral("\". File may be empty")));
        QVERIFY(run.out.contains(empty + QStringLiteral(": not read\n")));
        QVERIFY(run.out.contains(none + QStringLiteral(": 0 addresses found\n")));
        QVERIFY(run.err.contains(QStringLiteral("the list 'Nothing' was not saved")));
        QVERIFY(!QFile::exists(home.file("AddressLists/Nothing.mdb")));
    }

    void aFileNotReadFailsTheRunButTheOthersAreSaved() {
        TestHome home;
        firstStart(home);
        const QString first = writeFile(sources_, QStringLiteral("one.txt"), "ann@x.org\n");
        const QString missing = sources_.filePath(QStringLiteral("two.txt"));
        const QString third = writeFile(sources_, QStringLiteral("three.txt"), "bob@y.org\n");
        const CommandRun run =
            runCommandLine({"--home", home.path(), "harvest", "--name", "Most", first, missing, third});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.contains(QStringLiteral("List 'Most' saved with 2 addresses.")));
        QCOMPARE(savedRows(home.path(), "Most"), (QStringList{"ann@x.org||||", "bob@y.org||||"}));
        QVERIFY2(run.err.contains(QStringLiteral("The file ") + missing + QStringLiteral(" was not read")),
                 qPrintable(run.err));
        QVERIFY(!run.err.contains(first) && !run.err.contains(third));
    }

    void onlyRegularFilesAreRead() {
        TestHome home;
        firstStart(home);
        // Opening a FIFO for reading waits for a writer that never comes; a .pmm file is copied first.
        const QString fifo = sources_.filePath(QStringLiteral("pipe.txt"));
        const QString pmmFifo = sources_.filePath(QStringLiteral("pipe.pmm"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(pmmFifo).constData(), 0600), 0);
        const QString plain = writeFile(sources_, QStringLiteral("plain.txt"), "cy@z.org\n");
        QElapsedTimer clock;
        clock.start();
        const CommandRun run = runCommandLine(
            {"--home", home.path(), "harvest", "--name", "Piped", fifo, plain, "--type", "mailbox", pmmFifo});
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(run.status, 1);
        QCOMPARE(savedRows(home.path(), "Piped"), QStringList{"cy@z.org||||"});
        for (const QString& path : {fifo, pmmFifo}) {
            QVERIFY(run.out.contains(path + QStringLiteral(": not read\n")));
            QVERIFY(run.err.contains(QStringLiteral("The file ") + path + QStringLiteral(" was not read")));
        }
    }

    void anExistingListIsReplacedOnlyWhenAllowed() {
        TestHome home;
        firstStart(home);
        const QString first = writeFile(sources_, QStringLiteral("first.txt"), "ann@x.org\n");
        const QString second = writeFile(sources_, QStringLiteral("second.txt"), "bob@y.org\n");
        QCOMPARE(runCommandLine({"--home", home.path(), "harvest", "--name", "Same", first}).status, 0);
        const CommandRun refused =
            runCommandLine({"--home", home.path(), "--no", "harvest", "--name", "Same", second});
        QCOMPARE(refused.status, 1);
        QCOMPARE(savedRows(home.path(), "Same"), QStringList{"ann@x.org||||"});
        QCOMPARE(runCommandLine({"--home", home.path(), "--yes", "harvest", "--name", "Same", second}).status,
                 0);
        QCOMPARE(savedRows(home.path(), "Same"), QStringList{"bob@y.org||||"});
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no name") << QStringList{"a.txt"} << "Give the name of the new list with --name.\n";
        QTest::newRow("bad name") << QStringList{"--name", "a/b", "a.txt"}
                                  << "'a/b' cannot be the name of a list.\n";
        QTest::newRow("no files") << QStringList{"--name", "X"}
                                  << "There are currently no files chosen to extract addresses from.\n";
        QTest::newRow("unknown option")
            << QStringList{"--name", "X", "--bogus", "a.txt"} << "Unknown option 'bogus'.\n";
        QTest::newRow("missing value")
            << QStringList{"--name", "X", "a.txt", "--type"} << "Missing value after '--type'.\n";
        QTest::newRow("bad type") << QStringList{"--name", "X", "--type", "pdf", "a.txt"}
                                  << "Invalid value 'pdf' for --type; use text, mailbox or binary.\n";
        QTest::newRow("bad header")
            << QStringList{"--name", "X", "--headers", "from,subject", "a.txt"}
            << "Invalid value 'from,subject' for --headers; use a comma-separated choice "
               "of from, to, cc and bcc.\n";
        QTest::newRow("bad names") << QStringList{"--name", "X", "--names", "ask", "a.txt"}
                                   << "Invalid value 'ask' for --names; use none or guess.\n";
        QTest::newRow("file option without a file")
            << QStringList{"--name", "X", "a.txt", "--scope", "all"}
            << "The option '--scope' is not followed by a file it could apply to.\n";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TestHome home;
        const CommandRun run = runCommandLine(QStringList{"--home", home.path(), "harvest"} + arguments);
        QCOMPARE(run.err, message);
        QCOMPARE(run.status, 2);
        QVERIFY(!QFileInfo::exists(home.path()));
    }
};

QTEST_GUILESS_MAIN(TestHarvestCommand)
#include "tst_harvestcommand.moc"
