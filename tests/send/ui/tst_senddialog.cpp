#include "../SendFixture.h"
#include "mailings/Schedules.h"
#include "mailings/mdlTBProfile.h"
#include "mailings/ui/MailingLauncher.h"
#include "send/MailingRun.h"
#include "send/SendPace.h"
#include "send/ui/ScheduleCheck.h"
#include "send/ui/SendWindows.h"
#include "send/ui/frmSendAgainWarning.h"
#include "send/ui/frmSendErrorNoAddr.h"
#include "send/ui/frmSendMail.h"
#include "support/DesktopTest.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <csignal>

using namespace SendFixture;

// Moments in milliseconds and the recipients done by then.
using PaceSamples = QList<QPair<int, int>>;

namespace {

QString text(QWidget* parent, const QString& name) {
    if (auto* label = parent->findChild<QLabel*>(name))
        return label->text();
    return child<QLineEdit>(parent, name)->text();
}

// The program's own outbox as a child process, as a user runs it beside the desktop.
class OutboxProcess {
public:
    explicit OutboxProcess(const QString& folder) : folder_(folder) {
        process_.start(QStringLiteral(TAMBERLYN_EXECUTABLE),
                       {QStringLiteral("outbox"), QStringLiteral("--dir"), folder});
        if (!process_.waitForReadyRead(10000))
            return;
        const QString first = QString::fromUtf8(process_.readLine());
        port_ = first.section(u':', 1).section(u',', 0, 0).toUShort();
    }
    ~OutboxProcess() {
        ::kill(pid_t(process_.processId()), SIGTERM);
        process_.waitForFinished(10000);
    }
    quint16 port() const { return port_; }
    int stored() const { return int(filesIn(folder_, QStringLiteral(".eml")).size()); }

private:
    QString folder_;
    QProcess process_;
    quint16 port_ = 0;
};

} // namespace

// The send dialog and its warnings on the desktop, sending to the program's outbox.
class TestSendDialog : public QObject, public DesktopTest {
    Q_OBJECT

    QTemporaryDir outDir_;
    std::unique_ptr<OutboxProcess> outbox_;
    int runs_ = 0;

    // A mailing of its own list and message called name; skipMarked: its options pass over marked rows;
    // delayTenths: a pause before every message (a tenth is a millisecond here).
    qint32 mailing(const QString& name, const QStringList& addresses, bool skipMarked = false,
                   int delayTenths = 0) {
        MailEvent options = plainOptions(name);
        options.bSendInBlocks = skipMarked;
        options.bIfNotYetFlagged = skipMarked;
        options.bInsertTimeDelay = delayTenths > 0;
        options.TimeDelay = delayTenths;
        return makeListAndMessage(*home, name, addresses) && options.storeMEP()
                   ? prepareMailing(*home, name, name, name)
                   : 0;
    }
    frmSendMail* openDialog() const { return SendWindows::openDialog(*window); }
    frmSendAgainWarning* openWarning() const {
        for (frmSendAgainWarning* warning : window->findChildren<frmSendAgainWarning*>())
            if (warning->isVisible())
                return warning;
        return nullptr;
    }
    // Waits until the outbox stops receiving; the count then.
    int outboxSettled() const {
        int before = -1;
        for (int tries = 0; tries < 30 && outbox_->stored() != before; ++tries) {
            before = outbox_->stored();
            QTest::qWait(300);
        }
        return outbox_->stored();
    }
    QString sendLog() const {
        return QString::fromUtf8(readFileBytes(home->file(QStringLiteral("sendlog.log"))));
    }

private Q_SLOTS:
    void init() {
        outbox_ = std::make_unique<OutboxProcess>(outDir_.filePath(QString::number(++runs_)));
        QVERIFY(outbox_->port() > 0);
        QVERIFY(openDesktop());
        appSettings().SMTPPort = outbox_->port();
        qputenv("TAMBERLYN_TENTH_MS", "1");
    }
    void cleanup() {
        for (frmSendMail* dialog : window->findChildren<frmSendMail*>())
            if (dialog->run() && dialog->run()->socket().isRunning())
                dialog->cmdSend_Click(2);
        QTRY_VERIFY(!openDialog() || openDialog()->state() != frmSendMail::Paused);
        closeDesktop();
        outbox_.reset();
    }

