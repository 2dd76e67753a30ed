#include "core/AppSettings.h"
#include "db/Database.h"
#include "harvest/AddrManager.h"
#include "harvest/AddressSet.h"
#include "support/TestHome.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Row {
    QString first;
    QString last;
    QString keyword1;
    QString keyword2;
    QString date;
    bool operator==(const Row&) const = default;
};

// Every row of a list by address, in the order written.
QList<std::pair<QString, Row>> rowsOf(const QString& path) {
    QList<std::pair<QString, Row>> rows;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    db::Statement query = list.prepare(QStringLiteral(
        "SELECT EAddress, FirstName, LastName, Keyword1, Keyword2, Date FROM AddressList ORDER BY rowid"));
    while (query.next())
        rows.append(
            {query.text(0), {query.text(1), query.text(2), query.text(3), query.text(4), query.text(5)}});
    return rows;
}

QStringList addressesOf(const QString& path) {
    QStringList addresses;
    for (const auto& row : rowsOf(path))
        addresses << row.first;
    return addresses;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

const QByteArray Mailbox = "From ann@x.org Mon Jan  1 10:00:00 2024\n"
                           "From: Ann Lee <ann@x.org>\n"
                           "To: Bob Stone <bob@y.org>, \"Berg, Cleo\" <cleo@z.org>,\n"
                           "\tdan_moss@w.org\n"
                           "Cc: eve@v.org\n"
                           "Message-Id: <m1@x.org>\n"
                           "Subject: Hello\n"
                           "\n"
                           "Write to fay@u.org, please.\n"
                           "\n"
                           "From gil@t.org Mon Jan  1 11:00:00 2024\n"
                           "From: gil@t.org (Gil Hart)\n"
                           "Cc: hal@s.org, ivy@r.org\n"
                           "\n"
                           "Body with jon@q.org in it\n";

} // namespace

class TestBuildList : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<QTemporaryDir> dir_;

    EmailSrcFileObj mailbox(const QString& path, bool from, bool to, bool cc) {
        EmailSrcFileObj file;
        file.fileName = path;
        file.fileType = EmailSrcFileObj::mailboxType();
        file.from = from;
        file.to = to;
        file.cc = cc;
        return file;
    }

    AddrManager::BuildResult build(AddrManager& manager, const QList<EmailSrcFileObj>& files) {
        for (const EmailSrcFileObj& file : files) {
            manager.SelectSourceFile(file.fileName, file.fileType);
            manager.ChangeSearchOptions(file.fileName, file);
        }
        return manager.BuildList();
    }

