#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/ListEvents.h"
#include "db/TypeMapping.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <unistd.h>

using db::Database;
using db::quoteName;

namespace {

// A list file with any layout, for the verification cases.
void writeList(const QString& path, const QString& createSql, const QList<QVariantList>& rows = {}) {
    Database database = Database::create(path);
    QVERIFY2(database.isOpen(), qPrintable(path));
    QVERIFY(database.exec(createSql));
    for (const QVariantList& row : rows) {
        QStringList marks;
        for (int i = 0; i < row.size(); ++i)
            marks << QStringLiteral("?");
        QVERIFY(
            database.exec(QStringLiteral("INSERT INTO AddressList VALUES (") + marks.join(u',') + u')', row));
    }
}

QStringList columnNames(const QString& path) {
    QStringList names;
    const Database database = Database::open(path, Database::OpenMode::ReadOnly);
    for (const db::ColumnInfo& column : database.columns(QStringLiteral("AddressList")))
        names << column.name;
    return names;
}

std::optional<db::ColumnInfo> columnOf(const QString& path, const QString& name) {
    return Database::open(path, Database::OpenMode::ReadOnly).column(QStringLiteral("AddressList"), name);
}

// Values of one column, ordered by address; NULL reads as "<null>".
QStringList values(const QString& path, const QString& column) {
    QStringList result;
    const Database database = Database::open(path, Database::OpenMode::ReadOnly);
    db::Statement query = database.prepare(QStringLiteral("SELECT ") + quoteName(column) +
                                           QStringLiteral(" FROM AddressList ORDER BY EAddress"));
    while (query.next())
        result << (query.value(0).isNull() ? QStringLiteral("<null>") : query.value(0).toString());
    return result;
}

QStringList addresses(const QString& path) {
    return values(path, QStringLiteral("EAddress"));
}

// One column of a list's row in the central database; "<none>" when the list is not registered.
QString registered(const QString& name, const char* column = "ListPath") {
    return Database::open(CentralDatabase::path(), Database::OpenMode::ReadOnly)
        .scalar(QStringLiteral("SELECT ") + quoteName(QLatin1String(column)) +
                    QStringLiteral(" FROM List WHERE ListName = ?1"),
                {name})
        .value_or(QStringLiteral("<none>"))
        .toString();
}

int rowCount(const QString& path) {
    return Database::open(path, Database::OpenMode::ReadOnly)
        .scalar(QStringLiteral("SELECT count(*) FROM AddressList"))
        .value_or(-1)
        .toInt();
}

void registerList(const QString& name, const QString& file, const QString& description = {}) {
    Database central = CentralDatabase::open();
    QVERIFY(central.exec(
        QStringLiteral("INSERT INTO List (ListName, ListPath, ListDescription) VALUES (?1, ?2, ?3)"),
        {name, file, description}));
}

// A blank list in the list folder holding the given addresses.
QString savedList(const QString& fileName, const QStringList& rows) {
    const QString path = appFolders().AddressListsFolder + fileName;
    const QString temp = DataTank::CreateBlankDatabase();
    Database database = Database::open(temp);
    for (const QString& address : rows)
        database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES (?1)"), {address});
    database.close();
    QFile::rename(temp, path);
    return path;
}

// A keyed list table: EAddress, then the columns given; a bare name is TEXT(255) COLLATE NOCASE.
QString keyedList(const QStringList& columns) {
    QString sql = QStringLiteral(
        "CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE NOT NULL CHECK (EAddress <> ''), ");
    for (const QString& c : columns)
        sql += (c.contains(QLatin1String("TEXT(")) || c.endsWith(QLatin1String("INTEGER")) ||
                        c.endsWith(QLatin1String("REAL"))
                    ? c
                    : quoteName(c) + QStringLiteral(" TEXT(255) COLLATE NOCASE")) +
               QStringLiteral(", ");
    return sql + QStringLiteral("CONSTRAINT MyPrKey PRIMARY KEY (EAddress))");
}

const QStringList FullColumns = {"FirstName", "LastName", "Keyword1", "Keyword2", "Date", "Sent", "Title"};

} // namespace

class TestListFiles : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> home_;

