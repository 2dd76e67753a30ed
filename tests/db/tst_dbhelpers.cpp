#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/DbHelpers.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using db::Database;

namespace {

// A list in the given folder holding the addresses (NULL where the entry is a null QString).
QString listWith(const QString& path, const QStringList& rows, bool keyed = true) {
    Database database = Database::create(path);
    database.exec(keyed
                      ? QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE NOT NULL "
                                       "CHECK (EAddress <> ''), FirstName TEXT(255) COLLATE NOCASE, "
                                       "CONSTRAINT MyPrKey PRIMARY KEY (EAddress))")
                      : QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE, "
                                       "FirstName TEXT(255) COLLATE NOCASE)"));
    for (const QString& row : rows)
        database.exec(QStringLiteral("INSERT INTO AddressList (EAddress, FirstName) VALUES (?1, 'x')"),
                      {row.isNull() ? QVariant() : QVariant(row)});
    return path;
}

QStringList addressesOf(const QString& path) {
    QStringList result;
    const Database database = Database::open(path, Database::OpenMode::ReadOnly);
    db::Statement query =
        database.prepare(QStringLiteral("SELECT EAddress FROM AddressList ORDER BY EAddress"));
    while (query.next())
        result << query.text(0);
    return result;
}

} // namespace

class TestDbHelpers : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> home_;
    QString file(const QString& name) const { return appFolders().AddressListsFolder + name; }