private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        QVERIFY(home_->start());
        dir_ = std::make_unique<QTemporaryDir>();
        appSettings().KeyCategoryVal1.clear();
        appSettings().KeyCategoryVal2.clear();
    }
    void cleanup() {
        dir_.reset();
        home_.reset();
    }

    void mailboxHeadersGiveTheChosenHeadersOnly_data() {
        QTest::addColumn<bool>("from");
        QTest::addColumn<bool>("to");
        QTest::addColumn<bool>("cc");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("From only") << true << false << false << QStringList{"ann@x.org", "gil@t.org"};
        // The To header continues on the next line; the Cc right after it is passed over.
        QTest::newRow("To") << false << true << false
                            << QStringList{"bob@y.org", "cleo@z.org", "dan_moss@w.org"};
        // The body after the Cc header with a comma is no continuation of it.
        QTest::newRow("Cc") << false << false << true << QStringList{"eve@v.org", "hal@s.org", "ivy@r.org"};
        QTest::newRow("From To Cc") << true << true << true
                                    << QStringList{"ann@x.org", "bob@y.org", "cleo@z.org", "dan_moss@w.org",
                                                   "gil@t.org", "hal@s.org", "ivy@r.org"};
    }
    void mailboxHeadersGiveTheChosenHeadersOnly() {
        QFETCH(bool, from);
        QFETCH(bool, to);
        QFETCH(bool, cc);
        QFETCH(QStringList, addresses);
        const QString path = writeFile(*dir_, QStringLiteral("inbox.mbox"), Mailbox);
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {mailbox(path, from, to, cc)});
        QVERIFY(result.built);
        QVERIFY(!result.interrupted);
        QCOMPARE(addressesOf(result.listPath), addresses);
        QCOMPARE(result.rows, addresses.size());
        QCOMPARE(result.files.size(), 1);
        QCOMPARE(result.files.first().addresses, addresses.size());
    }

    void aCommaInAQuotedNameContinuesNoHeader() {
        const QString path = writeFile(*dir_, QStringLiteral("quoted.mbox"),
                                       "From: \"Berg, Ann\" <ann@x.org>\nTo: bob@y.org\nSubject: x\n\n");
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {mailbox(path, true, true, false)});
        QCOMPARE(addressesOf(result.listPath), (QStringList{"ann@x.org", "bob@y.org"}));
    }

    void aHeaderLongerThanTheReadersBlock() {
        // Over 512 KB in one To: header, so the line reaches the scan as text rather than as bytes.
        QByteArray to = "To: first@x.org";
        for (int i = 0; to.size() < 700 * 1024; ++i)
            to += ", Person " + QByteArray::number(i) + " <p" + QByteArray::number(i) + "@y.org>";
        const QString path = writeFile(*dir_, QStringLiteral("long.mbox"),
                                       "From: a@x.org\n" + to + "\n\tlast@z.org\nCc: c@x.org\n");
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {mailbox(path, false, true, true)});
        const QStringList addresses = addressesOf(result.listPath);
        QCOMPARE(addresses.first(), QStringLiteral("first@x.org"));
        QCOMPARE(addresses.last(), QStringLiteral("last@z.org"));
        QVERIFY(addresses.size() > 10000);
        QVERIFY(!addresses.contains(QStringLiteral("c@x.org")));
    }

    void repeatsAreRecognisedIgnoringCase() {
        AddressSet set;
        for (int i = 0; i < 5000; ++i)
            QVERIFY(set.insert(QStringLiteral("Person%1@Example.org").arg(i)));
        QCOMPARE(set.size(), 5000);
        QVERIFY(set.contains(QStringLiteral("person4999@EXAMPLE.ORG")));
        QVERIFY(!set.insert(QStringLiteral("PERSON0@example.org")));
        QVERIFY(!set.contains(QStringLiteral("person5000@example.org")));
        // Only ASCII letters fold, as in the list.
        QVERIFY(set.insert(QStringLiteral("\u00C9l\u00E9onore@x.org")));
        QVERIFY(!set.contains(QStringLiteral("\u00E9l\u00E9onore@x.org")));
        set.clear();
        QVERIFY(!set.contains(QStringLiteral("person1@example.org")));
    }

    void namesAndKeywordsGoIntoTheRows() {
        const QString path = writeFile(*dir_, QStringLiteral("inbox.mbox"), Mailbox);
        appSettings().KeyCategoryVal1 = QStringLiteral("fair");
        appSettings().KeyCategoryVal2 = QStringLiteral("2024");
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {mailbox(path, true, true, true)});
        QMap<QString, Row> rows;
        for (const auto& row : rowsOf(result.listPath))
            rows.insert(row.first, row.second);
        QCOMPARE(rows.value("ann@x.org").first, QStringLiteral("Ann"));
        QCOMPARE(rows.value("ann@x.org").last, QStringLiteral("Lee"));
        QCOMPARE(rows.value("cleo@z.org").first, QStringLiteral("Cleo"));
        QCOMPARE(rows.value("cleo@z.org").last, QStringLiteral("Berg"));
        QCOMPARE(rows.value("dan_moss@w.org").first, QStringLiteral("Dan"));
        QCOMPARE(rows.value("dan_moss@w.org").last, QStringLiteral("Moss"));
        QCOMPARE(rows.value("gil@t.org").first, QStringLiteral("Gil"));
        QCOMPARE(rows.value("hal@s.org").first, QString());
        QCOMPARE(rows.value("hal@s.org").keyword1, QStringLiteral("fair"));
        QCOMPARE(rows.value("hal@s.org").keyword2, QStringLiteral("2024"));
        QVERIFY(!rows.value("hal@s.org").date.isEmpty());
        QVERIFY(home_->prompter.texts().isEmpty());
    }

    void withoutNamesTheRowsHaveNone() {
        const QString path = writeFile(*dir_, QStringLiteral("inbox.mbox"), Mailbox);
        AddrManager manager(home_->prompter);
        manager.setNameMode(AddrManager::NameMode::NoNames);
        const AddrManager::BuildResult result = build(manager, {mailbox(path, true, true, false)});
        QCOMPARE(result.rows, 5);
        for (const auto& row : rowsOf(result.listPath)) {
            QCOMPARE(row.second.first, QString());
            QCOMPARE(row.second.last, QString());
        }
    }

    void messageIdLinesNeverGiveAnAddress() {
        const QString path = writeFile(*dir_, QStringLiteral("ids.txt"),
                                       "Message-Id: <m1@x.org>\nMESSAGE-ID:<m2@x.org>\nann@x.org\n");
        for (const auto mode : {AddrManager::NameMode::NoNames, AddrManager::NameMode::BestGuess}) {
            AddrManager manager(home_->prompter);
            manager.setNameMode(mode);
            manager.SelectSourceFile(path);
            QCOMPARE(addressesOf(manager.BuildList().listPath), QStringList{"ann@x.org"});
        }
        // In mailbox files searched whole, too; a header of the user's own naming it does not change that.
        EmailSrcFileObj all = mailbox(path, false, false, false);
        all.scope = EmailSrcFileObj::Scope::All;
        AddrManager manager(home_->prompter);
        QCOMPARE(addressesOf(build(manager, {all}).listPath), QStringList{"ann@x.org"});
        EmailSrcFileObj user = mailbox(path, false, false, false);
        user.userHeader = true;
        user.userHeaderText = QStringLiteral("Message");
        AddrManager second(home_->prompter);
        QCOMPARE(build(second, {user}).rows, 0);
    }

    void mailboxSearchedWholeTakesEveryAddressOfALine() {
        const QString path =
            writeFile(*dir_, QStringLiteral("all.mbox"), "a@x.org, b@y.org\nsee c@z.org and d@w.org\n");
        EmailSrcFileObj all = mailbox(path, true, false, false);
        all.scope = EmailSrcFileObj::Scope::All;
        AddrManager manager(home_->prompter);
        // Without a comma a line gets one look: its first address.
        QCOMPARE(addressesOf(build(manager, {all}).listPath), (QStringList{"a@x.org", "b@y.org", "c@z.org"}));
    }

    void aUsersOwnHeaderCombinesWithTheOthers() {
        const QString path = writeFile(*dir_, QStringLiteral("own.mbox"),
                                       "From: a@x.org\nX-Sender: b@y.org\nTo: c@z.org\nx-sender: d@w.org\n");
        EmailSrcFileObj file = mailbox(path, true, false, false);
        file.userHeader = true;
        file.userHeaderText = QStringLiteral("X-Sender:");
        AddrManager manager(home_->prompter);
        QCOMPARE(addressesOf(build(manager, {file}).listPath),
                 (QStringList{"a@x.org", "b@y.org", "d@w.org"}));
    }

    void textFilesGiveTheFirstAddressOfEachLine() {
        const QString path = writeFile(*dir_, QStringLiteral("notes.txt"),
                                       "ann@x.org bob@y.org\r\n  \r\n\"Lee, Ann\" <cleo@z.org>\rdan@w.org\n"
                                       "ANN@X.ORG\nNo address here\nlast@v.org");
        AddrManager manager(home_->prompter);
        manager.SelectSourceFile(path);
        const AddrManager::BuildResult result = manager.BuildList();
        QCOMPARE(addressesOf(result.listPath),
                 (QStringList{"ann@x.org", "cleo@z.org", "dan@w.org", "last@v.org"}));
        // The repeat in capitals was found but the list kept the first.
        QCOMPARE(result.files.first().addresses, 5);
        QCOMPARE(result.rows, 4);
    }

    void aPmmFileIsReformattedFirst() {
        const QByteArray bytes =
            QByteArray("x") + '\0' + "ann@x.org" + '\x1A' + "bob@y.org" + '\0' + "\nlast@z.org";
        const QString path = writeFile(*dir_, QStringLiteral("Mail.PMM"), bytes);
        AddrManager manager(home_->prompter);
        manager.SelectSourceFile(path);
        const AddrManager::BuildResult result = manager.BuildList();
        QCOMPARE(addressesOf(result.listPath), (QStringList{"ann@x.org", "last@z.org"}));
        // The rewritten copy neither lands beside the user's file nor stays behind.
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"Mail.PMM"});
        QVERIFY(QDir(appFolders().TempFolder).entryList({QStringLiteral("*_Reformat")}).isEmpty());
    }

    void emptyMissingAndFruitlessFilesAreReportedAndSkipped() {
        const QString empty = writeFile(*dir_, QStringLiteral("empty.txt"), {});
        const QString missing = dir_->filePath(QStringLiteral("missing.txt"));
        const QString fruitless = writeFile(*dir_, QStringLiteral("none.txt"), "no addresses\nat all\n");
        const QString good = writeFile(*dir_, QStringLiteral("good.txt"), "ann@x.org\n");
        AddrManager manager(home_->prompter);
        for (const QString& path : {empty, missing, fruitless, good})
            QVERIFY(manager.SelectSourceFile(path));
        const AddrManager::BuildResult result = manager.BuildList();
        QCOMPARE(result.rows, 1);
        QCOMPARE(result.files.size(), 4);
        QCOMPARE(result.files[0].addresses, -1);
        QCOMPARE(result.files[1].addresses, -1);
        QCOMPARE(result.files[2].addresses, 0);
        QCOMPARE(result.files[3].addresses, 1);
        QCOMPARE(home_->prompter.texts(),
                 (QStringList{EmailParser::unableToOpenText(empty), EmailParser::unableToOpenText(missing),
                              AddrManager::noAddressesText(fruitless)}));
        QCOMPARE(home_->prompter.shown().at(2).title, AddrManager::noAddressesTitle());
        QVERIFY(!QFile::exists(missing));
    }

    void choosingAFileTwiceKeepsOneEntry() {
        AddrManager manager(home_->prompter);
        const QString path = dir_->filePath(QStringLiteral("a.txt"));
        QVERIFY(manager.SelectSourceFile(path, EmailSrcFileObj::mailboxType()));
        QVERIFY(!manager.SelectSourceFile(dir_->path() + QStringLiteral("/./a.txt")));
        QCOMPARE(manager.sourceFiles().Count(), 1);
        QCOMPARE(home_->prompter.texts(), QStringList{EmailSrcFileColl::duplicateText()});
        // A new file's options: headers, From only.
        const EmailSrcFileObj options = manager.GetSearchOptions(path);
        QCOMPARE(options.fileType, EmailSrcFileObj::mailboxType());
        QVERIFY(options.scope == EmailSrcFileObj::Scope::Headers);
        QVERIFY(options.from && !options.to && !options.cc && !options.bcc && !options.userHeader);
    }

    void buildingWithoutFilesSaysSo() {
        AddrManager manager(home_->prompter);
        QVERIFY(!manager.BuildList().built);
        QCOMPARE(home_->prompter.texts(), QStringList{AddrManager::noFilesText()});
    }

    void interruptKeepsEveryRowWritten() {
        QList<EmailSrcFileObj> files;
        for (int f = 1; f <= 3; ++f) {
            QByteArray bytes;
            for (int i = 0; i < 100; ++i)
                bytes += QStringLiteral("file%1_row%2@x.org\n").arg(f).arg(i).toUtf8();
            EmailSrcFileObj file;
            file.fileName = writeFile(*dir_, QStringLiteral("f%1.txt").arg(f), bytes);
            files << file;
        }
        AddrManager manager(home_->prompter);
        QString current;
        connect(&manager, &AddrManager::fileStarted, this, [&](const QString& name) { current = name; });
        connect(&manager, &AddrManager::linesProcessed, this, [&](qint64 lines) {
            if (current == files[1].fileName && lines == 40)
                manager.interrupt();
        });
        const AddrManager::BuildResult result = build(manager, files);
        QVERIFY(result.interrupted);
        QCOMPARE(result.files.size(), 2);
        const QStringList addresses = addressesOf(result.listPath);
        QCOMPARE(addresses.size(), 140);
        QCOMPARE(addresses.filter(QStringLiteral("file1_")).size(), 100);
        QCOMPARE(addresses.filter(QStringLiteral("file2_")).size(), 40);
        QVERIFY(addresses.filter(QStringLiteral("file3_")).isEmpty());
        QCOMPARE(home_->prompter.texts(), QStringList{AddrManager::stoppedText()});
    }

    void doubtfulNamesAreAskedUntilBestGuessIsChosen() {
        const QString path =
            writeFile(*dir_, QStringLiteral("ask.txt"),
                      "ann_lee@x.org\nann_lee@x.org\nAnn Lee Jr. <ann2@x.org>\nbob.day@y.org\n"
                      "Cleo Berg <cleo@z.org>\n");
        AddrManager manager(home_->prompter);
        manager.setNameMode(AddrManager::NameMode::AskMe);
        QList<EmailParser::NameQuestion> asked;
        manager.setNameAsker([&](const EmailParser::NameQuestion& question) {
            asked << question;
            using Choice = EmailParser::NameAnswer::Choice;
            if (asked.size() == 1)
                return std::optional<EmailParser::NameAnswer>({Choice::Confirm, "Anna", "Leigh"});
            return std::optional<EmailParser::NameAnswer>({Choice::UseBestGuessOn, "A.", "Lee Jr."});
        });
        manager.SelectSourceFile(path);
        const AddrManager::BuildResult result = manager.BuildList();
        // The repeat of the first address is not asked about again; after "best guess" nothing more is asked.
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].address, QStringLiteral("ann_lee@x.org"));
        QCOMPARE(asked[0].firstName, QStringLiteral("Ann"));
        QCOMPARE(asked[0].message, mdlParser::doubtMessage(mdlParser::Doubt::UserNameUnderscore));
        QCOMPARE(asked[1].line, QStringLiteral("Ann Lee Jr. <ann2@x.org>"));
        const auto rows = rowsOf(result.listPath);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].second.first, QStringLiteral("Anna"));
        QCOMPARE(rows[0].second.last, QStringLiteral("Leigh"));
        QCOMPARE(rows[1].second.first, QStringLiteral("A."));
        QCOMPARE(rows[2].first, QStringLiteral("bob.day@y.org"));
        QCOMPARE(rows[2].second.first, QStringLiteral("Bob"));
    }

    void bestGuessModeNeverAsks() {
        const QString path =
            writeFile(*dir_, QStringLiteral("quiet.txt"), "ann_lee@x.org\nA B C D E <e@x.org>\n");
        AddrManager manager(home_->prompter);
        manager.setNameMode(AddrManager::NameMode::BestGuess);
        int asked = 0;
        manager.setNameAsker([&asked](const EmailParser::NameQuestion&) {
            ++asked;
            return std::optional<EmailParser::NameAnswer>();
        });
        manager.SelectSourceFile(path);
        QCOMPARE(manager.BuildList().rows, 2);
        QCOMPARE(asked, 0);
    }

    void withoutAnAskerTheBestGuessStands() {
        const QString path = writeFile(*dir_, QStringLiteral("guess.txt"), "ann_lee@x.org\n");
        AddrManager manager(home_->prompter);
        manager.setNameMode(AddrManager::NameMode::AskMe);
        manager.SelectSourceFile(path);
        const auto rows = rowsOf(manager.BuildList().listPath);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].second.first, QStringLiteral("Ann"));
    }

    void theEventLoopBuildWaitsForAnAnswerAndYieldsBetweenSegments() {
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += QStringLiteral("Person %1 <p%1@x.org>\n").arg(i).toUtf8();
        bytes += "mark_twain@x.org\n";
        const QString path = writeFile(*dir_, QStringLiteral("big.txt"), bytes);
        AddrManager manager(home_->prompter);
        manager.setNameMode(AddrManager::NameMode::AskMe);
        int asked = 0;
        manager.setNameAsker([&](const EmailParser::NameQuestion& question) {
            ++asked;
            // Answered later, from the event loop, as a window would.
            QTimer::singleShot(10, &manager, [&manager, question] {
                manager.answerQuestion({EmailParser::NameAnswer::Choice::NotFound, {}, {}});
            });
            return std::optional<EmailParser::NameAnswer>();
        });
        manager.SelectSourceFile(path);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(0);
        QSignalSpy finished(&manager, &AddrManager::buildFinished);
        QSignalSpy enabled(&manager, &AddrManager::buildEnabled);
        QVERIFY(manager.startBuild());
        QVERIFY(manager.isBuilding());
        QVERIFY(finished.wait(60000));
        QCOMPARE(asked, 1);
        QVERIFY(ticks > 5); // the event loop ran during the build
        const auto result = finished.first().first().value<AddrManager::BuildResult>();
        QCOMPARE(result.rows, 20001);
        const auto rows = rowsOf(result.listPath);
        QCOMPARE(rows.last().first, QStringLiteral("mark_twain@x.org"));
        QCOMPARE(rows.last().second.first, QString());
        QCOMPARE(enabled.count(), 2);
        QCOMPARE(enabled.last().first().toBool(), true);
    }

    void noStoredAddressHoldsAControlCharacter_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("wholeMailbox");
        QTest::newRow("text") << EmailSrcFileObj::textType() << false;
        QTest::newRow("binary") << EmailSrcFileObj::binaryType() << false;
        QTest::newRow("mailbox searched whole") << EmailSrcFileObj::mailboxType() << true;
    }
    void noStoredAddressHoldsAControlCharacter() {
        QFETCH(QString, type);
        QFETCH(bool, wholeMailbox);
        // Random bytes, '@' among them, with addresses that carry control characters inside them.
        QByteArray bytes;
        QRandomGenerator random(11);
        for (int i = 0; i < 300; ++i) {
            QByteArray noise(2048, Qt::Uninitialized);
            for (char& c : noise)
                c = static_cast<char>(random.bounded(256));
            bytes += noise;
            bytes += "\nann" + QByteArray(1, char(i % 32)) + "x@x.org b\r@y.org cy@z\x7f.org nul\0@w.org\n";
            bytes += "tab@x.org\tDATA\r\nclean" + QByteArray::number(i) + "@v.org\n";
        }
        EmailSrcFileObj file;
        file.fileName = writeFile(*dir_, QStringLiteral("noise.dat"), bytes);
        file.fileType = type;
        if (wholeMailbox)
            file.scope = EmailSrcFileObj::Scope::All;
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {file});
        QVERIFY(result.built);
        const QStringList addresses = addressesOf(result.listPath);
        QVERIFY(!addresses.isEmpty());
        for (const QString& address : addresses)
            for (const QChar c : address)
                QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F,
                         qPrintable(address.toUtf8().toPercentEncoding()));
    }

    void binaryFilesAndHugeLinesFinish() {
        // A few MB of random bytes with NULs, addresses between them, and no line breaks for long stretches.
        QByteArray bytes;
        QRandomGenerator random(7);
        for (int i = 0; i < 200; ++i) {
            QByteArray noise(16 * 1024, Qt::Uninitialized);
            for (char& c : noise) {
                c = static_cast<char>(random.bounded(256));
                if (c == '\n' || c == '\r' || c == '@')
                    c = '\0';
            }
            bytes += noise + '\0' + QStringLiteral("bin%1@x.org").arg(i).toUtf8() + '\0';
            if (i % 50 == 49)
                bytes += '\n';
        }
        EmailSrcFileObj binary;
        binary.fileName = writeFile(*dir_, QStringLiteral("data.bin"), bytes);
        binary.fileType = EmailSrcFileObj::binaryType();
        AddrManager manager(home_->prompter);
        const AddrManager::BuildResult result = build(manager, {binary});
        // Scanned as text: the first address of each of the four lines.
        QCOMPARE(addressesOf(result.listPath),
                 (QStringList{"bin0@x.org", "bin50@x.org", "bin100@x.org", "bin150@x.org"}));

        // The same bytes as a mailbox searched whole: nothing hangs, nothing crashes.
        EmailSrcFileObj asMailbox = binary;
        asMailbox.fileType = EmailSrcFileObj::mailboxType();
        asMailbox.scope = EmailSrcFileObj::Scope::All;
        AddrManager second(home_->prompter);
        QVERIFY(build(second, {asMailbox}).built);
    }
};

QTEST_GUILESS_MAIN(TestBuildList)
#include "tst_buildlist.moc"