private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        QVERIFY(home_->start());
        if (!QFileInfo::exists(CentralDatabase::path()))
            QVERIFY(BuildCentralDatabase(CentralDatabase::path(), true, false, home_->prompter));
        DataTank::setListInUseQuery({});
    }
    void cleanup() { home_.reset(); }

    void temporaryNamesCountUpAndPassOverExistingFiles() {
        const QString first = DataTank::NextTempListName();
        const auto name = [](int n) -> QString {
            return appFolders().TempFolder + QStringLiteral("NewMailingList%1.mdb").arg(n);
        };
        const int n = first.mid(appFolders().TempFolder.size() + 14).chopped(4).toInt();
        QCOMPARE(first, name(n));
        QCOMPARE(DataTank::CurrentTempListName(), first);
        QCOMPARE(DataTank::NextTempListName(), name(n + 1));
        // A file already at the next name (a list still open elsewhere) is never handed out again.
        QFile taken(name(n + 2));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        QCOMPARE(DataTank::NextTempListName(), name(n + 3));
        QCOMPARE(DataTank::CurrentTempListName(), name(n + 3));
    }

    void blankListHasTheSystemColumnsAndItsKey() {
        const QString path = DataTank::CreateBlankDatabase();
        QVERIFY(path.startsWith(appFolders().TempFolder));
        QVERIFY(DataTank::IsTamberlynDB(path));
        QCOMPARE(columnNames(path), (QStringList{"EAddress", "FirstName", "LastName", "Keyword1", "Keyword2",
                                                 "Date", "Sent", "Title"}));
        for (const QString& name : columnNames(path)) {
            const db::ColumnInfo column = *columnOf(path, name);
            const bool key = name == QLatin1String("EAddress");
            QVERIFY2(db::isTextType(column.declaredType) && column.size == 255 && column.primaryKey == key &&
                         column.required == key && column.allowsEmpty == !key,
                     qPrintable(name));
        }
        Database database = Database::open(path);
        QVERIFY(database.exec(
            QStringLiteral("INSERT INTO AddressList (EAddress, FirstName) VALUES ('Ann@x.org', '')")));
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES ('ann@X.ORG')")));
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES ('')")));
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (FirstName) VALUES ('x')")));
    }

    void targetDatabasesAndWhatIsAListFile() {
        Database target = DataTank::CreateTargetDatabase(false);
        QVERIFY(target.isOpen());
        QVERIFY(target.fileName().startsWith(appFolders().TempFolder));
        QVERIFY(target.tables().isEmpty());
        QVERIFY(!DataTank::IsTamberlynDB(target));
        QVERIFY(target.exec(QStringLiteral("CREATE TABLE AddressList (EAddress TEXT, City TEXT)")));
        QVERIFY(DataTank::CreateKeyIndex(target));
        QVERIFY(target.exec(QStringLiteral("INSERT INTO AddressList VALUES ('a@x.org', 'x')")));
        QVERIFY(!target.exec(QStringLiteral("INSERT INTO AddressList VALUES ('a@x.org', 'y')")));

        QVERIFY(DataTank::IsTamberlynDB(DataTank::CreateTargetDatabase(true)));

        // Only a file with an AddressList table holding EAddress, in any case, is a list file.
        const QString text = appFolders().TempFolder + QStringLiteral("notes.mdb");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(
                    "This is not a database at all, just some text that is long enough to have a header.") >
                    0);
        file.close();
        QVERIFY(!DataTank::IsTamberlynDB(text));
        QVERIFY(!DataTank::IsTamberlynDB(appFolders().TempFolder + QStringLiteral("missing.mdb")));
        const QString other = appFolders().TempFolder + QStringLiteral("other.mdb");
        writeList(other, QStringLiteral("CREATE TABLE AddressList (Mail TEXT)"));
        QVERIFY(!DataTank::IsTamberlynDB(other));
        const QString lower = appFolders().TempFolder + QStringLiteral("lower.mdb");
        writeList(lower, QStringLiteral("CREATE TABLE addresslist (eaddress TEXT)"));
        QVERIFY(DataTank::IsTamberlynDB(lower));
    }

    void writerKeepsTheFirstRowOfAnAddress() {
        QString path;
        QList<int> counts;
        {
            DataTank writer;
            writer.setBatchSize(7);
            writer.setCounterCallback([&](int count) { counts << count; });
            QCOMPARE(writer.CommitTargetRecord("Ann@x.org", "Ann", "First", "k1", "k2", "2024-01-02", ""),
                     DataTank::CommitOk);
            path = writer.targetPath();
            QVERIFY(path.startsWith(appFolders().TempFolder));
            QCOMPARE(writer.CommitTargetRecord("ann@x.org", "Second", "", "", "", "", ""),
                     DataTank::CommitRefused);
            QVERIFY(writer.GetTargetRecord(QStringLiteral("ANN@X.ORG")));
            QVERIFY(!writer.GetTargetRecord(QStringLiteral("bob@x.org")));
            QCOMPARE(writer.CommitTargetRecord("", "Empty", "", "", "", "", ""), DataTank::CommitRefused);
            QCOMPARE(writer.CommitTargetRecord(QString(255, u'a'), "", "", "", "", "", ""),
                     DataTank::CommitRefused);
            QCOMPARE(writer.CommitTargetRecord(QString(250, u'b') + "@x.o", QString(300, u'f'), "", "", "",
                                               "", "SENT"),
                     DataTank::CommitOk);
            QCOMPARE(writer.CommitTargetRecord("c@x.org", "not_found", "O'Brien; \"[x]\"", "", "", "", ""),
                     DataTank::CommitOk);
            for (int i = 0; i < 94; ++i)
                writer.CommitTargetRecord(QStringLiteral("r%1@x.org").arg(i), "", "", "", "", "", "");
            QCOMPARE(writer.recordCount(), 100);
            QCOMPARE(counts, (QList<int>{50, 100}));
            // Rows written so far are in the file even before the writer closes.
            QVERIFY(writer.flush());
            QCOMPARE(rowCount(path), 97);
            writer.CommitTargetRecord("last@x.org", "", "", "", "", "", "");
        } // the writer commits on destruction
        QCOMPARE(rowCount(path), 98);
        const QStringList firstNames = values(path, QStringLiteral("FirstName"));
        const QStringList all = addresses(path);
        QCOMPARE(firstNames.at(all.indexOf(QStringLiteral("Ann@x.org"))), QStringLiteral("Ann"));
        QCOMPARE(firstNames.at(all.indexOf(QStringLiteral("c@x.org"))), QString());
        QCOMPARE(firstNames.at(all.indexOf(QString(250, u'b') + "@x.o")).size(), 254);
        QCOMPARE(values(path, QStringLiteral("LastName")).at(all.indexOf(QStringLiteral("c@x.org"))),
                 QStringLiteral("O'Brien; \"[x]\""));
    }

    void writerCommandsOpenAndCloseLists() {
        DataTank writer;
        QCOMPARE(writer.CommitTargetRecord({}, {}, {}, {}, {}, {}, {}, QStringLiteral("INIT")),
                 DataTank::CommitOk);
        const QString first = writer.targetPath();
        QVERIFY(QFileInfo::exists(first));
        QCOMPARE(writer.CommitTargetRecord("a@x.org", "", "", "", "", "", ""), DataTank::CommitOk);
        QCOMPARE(writer.CommitTargetRecord("b@x.org", "", "", "", "", "", "", QStringLiteral("INIT")),
                 DataTank::CommitOk);
        const QString second = writer.targetPath();
        QVERIFY(second != first);
        QCOMPARE(addresses(first), QStringList{"a@x.org"});
        QCOMPARE(writer.CommitTargetRecord({}, {}, {}, {}, {}, {}, {}, QStringLiteral("KILL")),
                 DataTank::CommitOk);
        QCOMPARE(addresses(second), QStringList{"b@x.org"});
        QCOMPARE(writer.targetPath(), second);
        QVERIFY(!writer.GetTargetRecord(QStringLiteral("b@x.org")));
    }

    void nullEntriesMoveToANewList() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Import.mdb");
        writeList(path, keyedList({"FirstName", "Company; Inc"}),
                  {{"Unknown1", "Ann", "Müller's"},
                   {"unknown2", "Bob", ""},
                   {"a@x.org", "Cy", "C"},
                   {"x.Unknown@x.org", "Di", "D"}});
        const DataTank::NullEntries moved = DataTank::SaveNullEntries(path, QStringLiteral("Import"));
        QVERIFY(moved.ok);
        QCOMPARE(moved.count, 2);
        QCOMPARE(moved.caption, QStringLiteral("Import (No Addresses)"));
        QVERIFY(moved.newListPath.startsWith(appFolders().TempFolder));
        QCOMPARE(addresses(path), (QStringList{"a@x.org", "x.Unknown@x.org"}));
        QCOMPARE(addresses(moved.newListPath), (QStringList{"Unknown1", "unknown2"}));
        QCOMPARE(values(moved.newListPath, QStringLiteral("Company; Inc")), (QStringList{"Müller's", ""}));
        QVERIFY(DataTank::IsTamberlynDB(moved.newListPath));
        QVERIFY(!columnOf(moved.newListPath, QStringLiteral("EAddress"))->allowsEmpty);

        const DataTank::NullEntries none = DataTank::SaveNullEntries(path);
        QVERIFY(none.ok);
        QCOMPARE(none.count, 0);
        QVERIFY(none.newListPath.isEmpty());
        QCOMPARE(none.caption, QStringLiteral("(No Addresses)"));
        QCOMPARE(DataTank::invalidAddressesLabel(), QStringLiteral("Number of invalid addresses:"));
    }

    void purgeRemovesOnlyListFilesOfTheTempFolder() {
        const QString temp = appFolders().TempFolder;
        for (const char* name :
             {"NewMailingList0.mdb", "OLD.MDB", "NewMailingList0.mdb-journal", "keep.txt"}) {
            QFile file(temp + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString saved = savedList(QStringLiteral("Saved.mdb"), {QStringLiteral("a@x.org")});
        QCOMPARE(DataTank::PurgeTempLists(), 2);
        QCOMPARE(QDir(temp).entryList(QDir::Files), QStringList{"keep.txt"});
        QVERIFY(QFileInfo::exists(saved));
    }

    void startRemovesWhatAnInterruptedSaveLeft() {
        const QString folder = appFolders().AddressListsFolder;
        const QStringList leftovers = {"Big.mdb.saving", "Big.mdb.saving-journal", "Big.mdb.saving-wal",
                                       "Big.mdb.saving-shm", "Other.mdb.saving-journal"};
        // A list registered under a file name that merely looks like a leftover stays, journal and all.
        const QStringList kept = {"Odd.mdb.saving", "Odd.mdb.saving-journal", "notes.saving.txt"};
        for (const QString& name : leftovers + kept) {
            QFile file(folder + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write("x") == 1);
        }
        registerList(QStringLiteral("Odd"), QStringLiteral("Odd.mdb.saving"));
        const QString saved = savedList(QStringLiteral("Big.mdb"), {QStringLiteral("a@x.org")});
        registerList(QStringLiteral("Big"), QStringLiteral("Big.mdb"));

        home_->stop();
        QVERIFY(home_->start());
        QStringList expected = kept + QStringList{"Big.mdb"};
        expected.sort();
        QStringList present = QDir(folder).entryList(QDir::Files);
        present.sort();
        QCOMPARE(present, expected);
        QCOMPARE(rowCount(saved), 1);
    }

    void verifyConvertsANumberColumnToTextAtTheEnd() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Numbers.mdb");
        writeList(
            path,
            keyedList({"FirstName", "LastName", "Title", "Sent INTEGER", "Date", "Keyword1", "Keyword2"}),
            {{"a@x.org", "A", "", "", 1, "d", "", ""},
             {"b@x.org", "B", "", "", 2.0, "d", "", ""},
             {"c@x.org", "C", "", "", QVariant(), "d", "", ""},
             {"d@x.org", "D", "", "", 2.5, "d", "", ""}});
        const DataTank::VerifyOutcome outcome = DataTank::VerifyListFile(QStringLiteral("  ") + path + u' ');
        QCOMPARE(outcome.status, DataTank::VerifyStatus::Repaired);
        QVERIFY2(outcome.failedSteps.isEmpty(), qPrintable(outcome.failedSteps.join(u'\n')));
        QCOMPARE(columnNames(path), (QStringList{"EAddress", "FirstName", "LastName", "Title", "Date",
                                                 "Keyword1", "Keyword2", "Sent"}));
        QVERIFY(db::isTextType(columnOf(path, QStringLiteral("Sent"))->declaredType));
        QCOMPARE(values(path, QStringLiteral("Sent")), (QStringList{"1", "2", "<null>", "2.5"}));
        QCOMPARE(values(path, QStringLiteral("FirstName")), (QStringList{"A", "B", "C", "D"}));
        Database database = Database::open(path, Database::OpenMode::ReadOnly);
        QVERIFY(database.scalar(QStringLiteral("SELECT 1 FROM AddressList WHERE Sent = '1'")).has_value());
        database.close();
        // A verified file stays as it is; a blank path is not even looked at.
        QSignalSpy status(&ListEvents::instance(), &ListEvents::statusMessage);
        QCOMPARE(DataTank::VerifyListFile(path).status, DataTank::VerifyStatus::Unchanged);
        QCOMPARE(DataTank::VerifyListFile(QStringLiteral("   ")).status, DataTank::VerifyStatus::Skipped);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Verifying: ") + path);
    }

    void verifyAddsMissingColumnsAndDropsTheLeftover() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Short.mdb");
        writeList(path,
                  keyedList({"STSLTEMP TEXT(255)", "FirstName", "LastName", "City TEXT(100) COLLATE NOCASE",
                             "Sent", "Date", "Keyword1"}),
                  {{"a@x.org", "junk", "Ann", "Lee", "Paris", "SENT", "d", "k"}});
        DataTank::VerifyListFolder();
        QCOMPARE(columnNames(path), (QStringList{"EAddress", "FirstName", "LastName", "City", "Sent", "Date",
                                                 "Keyword1", "Title", "Keyword2"}));
        QCOMPARE(values(path, QStringLiteral("City")), QStringList{"Paris"});
        QCOMPARE(columnOf(path, QStringLiteral("City"))->size, 100);
        QCOMPARE(values(path, QStringLiteral("Title")), QStringList{"<null>"});
        QVERIFY(columnOf(path, QStringLiteral("EAddress"))->primaryKey);
    }

    void verifyMakesTheKeyRequiredAndTheRestOptional() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Loose.mdb");
        writeList(
            path,
            QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255), FirstName TEXT(255) NOT NULL "
                           "CHECK (FirstName <> ''), LastName TEXT(255), Title TEXT(255), Sent TEXT(255), "
                           "Date TEXT(255), Keyword1 TEXT(255), Keyword2 TEXT(255) COLLATE NOCASE)"),
            {{"Ann@x.org", "Ann", "", "", "", "", "", ""}});
        Database raw = Database::open(path);
        QVERIFY(raw.exec(QStringLiteral("CREATE UNIQUE INDEX MyPrKey ON AddressList (EAddress)")));
        raw.close();
        QCOMPARE(DataTank::VerifyListFile(path).status, DataTank::VerifyStatus::Repaired);
        QVERIFY(columnOf(path, QStringLiteral("EAddress"))->required &&
                !columnOf(path, QStringLiteral("EAddress"))->allowsEmpty);
        QVERIFY(!columnOf(path, QStringLiteral("FirstName"))->required &&
                columnOf(path, QStringLiteral("FirstName"))->allowsEmpty);
        Database database = Database::open(path);
        QVERIFY(database.exec(
            QStringLiteral("INSERT INTO AddressList (EAddress, FirstName) VALUES ('b@x.org', '')")));
        // The unique index came back and compares without regard to case now.
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES ('ANN@x.org')")));
        QVERIFY(!database.exec(QStringLiteral("INSERT INTO AddressList (EAddress) VALUES ('')")));
        database.close();
        QCOMPARE(DataTank::VerifyListFile(path).status, DataTank::VerifyStatus::Unchanged);
    }

    void verifyKeepsRowsWhoseKeyIsEmpty() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Holes.mdb");
        writeList(
            path,
            QStringLiteral("CREATE TABLE AddressList (EAddress TEXT(255) COLLATE NOCASE, FirstName TEXT(255) "
                           "NOT NULL, LastName TEXT(255), Title TEXT(255), Sent TEXT(255), Date TEXT(255), "
                           "Keyword1 TEXT(255), Keyword2 TEXT(255))"),
            {{"a@x.org", "A", "", "", "", "", "", ""},
             {QVariant(), "B", "", "", "", "", "", ""},
             {"", "C", "", "", "", "", "", ""}});
        const DataTank::VerifyOutcome outcome = DataTank::VerifyListFile(path);
        QCOMPARE(outcome.status, DataTank::VerifyStatus::Repaired);
        QCOMPARE(outcome.failedSteps.size(), 1);
        QCOMPARE(values(path, QStringLiteral("FirstName")).size(), 3);
        QVERIFY(!columnOf(path, QStringLiteral("FirstName"))->required &&
                !columnOf(path, QStringLiteral("EAddress"))->required);
    }

    void verifyHandlesOddColumnNames() {
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Odd names.mdb");
        const QString odd = QStringLiteral("Na\"me; [x] 'ö' -- drop");
        writeList(path, keyedList(FullColumns + QStringList{quoteName(odd) + QStringLiteral(" REAL")}),
                  {{"a@x.org", "", "", "", "", "", "", "", 3.0}});
        QCOMPARE(DataTank::VerifyListFile(path).status, DataTank::VerifyStatus::Repaired);
        QCOMPARE(columnNames(path).last(), odd);
        QCOMPARE(values(path, odd), QStringList{"3"});
    }

    void verifyLeavesBadFilesUntouched_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::newRow("text") << "text" << int(DataTank::VerifyStatus::Unreadable);
        QTest::newRow("empty") << "empty" << int(DataTank::VerifyStatus::Unreadable);
        QTest::newRow("truncated") << "truncated" << int(DataTank::VerifyStatus::Unreadable);
        QTest::newRow("read-only needing repair") << "readonly" << int(DataTank::VerifyStatus::ReadOnly);
        QTest::newRow("read-only and sound") << "readonly-ok" << int(DataTank::VerifyStatus::Unchanged);
        QTest::newRow("other table") << "other" << int(DataTank::VerifyStatus::NotAList);
        QTest::newRow("missing") << "missing" << int(DataTank::VerifyStatus::Unreadable);
    }
    void verifyLeavesBadFilesUntouched() {
        QFETCH(QString, kind);
        QFETCH(int, status);
        const QString path = appFolders().AddressListsFolder + QStringLiteral("Bad.mdb");
        if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("text"))
                file.write(QByteArray("EAddress,FirstName\nann@x.org,Ann\n").repeated(200));
        } else if (kind == QLatin1String("other")) {
            writeList(path, QStringLiteral("CREATE TABLE Contacts (Mail INTEGER)"));
        } else if (kind != QLatin1String("missing")) {
            if (kind.startsWith(QLatin1String("readonly")) && ::geteuid() == 0)
                QSKIP("file permissions do not bind root");
            const bool sound = kind == QLatin1String("readonly-ok");
            QList<QVariantList> rows;
            for (int i = 0; i < 2000; ++i)
                rows << QVariantList{
                    QStringLiteral("r%1@x.org").arg(i), "", "", "", "", "", "", "", QString(100, u'z')};
            writeList(path, keyedList(sound ? FullColumns : FullColumns + QStringList{"Extra INTEGER"}),
                      sound ? QList<QVariantList>{} : rows);
            if (kind == QLatin1String("truncated"))
                QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
            else
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        }
        const QByteArray before = readFileBytes(path);
        QCOMPARE(int(DataTank::VerifyListFile(path).status), status);
        QCOMPARE(readFileBytes(path), before);
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }

    void saveListAsRegistersACopy() {
        QSignalSpy changed(&ListEvents::instance(), &ListEvents::listsChanged);
        QSignalSpy saved(&ListEvents::instance(), &ListEvents::listSaved);
        QSignalSpy closing(&ListEvents::instance(), &ListEvents::closeWindowsOnFile);
        QSignalSpy opening(&ListEvents::instance(), &ListEvents::openListWindow);
        DataTank writer;
        writer.CommitTargetRecord("a@x.org", "Ann", "", "", "", "", "");
        writer.closeTarget();
        const QString name = QStringLiteral("O'Brien «Kunden» [2024] & Co");
        QVERIFY(DataTank::SaveListAs(writer.targetPath(), name, QStringLiteral("Desc \"quoted\"; x"), true,
                                     home_->prompter));
        const QString target = appFolders().AddressListsFolder + name + QStringLiteral(".mdb");
        QCOMPARE(addresses(target), QStringList{"a@x.org"});
        QCOMPARE(DataTank::GetListPath(name), name + QStringLiteral(".mdb"));
        QCOMPARE(registered(name, "ListDescription"), QStringLiteral("Desc \"quoted\"; x"));
        QCOMPARE(closing.count(), 1);
        QCOMPARE(closing.at(0).at(0).toString(), target);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(opening.count(), 1);
        QCOMPARE(opening.at(0).at(0).toString(), target);
        QCOMPARE(opening.at(0).at(1).toString(), name);
        QVERIFY(home_->prompter.shown().isEmpty());
    }

    void saveUnderItsOwnNameCopiesNothing() {
        const QString path = savedList(QStringLiteral("Own.mdb"), {QStringLiteral("a@x.org")});
        registerList(QStringLiteral("Own"), QStringLiteral("Own.mdb"), QStringLiteral("old"));
        const QFileInfo before(path);
        const QDateTime modified = before.lastModified();
        home_->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(
            DataTank::SaveListAs(path, QStringLiteral("Own"), QStringLiteral("new"), false, home_->prompter));
        QCOMPARE(home_->prompter.texts(),
                 QStringList{"This name already exists, would you like to overwrite it?"});
        QCOMPARE(QFileInfo(path).lastModified(), modified);
        QCOMPARE(registered(QStringLiteral("Own"), "ListDescription"), QStringLiteral("old"));
        QCOMPARE(addresses(path), QStringList{"a@x.org"});
    }

    void saveOverAnExistingName_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void saveOverAnExistingName() {
        QFETCH(bool, yes);
        const QString old = savedList(QStringLiteral("Target.mdb"), {QStringLiteral("old@x.org")});
        registerList(QStringLiteral("Target"), QStringLiteral("Target.mdb"), QStringLiteral("old"));
        const QString source = savedList(QStringLiteral("Source.mdb"), {QStringLiteral("new@x.org")});
        QSignalSpy changed(&ListEvents::instance(), &ListEvents::listsChanged);
        home_->prompter.answer(yes ? Prompter::Answer::Yes : Prompter::Answer::No);
        QCOMPARE(DataTank::SaveListAs(source, QStringLiteral("target"), QStringLiteral("new"), false,
                                      home_->prompter),
                 yes);
        // The list is replaced under the new spelling of its name; the old file does not stay behind.
        const QString now = DataTank::registeredPath(DataTank::GetListPath(QStringLiteral("TARGET")));
        QCOMPARE(now, appFolders().AddressListsFolder + (yes ? "target.mdb" : "Target.mdb"));
        QCOMPARE(QFileInfo::exists(old), !yes);
        QCOMPARE(addresses(now), QStringList{yes ? "new@x.org" : "old@x.org"});
        QCOMPARE(registered(QStringLiteral("Target"), "ListDescription"),
                 yes ? QStringLiteral("new") : QStringLiteral("old"));
        QCOMPARE(changed.count(), yes ? 1 : 0);
        QCOMPARE(addresses(source), QStringList{"new@x.org"});
        QVERIFY(!QFileInfo::exists(old + QStringLiteral(".saving")));
    }

    void saveRefusalsAndAddresslessLists() {
        const QString old = savedList(QStringLiteral("Kept.mdb"), {QStringLiteral("old@x.org")});
        registerList(QStringLiteral("Kept"), QStringLiteral("Kept.mdb"), QStringLiteral("old"));
        const QString source = appFolders().TempFolder + QStringLiteral("broken.mdb");
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        home_->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(!DataTank::SaveListAs(source, QStringLiteral("Kept"), QStringLiteral("new"), false,
                                      home_->prompter));
        QCOMPARE(home_->prompter.texts().last(), QStringLiteral("Problem saving the new file! 0"));
        QCOMPARE(addresses(old), QStringList{"old@x.org"});
        QCOMPARE(registered(QStringLiteral("Kept"), "ListDescription"), QStringLiteral("old"));
        QVERIFY(!DataTank::SaveListAs(source, QStringLiteral("Fresh"), {}, false, home_->prompter));
        QCOMPARE(registered(QStringLiteral("Fresh")), QStringLiteral("<none>"));

        // A list of rows without addresses is saved without announcing a change of the list set.
        QSignalSpy changed(&ListEvents::instance(), &ListEvents::listsChanged);
        const QString blank = DataTank::CreateBlankDatabase();
        QVERIFY(
            DataTank::SaveListAs(blank, QStringLiteral("Import (No Addresses)"), {}, false, home_->prompter));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(registered(QStringLiteral("Import (No Addresses)")),
                 QStringLiteral("Import (No Addresses).mdb"));
        // A name that would leave the list folder is never used.
        QVERIFY(!DataTank::SaveListAs(blank, QStringLiteral("../escape"), {}, false, home_->prompter));
        QVERIFY(!QFileInfo::exists(appFolders().AppFolder + QStringLiteral("escape.mdb")));
    }

    void openRegisteredListReportsWhatIsMissing() {
        QCOMPARE(DataTank::OpenRegisteredList(QStringLiteral("Nobody"), home_->prompter), QString());
        QCOMPARE(home_->prompter.texts().last(), QStringLiteral("Could not locate ") +
                                                     appFolders().AddressListsFolder +
                                                     QStringLiteral("Nobody.mdb"));
        registerList(QStringLiteral("Gone"), QStringLiteral("Gone file.mdb"));
        QCOMPARE(DataTank::OpenRegisteredList(QStringLiteral("gone"), home_->prompter), QString());
        QCOMPARE(home_->prompter.texts().last(), QStringLiteral("Could not locate ") +
                                                     appFolders().AddressListsFolder +
                                                     QStringLiteral("Gone file.mdb"));
        const QString path = savedList(QStringLiteral("Here.mdb"), {});
        registerList(QStringLiteral("Here"), QStringLiteral("Here.mdb"));
        QCOMPARE(DataTank::OpenRegisteredList(QStringLiteral("Here"), home_->prompter), path);
        QCOMPARE(home_->prompter.shown().size(), 2);
    }

    void deleteRegisteredList() {
        const QString path = savedList(QStringLiteral("Old list.mdb"), {QStringLiteral("a@x.org")});
        registerList(QStringLiteral("Old list"), QStringLiteral("Old list.mdb"));
        QVERIFY(!DataTank::DeleteRegisteredList(QStringLiteral("Unknown"), home_->prompter));

        DataTank::setListInUseQuery([](const QString& name) {
            return name == QLatin1String("Old list") ? QStringLiteral("Spring letter") : QString();
        });
        QVERIFY(!DataTank::DeleteRegisteredList(QStringLiteral("Old list"), home_->prompter));
        QCOMPARE(home_->prompter.shown().size(), 1);
        QCOMPARE(home_->prompter.shown().at(0).title, QStringLiteral("Cannot Delete List"));
        QCOMPARE(home_->prompter.shown().at(0).icon, Prompter::Icon::Exclamation);
        QCOMPARE(home_->prompter.texts().at(0),
                 QStringLiteral(
                     "Cannot delete the 'Old list' list.\nThis list is currently being referenced by the "
                     "'Spring letter' message.  \nPlease first change the Mail Merge setting for this "
                     "message, which is \ncurrently open, before deleting the list."));
        QVERIFY(QFileInfo::exists(path));

        DataTank::setListInUseQuery({});
        QSignalSpy closing(&ListEvents::instance(), &ListEvents::closeWindowsOnFile);
        QSignalSpy changed(&ListEvents::instance(), &ListEvents::listsChanged);
        QVERIFY(DataTank::DeleteRegisteredList(QStringLiteral("Old list"), home_->prompter));
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(registered(QStringLiteral("Old list")), QStringLiteral("<none>"));
        QCOMPARE(closing.at(0).at(0).toString(), path);
        QCOMPARE(changed.count(), 1);
    }

    void addAndRemoveColumns() {
        // Not on a list that was never saved.
        const QString temp = DataTank::CreateBlankDatabase();
        QVERIFY(!DataTank::AddListColumn(temp, QStringLiteral("City"), home_->prompter));
        QCOMPARE(DataTank::RemoveListColumns(temp, {QStringLiteral("Title")}, home_->prompter), -1);
        QCOMPARE(home_->prompter.texts(),
                 (QStringList{"You must save your list before you can add a column.",
                              "You must save your list before you can remove a column."}));
        QCOMPARE(columnNames(temp).size(), 8);

        const QString path = savedList(QStringLiteral("Cols.mdb"), {QStringLiteral("a@x.org")});
        const QString odd = QStringLiteral("Company \"Name\"; [x] 'y' é");
        QVERIFY(DataTank::AddListColumn(path, odd, home_->prompter));
        QVERIFY(DataTank::AddListColumn(path, QStringLiteral("City"), home_->prompter));
        db::DbError error;
        QVERIFY(!DataTank::AddListColumn(path, QStringLiteral("city"), home_->prompter, &error));
        QVERIFY(error.isError());
        QVERIFY(!DataTank::AddListColumn(path, QStringLiteral("  "), home_->prompter));
        const std::optional<db::ColumnInfo> added = columnOf(path, odd);
        QVERIFY(added);
        QCOMPARE(added->size, 255);
        QVERIFY(added->allowsEmpty);
        QVERIFY(!added->required);

        // One system and two user columns: the combined question, then only the two user columns go.
        const QStringList chosen = {QStringLiteral("Title"), odd, QStringLiteral("City")};
        home_->prompter.answer(Prompter::Answer::Yes);
        QVERIFY(DataTank::ConfirmColumnRemoval(2, 1, home_->prompter));
        QCOMPARE(home_->prompter.texts().last(),
                 QStringLiteral(
                     "You have selected 3 column(s) for removal.\n1 of these columns are System columns "
                     "and cannot be removed\nThe other 2 will be.\nDo you want to continue?"));
        QCOMPARE(DataTank::RemoveListColumns(path, chosen, home_->prompter), 2);
        QCOMPARE(columnNames(path), (QStringList{"EAddress", "FirstName", "LastName", "Keyword1", "Keyword2",
                                                 "Date", "Sent", "Title"}));
        QCOMPARE(addresses(path), QStringList{"a@x.org"});
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