    // The buttons through a whole run: pause, pause again (resumes), stop while paused; the dialog
    // closes only when idle or stopped.
    void pauseResumeAndStop() {
        const qint32 id =
            mailing(QStringLiteral("Paced"), numbered(QStringLiteral("p%1@paced.test"), 1, 400), false, 25);
        QVERIFY(id > 0);
        QVERIFY(MailingLauncher::launch(*window, id));
        frmSendMail* dialog = openDialog();
        QVERIFY(dialog);
        QCOMPARE(text(dialog, QStringLiteral("lblList")), QStringLiteral("Paced"));
        QCOMPARE(dialog->state(), frmSendMail::Idle);
        QVERIFY(child(dialog, QStringLiteral("cmdClose"))->isEnabled());

        click(dialog, 0);
        QCOMPARE(dialog->state(), frmSendMail::Sending);
        QVERIFY(!child(dialog, QStringLiteral("cmdClose"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(outbox_->stored() >= 3, 10000);
        dialog->close(); // refused mid-run
        QVERIFY(dialog->isVisible());

        click(dialog, 1);
        QCOMPARE(dialog->state(), frmSendMail::Paused);
        QVERIFY(!child(dialog, QStringLiteral("cmdClose"))->isEnabled());
        const int whilePaused = outboxSettled();
        QCOMPARE(dialog->state(), frmSendMail::Paused);

        click(dialog, 1); // pause again: resumes
        QCOMPARE(dialog->state(), frmSendMail::Sending);
        QTRY_VERIFY_WITH_TIMEOUT(outbox_->stored() > whilePaused + 2, 10000);

        click(dialog, 1);
        outboxSettled();
        click(dialog, 2); // stop while paused
        QCOMPARE(dialog->state(), frmSendMail::Stopped);
        QVERIFY(child(dialog, QStringLiteral("cmdClose"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->run()->socket().isRunning(), 10000);
        const QString log = sendLog();
        QCOMPARE(log.count(QStringLiteral("\r\nPausing\r\n")), 2);
        QCOMPARE(log.count(QStringLiteral("\r\nResuming\r\n")), 1);
        QVERIFY(log.contains(QStringLiteral("\r\nStopping\r\n")));
        QVERIFY(log.contains(QStringLiteral("Mailing Aborted...Sending Quit")));
        QVERIFY(log.contains(QStringLiteral("*** MAILING ENDS HERE ")));
        QTRY_COMPARE(text(dialog, QStringLiteral("lblMsgCount")), QString::number(outbox_->stored()));
        QVERIFY(outbox_->stored() < 400);
        QCOMPARE(markedCount(QStringLiteral("Paced")), outbox_->stored());

        QPointer<frmSendMail> closing = dialog;
        click(dialog, -1);
        QTRY_VERIFY(!closing);
    }

    // Several sessions and a provider's hourly cap: the dialog says how many sessions are open and, while
    // the cap holds the run, which limit and until when.
    void sessionsAndLimitShown() {
        Schedules::setClock([] { return QDateTime(QDate(2026, 3, 2), QTime(13, 20)); });
        MailEvent options = plainOptions(QStringLiteral("Capped"));
        options.Connections = 3;
        options.MaxPerHour = 10;
        QVERIFY(makeListAndMessage(*home, QStringLiteral("Capped"),
                                   numbered(QStringLiteral("c%1@capped.test"), 1, 40)) &&
                options.storeMEP());
        const qint32 id = prepareMailing(*home, QStringLiteral("Capped"), QStringLiteral("Capped"),
                                         QStringLiteral("Capped"));
        QVERIFY(MailingLauncher::launch(*window, id));
        frmSendMail* dialog = openDialog();
        QVERIFY(dialog);
        click(dialog, 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            text(dialog, QStringLiteral("lblSessions")).startsWith(QStringLiteral("Sessions open: ")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(text(dialog, QStringLiteral("lblLimit")),
                                  QStringLiteral("Hourly limit of 10 reached; sending resumes at 14:00."),
                                  20000);
        QCOMPARE(outboxSettled(), 10);
        QCOMPARE(dialog->state(), frmSendMail::Sending);
        click(dialog, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->run()->socket().isRunning(), 10000);
        Schedules::setClock({});
    }

    // Every press of every button in every state, against the state table.
    void stateTable_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("to");
        const int table[4][3] = {{1, 0, 0}, {1, 2, 3}, {1, 1, 3}, {1, 3, 3}};
        for (int from = 0; from < 4; ++from)
            for (int button = 0; button < 3; ++button)
                QTest::addRow("%d-%d", from, button) << from << button << table[from][button];
    }
    void stateTable() {
        QFETCH(int, from);
        QFETCH(int, button);
        QFETCH(int, to);
        QCOMPARE(int(frmSendMail::nextState(frmSendMail::State(from), button)), to);
    }

    // The list keeps at most 5000 lines: the line that finds more is added to an emptied list.
    void lineLimit_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("batch");
        QTest::newRow("5000") << 5000 << 5000 << 5000;
        QTest::newRow("5001") << 5001 << 5001 << 700;
        QTest::newRow("5002") << 5002 << 1 << 700;
        QTest::newRow("5002 in one batch") << 5002 << 1 << 5002;
        QTest::newRow("10003") << 10003 << 1 << 333;
        QTest::newRow("12000") << 12000 << 1998 << 1000;
    }
    void lineLimit() {
        QFETCH(int, count);
        QFETCH(int, rows);
        QFETCH(int, batch);
        const qint32 id = mailing(QStringLiteral("Lines"), {QStringLiteral("a@lines.test")});
        QVERIFY(id > 0);
        frmSendMail dialog(home->prompter, id, MailRuns::Trigger::Desktop, true, window.get());
        QAbstractItemModelTester tester(&dialog.lines(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 1; i <= count; ++i) {
            dialog.AddMailed(QStringLiteral("To: r%1@lines.test").arg(i), true, i % 2 == 0);
            if (i % batch == 0)
                dialog.refresh();
        }
        dialog.refresh();
        QCOMPARE(dialog.lines().rowCount(), rows);
        const QModelIndex last = dialog.lines().index(rows - 1);
        QCOMPARE(last.data().toString(), QStringLiteral("To: r%1@lines.test").arg(count));
        QVERIFY(!last.data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    // A list whose every row carries the flag: the run is refused, the dialog offers the flag, and a
    // changed flag lets the list be mailed again.
    void everyRecipientMarked() {
        const QStringList addresses = numbered(QStringLiteral("m%1@marked.test"), 1, 3);
        const qint32 id = mailing(QStringLiteral("Marked"), addresses, true);
        QVERIFY(id > 0);
        QVERIFY(MailingLauncher::launch(*window, id));
        frmSendMail* dialog = openDialog();
        click(dialog, 0);
        QTRY_COMPARE_WITH_TIMEOUT(markedCount(QStringLiteral("Marked")), 3, 10000);
        QTRY_COMPARE(dialog->state(), frmSendMail::Stopped);
        click(dialog, 0); // the send-again warning first: the mailing was just sent
        frmSendAgainWarning* warning = openWarning();
        QVERIFY(warning);
        click(warning, QStringLiteral("cmdOK"));
        QTRY_VERIFY(window->findChild<frmSendErrorNoAddr*>());
        QCOMPARE(lastShown(*home),
                 QStringLiteral("No Addresses in List|This List contains no email addresses."));
        auto* offer = window->findChild<frmSendErrorNoAddr*>();
        QVERIFY(offer->isVisible());
        QCOMPARE(text(offer, QStringLiteral("lblReason")), frmSendErrorNoAddr::reasonText());
        QVERIFY(text(offer, QStringLiteral("lblReason"))
                    .startsWith(QStringLiteral("This occurs if you have previously")));
        QVERIFY(text(offer, QStringLiteral("lblNewMailing"))
                    .endsWith(QStringLiteral("used in a previous mailing.")));
        QCOMPARE(text(offer, QStringLiteral("lblChange")),
                 QStringLiteral("You can change the current 'Sent' flag marker in the box provided below."));
        QCOMPARE(text(offer, QStringLiteral("txtSentFlag")), QStringLiteral("SENT"));
        child<QLineEdit>(offer, QStringLiteral("txtSentFlag"))->setText(QStringLiteral("SENT2"));
        click(offer, QStringLiteral("cmdChange"));
        QCOMPARE(
            home->prompter.shown().last().text,
            QStringLiteral("Changed 'Sent' text from                                \tSENT\t  to\tSENT2."));
        QCOMPARE(mdlTBProfile::SentFlagOf(QStringLiteral("Marked")),
                 std::optional<QString>(QStringLiteral("SENT2")));
        click(offer, QStringLiteral("cmdClose"));

        const int before = outbox_->stored();
        click(dialog, 0); // the refused run did not send: no warning this time
        QVERIFY(!openWarning());
        QTRY_COMPARE_WITH_TIMEOUT(markedCount(QStringLiteral("Marked"), QStringLiteral("SENT2")), 3, 10000);
        QCOMPARE(outbox_->stored(), before + 3);
    }

    // Starting from the mailing windows: a never-sent mailing opens the dialog at once; a sent one shows
    // the warning, whose Cancel sends nothing; a gone one says so.
    void launching_data() {
        QTest::addColumn<bool>("sentBefore");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("never sent") << false << false << true << false;
        QTest::newRow("sent, OK") << true << true << true << false;
        QTest::newRow("sent, Cancel") << true << false << false << true;
    }
    void launching() {
        QFETCH(bool, sentBefore);
        QFETCH(bool, ok);
        QFETCH(bool, dialog);
        QFETCH(bool, cancelled);
        const qint32 id =
            mailing(QStringLiteral("Launch"), numbered(QStringLiteral("l%1@launch.test"), 1, 2));
        QVERIFY(id > 0);
        if (sentBefore)
            QVERIFY(Mailings::ReturnMailResults(home->prompter, id, 7, 1,
                                                QStringLiteral("Dec 01 2026  09:00 AM")));
        bool calledBack = false;
        QVERIFY(MailingLauncher::launch(*window, id, [&calledBack] { calledBack = true; }));
        frmSendAgainWarning* warning = openWarning();
        QCOMPARE(warning != nullptr, sentBefore);
        if (warning) {
            QCOMPARE(text(warning, QStringLiteral("txtMessage")), QStringLiteral("Launch"));
            QCOMPARE(text(warning, QStringLiteral("txtList")), QStringLiteral("Launch"));
            QCOMPARE(text(warning, QStringLiteral("txtGroup")), QStringLiteral("Tests"));
            QCOMPARE(text(warning, QStringLiteral("txtDateMailed")), QStringLiteral("Dec 01 2026  09:00 AM"));
            QCOMPARE(text(warning, QStringLiteral("txtTotalMailed")), QStringLiteral("7"));
            QCOMPARE(text(warning, QStringLiteral("lblExplanation")), Mailings::sendAgainExplanation());
            if (ok)
                click(warning, QStringLiteral("cmdOK"));
            else
                warning->close(); // the close box is Cancel
        }
        QCOMPARE(openDialog() != nullptr, dialog);
        QCOMPARE(calledBack, cancelled);
        if (frmSendMail* send = openDialog()) {
            click(send, 0); // no question: the warning was answered, or there was none to ask
            QTRY_COMPARE_WITH_TIMEOUT(send->state(), frmSendMail::Stopped, 10000);
            QCOMPARE(outbox_->stored(), 2);
            QCOMPARE(text(send, QStringLiteral("lblMailingStatus")), QStringLiteral("2 messages sent."));
            QCOMPARE(Mailings::find(id)->SentCount, sentBefore ? 9 : 2);
        } else {
            QTest::qWait(100);
            QCOMPARE(outbox_->stored(), 0);
        }
    }

    void goneMailing() {
        QVERIFY(MailingLauncher::launch(*window, 4711));
        QCOMPARE(home->prompter.shown().last().text, QStringLiteral("The selected mailing was not found."));
        QVERIFY(!openDialog());
    }

    // The send-again warning's button opens the delivery options at the 'Sent' flag's page.
    void warningOpensTheOptions() {
        QString opened;
        int page = 0;
        frmSendAgainWarning warning([&](const QString& name, int at) {
            opened = name;
            page = at;
        });
        Mailing sent;
        sent.Profile = QStringLiteral("Weekly");
        sent.DateSent = QStringLiteral("Dec 01 2026  09:00 AM");
        QSignalSpy answered(&warning, &frmSendAgainWarning::answered);
        warning.SetupAndShowSendAgainWarning(sent);
        click(&warning, QStringLiteral("cmdDeliveryOptions"));
        QCOMPARE(opened, QStringLiteral("Weekly"));
        QCOMPARE(page, 5);
        QVERIFY(warning.isVisible());
        QTest::keyClick(&warning, Qt::Key_Escape);
        QCOMPARE(answered.size(), 1);
        QCOMPARE(answered.first().first().toBool(), false);
    }

    // The minute check starts a due mailing in a dialog that closes itself, and waits while a modal
    // window is open.
    void minuteCheck() {
        const qint32 id = mailing(QStringLiteral("Due"), numbered(QStringLiteral("d%1@due.test"), 1, 3));
        QVERIFY(id > 0);
        const QDateTime now(QDate(2026, 12, 7), QTime(9, 30));
        std::optional<Schedules::Schedule> loaded = Schedules::LoadValuesByID(id, now);
        QVERIFY(loaded);
        Schedules::Schedule edited = *loaded;
        edited.date = now.date();
        edited.time = QTime(9, 30);
        edited.Active = true;
        QVERIFY(Schedules::save(*loaded, edited));

        auto* check = window->findChild<ScheduleCheck*>();
        QVERIFY(check);
        check->setClock([now] { return now; });
        QStringList reports;
        connect(check, &ScheduleCheck::report, this, [&reports](const QString& line) { reports << line; });

        QDialog modal(window.get());
        modal.open();
        QVERIFY(!check->check());
        modal.close();

        frmSendMail* dialog = check->check();
        QVERIFY(dialog);
        QVERIFY(!check->check()); // one at a time
        QPointer<frmSendMail> watching = dialog;
        QTRY_VERIFY_WITH_TIMEOUT(!watching, 10000);
        QCOMPARE(outbox_->stored(), 3);
        QVERIFY(Schedules::due(now).isEmpty());
        QCOMPARE(reports.value(0),
                 QStringLiteral("Starting scheduled mailing %1 (Due to Due, due 2026-12-07 09:30).").arg(id));
        QCOMPARE(MailRuns::of(id).value(0).Trigger, MailRuns::triggerText(MailRuns::Trigger::Schedule));
        QVERIFY(!check->check());
    }

    // The pace shown while sending: the last half minute's messages per second and the time left.
    void pace_data() {
        QTest::addColumn<PaceSamples>("samples");
        QTest::addColumn<double>("rate");
        QTest::addColumn<qint64>("remainingMs");
        using S = PaceSamples;
        QTest::newRow("steady") << S{{1000, 10}, {2000, 20}} << 10.0 << qint64(198000);
        QTest::newRow("slower in the last half minute")
            << S{{10000, 1000}, {40000, 1000}, {70000, 1300}} << 10.0 << qint64(70000);
        QTest::newRow("paused for the whole window") << S{{10000, 500}, {45000, 500}} << 0.0 << qint64(-1);
        QTest::newRow("window starts between samples")
            << S{{20000, 200}, {60000, 600}} << 10.0 << qint64(140000);
    }
    void pace() {
        QFETCH(PaceSamples, samples);
        QFETCH(double, rate);
        QFETCH(qint64, remainingMs);
        SendPace pace;
        pace.begin(0, 2000);
        for (const auto& [at, done] : samples)
            pace.note(at, done);
        QCOMPARE(pace.rate(), rate);
        QCOMPARE(pace.remainingMs().value_or(-1), remainingMs);
    }

private:
    static void click(QWidget* dialog, int button) {
        click(dialog,
              button < 0 ? QStringLiteral("cmdClose") : QStringLiteral("cmdSend_") + QString::number(button));
    }
    static void click(QWidget* parent, const QString& name) { child<QAbstractButton>(parent, name)->click(); }
};

QTEST_MAIN(TestSendDialog)
#include "tst_senddialog.moc"
