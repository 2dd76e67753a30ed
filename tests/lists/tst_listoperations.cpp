#include "app/CommandLine.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "db/ListEvents.h"
#include "db/ListSchema.h"
#include "lists/ListOperations.h"
#include "lists/QueryBuilder.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

using Rows = QList<QVariantList>;

const QString Ann = QStringLiteral("ann@x.org");

// A list file with the given columns (EAddress among them) and rows.
QString makeList(const QString& path, const QStringList& columns, const Rows& rows, bool keyed = true) {
    QStringList parts;
    for (const QString& column : columns)
        parts << ListSchema::columnDefinition(column, ListSchema::columnType(),
                                              keyed && ListSchema::keyColumn() == column);
    if (keyed)
        parts << QStringLiteral("CONSTRAINT MyPrKey PRIMARY KEY (EAddress)");
    db::Database list = db::Database::create(path);
    if (!list.exec("CREATE TABLE AddressList (" + parts.join(", ") + ")"))
        qFatal("cannot create %s", qPrintable(path));
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << "?";
    for (const QVariantList& row : rows)
        if (!list.exec("INSERT INTO AddressList VALUES (" + marks.join(',') + ")", row))
            qFatal("cannot fill %s: %s", qPrintable(path), qPrintable(list.lastError().text));
    return path;
}

QStringList columnsOf(const QString& path) {
    QStringList names;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    for (const db::ColumnInfo& column : list.columns(QStringLiteral("AddressList")))
        names << column.name;
    return names;
}

// Every row in stored order, each value as text ("-" for NULL), joined with "|".
QStringList rowsOf(const QString& path) {
    QStringList rows;
    const db::Database list = db::Database::open(path, db::Database::OpenMode::ReadOnly);
    db::Statement select = list.prepare(QStringLiteral("SELECT * FROM AddressList"));
    while (select.next()) {
        QStringList values;
        for (int i = 0; i < select.columnCount(); ++i)
            values << (select.value(i).isNull() ? QStringLiteral("-") : select.text(i));
        rows << values.join(u'|');
    }
    return rows;
}

QByteArray digest(const QString& path) {
    return QCryptographicHash::hash(readFileBytes(path), QCryptographicHash::Sha1);
}

QStringList tempLists() {
    return QDir(appFolders().TempFolder).entryList({QStringLiteral("*.mdb*")}, QDir::Files);
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runCommandLine(const TestHome& home, const QStringList& arguments) {
    QString inText;
    Run run;
    QTextStream in(&inText);
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status =
        RunCommandLine(QStringList{"tamberlyn", "--home", home.path()} + arguments, {in, out, err, false});
    out.flush();
    err.flush();
    return run;
}

} // namespace

class TestListOperations : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString file(const QString& name) const { return dir_.filePath(name); }

    // A: EAddress, FirstName, City; B: EAddress, Zip. "Bob" is in both, spelt differently.
    QString listA() {
        if (QFile::exists(file("a.mdb")))
            return file("a.mdb");
        return makeList(file("a.mdb"), {"EAddress", "FirstName", "City"},
                        {{Ann, "Ann", "Oslo"}, {"Bob@X.org", "Bob", "Rome"}, {"zoë@x.org", "Zoë", "Zürich"}});
    }
    QString listB() {
        if (QFile::exists(file("b.mdb")))
            return file("b.mdb");
        return makeList(file("b.mdb"), {"EAddress", "Zip"}, {{"bob@x.org", "1234"}, {"cy@x.org", "999"}});
    }

