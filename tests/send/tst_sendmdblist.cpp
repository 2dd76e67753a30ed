#include "SendFixture.h"
#include "db/CentralDatabase.h"
#include "mailings/Schedules.h"
#include "send/SendLedger.h"

#include <QScopeGuard>

using namespace SendFixture;

// The recipient source: the selections of the delivery options, the end marker, and the marks.
class TestSendMDBList : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

    // Aims the source at "People"; the options are stored, as the filter is read from the table.
    void aim(SendMDBList& source, MailEvent& options, int rereadEvery = 0) {
        QVERIFY(options.storeMEP());
        source.AddrListName = QStringLiteral("People");
        source.MailOptionsName = options.MailEventName;
        source.setOptions(&options);
        if (rereadEvery > 0)
            source.setRereadEvery(rereadEvery);
    }

    QStringList addresses(SendMDBList& source) {
        QStringList all;
        for (QString a = source.GetFirstAddr(); a != SendMDBList::endMarker(); a = source.GetNextAddr())
            all << a;
        return all;
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        QVERIFY(makeList(
            *home, QStringLiteral("People"),
            {person(QStringLiteral("dora@example.test"), QStringLiteral("Dora")),
             person(QStringLiteral("ann@example.test"), QStringLiteral("Ann")) + Row{{"Sent", "SENT"}},
             person(QStringLiteral("Carl@Example.test"), QStringLiteral("Carl")) + Row{{"Sent", "OTHER"}},
             person(QStringLiteral("bob@example.test"), QStringLiteral("Bob"))}));
    }
    void cleanup() { home.reset(); }

    // Each selection also read again after every row, as a long run reads it in stretches.
    void selectsByTheDeliveryOptions_data() {
        QTest::addColumn<int>("rereadEvery");
        QTest::newRow("one read") << 1000;
        QTest::newRow("a read per row") << 1;
    }
    void selectsByTheDeliveryOptions() {
        QFETCH(int, rereadEvery);
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        SendMDBList source(home->prompter);
        aim(source, options, rereadEvery);

        // Blocks off: every row in address order, marked or not.
        QVERIFY(source.OpenList());
        QCOMPARE(source.selectionCount(), 4);
        QCOMPARE(addresses(source), QStringList({"ann@example.test", "bob@example.test", "Carl@Example.test",
                                                 "dora@example.test"}));
        // The end marker keeps coming after the last row.
        QCOMPARE(source.GetNextAddr(), SendMDBList::endMarker());
        QCOMPARE(source.GetNextAddr(), SendMDBList::endMarker());

        // Blocks with not-yet-flagged: NULL counts as unmarked, the block size limits.
        options.bSendInBlocks = true;
        options.bIfNotYetFlagged = true;
        options.SendBlockSize = 2;
        QVERIFY(source.OpenList());
        QCOMPARE(source.selectionCount(), 2); // three unmarked, a block of two
        QCOMPARE(addresses(source), QStringList({"bob@example.test", "Carl@Example.test"}));
        QVERIFY(source.currentRecord().isEmpty());

        // Blocks without the flag check: the first rows whatever their mark.
        options.bIfNotYetFlagged = false;
        QVERIFY(source.OpenList());
        QCOMPARE(addresses(source), QStringList({"ann@example.test", "bob@example.test"}));

        // Positioning reads the row of the address.
        source.PositionToAddress(QStringLiteral("BOB@example.test"));
        QCOMPARE(source.currentRecord().value(QStringLiteral("FirstName")), QStringLiteral("Bob"));
        QCOMPARE(source.CheckSentField(), QString());
        QVERIFY(home->prompter.shown().isEmpty());

        // Every row marked: nothing to select.
        options.bIfNotYetFlagged = true;
        for (const char* address :
             {"ann@example.test", "bob@example.test", "carl@example.test", "dora@example.test"})
            source.UpdateSuccessfulSentFlag(QString::fromLatin1(address));
        QVERIFY(!source.OpenList());
        QCOMPARE(lastShown(*home),
                 QStringLiteral("No Addresses in List|This List contains no email addresses."));
        QCOMPARE(source.selectionCount(), 0);
        QVERIFY(source.onlyMarkedRecipientsLeft());
        source.EndMailingDBSupport();
    }

    void filterKeepsTheMarkCondition_data() { selectsByTheDeliveryOptions_data(); }
    void filterKeepsTheMarkCondition() {
        QFETCH(int, rereadEvery);
        MailEvent options = plainOptions(QStringLiteral("Filtered"));
        options.bSendFiltered = true;
        options.SQLFilterText = QStringLiteral("WHERE [FirstName] <> \"Dora\"");
        options.bSendInBlocks = true;
        options.bIfNotYetFlagged = true;
        SendMDBList source(home->prompter);
        aim(source, options, rereadEvery);
        source.OpenTamberlynDB();
        QVERIFY(source.OpenListFiltered());
        // In the table's own order.
        QCOMPARE(addresses(source), QStringList({"Carl@Example.test", "bob@example.test"}));
        options.SendBlockSize = 1;
        QVERIFY(source.OpenListFiltered());
        QCOMPARE(source.selectionCount(), 1);
        QVERIFY(!source.onlyMarkedRecipientsLeft());
        QCOMPARE(addresses(source), QStringList({"Carl@Example.test"}));
        source.EndMailingDBSupport();

        // Nothing left to serve: the filtered path's message.
        options.SentFlagToCheck = QStringLiteral("OTHER");
        options.SQLFilterText = QStringLiteral("WHERE [FirstName] = \"Carl\"");
        QVERIFY(options.storeMEP());
        source.OpenTamberlynDB();
        QVERIFY(!source.OpenListFiltered());
        QVERIFY(source.onlyMarkedRecipientsLeft()); // Carl is there, marked OTHER
        QCOMPARE(lastShown(*home),
                 QStringLiteral("No Messages Sent|No messages were sent because there were no "
                                "addresses that matched the 'Selection Criteria' in this "
                                "mailing's Delivery Options.\r\n\r\nPlease review this "
                                "mailing's Delivery Options before attempting to send."));

        // A filter that is no clause is refused with the error.
        options.SQLFilterText = QStringLiteral("WHERE [FirstName] = ");
        QVERIFY(options.storeMEP());
        QVERIFY(!source.OpenListFiltered());
        QVERIFY(home->prompter.shown().last().text.startsWith(
            QStringLiteral("In Open List Filtered, Error: 1  ")));
        // A filter matching nobody at all is no matter of marks.
        options.SQLFilterText = QStringLiteral("WHERE [FirstName] = \"Zed\"");
        QVERIFY(options.storeMEP());
        QVERIFY(!source.OpenListFiltered());
        QVERIFY(!source.onlyMarkedRecipientsLeft());
        source.EndMailingDBSupport();
    }

    void marksEveryRowOfTheAddressWhileReading() {
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        options.SentFlag = QStringLiteral("Sent \"May\"; 'x'");
        SendMDBList source(home->prompter);
        aim(source, options);
        QVERIFY(source.OpenList());
        QCOMPARE(source.GetFirstAddr(), QStringLiteral("ann@example.test"));
        // Marks go in while the selection is being read, with brackets and another case.
        source.UpdateSuccessfulSentFlag(QStringLiteral(" <carl@EXAMPLE.test> "));
        source.UpdateSuccessfulSentFlag(QStringLiteral("dora@example.test"));
        // Committed at once: another connection sees them while the run still reads.
        QCOMPARE(marks(QStringLiteral("People")).value(QStringLiteral("carl@example.test")),
                 options.SentFlag);
        QCOMPARE(source.GetNextAddr(), QStringLiteral("bob@example.test"));
        QCOMPARE(source.GetNextAddr(), QStringLiteral("Carl@Example.test"));
        QCOMPARE(source.GetNextAddr(), QStringLiteral("dora@example.test"));
        QCOMPARE(source.GetNextAddr(), SendMDBList::endMarker());
        source.EndMailingDBSupport();
        const QMap<QString, QString> m = marks(QStringLiteral("People"));
        QCOMPARE(m.value(QStringLiteral("dora@example.test")), options.SentFlag);
        QCOMPARE(m.value(QStringLiteral("bob@example.test")), QString());
        QCOMPARE(m.value(QStringLiteral("ann@example.test")), QStringLiteral("SENT"));
        // The list file is left in its usual journal mode.
        db::Database list = db::Database::open(listPath(QStringLiteral("People")));
        QCOMPARE(list.scalar(QStringLiteral("PRAGMA journal_mode"))->toString(), QStringLiteral("delete"));
    }

    // A long run marks while it reads: the log must be folded back as it goes, not grow by a page
    // per mark until the end (a run of 100,000 left 400 MB to delete when the list was closed).
    void theLogStaysSmallOverALongRun() {
        QStringList everyone;
        for (int i = 0; i < 2000; ++i)
            everyone << QStringLiteral("reader%1@example.test").arg(i, 4, 10, QLatin1Char('0'));
        QVERIFY(makeList(*home, QStringLiteral("Long"), people(everyone)));
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        QVERIFY(options.storeMEP());
        SendMDBList source(home->prompter);
        source.AddrListName = QStringLiteral("Long");
        source.MailOptionsName = options.MailEventName;
        source.setOptions(&options);
        source.setRereadEvery(50);
        QVERIFY(source.OpenList());
        QStringList sent;
        for (QString a = source.GetFirstAddr(); a != SendMDBList::endMarker(); a = source.GetNextAddr()) {
            QVERIFY(source.UpdateSuccessfulSentFlag(a));
            sent << a;
        }
        QCOMPARE(sent, everyone);
        const QFileInfo log(listPath(QStringLiteral("Long")) + QStringLiteral("-wal"));
        QVERIFY(log.exists());
        QVERIFY2(log.size() < 1024 * 1024, qPrintable(QString::number(log.size())));
        source.EndMailingDBSupport();
        QVERIFY(!QFileInfo::exists(log.filePath()));
        const QMap<QString, QString> m = marks(QStringLiteral("Long"));
        QCOMPARE(m.size(), everyone.size());
        for (const QString& address : everyone)
            QCOMPARE(m.value(address), options.SentFlag);
    }

    // Marks commit with every message; counts reach the ledger with the first message, then at most
    // once per interval, and in full when asked (a limit pause) or when the list is closed. Each count
    // stays in the hour it was accepted in.
    void countsReachTheLedgerInStretches() {
        QDateTime now(QDate(2026, 3, 2), QTime(13, 59, 58));
        Schedules::setClock([&now] { return now; });
        const auto cleanup = qScopeGuard([] { Schedules::setClock({}); });
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        SendMDBList source(home->prompter);
        aim(source, options);
        source.setLedgerServer(QStringLiteral("Mail.Example.test"));
        source.setLedgerIntervalMs(60 * 60 * 1000);
        QVERIFY(source.OpenList());
        db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
        const auto inHour = [&](int hour) {
            return SendLedger::sentInHour(central, QStringLiteral("mail.example.test"),
                                          QDateTime(now.date(), QTime(hour, 30)));
        };

        QVERIFY(source.recordSent({QStringLiteral("ann@example.test")}, 1));
        QCOMPARE(inHour(13), 1);
        QVERIFY(source.recordSent({QStringLiteral("bob@example.test")}, 1));
        now = now.addSecs(5);
        QVERIFY(source.recordSent({QStringLiteral("dora@example.test")}, 2));
        QCOMPARE(marks(QStringLiteral("People")).value(QStringLiteral("dora@example.test")),
                 options.SentFlag);
        QCOMPARE(inHour(13), 1);
        QCOMPARE(source.uncountedSent(), 3);

        QVERIFY(source.writeCounts());
        QCOMPARE(source.uncountedSent(), 0);
        QCOMPARE(inHour(13), 2);
        QCOMPARE(inHour(14), 2);

        QVERIFY(source.recordSent({}, 4)); // counted without marks
        QCOMPARE(source.uncountedSent(), 4);
        source.EndMailingDBSupport();
        QCOMPARE(inHour(14), 6);
    }

    void messageFieldsAndMissingMessage() {
        MessageRecord message = plainMessage(QStringLiteral("Note"));
        message.Attachments = QStringLiteral("  a.txt ");
        message.AddressType = 1;
        message.UseGreetingManager = true;
        message.UseFName = true;
        QVERIFY(makeMessage(message));
        MailEvent options = plainOptions(QStringLiteral("Opts"));
        SendMDBList source(home->prompter);
        aim(source, options);
        source.MsgName = QStringLiteral("Note");
        QVERIFY(source.InitMailingDBSupport());
        QCOMPARE(source.GetAttachmentsString(), QStringLiteral("a.txt"));
        QVERIFY(source.CheckIfPersonalizedToAddress());
        QCOMPARE(source.GetGroupToAddress(), QStringLiteral("Friends of the test"));
        source.GetFirstAddr();
        const GreetingSettings greeting = LoadGreetingSettings(*source.CurMessageRS());
        QCOMPARE(source.GetPersonalName(greeting), QStringLiteral("Ann"));
        source.EndMailingDBSupport();

        source.MsgName = QStringLiteral("Missing");
        QVERIFY(source.InitMailingDBSupport());
        QCOMPARE(home->prompter.shown().last().text,
                 QStringLiteral(
                     "Tamberlyn was unable to find the Message Missing  Please recreate your mailing and "
                     "try again."));
        QCOMPARE(source.GetSubject(), QString());
        source.EndMailingDBSupport();
    }
};

QTEST_GUILESS_MAIN(TestSendMDBList)
#include "tst_sendmdblist.moc"
