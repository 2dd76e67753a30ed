#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/TypeMapping.h"
#include "mailings/MailEvent.h"
#include "mailings/MailRuns.h"
#include "mailings/MailingEvents.h"
#include "mailings/Mailings.h"
#include "mailings/Schedules.h"
#include "mailings/mdlTBProfile.h"
#include "mailings/mdlTamberlynGroupOptions.h"
#include "support/CommandRun.h"
#include "support/TestHome.h"

#include <QSignalSpy>
#include <QTest>

namespace {

bool execCentral(const QString& sql) {
    db::Database central = CentralDatabase::open();
    return central.exec(sql);
}

qint64 countCentral(const QString& sql, const QVariantList& values = {}) {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.scalar(sql, values).value_or(QVariant(-1)).toLongLong();
}

} // namespace

class TestMailings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        QVERIFY(home_->start());
    }
    void cleanup() { home_.reset(); }

    void deliveryOptionsLoadAndStore() {
        MailEvent options;
        QVERIFY(options.GetMEPFromDB(DefaultDeliveryOptionsName));
        QCOMPARE(options.SentFlag, "SENT");
        QCOMPARE(options.SendBlockSize, 1000);
        QCOMPARE(options.TimedBlockSize, 100);
        QCOMPARE(options.TimeIncrement, 1);
        QCOMPARE(options.TimeDelay, 1);

        // A missing set is reported and loads nothing.
        MailEvent untouched = options;
        QVERIFY(!untouched.GetMEPFromDB("No such set"));
        QCOMPARE(untouched.MailEventName, QString(DefaultDeliveryOptionsName));

        // Stored under a new name: one more row; quotes of every kind survive.
        options.MailEventName = "Say \"hi\" it's";
        options.SentFlag = "x\"y";
        options.SQLFilterText = "WHERE [City] = \"O'Hara\"";
        QVERIFY(options.storeMEP());
        QCOMPARE(countCentral("SELECT COUNT(*) FROM Profile"), 2);
        MailEvent loaded;
        QVERIFY(loaded.GetMEPFromDB("Say \"hi\" it's"));
        QCOMPARE(loaded.SentFlag, "x\"y");
        QCOMPARE(loaded.SQLFilterText, "WHERE [City] = \"O'Hara\"");

        // Under the same name: replaced. A write that fails keeps the old row.
        options.SendBlockSize = 7;
        QVERIFY(options.storeMEP());
        QCOMPARE(countCentral("SELECT COUNT(*) FROM Profile"), 2);
        QVERIFY(execCentral("CREATE TRIGGER refuse BEFORE INSERT ON Profile WHEN NEW.SentFlag = 'boom' "
                            "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        options.SentFlag = "boom";
        QVERIFY(!options.storeMEP());
        QVERIFY(loaded.GetMEPFromDB("Say \"hi\" it's"));
        QCOMPARE(loaded.SendBlockSize, 7);
        QCOMPARE(loaded.SentFlag, "x\"y");

        // Null numbers load as 0, null texts as empty.
        QVERIFY(
            execCentral("UPDATE Profile SET SendBlockSize = NULL, TimedBlockSize = NULL, SentFlag = NULL"));
        QVERIFY(loaded.GetMEPFromDB(DefaultDeliveryOptionsName));
        QCOMPARE(loaded.SendBlockSize, 0);
        QCOMPARE(loaded.TimedBlockSize, 0);
        QCOMPARE(loaded.SentFlag, QString());

        QVERIFY(mdlTBProfile::DeleteTBProfile(home_->prompter, "Say \"hi\" it's"));
        QVERIFY(!mdlTBProfile::DeleteTBProfile(home_->prompter, "Say \"hi\" it's"));
        QCOMPARE(home_->prompter.texts(), QStringList{"This set of delivery options does not exist."});

        // Timed blocks need a size; the delay between messages is capped.
        MailEvent rules;
        rules.bTimedBlocks = true;
        rules.TimedBlockSize = 0;
        QVERIFY(!rules.timedBlocksOn());
        rules.TimedBlockSize = 3;
        QVERIFY(rules.timedBlocksOn());
        rules.bInsertTimeDelay = true;
        rules.TimeDelay = 0;
        QCOMPARE(rules.messageDelayTenths(), 0);
        rules.TimeDelay = 700;
        QCOMPARE(rules.messageDelayTenths(), 655);
        rules.bInsertTimeDelay = false;
        QCOMPARE(rules.messageDelayTenths(), 0);
    }

    void groupsAndMailings() {
        namespace groups = mdlTamberlynGroupOptions;
        ScriptedPrompter& prompter = home_->prompter;
        QVERIFY(groups::CreateTamberlynGroup(prompter, "The \"A\" team", "first"));
        QVERIFY(!groups::CreateTamberlynGroup(prompter, "the \"a\" TEAM", "second"));
        QVERIFY(groups::UpdateTamberlynGroup(prompter, "The \"A\" team", "changed"));
        QVERIFY(!groups::UpdateTamberlynGroup(prompter, "Nobody", "x"));
        QCOMPARE(groups::Groups().size(), 1);
        QCOMPARE(groups::Groups().first().TamberlynDescription, "changed");

        const qint32 id =
            Mailings::PrepareMailing("The \"A\" team", "List", "Message", DefaultDeliveryOptionsName);
        QVERIFY(id > 0);
        QCOMPARE(AppGetSetting("ApplicationDefaults", "CurTamberlyn", ""), "The \"A\" team");
        QCOMPARE(AppGetSetting("ApplicationDefaults", "MailEventProfile", ""), DefaultDeliveryOptionsName);
        std::optional<Mailing> mailing = Mailings::find(id);
        QVERIFY(mailing);
        QCOMPARE(mailing->SentCount, 0);
        QVERIFY(mailing->DateSent.isEmpty());

        // Runs add up; the date is that of the last run.
        QVERIFY(Mailings::ReturnMailResults(prompter, id, 1000, 3, "Dec 01 2026  09:00 AM"));
        QVERIFY(Mailings::ReturnMailResults(prompter, id, 400, 2, "Dec 02 2026  10:30 AM"));
        mailing = Mailings::find(id);
        QCOMPARE(mailing->SentCount, 1400);
        QCOMPARE(mailing->SentCountFailed, 5);
        QCOMPARE(mailing->DateSent, "Dec 02 2026  10:30 AM");
        QVERIFY(!Mailings::ReturnMailResults(prompter, id + 1, 1, 1, "x"));

        // A deleted group keeps its mailings.
        QVERIFY(groups::DeleteTamberlynGroup(prompter, "The \"A\" team"));
        QVERIFY(!groups::DeleteTamberlynGroup(prompter, "The \"A\" team"));
        QVERIFY(Mailings::find(id));
        QCOMPARE(
            prompter.texts(),
            QStringList({"A Tamberlyn Group with this name already exists.  Please choose a new name.",
                         "The Tamberlyn Group 'Nobody' does not exist, it could have been deleted already.",
                         "The Tamberlyn Group 'The \"A\" team' does not exist, it could have been deleted "
                         "already."}));
    }

    // Names with quotes of both kinds keep groups apart only by their letters, not their case.
    void groupNamesWithQuotes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sameInOtherCase");
        QTest::newRow("apostrophe") << "Ann's group"
                                    << "ANN'S GROUP";
        QTest::newRow("double quotes") << "The \"B\" list"
                                       << "the \"b\" LIST";
        QTest::newRow("both") << "'\"'"
                              << "'\"'";
        QTest::newRow("SQL comment") << "x'; --"
                                     << "X'; --";
    }
    void groupNamesWithQuotes() {
        QFETCH(QString, name);
        QFETCH(QString, sameInOtherCase);
        namespace groups = mdlTamberlynGroupOptions;
        ScriptedPrompter& prompter = home_->prompter;
        QVERIFY(groups::CreateTamberlynGroup(prompter, name, "d'\"1"));
        QVERIFY(!groups::CreateTamberlynGroup(prompter, sameInOtherCase, "other"));
        QVERIFY(groups::CreateTamberlynGroup(prompter, name + u'2', "second"));
        QVERIFY(groups::UpdateTamberlynGroup(prompter, name, "it's \"new\""));
        const QList<groups::Group> all = groups::Groups();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.first().TamberlynName, name);
        QCOMPARE(all.first().TamberlynDescription, "it's \"new\"");
        QCOMPARE(all.last().TamberlynDescription, "second");
        QVERIFY(groups::DeleteTamberlynGroup(prompter, name));
        QCOMPARE(groups::Groups().size(), 1);
        QCOMPARE(groups::Groups().first().TamberlynName, name + u'2');
    }

    // Deleting a mailing, a group or a set of delivery options removes that row only: the list, the
    // message, the other mailings and the mailings that name the group or the set stay as they are.
    void deletesRemoveOnlyTheirOwnRows() {
        namespace groups = mdlTamberlynGroupOptions;
        ScriptedPrompter& prompter = home_->prompter;
        QVERIFY(groups::CreateTamberlynGroup(prompter, "O'Neil's \"club\"", "d"));
        QVERIFY(execCentral("INSERT INTO List (ListName, ListPath) VALUES ('Ann''s \"list\"', 'A.mdb')"));
        QVERIFY(execCentral("INSERT INTO Message (MessageName) VALUES ('Say \"hi\" it''s me')"));
        MailEvent fast;
        QVERIFY(fast.GetMEPFromDB(DefaultDeliveryOptionsName));
        fast.MailEventName = "Fast's \"set\"";
        QVERIFY(fast.storeMEP());

        const qint32 first = Mailings::PrepareMailing("O'Neil's \"club\"", "Ann's \"list\"",
                                                      "Say \"hi\" it's me", "Fast's \"set\"");
        const qint32 second = Mailings::PrepareMailing("O'Neil's \"club\"", "Ann's \"list\"",
                                                       "Say \"hi\" it's me", DefaultDeliveryOptionsName);
        QVERIFY(first > 0 && second > first);
        const Mailing stored = *Mailings::find(first);
        QCOMPARE(stored.TamberlynName, "O'Neil's \"club\"");
        QCOMPARE(stored.ListName, "Ann's \"list\"");
        QCOMPARE(stored.MessageName, "Say \"hi\" it's me");

        QVERIFY(mdlTBProfile::DeleteTBProfile(prompter, "Fast's \"set\""));
        QCOMPARE(Mailings::find(first)->Profile, "Fast's \"set\"");
        QVERIFY(groups::DeleteTamberlynGroup(prompter, "O'Neil's \"club\""));
        QCOMPARE(Mailings::all().size(), 2);

        prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!Mailings::deleteMailing(prompter, first));
        QVERIFY(Mailings::find(first));
        QCOMPARE(prompter.shown().last().text,
                 "Delete the mailing for 'Say \"hi\" it's me' message?\n\nNote this deletes only the "
                 "mailing and not the list or message.");
        prompter.answer(Prompter::Answer::Ok);
        QVERIFY(Mailings::deleteMailing(prompter, first));
        QVERIFY(!Mailings::find(first));
        QVERIFY(Mailings::find(second));
        QCOMPARE(countCentral("SELECT COUNT(*) FROM List WHERE ListName = ?", {"Ann's \"list\""}), 1);
        QCOMPARE(countCentral("SELECT COUNT(*) FROM Message WHERE MessageName = ?", {"Say \"hi\" it's me"}),
                 1);

        QVERIFY(!Mailings::deleteMailing(prompter, first));
        QCOMPARE(prompter.shown().last().text,
                 QStringLiteral("Cannot delete the mailing for '%1' message.  This mailing has already been "
                                "deleted.")
                     .arg(first));
    }

    // Each run adds its counts to the mailing it belongs to, whatever happened to its group since, and
    // leaves the other mailings alone.
    void resultsAddUpPerMailing() {
        ScriptedPrompter& prompter = home_->prompter;
        const qint32 a = Mailings::PrepareMailing("G", "L", "M", DefaultDeliveryOptionsName);
        const qint32 b = Mailings::PrepareMailing("G", "L", "M", DefaultDeliveryOptionsName);
        QVERIFY(Mailings::ReturnMailResults(prompter, a, 10, 0, "Dec 01 2026  09:00 AM"));
        QVERIFY(Mailings::ReturnMailResults(prompter, b, 5, 5, "Dec 03 2026  09:00 AM"));
        QVERIFY(Mailings::ReturnMailResults(prompter, a, 0, 2, "Dec 04 2026  11:15 PM"));
        QVERIFY(Mailings::ReturnMailResults(prompter, a, 1, 0, "Dec 05 2026  08:00 AM"));
        const Mailing first = *Mailings::find(a);
        QCOMPARE(first.SentCount, 11);
        QCOMPARE(first.SentCountFailed, 2);
        QCOMPARE(first.DateSent, "Dec 05 2026  08:00 AM");
        const Mailing second = *Mailings::find(b);
        QCOMPARE(second.SentCount, 5);
        QCOMPARE(second.SentCountFailed, 5);
        QCOMPARE(second.DateSent, "Dec 03 2026  09:00 AM");
    }

    void checksBeforeSending() {
        ScriptedPrompter& prompter = home_->prompter;
        Mailing mailing;
        mailing.ListName = "Gone";
        QVERIFY(!Mailings::checkBeforeSend(prompter, mailing));
        QCOMPARE(
            prompter.shown().last().text,
            "This mailing cannot be sent.  The 'Gone' mailing list has been deleted from Tamberlyn.  Please "
            "either re-create this list or create another mailing using a valid list.");

        QVERIFY(execCentral("INSERT INTO List (ListName, ListPath) VALUES ('Here', 'Here.mdb')"));
        mailing.ListName = "Here";
        QVERIFY(Mailings::checkBeforeSend(prompter, mailing)); // never sent: no question
        mailing.DateSent = "Dec 02 2026  10:30 AM";
        prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!Mailings::checkBeforeSend(prompter, mailing));
        QVERIFY(prompter.shown().last().text.endsWith(Mailings::sendAgainExplanation()));
        prompter.answer(Prompter::Answer::Ok);
        QVERIFY(Mailings::checkBeforeSend(prompter, mailing));
        // The two checks alone: the list check asks nothing about a mailing sent before.
        const qsizetype shown = prompter.shown().size();
        QVERIFY(Mailings::checkList(prompter, mailing));
        QCOMPARE(prompter.shown().size(), shown);
        prompter.answer(Prompter::Answer::Cancel);
        QVERIFY(!Mailings::confirmSendAgain(prompter, mailing));
        QCOMPARE(prompter.shown().last().title, "Send Mailing Again");
    }

    // Each change of a mailing, group or set of delivery options is announced once, by its own signal.
    void everyChangeIsAnnounced_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("announced");
        QTest::newRow("mailing prepared") << 0 << "mailingsChanged";
        QTest::newRow("mailing deleted") << 1 << "mailingsChanged";
        QTest::newRow("results returned") << 2 << "mailingResults";
        QTest::newRow("schedule saved") << 3 << "mailingsChanged";
        QTest::newRow("group created") << 4 << "groupsChanged";
        QTest::newRow("group described") << 5 << "groupsChanged";
        QTest::newRow("group deleted") << 6 << "groupsChanged";
        QTest::newRow("options stored") << 7 << "profilesChanged";
        QTest::newRow("options deleted") << 8 << "profilesChanged";
        QTest::newRow("sent flag changed") << 9 << "profilesChanged";
        QTest::newRow("run begun") << 10 << "runsChanged";
    }
    void everyChangeIsAnnounced() {
        QFETCH(int, change);
        QFETCH(QString, announced);
        ScriptedPrompter& prompter = home_->prompter;
        QVERIFY(mdlTamberlynGroupOptions::CreateTamberlynGroup(prompter, "G", "first"));
        MailEvent options;
        QVERIFY(options.GetMEPFromDB(DefaultDeliveryOptionsName));
        options.MailEventName = "Other";
        QVERIFY(options.storeMEP());
        const qint32 id = Mailings::PrepareMailing("G", "L", "M", "Other");
        const std::optional<Schedules::Schedule> loaded =
            Schedules::LoadValuesByID(id, QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        QVERIFY(loaded);

        MailingEvents& events = MailingEvents::instance();
        std::vector<std::pair<QString, std::unique_ptr<QSignalSpy>>> spies;
        spies.emplace_back("mailingsChanged",
                           std::make_unique<QSignalSpy>(&events, &MailingEvents::mailingsChanged));
        spies.emplace_back("mailingResults",
                           std::make_unique<QSignalSpy>(&events, &MailingEvents::mailingResults));
        spies.emplace_back("runsChanged", std::make_unique<QSignalSpy>(&events, &MailingEvents::runsChanged));
        spies.emplace_back("groupsChanged",
                           std::make_unique<QSignalSpy>(&events, &MailingEvents::groupsChanged));
        spies.emplace_back("profilesChanged",
                           std::make_unique<QSignalSpy>(&events, &MailingEvents::profilesChanged));
        if (change == 1)
            prompter.answer(Prompter::Answer::Ok);
        Schedules::Schedule edited = *loaded;
        edited.Active = true;
        const bool done = [&] {
            switch (change) {
            case 0:
                return Mailings::PrepareMailing("G", "L", "M2", "Other") > 0;
            case 1:
                return Mailings::deleteMailing(prompter, id);
            case 2:
                return Mailings::ReturnMailResults(prompter, id, 3, 1, "Dec 07 2026  09:00 AM");
            case 3:
                return Schedules::save(*loaded, edited);
            case 4:
                return mdlTamberlynGroupOptions::CreateTamberlynGroup(prompter, "H", {});
            case 5:
                return mdlTamberlynGroupOptions::UpdateTamberlynGroup(prompter, "G", "second");
            case 6:
                return mdlTamberlynGroupOptions::DeleteTamberlynGroup(prompter, "G");
            case 7:
                return options.storeMEP();
            case 8:
                return mdlTBProfile::DeleteTBProfile(prompter, "Other");
            case 9:
                return mdlTBProfile::ChangeSentFlag(prompter, "Other", "AGAIN");
            default:
                return MailRuns::begin(id, MailRuns::Trigger::Command, QDateTime::currentDateTime()) > 0;
            }
        }();
        QVERIFY(done);
        for (const auto& [name, spy] : spies)
            QVERIFY2(spy->size() == (name == announced ? 1 : 0), qPrintable(name));
        if (announced == "mailingResults" || announced == "runsChanged")
            QCOMPARE(spies.at(announced == "mailingResults" ? 1 : 2).second->first().first().toInt(), id);
    }

    // The change of the sent mark writes both the mark and the mark checked for, and says so.
    void sentFlagChange() {
        ScriptedPrompter& prompter = home_->prompter;
        QVERIFY(mdlTBProfile::ChangeSentFlag(prompter, DefaultDeliveryOptionsName, "JUNE"));
        QCOMPARE(prompter.shown().last().text,
                 "Changed 'Sent' text from                                \tSENT\t  to\tJUNE.");
        MailEvent options;
        QVERIFY(options.GetMEPFromDB(DefaultDeliveryOptionsName));
        QCOMPARE(options.SentFlag + '|' + options.SentFlagToCheck, "JUNE|JUNE");
        QVERIFY(!mdlTBProfile::ChangeSentFlag(prompter, "Nobody", "X"));
        QCOMPARE(prompter.shown().last().text, "This set of delivery options does not exist.");
    }

    // Runs become history: slices add up, an end closes the row, and a row left running by a process that
    // died is closed as interrupted with the counts of its slices.
    void runHistory() {
        const qint32 id = Mailings::PrepareMailing("G", "L", "M", DefaultDeliveryOptionsName);
        const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
        const qint32 done = MailRuns::begin(id, MailRuns::Trigger::Schedule, start);
        QVERIFY(MailRuns::addSlice(done, 0, 5, 1));
        QVERIFY(MailRuns::addSlice(done, 1, 4, 0));
        QVERIFY(MailRuns::finish(done, start.addSecs(15), 9, 1, MailRuns::Outcome::Completed));
        const qint32 dead = MailRuns::begin(id, MailRuns::Trigger::Command, start.addSecs(60));
        QVERIFY(MailRuns::addSlice(dead, 0, 7, 2));
        QVERIFY(MailRuns::addSlice(dead, 1, 3, 0));
        QCOMPARE(MailRuns::of(id).last().Outcome, "running");
        QCOMPARE(MailRuns::markInterrupted(), 1);
        QCOMPARE(MailRuns::markInterrupted(), 0);
        const QList<MailRuns::Run> runs = MailRuns::of(id);
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0].Outcome + '|' + QString::number(runs[0].Passed) + '|' + runs[0].Trigger,
                 "completed|9|schedule");
        QCOMPARE(runs[0].RunEnd, start.addSecs(15));
        QCOMPARE(runs[1].Outcome + '|' + QString::number(runs[1].Passed) + '|' +
                     QString::number(runs[1].Failed),
                 "interrupted|10|2");
        QCOMPARE(MailRuns::slices(done).size(), 2);

        home_->stop();
        const CommandRun printed =
            runCommandLine({"--home", home_->path(), "mailing", "runs", QString::number(id)});
        QCOMPARE(printed.status, 0);
        QCOMPARE(printed.out,
                 QString("%1\tschedule\t2026-12-07 09:00:00\t2026-12-07 09:00:15\t9\t1\tcompleted\n"
                         "%2\tcommand\t2026-12-07 09:01:00\t\t10\t2\tinterrupted\n")
                     .arg(done)
                     .arg(dead));
        QCOMPARE(runCommandLine({"--home", home_->path(), "mailing", "runs", "99"}).err,
                 "There is no mailing number 99.\n");
    }

    // The scheduler's load fills the empty columns once; a save clears "carried out" only when the
    // schedule changed; the due mailings are the active ones not carried out whose moment has come.
    void schedules() {
        const QDateTime now(QDate(2026, 12, 7), QTime(9, 30, 15));
        const qint32 id = Mailings::PrepareMailing("G", "L", "M", DefaultDeliveryOptionsName);
        QVERIFY(!Schedules::LoadValuesByID(id + 1, now));
        const Schedules::Schedule filled = *Schedules::LoadValuesByID(id, now);
        QCOMPARE(filled.dueAt(), now);
        QVERIFY(!filled.Active && !filled.MailingSent);
        QCOMPARE(Schedules::LoadValuesByID(id, now.addDays(1))->dueAt(), now); // filled only once

        Schedules::Schedule edited = filled;
        edited.Active = true;
        QVERIFY(Schedules::save(filled, edited));
        QVERIFY(Schedules::setCarriedOut(id));
        QVERIFY(Schedules::save(edited, edited)); // nothing changed: still carried out
        QVERIFY(Schedules::LoadValuesByID(id, now)->MailingSent);
        Schedules::Schedule later = edited;
        later.time = QTime(10, 0);
        QVERIFY(Schedules::save(edited, later));
        QVERIFY(!Schedules::LoadValuesByID(id, now)->MailingSent);

        QVERIFY(execCentral("DELETE FROM MailEvent"));
        QVERIFY(!Schedules::save(later, later)); // a deleted mailing gains no row
        QCOMPARE(countCentral("SELECT COUNT(*) FROM MailEvent"), 0);
    }

    void dueMailings_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("due");
        QTest::newRow("due now") << "2026-12-07"
                                 << "09:30" << true << false << true;
        QTest::newRow("yesterday later in the day") << "2026-12-06"
                                                    << "23:00" << true << false << true;
        QTest::newRow("a minute early") << "2026-12-07"
                                        << "09:31" << true << false << false;
        QTest::newRow("tomorrow earlier in the day") << "2026-12-08"
                                                     << "08:00" << true << false << false;
        QTest::newRow("inactive") << "2026-12-07"
                                  << "09:00" << false << false << false;
        QTest::newRow("carried out") << "2026-12-07"
                                     << "09:00" << true << true << false;
    }
    void dueMailings() {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(bool, active);
        QFETCH(bool, sent);
        QFETCH(bool, due);
        const qint32 id = Mailings::PrepareMailing("G", "L", "M", DefaultDeliveryOptionsName);
        // The time column carries a date of its own, which does not count.
        QVERIFY(CentralDatabase::open().exec(
            "UPDATE MailEvent SET ScheduledDate = ?, ScheduledTime = ?, Active = ?, MailingSent = ?",
            QVariantList{QString(date + " 17:45:00"), QString("2031-01-01 " + time + ":00"),
                         db::yesNo(active), db::yesNo(sent)}));
        const QList<Schedules::Schedule> found =
            Schedules::due(QDateTime(QDate(2026, 12, 7), QTime(9, 30, 15)));
        QCOMPARE(found.size(), due ? 1 : 0);
        if (due)
            QCOMPARE(found.first().MailEventName, id);
    }

    void commandLine() {
        home_->stop();
        const QString h = home_->path();
        QCOMPARE(runCommandLine({"--home", h, "groups", "add", "G", "Some", "group"}).status, 0);
        QCOMPARE(runCommandLine({"--home", h, "options", "set", "Fast", "From=me@example.test", "TimeDelay=0",
                                 "bTimedBlocks=yes"})
                     .status,
                 0);
        const CommandRun bad = runCommandLine({"--home", h, "options", "set", "Fast", "ReplyTo=nobody"});
        QCOMPARE(bad.status, 1);
        QVERIFY(bad.err.contains("The 'Reply To' address is invalid."));
        QCOMPARE(runCommandLine({"--home", h, "options", "set", "Fast", "Colour=red"}).status, 2);
        QVERIFY(runCommandLine({"--home", h, "options", "show", "Fast"}).out.contains("bTimedBlocks=True\n"));

        // A mailing needs a list that exists.
        const CommandRun create = runCommandLine(
            {"--home", h, "mailing", "create", "--group", "G", "--list", "Missing", "--message", "M"});
        QCOMPARE(create.status, 1);
        QCOMPARE(create.err, "There is no list named Missing.\n");
        QCOMPARE(runCommandLine({"--home", h, "groups"}).out, "G\tSome group\n");
    }

    // The deliverability settings go through options set and show, and through the database, unchanged;
    // a default set has every one of them empty.
    void deliverabilitySettingsRoundTrip() {
        home_->stop();
        const QString h = home_->path();
        const QString shown =
            runCommandLine({"--home", h, "options", "show", DefaultDeliveryOptionsName}).out;
        for (const char* empty : {"UnsubscribeAddress=\n", "UnsubscribeURL=\n", "BounceAddress=\n",
                                  "UseVERP=False\n", "DKIMDomain=\n", "DKIMSelector=\n", "DKIMKeyFile=\n"})
            QVERIFY2(shown.contains(QLatin1StringView(empty)), empty);
        const QStringList set = {"UnsubscribeAddress=leave@example.org",
                                 "UnsubscribeURL=https://example.org/leave?e=<<EAddress>>",
                                 "BounceAddress=bounce@example.org",
                                 "UseVERP=Yes",
                                 "DKIMDomain=example.org",
                                 "DKIMSelector=s1",
                                 "DKIMKeyFile=/keys/s1 key.pem"};
        const CommandRun stored = runCommandLine(QStringList{"--home", h, "options", "set", "Signed"} + set);
        QCOMPARE(stored.status, 0);
        const QString after = runCommandLine({"--home", h, "options", "show", "Signed"}).out;
        for (QString line : set)
            QVERIFY2(after.contains(line.replace("=Yes", "=True") + u'\n'), qPrintable(line));
    }

    void deliverabilitySettingsRefused_data() {
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QString>("text");
        QTest::newRow("bad unsubscribe address")
            << QStringList{"UnsubscribeAddress=leave"}
            << "The 'Unsubscribe' address is invalid.  Please re-enter using a valid email address format.  ";
        QTest::newRow("bad bounce address")
            << QStringList{"BounceAddress=x@"}
            << "The 'Bounce' address is invalid.  Please re-enter using a valid email address format.  ";
        QTest::newRow("plain http") << QStringList{"UnsubscribeAddress=l@x.org",
                                                   "UnsubscribeURL=http://x.org/l"}
                                    << "The unsubscribe URL must begin with https://.";
        QTest::newRow("URL alone") << QStringList{"UnsubscribeURL=https://x.org/l"}
                                   << "An unsubscribe URL needs an 'Unsubscribe' address beside it.";
        QTest::newRow("VERP alone") << QStringList{"UseVERP=Yes"} << "VERP needs a 'Bounce' address.";
        QTest::newRow("DKIM half set")
            << QStringList{"DKIMDomain=x.org", "DKIMSelector=s1"}
            << "DKIM signing needs all of DKIMDomain, DKIMSelector and DKIMKeyFile.";
    }
    void deliverabilitySettingsRefused() {
        QFETCH(QStringList, assignments);
        QFETCH(QString, text);
        home_->stop();
        const CommandRun run =
            runCommandLine(QStringList{"--home", home_->path(), "options", "set", "Bad"} + assignments);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, text + u'\n');
        QCOMPARE(runCommandLine({"--home", home_->path(), "options", "show", "Bad"}).status, 1);
    }

    // The throughput settings: sessions from 1 to 32, limits from 0 (none); kept through the database and
    // the profile file; a default set has one session and no limits.
    void throughputSettings_data() {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<int>("status");
        QTest::newRow("four sessions") << "Connections=4" << 0;
        QTest::newRow("thirty-two") << "Connections=32" << 0;
        QTest::newRow("no session") << "Connections=0" << 2;
        QTest::newRow("thirty-three") << "Connections=33" << 2;
        QTest::newRow("hourly") << "MaxPerHour=500" << 0;
        QTest::newRow("daily") << "MaxPerDay=2000" << 0;
        QTest::newRow("negative") << "MaxPerDay=-1" << 2;
    }
    void throughputSettings() {
        QFETCH(QString, assignment);
        QFETCH(int, status);
        home_->stop();
        const QString h = home_->path();
        const QString shown =
            runCommandLine({"--home", h, "options", "show", DefaultDeliveryOptionsName}).out;
        for (const char* line : {"Connections=1\n", "MaxPerHour=0\n", "MaxPerDay=0\n"})
            QVERIFY2(shown.contains(QLatin1StringView(line)), line);
        const CommandRun set = runCommandLine({"--home", h, "options", "set", "Fast", assignment});
        QCOMPARE(set.status, status);
        if (status != 0)
            return;
        QVERIFY(runCommandLine({"--home", h, "options", "show", "Fast"}).out.contains(assignment + u'\n'));
        MailEvent options;
        QVERIFY(options.GetMEPFromDB(QStringLiteral("Fast")));
        const QString file = h + QStringLiteral("/fast.mep");
        options.WriteMEPToFile(file);
        QVERIFY(QString::fromUtf8(readFileBytes(file)).contains(assignment));
    }

private:
    std::unique_ptr<TestHome> home_;
};

QTEST_GUILESS_MAIN(TestMailings)
#include "tst_mailings.moc"