private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        QVERIFY(home_->start());
        if (!QFileInfo::exists(CentralDatabase::path()))
            QVERIFY(BuildCentralDatabase(CentralDatabase::path(), true, false, home_->prompter));
    }
    void cleanup() { home_.reset(); }

    void isValidEmailAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "ann@example.org" << true;
        QTest::newRow("sub-domain") << "ann.lee@mail.example.co.uk" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no at") << "ann.example.org" << false;
        QTest::newRow("at first") << "@example.org" << false;
        QTest::newRow("one before at") << "a@b.c" << true;
        QTest::newRow("angle open") << "<ann@example.org" << false;
        QTest::newRow("angle close") << "ann@example.org>" << false;
        QTest::newRow("named form") << "Ann <ann@example.org>" << false;
        QTest::newRow("double at") << "ann@@example.org" << false;
        QTest::newRow("dot before at") << "ann.@example.org" << false;
        QTest::newRow("dot after at") << "ann@.example.org" << false;
        QTest::newRow("no dot in domain") << "ann@localhost" << false;
        QTest::newRow("dot only before at") << "ann.lee@localhost" << false;
        QTest::newRow("trailing dot") << "ann@example.org." << false;
        QTest::newRow("doubled dot") << "ann@example..org" << false;
        QTest::newRow("doubled dot local") << "ann..lee@example.org" << false;
        QTest::newRow("inner blank") << "ann lee@example.org" << false;
        QTest::newRow("blank in domain") << "ann@exam ple.org" << false;
        QTest::newRow("leading blank") << " ann@example.org" << true;
        QTest::newRow("trailing blank") << "ann@example.org " << true;
        QTest::newRow("both blanks") << "  ann@example.org  " << true;
        // Control characters would reach an SMTP command line.
        QTest::newRow("tab") << "ann\t@example.org" << false;
        QTest::newRow("CR LF and a command") << "ann@example.org\r\nDATA" << false;
        QTest::newRow("trailing LF") << "ann@example.org\n" << false;
        QTest::newRow("bare CR") << "ann\r@example.org" << false;
        QTest::newRow("NUL") << QString::fromLatin1("ann@example.org\0", 16) << false;
        QTest::newRow("escape") << "ann\x1b@example.org" << false;
        QTest::newRow("unit separator") << "ann@example.org\x1f" << false;
        QTest::newRow("DEL") << "ann@exam\x7fple.org" << false;
        QTest::newRow("no-break space is no control") << QStringLiteral("ann\u00a0lee@example.org") << true;
        QTest::newRow("question mark") << "ann?@example.org" << false;
        QTest::newRow("colon") << "mailto:ann@example.org" << false;
        QTest::newRow("comma") << "ann,bob@example.org" << false;
        QTest::newRow("bang") << "ann!@example.org" << false;
        QTest::newRow("single bar") << "ann|bob@example.org" << true;
        QTest::newRow("double bar") << "ann||bob@example.org" << false;
        QTest::newRow("single slash") << "ann/bob@example.org" << true;
        QTest::newRow("double slash") << "ann//bob@example.org" << false;
        QTest::newRow("last at with dot") << "ann@host@example.org" << true;
        QTest::newRow("last at without dot") << "ann@example.org@host" << false;
        QTest::newRow("dot before last at") << "ann@x.@example.org" << false;
        QTest::newRow("dot far before last at") << "a.b@c@example.org" << true;
        QTest::newRow("only at and dot") << "a@." << false;
        QTest::newRow("non-ascii") << "jürgen@müller.de" << true;
        QTest::newRow("quote") << "o'brien@example.org" << true;
        QTest::newRow("just at") << "@" << false;
        QTest::newRow("ends with at") << "ann@" << false;
    }
    void isValidEmailAddress() {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(IsValidEmailAddress(address), valid);
    }

    void countFieldCountsNonNullValues() {
        const QString empty =
            listWith(file(QStringLiteral("Empty.mdb")), {QString(), QString(), QString()}, false);
        QCOMPARE(CountField(empty, QStringLiteral("AddressList"), QStringLiteral("EAddress")), 0);
        QCOMPARE(CountField(empty, QStringLiteral("AddressList"), QStringLiteral("FirstName")), 3);
        const QString mixed =
            listWith(file(QStringLiteral("Mixed.mdb")), {QStringLiteral("a@x.org"), QString(), ""}, false);
        QCOMPARE(CountField(mixed, QStringLiteral("AddressList"), QStringLiteral("EAddress")), 2);
        const QString keyed = listWith(file(QStringLiteral("Keyed.mdb")),
                                       {QStringLiteral("a@x.org"), QStringLiteral("b@x.org")});
        QCOMPARE(CountField(keyed, QStringLiteral("AddressList"), QStringLiteral("EAddress")), 2);
        QCOMPARE(CountField(keyed, QStringLiteral("AddressList"), QStringLiteral("Missing")), 0);
        QCOMPARE(CountField(file(QStringLiteral("None.mdb")), QStringLiteral("AddressList"),
                            QStringLiteral("EAddress")),
                 0);
    }

    void recordExistsIgnoresCaseAndTakesAnyValue() {
        const QString odd = QStringLiteral("o'brien\"; DROP TABLE AddressList; --@x.org");
        const QString path = listWith(file(QStringLiteral("Exists.mdb")), {QStringLiteral("Ann@X.org"), odd});
        QVERIFY(RecordExists(path, QStringLiteral("EAddress"), QStringLiteral("AddressList"),
                             QStringLiteral("EAddress"), QStringLiteral("ann@x.ORG")));
        QVERIFY(RecordExists(path, QStringLiteral("EAddress"), QStringLiteral("AddressList"),
                             QStringLiteral("EAddress"), odd));
        QVERIFY(!RecordExists(path, QStringLiteral("EAddress"), QStringLiteral("AddressList"),
                              QStringLiteral("EAddress"), QStringLiteral("bob@x.org")));
        QCOMPARE(addressesOf(path).size(), 2);
    }

    void centralLookups() {
        Database central = CentralDatabase::open();
        QVERIFY(central.exec(QStringLiteral("INSERT INTO List (ListName, ListPath, ListDescription) VALUES "
                                            "(?1, ?2, ?3)"),
                             {QStringLiteral("Kunden «Süd» \"A\"; [b]"), QStringLiteral("x.mdb"),
                              QStringLiteral("Beschreibung")}));
        central.close();
        QCOMPARE(CountMatching(QStringLiteral("List"), QStringLiteral("ListName"),
                               QStringLiteral("KUNDEN «Süd» \"a\"; [B]")),
                 1);
        QCOMPARE(CountMatching(QStringLiteral("List"), QStringLiteral("ListName"), QStringLiteral("other")),
                 0);
        QCOMPARE(LookupDescription(QStringLiteral("ListDescription"), QStringLiteral("List"),
                                   QStringLiteral("ListName"), QStringLiteral("Kunden «Süd» \"A\"; [b]")),
                 QStringLiteral("Beschreibung"));
        QCOMPARE(LookupDescription(QStringLiteral("ListDescription"), QStringLiteral("List"),
                                   QStringLiteral("ListName"), QStringLiteral("nothing")),
                 QString());
        QCOMPARE(CountMatching(QStringLiteral("No such table"), QStringLiteral("x"), QStringLiteral("y")), 0);
    }

    void openSortedTableOrdersRows() {
        const QString path =
            listWith(file(QStringLiteral("Sorted.mdb")),
                     {QStringLiteral("c@x.org"), QStringLiteral("A@x.org"), QStringLiteral("b@x.org")});
        const Database database = Database::open(path, Database::OpenMode::ReadOnly);
        db::Statement rows =
            OpenSortedTable(database, QStringLiteral("AddressList"), QStringLiteral("EAddress"));
        QStringList seen;
        while (rows.next())
            seen << rows.text(rows.columnIndex(QStringLiteral("EAddress")));
        QCOMPARE(seen, (QStringList{"A@x.org", "b@x.org", "c@x.org"}));
        QVERIFY(!OpenSortedTable(database, QStringLiteral("Nothing"), QStringLiteral("x")).isValid());
    }

    void addressesMoveBetweenFiles() {
        const QString target = listWith(file(QStringLiteral("Target.mdb")),
                                        {QStringLiteral("a@x.org"), QStringLiteral("b@x.org")});
        QDir().mkpath(appFolders().TempFolder + QStringLiteral("it's [odd]; \"folder\""));
        const QString source =
            listWith(appFolders().TempFolder + QStringLiteral("it's [odd]; \"folder\"/Src.mdb"),
                     {QStringLiteral("B@X.ORG"), QStringLiteral("c@x.org"), QString()}, false);
        QCOMPARE(
            CopyAddressesIn(target, QStringLiteral("AddressList"), QStringLiteral("AddressList"), source), 1);
        QCOMPARE(addressesOf(target), (QStringList{"a@x.org", "b@x.org", "c@x.org"}));
        QCOMPARE(
            DeleteAddressesIn(target, QStringLiteral("AddressList"), QStringLiteral("AddressList"), source),
            2);
        QCOMPARE(addressesOf(target), QStringList{"a@x.org"});
        QCOMPARE(addressesOf(source).size(), 3);
        QCOMPARE(CopyAddressesIn(target, QStringLiteral("AddressList"), QStringLiteral("AddressList"),
                                 file(QStringLiteral("Missing.mdb"))),
                 -1);
    }

    void textHelpers() {
        QCOMPARE(SplitToArray(QStringLiteral("a,b,,c")), (QStringList{"a", "b", "", "c"}));
        QCOMPARE(SplitToArray(QStringLiteral("a;b"), QStringLiteral(";")), (QStringList{"a", "b"}));
        QCOMPARE(SplitToArray(QString()), QStringList());
        QCOMPARE(SplitToArray(QStringLiteral("abc")), QStringList{"abc"});
        QCOMPARE(BracketedFieldList({"a", "", "b"}), QStringLiteral("\"a\",\"b\""));
        QCOMPARE(BracketedFieldList({"First Name", "Co\"mp"}), QStringLiteral("\"First Name\",\"Co\"\"mp\""));
        QCOMPARE(BracketedFieldList({"", ""}), QString());
    }

    void splitPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::newRow("slashes") << "/home/ann/out.txt"
                                 << "/home/ann"
                                 << "out.txt";
        QTest::newRow("backslashes") << "C:\\Lists\\out.csv"
                                     << "C:\\Lists"
                                     << "out.csv";
        QTest::newRow("mixed, last wins") << "C:\\a/b\\c.txt"
                                          << "C:\\a/b"
                                          << "c.txt";
        QTest::newRow("no folder") << "out.txt"
                                   << ""
                                   << "out.txt";
        QTest::newRow("root") << "/out.txt"
                              << "/"
                              << "out.txt";
        QTest::newRow("folder only") << "/tmp/"
                                     << "/tmp"
                                     << "";
    }
    void splitPath() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QString gotFolder = QStringLiteral("junk");
        QString gotFile = QStringLiteral("junk");
        SplitPath(path, gotFolder, gotFile);
        QCOMPARE(gotFolder, folder);
        QCOMPARE(gotFile, file);
    }

    void createListCopiesMappedColumns() {
        const QString source = appFolders().TempFolder + QStringLiteral("collected.mdb");
        {
            Database database = Database::create(source);
            QVERIFY(database.exec(
                QStringLiteral("CREATE TABLE Found (Mail TEXT, \"Given Name\" TEXT, Company TEXT)")));
            for (const QVariantList& row : QList<QVariantList>{{"a@x.org", "Ann", "Acme \"Ltd\""},
                                                               {"A@X.ORG", "Again", "dup"},
                                                               {"", "Empty", ""},
                                                               {"b@x.org", "Bob", "Bé"}})
                QVERIFY(database.exec(QStringLiteral("INSERT INTO Found VALUES (?1, ?2, ?3)"), row));
        }
        const QString path =
            CreateList({"Mail", "Given Name", "", "Company"}, {"EAddress", "FirstName", "", "Company"},
                       QStringLiteral("Found"), source, home_->prompter);
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        QVERIFY(path.startsWith(appFolders().TempFolder));
        QVERIFY(DataTank::IsTamberlynDB(path));
        QCOMPARE(addressesOf(path), (QStringList{"a@x.org", "b@x.org"}));
        const Database list = Database::open(path, Database::OpenMode::ReadOnly);
        QCOMPARE(list.scalar(QStringLiteral("SELECT Company FROM AddressList WHERE EAddress = 'a@x.org'"))
                     ->toString(),
                 QStringLiteral("Acme \"Ltd\""));
        QCOMPARE(list.column(QStringLiteral("AddressList"), QStringLiteral("Company"))->size, 255);
        QVERIFY(home_->prompter.shown().isEmpty());
    }

    void createListRefusesBadColumnLists() {
        QCOMPARE(CreateList({}, {"EAddress"}, QStringLiteral("T"), QStringLiteral("x.mdb"), home_->prompter),
                 QStringLiteral("<Error:"));
        QCOMPARE(CreateList({"a", "b"}, {"EAddress"}, QStringLiteral("T"), QStringLiteral("x.mdb"),
                            home_->prompter),
                 QStringLiteral("<Error:"));
        QCOMPARE(CreateList({"a", "b"}, {"City", "city"}, QStringLiteral("T"), QStringLiteral("x.mdb"),
                            home_->prompter),
                 QStringLiteral("<Error:"));
        QCOMPARE(home_->prompter.texts(),
                 (QStringList{"Could not Validate Selected Fields", "Could not Validate Mapped Fields",
                              "Could not Validate Mapped Fields"}));
        const int before = int(QDir(appFolders().TempFolder).entryList(QDir::Files).size());
        QCOMPARE(CreateList({"a"}, {"EAddress"}, QStringLiteral("T"), appFolders().TempFolder + "missing.mdb",
                            home_->prompter),
                 QStringLiteral("<Error:"));
        QCOMPARE(int(QDir(appFolders().TempFolder).entryList(QDir::Files).size()), before);
    }
};

QTEST_GUILESS_MAIN(TestDbHelpers)
#include "tst_dbhelpers.moc"