private Q_SLOTS:
    void init() { QVERIFY(dir_.isValid()); }
    void cleanup() {
        // Links too, dangling ones and those to folders among them.
        for (const QString& name :
             QDir(dir_.path()).entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot))
            QFile::remove(file(name));
    }

    void unionColumnsKeepOrderAndLeaveOutSystemTables() {
        const ListOperations::UnionColumns u = ListOperations::unionColumns(
            {"EAddress", "FirstName", "MSysFlag", "City"}, {"eaddress", "Zip", "city", "xMSysy", "Phone"});
        QCOMPARE(u.columns, (QStringList{"EAddress", "FirstName", "City", "Zip", "Phone"}));
        QCOMPARE(u.firstSource, (QStringList{"EAddress", "FirstName", "City"}));
        QCOMPARE(u.secondSource, (QStringList{"eaddress", "Zip", "city", "Phone"}));
        QCOMPARE(u.secondTarget, (QStringList{"EAddress", "Zip", "City", "Phone"}));
    }

    void mergeUnitesColumnsAndTheFirstListWins() {
        TestHome home;
        QVERIFY(home.start());
        const QString a = listA();
        const QString b = listB();
        const QByteArray before = digest(a) + digest(b);
        QSignalSpy status(&ListEvents::instance(), &ListEvents::statusMessage);

        const QString result = ListOperations::gMergeLists(a, b, home.prompter);
        QVERIFY2(ListOperations::isPath(result), qPrintable(result));
        QVERIFY(result.startsWith(appFolders().TempFolder + "NewMailingList"));
        QCOMPARE(columnsOf(result), (QStringList{"EAddress", "FirstName", "City", "Zip"}));
        QCOMPARE(rowsOf(result), (QStringList{"ann@x.org|Ann|Oslo|-", "Bob@X.org|Bob|Rome|-",
                                              "zoë@x.org|Zoë|Zürich|-", "cy@x.org|-|-|999"}));
        QVERIFY(DataTank::IsTamberlynDB(result));
        QCOMPARE(digest(a) + digest(b), before);
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.first().first().toString(), QStringLiteral("Merging..."));
        QVERIFY(home.prompter.shown().isEmpty());

        // The result keeps its key: the list takes no second row for an address in any case.
        db::Database merged = db::Database::open(result);
        QVERIFY(!merged.exec("INSERT INTO AddressList (EAddress) VALUES ('ANN@X.ORG')"));
    }

    void mergingAListWithItselfCopiesIt() {
        TestHome home;
        QVERIFY(home.start());
        const QString a = listA();
        const QString result = ListOperations::gMergeLists(a, a, home.prompter);
        QVERIFY2(ListOperations::isPath(result), qPrintable(result));
        QCOMPARE(columnsOf(result), columnsOf(a));
        QCOMPARE(rowsOf(result), rowsOf(a));
    }

    // The sources are only read: a list another connection is writing to at the time can still be used,
    // and the builder sees its committed rows only.
    void sourcesBeingWrittenElsewhereAreRead() {
        TestHome home;
        QVERIFY(home.start());
        db::Database writer = db::Database::open(listA());
        QVERIFY(writer.beginTransaction());
        QVERIFY(writer.exec("INSERT INTO AddressList (EAddress) VALUES ('new@x.org')"));
        const QString result = ListOperations::gMergeLists(listA(), listB(), home.prompter);
        QVERIFY2(ListOperations::isPath(result), qPrintable(result));
        QCOMPARE(rowsOf(result).size(), 4);
        QVERIFY(writer.commit());
    }

    void mergeTakesOneRowPerAddressFromAListWithoutKey() {
        TestHome home;
        QVERIFY(home.start());
        const QString loose =
            makeList(file("loose.mdb"), {"EAddress", "FirstName"},
                     {{"dup@x.org", "first"}, {"DUP@x.org", "second"}, {"", "empty"}}, false);
        const QString result = ListOperations::gMergeLists(loose, listB(), home.prompter);
        QCOMPARE(rowsOf(result), (QStringList{"dup@x.org|first|-", "bob@x.org|-|1234", "cy@x.org|-|999"}));
    }

    void cleanRemovesAddressesInAnyCaseAndSorts() {
        TestHome home;
        QVERIFY(home.start());
        const QString list = makeList(file("list.mdb"), {"EAddress", "FirstName"},
                                      {{"zed@x.org", "Zed"},
                                       {"Amy@x.org", "Amy"},
                                       {"bob@x.org", "O'Brien \"Bobby\""},
                                       {"carl@x.org", "Carl \"C\" O'Neil"}});
        const QString removal = makeList(file("removal.mdb"), {"EAddress", "Reason"},
                                         {{"BOB@X.ORG", "bounced"}, {"dave@x.org", "left"}});
        QSignalSpy status(&ListEvents::instance(), &ListEvents::statusMessage);
        const QString result = ListOperations::gCleanList(list, removal, home.prompter);
        QVERIFY2(ListOperations::isPath(result), qPrintable(result));
        QCOMPARE(columnsOf(result), (QStringList{"EAddress", "FirstName", "Reason"}));
        QCOMPARE(rowsOf(result),
                 (QStringList{"Amy@x.org|Amy|-", "carl@x.org|Carl \"C\" O'Neil|-", "zed@x.org|Zed|-"}));
        QCOMPARE(status.first().first().toString(), QStringLiteral("Scrubbing..."));
        // A clean keeps the list's own rows as they are, repeats included: its result has no key.
        QVERIFY(!db::Database::open(result).column("AddressList", "EAddress")->primaryKey);
    }

    void cleaningEveryAddressGivesNoRecordsAndNoFile() {
        TestHome home;
        QVERIFY(home.start());
        const QString a = listB();
        const QString b =
            makeList(file("all.mdb"), {"EAddress"}, {{"BOB@x.org"}, {"cy@X.org"}, {"other@x.org"}});
        QCOMPARE(ListOperations::gCleanList(a, b, home.prompter), ListOperations::noRecordsResult());
        QCOMPARE(tempLists(), QStringList());
    }

    void cleanNeedsTwoOpenListWindowsOnTheDesktop() {
        TestHome home;
        QVERIFY(home.start());
        QCOMPARE(ListOperations::gCleanList(listA(), listB(), home.prompter, 1),
                 ListOperations::cancelResult());
        QCOMPARE(home.prompter.texts(), QStringList{"You must have twol lists open to perform this action."});
        QVERIFY(ListOperations::isPath(ListOperations::gCleanList(listA(), listB(), home.prompter, 2)));
    }

    void duplicatesKeepTheFirstListsRows() {
        TestHome home;
        QVERIFY(home.start());
        const QString result = ListOperations::gFindDuplicates(listA(), listB(), home.prompter);
        QVERIFY2(ListOperations::isPath(result), qPrintable(result));
        QCOMPARE(columnsOf(result), (QStringList{"EAddress", "FirstName", "City", "Zip"}));
        QCOMPARE(rowsOf(result), QStringList{"Bob@X.org|Bob|Rome|-"});

        const QString other = makeList(file("other.mdb"), {"EAddress"}, {{"nobody@x.org"}});
        QCOMPARE(ListOperations::gFindDuplicates(listA(), other, home.prompter),
                 ListOperations::noRecordsResult());
        QCOMPARE(tempLists(), QStringList{QFileInfo(result).fileName()});
    }

    void emptyFirstListCancelsWithoutAFile_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("message");
        QTest::newRow("merge") << 0 << "Both elements of a Merge operation must contain records.";
        QTest::newRow("clean")
            << 1 << "Both elements of a Clean action must be valid Tamberlyn address lists with records";
        QTest::newRow("duplicates")
            << 2
            << "Both elements of a Find Duplicates action must be valid Tamberlyn address lists with records";
    }
    void emptyFirstListCancelsWithoutAFile() {
        QFETCH(int, operation);
        QFETCH(QString, message);
        TestHome home;
        QVERIFY(home.start());
        const QString empty = makeList(file("empty.mdb"), {"EAddress"}, {});
        const auto run = [&](const QString& first, const QString& second) {
            switch (operation) {
            case 0:
                return ListOperations::gMergeLists(first, second, home.prompter);
            case 1:
                return ListOperations::gCleanList(first, second, home.prompter);
            default:
                return ListOperations::gFindDuplicates(first, second, home.prompter);
            }
        };
        QCOMPARE(run(empty, listB()), ListOperations::cancelResult());
        QCOMPARE(home.prompter.texts(), QStringList{message});
        QCOMPARE(tempLists(), QStringList());
        // An empty second list is refused the same way; the result file made meanwhile goes again.
        QCOMPARE(run(listB(), empty), ListOperations::cancelResult());
        QCOMPARE(home.prompter.texts(), (QStringList{message, message}));
        QCOMPARE(tempLists(), QStringList());
    }

    void sourcesThatAreNoListsOrCannotBeOpened() {
        TestHome home;
        QVERIFY(home.start());
        const QString notes = file("notes.mdb");
        db::Database::create(notes).exec("CREATE TABLE Notes (Text TEXT)");
        const QString missing = file("missing.mdb");

        QCOMPARE(ListOperations::gMergeLists(notes, listB(), home.prompter), ListOperations::errorResult());
        QCOMPARE(ListOperations::gCleanList(listB(), notes, home.prompter), ListOperations::errorResult());
        QCOMPARE(ListOperations::gMergeLists(missing, listB(), home.prompter), ListOperations::errorResult());
        QCOMPARE(
            home.prompter.texts(),
            (QStringList{"Both elements of a Merge action must be valid Tamberlyn address lists",
                         "Both elements of a Clean action must be valid Tamberlyn address lists with records",
                         "Error opening " + missing}));
        // Duplicates answers with the failure instead of showing it.
        QCOMPARE(ListOperations::gFindDuplicates(listB(), missing, home.prompter),
                 "<Error: Unable to open " + missing + " for input");
        QCOMPARE(home.prompter.texts().size(), 3);
        QCOMPARE(ListOperations::errorDescription("<Error: Unable to open x for input"),
                 QStringLiteral("Unable to open x for input"));
        QCOMPARE(tempLists(), QStringList());
    }

    void filterSelectsWithTheBuildersClause() {
        TestHome home;
        QVERIFY(home.start());
        const QString list = makeList(file("people.mdb"), {"EAddress", "FirstName", "LastName"},
                                      {{"a@x.org", "Ann", "O'Brien"},
                                       {"b@x.org", "amélie", "Say \"hi\""},
                                       {"c@x.org", "Bob", "Lee"},
                                       {"d@x.org", QVariant(), "Null"}});
        const QByteArray before = digest(list);
        const auto clause = [](const QString& column, const QString& op, const QString& value) {
            return QueryBuilder::buildClause("AddressList",
                                             {{column, op, value, QueryBuilder::ValueKind::Quoted}}, {});
        };
        const auto filtered = [&](const QString& condition) {
            const QString result = ListOperations::gFilterList(list, home.prompter, condition);
            return ListOperations::isPath(result) ? rowsOf(result) : QStringList{result};
        };
        QCOMPARE(filtered(clause("FirstName", "Like", "A*")),
                 (QStringList{"a@x.org|Ann|O'Brien", "b@x.org|amélie|Say \"hi\""}));
        QCOMPARE(filtered(clause("LastName", "=", "say \"HI\"")), QStringList{"b@x.org|amélie|Say \"hi\""});
        QCOMPARE(filtered(clause("LastName", "=", "o'brien")), QStringList{"a@x.org|Ann|O'Brien"});
        QCOMPARE(filtered(clause("FirstName", "=", "null")), QStringList{"d@x.org|-|Null"});
        QCOMPARE(filtered("[FirstName] = 'Bob'"), QStringList{"c@x.org|Bob|Lee"});
        QCOMPARE(filtered(clause("FirstName", "=", "Nobody")),
                 QStringList{ListOperations::noRecordsResult()});
        const QStringList refused = filtered("WHERE 1=1; DROP TABLE AddressList");
        QVERIFY2(ListOperations::isError(refused.first()), qPrintable(refused.first()));
        QVERIFY(!ListOperations::errorDescription(refused.first()).isEmpty());
        QCOMPARE(digest(list), before);
        QVERIFY(home.prompter.shown().isEmpty());
        const QString output =
            ListOperations::gFilterList(list, home.prompter, clause("FirstName", "Like", "A*"));
        QVERIFY(db::Database::open(output).column("AddressList", "EAddress")->primaryKey);
    }

    void filterAsksForTheConditionWhenNoneIsGiven() {
        TestHome home;
        QVERIFY(home.start());
        const QString list = listA();
        QStringList offered;
        const QString result = ListOperations::gFilterList(
            list, home.prompter, std::nullopt, [&](const QString& path, const QStringList& columns) {
                offered = columns;
                return path == list ? QStringLiteral("[City] = \"rome\"") : QString();
            });
        QCOMPARE(offered, (QStringList{"EAddress", "FirstName", "City"}));
        QCOMPARE(rowsOf(result), QStringList{"Bob@X.org|Bob|Rome"});
        const QStringList before = tempLists();
        QCOMPARE(ListOperations::gFilterList(
                     list, home.prompter, std::nullopt,
                     [](const QString&, const QStringList&) { return QStringLiteral("  "); }),
                 ListOperations::cancelResult());
        QCOMPARE(tempLists(), before);
    }

    void filterRefusesEmptyAndUnreadableLists() {
        TestHome home;
        QVERIFY(home.start());
        const QString empty = makeList(file("empty.mdb"), {"EAddress"}, {});
        QCOMPARE(ListOperations::gFilterList(empty, home.prompter, QStringLiteral("[EAddress] Like \"*\"")),
                 ListOperations::cancelResult());
        QCOMPARE(home.prompter.texts(), QStringList{"There are no records to select from"});
        const QString missing = file("missing.mdb");
        QCOMPARE(ListOperations::gFilterList(missing, home.prompter, QStringLiteral("[EAddress] = \"x\"")),
                 "<Error: Unable to open " + missing + " for input");
        QCOMPARE(tempLists(), QStringList());
    }

    void exportWritesQuotedUtf8TextInStoredOrder() {
        TestHome home;
        QVERIFY(home.start());
        const QString list = makeList(file("export.mdb"), {"EAddress", "FirstName", "Note \"x\""},
                                      {{"zed@x.org", "Zoë", "say \"hi\", then, leave"},
                                       {"amy@x.org", QVariant(), ""},
                                       {"bob@x.org", "O'Brien", qint64(42)}});
        const QString target = file("out.csv");
        QCOMPARE(ListOperations::gExportList(list, target, home.prompter), 3);
        QCOMPARE(readFileBytes(target),
                 QByteArray("\"EAddress\",\"FirstName\",\"Note \"\"x\"\"\"\r\n"
                            "\"zed@x.org\",\"Zo\xc3\xab\",\"say \"\"hi\"\", then, leave\"\r\n"
                            "\"amy@x.org\",,\"\"\r\n"
                            "\"bob@x.org\",\"O'Brien\",\"42\"\r\n"));
        QVERIFY(home.prompter.shown().isEmpty());
    }

    void exportingAnEmptyListWritesNoFile() {
        TestHome home;
        QVERIFY(home.start());
        const QString target = file("empty.csv");
        QCOMPARE(
            ListOperations::gExportList(makeList(file("empty.mdb"), {"EAddress"}, {}), target, home.prompter),
            0);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(home.prompter.texts(), QStringList{"There are no records to export"});

        QCOMPARE(ListOperations::gExportList(file("missing.mdb"), target, home.prompter), -1);
        QCOMPARE(home.prompter.texts().last(), "Unable to open " + file("missing.mdb") + " for input");
        QCOMPARE(ListOperations::gExportList(listB(), file("no/such/folder/out.csv"), home.prompter), -1);
        QVERIFY(home.prompter.texts().last().endsWith(" for output"));
    }

    void exportRefusesTheProgramsOwnFiles_data() {
        QTest::addColumn<QString>("target"); // %home: the application folder, %out: a folder of the user's
        QTest::addColumn<QString>("link");   // when set, %out/link is made a link to %home/linkTarget
        QTest::addColumn<QString>("linkTarget");
        QTest::newRow("the list itself") << "%home/AddressLists/Alpha.mdb"
                                         << ""
                                         << "";
        QTest::newRow("the central database") << "%home/system/Tamberlyn.tbf"
                                              << ""
                                              << "";
        QTest::newRow("a new file among the lists") << "%home/AddressLists/alpha.csv"
                                                    << ""
                                                    << "";
        QTest::newRow("the temp folder") << "%home/temp/alpha.csv"
                                         << ""
                                         << "";
        QTest::newRow("a path through ..") << "%home/Mailings/../system/Tamberlyn.tbf"
                                           << ""
                                           << "";
        QTest::newRow("a link to the central database") << "%out/db.csv"
                                                        << "db.csv"
                                                        << "system/Tamberlyn.tbf";
        QTest::newRow("a link to a file not yet made") << "%out/new.csv"
                                                       << "new.csv"
                                                       << "AddressLists/new.csv";
        QTest::newRow("a linked folder") << "%out/sys/Tamberlyn.tbf"
                                         << "sys"
                                         << "system";
        QTest::newRow("a link to the list") << "%out/list.csv"
                                            << "list.csv"
                                            << "AddressLists/Alpha.mdb";
    }

    void exportRefusesTheProgramsOwnFiles() {
        QFETCH(QString, target);
        QFETCH(QString, link);
        QFETCH(QString, linkTarget);
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(DataTank::SaveListAs(listA(), "Alpha", {}, false, home.prompter));
        const QString list = home.file("AddressLists/Alpha.mdb");
        const QString central = home.file("system/Tamberlyn.tbf");
        target.replace("%home", home.path()).replace("%out", dir_.path());
        if (!link.isEmpty())
            QVERIFY(QFile::link(home.file(linkTarget), file(link)));
        const QByteArray before = digest(list) + digest(central);
        const QStringList listFolder = QDir(home.file("AddressLists")).entryList(QDir::Files);
        const QStringList tempFolder = QDir(home.file("temp")).entryList(QDir::Files);

        QCOMPARE(ListOperations::gExportList(list, target, home.prompter), -1);
        QCOMPARE(home.prompter.texts().size(), 1);
        QVERIFY2(home.prompter.texts().first().startsWith("A list cannot be exported "),
                 qPrintable(home.prompter.texts().first()));
        QCOMPARE(digest(list) + digest(central), before);
        QCOMPARE(QDir(home.file("AddressLists")).entryList(QDir::Files), listFolder);
        QCOMPARE(QDir(home.file("temp")).entryList(QDir::Files), tempFolder);
        if (!link.isEmpty())
            QVERIFY(QFileInfo(file(link)).isSymLink());

        // The command line refuses it the same way, whatever the answer to questions.
        home.stop();
        const Run run = runCommandLine(home, {"--yes", "export", "Alpha", target});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("A list cannot be exported "), qPrintable(run.err));
        QVERIFY(!run.out.contains("Exported"));
        QCOMPARE(digest(list) + digest(central), before);
    }

    void exportReplacesAnExistingFileOnlyAfterYes() {
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(DataTank::SaveListAs(listA(), "Alpha", {}, false, home.prompter));
        const QString list = home.file("AddressLists/Alpha.mdb");
        const QString target = file("mine.csv");
        const QByteArray mine("my own data\n");
        const auto writeMine = [&] {
            QFile out(target);
            return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(mine) == mine.size();
        };
        QVERIFY(writeMine());

        home.prompter.answer(Prompter::Answer::No);
        QCOMPARE(ListOperations::gExportList(list, target, home.prompter), -1);
        QCOMPARE(home.prompter.texts(), QStringList{ListOperations::exportReplaceQuestion(target)});
        QVERIFY(home.prompter.shown().first().question);
        QCOMPARE(readFileBytes(target), mine);
        home.prompter.answer(Prompter::Answer::Yes);
        QCOMPARE(ListOperations::gExportList(list, target, home.prompter), 3);
        QVERIFY(readFileBytes(target).startsWith("\"EAddress\""));
        // A window whose save dialog has asked already replaces without a second question.
        QVERIFY(writeMine());
        QCOMPARE(ListOperations::gExportList(list, target, home.prompter,
                                             ListOperations::ExistingExportFile::Replace),
                 3);
        QVERIFY(home.prompter.allAnswersUsed());

        home.stop();
        QVERIFY(writeMine());
        for (const QStringList& refused : {QStringList{"--no"}, QStringList{}}) {
            const Run run = runCommandLine(home, refused + QStringList{"export", "Alpha", target});
            QCOMPARE(run.status, 1);
            QVERIFY(run.out.contains(ListOperations::exportReplaceQuestion(target)));
            QCOMPARE(readFileBytes(target), mine);
        }
        const Run run = runCommandLine(home, {"--yes", "export", "Alpha", target});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.endsWith("Exported 3 rows to " + target + ".\n"));
        QVERIFY(readFileBytes(target).startsWith("\"EAddress\""));
    }

    void listsTellsADamagedListFromAnEmptyOne() {
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(DataTank::SaveListAs(listA(), "Alpha", {}, false, home.prompter));
        QVERIFY(DataTank::SaveListAs(makeList(file("empty.mdb"), {"EAddress"}, {}), "Empty", {}, false,
                                     home.prompter));
        QVERIFY(DataTank::SaveListAs(listB(), "Noise", {}, false, home.prompter));
        QVERIFY(DataTank::SaveListAs(listB(), "Gone", {}, false, home.prompter));
        home.stop();
        QByteArray noise(8192, Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        QFile damaged(home.file("AddressLists/Noise.mdb"));
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(damaged.write(noise), noise.size());
        damaged.close();
        QVERIFY(QFile::remove(home.file("AddressLists/Gone.mdb")));

        const Run run = runCommandLine(home, {"lists"});
        QCOMPARE(run.status, 0);
        const QString folder = home.file("AddressLists/");
        QCOMPARE(run.out, "Alpha\t" + folder + "Alpha.mdb\t3\n" + "Empty\t" + folder + "Empty.mdb\t0\n" +
                              "Gone\t" + folder + "Gone.mdb\tmissing\n" + "Noise\t" + folder +
                              "Noise.mdb\tdamaged\n");
    }

    void commandLine() {
        TestHome home;
        QVERIFY(home.start());
        QVERIFY(DataTank::SaveListAs(listA(), "Alpha", {}, false, home.prompter));
        QVERIFY(DataTank::SaveListAs(listB(), "Beta", {}, false, home.prompter));
        QVERIFY(DataTank::SaveListAs(makeList(file("empty.mdb"), {"EAddress"}, {}), "Empty", {}, false,
                                     home.prompter));
        home.stop();
        const auto rows = [&](const QString& name) {
            return rowsOf(home.file("AddressLists/" + name + ".mdb"));
        };

        Run run = runCommandLine(home, {"merge", "Alpha", "Beta", "--name", "Both"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("Saved the list Both with 4 addresses.\n"));
        QCOMPARE(rows("Both").size(), 4);
        QCOMPARE(runCommandLine(home, {"clean", "Alpha", "Beta", "--name", "Cleaned"}).status, 0);
        QCOMPARE(rows("Cleaned"), (QStringList{"ann@x.org|Ann|Oslo|-", "zoë@x.org|Zoë|Zürich|-"}));
        QCOMPARE(runCommandLine(home, {"duplicates", "Alpha", "Beta", "--name", "Common"}).status, 0);
        QCOMPARE(rows("Common"), QStringList{"Bob@X.org|Bob|Rome|-"});
        run = runCommandLine(home, {"filter", "Alpha", "--where",
                                    "WHERE (([AddressList].[City] Like  \"Z*\"))", "--name", "Zed"});
        QCOMPARE(run.status, 0);
        QCOMPARE(rows("Zed"), QStringList{"zoë@x.org|Zoë|Zürich"});
        // Saved results leave no temporary list behind.
        QCOMPARE(QDir(home.file("temp")).entryList({"*.mdb"}, QDir::Files), QStringList());

        run = runCommandLine(home, {"export", "Alpha", file("alpha.csv")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, "Exported 3 rows to " + file("alpha.csv") + ".\n");
        QVERIFY(readFileBytes(file("alpha.csv"))
                    .startsWith("\"EAddress\",\"FirstName\",\"City\"\r\n\"ann@x.org\""));

        // Results that are no list exit 1 with their message.
        run = runCommandLine(home, {"clean", "Beta", "Beta", "--name", "Nothing"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("The resulting list is empty\n"));
        run = runCommandLine(home, {"merge", "Empty", "Beta", "--name", "X"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("Both elements of a Merge operation must contain records."));
        run = runCommandLine(home, {"filter", "Alpha", "--where", "City = 'Oslo' OR", "--name", "X"});
        QCOMPARE(run.status, 1);
        QVERIFY(!run.err.isEmpty());
        run = runCommandLine(home, {"export", "Empty", file("empty.csv")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("There are no records to export"));
        QVERIFY(!QFile::exists(file("empty.csv")));
        run = runCommandLine(home, {"merge", "Alpha", "Gamma", "--name", "X"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("Could not locate "));

        // An existing name is replaced only when the question is answered Yes.
        QCOMPARE(runCommandLine(home, {"--no", "duplicates", "Alpha", "Beta", "--name", "Both"}).status, 1);
        QCOMPARE(rows("Both").size(), 4);
        QCOMPARE(runCommandLine(home, {"--yes", "duplicates", "Alpha", "Beta", "--name", "Both"}).status, 0);
        QCOMPARE(rows("Both").size(), 1);

        // Usage errors.
        QCOMPARE(runCommandLine(home, {"merge", "Alpha", "--name", "X"}).status, 2);
        QCOMPARE(runCommandLine(home, {"merge", "Alpha", "Beta"}).status, 2);
        QCOMPARE(runCommandLine(home, {"merge", "Alpha", "Beta", "--name", "a/b"}).status, 2);
        QCOMPARE(runCommandLine(home, {"filter", "Alpha", "--name", "X"}).status, 2);
        QCOMPARE(runCommandLine(home, {"export", "Alpha"}).status, 2);
    }
};

QTEST_GUILESS_MAIN(TestListOperations)
#include "tst_listoperations.moc"
