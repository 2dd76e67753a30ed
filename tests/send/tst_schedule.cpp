#include "SendFixture.h"
#include "db/CentralDatabase.h"
#include "mailings/Schedules.h"
#include "support/CommandRun.h"

#include <QTemporaryDir>
#include <QUuid>
#include <csignal>

using namespace SendFixture;

// tamberlyn schedule run-due on a fake clock: which mailings start, in which order, and what a refused,
// overlapping or killed run leaves for the next call.
class TestSchedule : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    QTemporaryDir outDir;
    std::unique_ptr<Outbox> outbox;

    static constexpr const char* Now = "2026-12-07T09:30:00";

    QStringList at(const QStringList& arguments) const {
        return QStringList{QStringLiteral("--home"), home->path()} + arguments;
    }
    // A run-due in this process, its clock standing at now.
    CommandRun callRunDue(const char* now = Now, const QStringList& extra = {}) {
        const QDateTime moment = QDateTime::fromString(QString::fromLatin1(now), Qt::ISODate);
        Schedules::setClock([moment] { return moment; });
        const CommandRun run = runCommandLine(at(QStringList{"schedule", "run-due"} + extra));
        Schedules::setClock({});
        return run;
    }
    // A mailing of its own list and message called name, scheduled by the command.
    qint32 scheduled(const QString& name, const QStringList& addresses, const QString& time,
                     bool skipMarked = true, const QString& active = QStringLiteral("--active")) {
        if (!home->start())
            return 0;
        MailEvent options = plainOptions(name);
        options.bSendInBlocks = skipMarked;
        options.bIfNotYetFlagged = skipMarked;
        options.bInsertTimeDelay = true;
        options.TimeDelay = 1;
        const qint32 id = makeListAndMessage(*home, name, addresses) && options.storeMEP()
                              ? prepareMailing(*home, name, name, name)
                              : 0;
        home->stop();
        const CommandRun set = runCommandLine(
            at({"schedule", "set", QString::number(id), "--date", "2026-12-07", "--time", time, active}));
        return set.status == 0 ? id : 0;
    }
    QString scheduleLine(qint32 id) {
        for (const QString& line : runCommandLine(at({"schedule", "list"})).out.split(u'\n'))
            if (line.startsWith(QString::number(id) + u'\t'))
                return line.section(u'\t', 1, 4);
        return {};
    }
    QStringList recipientsStored() const {
        QStringList all;
        for (const QString& envelope : filesIn(outbox->directory(), QStringLiteral(".env")))
            all += recipientsOf(envelope);
        return all;
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        outbox = startOutbox(outDir.path() + QStringLiteral("/mail"));
        QVERIFY(outbox);
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       QString::number(outbox->port()));
        home->stop();
        qputenv("TAMBERLYN_TENTH_MS", "1");
    }
    void cleanup() {
        outbox.reset();
        home.reset();
        QDir(outDir.path() + QStringLiteral("/mail")).removeRecursively();
    }

    void runDue_data() {
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("active");
        QTest::addColumn<bool>("carriedOut");
        QTest::addColumn<bool>("listDeleted");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("after");
        QTest::newRow("due") << "09:30"
                             << "--active" << false << false << 3 << "2026-12-07\t09:30\tactive\tsent";
        QTest::newRow("a minute early")
            << "09:31"
            << "--active" << false << false << 0 << "2026-12-07\t09:31\tactive\tnot sent";
        QTest::newRow("inactive") << "09:00"
                                  << "--inactive" << false << false << 0
                                  << "2026-12-07\t09:00\tinactive\tnot sent";
        QTest::newRow("already sent")
            << "09:00"
            << "--active" << true << false << 0 << "2026-12-07\t09:00\tactive\tsent";
        QTest::newRow("deleted list")
            << "09:00"
            << "--active" << false << true << 0 << "2026-12-07\t09:00\tinactive\tnot sent";
    }
    void runDue() {
        QFETCH(QString, time);
        QFETCH(QString, active);
        QFETCH(bool, carriedOut);
        QFETCH(bool, listDeleted);
        QFETCH(int, sent);
        QFETCH(QString, after);
        const qint32 id = scheduled(QStringLiteral("Due"), numbered(QStringLiteral("d%1@due.test"), 1, 3),
                                    time, true, active);
        QVERIFY(id > 0);
        if (carriedOut || listDeleted) {
            QVERIFY(home->start());
            QVERIFY(!carriedOut || Schedules::setCarriedOut(id));
            QVERIFY(!listDeleted || CentralDatabase::open().exec(QStringLiteral("DELETE FROM \"List\"")));
            home->stop();
        }
        const CommandRun run = callRunDue();
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QCOMPARE(outbox->storedCount(), sent);
        QCOMPARE(scheduleLine(id), after);
        if (sent > 0) {
            QVERIFY(run.out.startsWith(
                QStringLiteral("Starting scheduled mailing %1 (Due to Due, due 2026-12-07 09:30).\n")
                    .arg(id)));
            QVERIFY(run.out.contains(QStringLiteral("[Ok]   To: d1@due.test\n")));
            QVERIFY(run.out.contains(QStringLiteral("Total Passed:      3\n")));
            // Carried out: a later call, with the schedule's own moment long past, starts nothing again.
            const CommandRun later = callRunDue("2026-12-08T12:00:00");
            QCOMPARE(later.out, QStringLiteral("No mailing is due.\n"));
            QCOMPARE(outbox->storedCount(), 3);
            QVERIFY(runCommandLine(at({"mailing", "runs", QString::number(id)}))
                        .out.contains(QStringLiteral("\tschedule\t")));
        } else if (listDeleted) {
            QVERIFY2(
                run.err.contains(QStringLiteral("The 'Due' mailing list has been deleted from Tamberlyn.")),
                qPrintable(run.err));
            QVERIFY(run.out.contains(
                QStringLiteral("Mailing %1 is set inactive: it could not be started.\n").arg(id)));
        } else {
            QCOMPARE(run.out, QStringLiteral("No mailing is due.\n"));
        }
    }

    // Two due mailings start one after the other, the earlier due first whatever their numbers.
    void twoInDueOrder() {
        const qint32 later = scheduled(QStringLiteral("Later"), {QStringLiteral("l@order.test")}, "09:10");
        const qint32 earlier =
            scheduled(QStringLiteral("Earlier"), {QStringLiteral("e@order.test")}, "09:00");
        QVERIFY(later > 0 && earlier > 0);
        const CommandRun run = callRunDue(Now, {QStringLiteral("--quiet")});
        QCOMPARE(run.status, 0);
        const qsizetype first =
            run.out.indexOf(QStringLiteral("Starting scheduled mailing %1 ").arg(earlier));
        const qsizetype second = run.out.indexOf(QStringLiteral("Starting scheduled mailing %1 ").arg(later));
        QVERIFY2(first >= 0 && second > first, qPrintable(run.out));
        QVERIFY(!run.out.contains(QStringLiteral("To: e@order.test"))); // --quiet
        QCOMPARE(recipientsStored(), (QStringList{"e@order.test", "l@order.test"}));
    }

    // A run-due that finds the folder held by a run-due still sending refuses quietly; the held run is
    // then killed. The next call starts it again when its options pass over the marked recipients, and
    // nobody but the one in flight gets it twice; otherwise the mailing is set inactive, sending nothing.
    void killedRunAtTheNextCall_data() {
        QTest::addColumn<bool>("skipMarked");
        QTest::newRow("resumes") << true;
        QTest::newRow("set inactive") << false;
    }
    void killedRunAtTheNextCall() {
        QFETCH(bool, skipMarked);
        const QStringList addresses = numbered(QStringLiteral("k%1@kill.test"), 1, 30, 2);
        const qint32 id = scheduled(QStringLiteral("Killed"), addresses, "09:00", skipMarked);
        QVERIFY(id > 0);
        QProcess first;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAMBERLYN_NOW"), QString::fromLatin1(Now));
        environment.insert(QStringLiteral("TAMBERLYN_TENTH_MS"), QStringLiteral("60"));
        environment.insert(QStringLiteral("TAMBERLYN_SLICE_MS"), QStringLiteral("20"));
        first.setProcessEnvironment(environment);
        first.start(QStringLiteral(TAMBERLYN_EXECUTABLE), at({"schedule", "run-due", "--quiet"}));
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(outbox->storedCount() >= 3, 20000);

        const CommandRun overlapping = callRunDue();
        QCOMPARE(overlapping.status, 0);
        QCOMPARE(overlapping.out,
                 QStringLiteral("Tamberlyn is busy with this folder; due mailings wait for it.\n"));

        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(20000));
        const int beforeKill = outbox->storedCount();
        QVERIFY(beforeKill < 30);

        const CommandRun next = callRunDue();
        QVERIFY2(next.status == 0, qPrintable(next.out + next.err));
        const QStringList runs =
            runCommandLine(at({"mailing", "runs", QString::number(id)})).out.split(u'\n');
        QVERIFY(runs.first().endsWith(QStringLiteral("\tinterrupted")));
        if (!skipMarked) {
            QCOMPARE(outbox->storedCount(), beforeKill);
            QVERIFY2(next.out.contains(
                         QStringLiteral("Mailing %1 is set inactive: its last run was interrupted").arg(id)),
                     qPrintable(next.out));
            QCOMPARE(scheduleLine(id), QStringLiteral("2026-12-07\t09:00\tinactive\tnot sent"));
            return;
        }
        QVERIFY(runs.at(1).endsWith(QStringLiteral("\tcompleted")));
        const QStringList stored = recipientsStored();
        QVERIFY2(QSet<QString>(stored.begin(), stored.end()).size() == 30, qPrintable(stored.join(u' ')));
        QVERIFY2(stored.size() <= 31, qPrintable(stored.join(u' '))); // the one in flight at the kill
        QCOMPARE(scheduleLine(id), QStringLiteral("2026-12-07\t09:00\tactive\tsent"));
    }

    // A bad clock is a usage error; set refuses what it cannot read.
    void refusals() {
        qputenv("TAMBERLYN_NOW", "2026-12-07 09:30");
        const CommandRun badClock = runCommandLine(at({"schedule", "run-due"}));
        qunsetenv("TAMBERLYN_NOW");
        QCOMPARE(badClock.status, 2);
        QCOMPARE(badClock.err,
                 QStringLiteral("TAMBERLYN_NOW must be a local time written YYYY-MM-DDTHH:MM:SS.\n"));
        QCOMPARE(runCommandLine(at({"schedule", "set", "1", "--time", "25:00"})).status, 2);
        QCOMPARE(runCommandLine(at({"schedule", "set", "1", "--active", "--inactive"})).status, 2);
        const CommandRun missing = runCommandLine(at({"schedule", "set", "77", "--active"}));
        QCOMPARE(missing.status, 1);
        QCOMPARE(missing.err, QStringLiteral("There is no mailing number 77.\n"));
    }

    // A due mailing delivered by the private Postfix into its mailboxes.
    void deliversThroughPostfix() {
        if (qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_SMTP_PORT") ||
            qEnvironmentVariableIsEmpty("TAMBERLYN_TEST_MAIL_DIR"))
            QSKIP("TAMBERLYN_TEST_SMTP_PORT and TAMBERLYN_TEST_MAIL_DIR are not set: no test mail server");
        const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(home->start());
        AppSaveSetting(QStringLiteral("ApplicationDefaults"), QStringLiteral("SMTPPort"),
                       qEnvironmentVariable("TAMBERLYN_TEST_SMTP_PORT"));
        MessageRecord message = plainMessage(QStringLiteral("Postfix"), token + QStringLiteral("\r\n"));
        QVERIFY(
            makeList(*home, QStringLiteral("Postfix"),
                     people({QStringLiteral("box30@example.test"), QStringLiteral("box31@example.test")})));
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Postfix"));
        QVERIFY(options.storeMEP());
        const qint32 id = prepareMailing(*home, QStringLiteral("Postfix"), QStringLiteral("Postfix"),
                                         QStringLiteral("Postfix"));
        home->stop();
        QCOMPARE(runCommandLine(at({"schedule", "set", QString::number(id), "--date", "2026-12-07", "--time",
                                    "09:29", "--active"}))
                     .status,
                 0);
        const CommandRun run = callRunDue(Now, {QStringLiteral("--quiet")});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return deliveredWith(QStringLiteral("box30"), token.toLatin1()) == 1 &&
                       deliveredWith(QStringLiteral("box31"), token.toLatin1()) == 1;
            },
            30000));
        QCOMPARE(scheduleLine(id), QStringLiteral("2026-12-07\t09:29\tactive\tsent"));
    }
};

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
