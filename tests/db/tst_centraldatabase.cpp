#include "Version.h"
#include "app/CommandLine.h"
#include "app/mdlMain.h"
#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/CentralDatabaseUpgrade.h"
#include "db/CentralSchema.h"
#include "db/Database.h"
#include "db/SampleData.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Awkward = QStringLiteral("Ann \"Q\" O'Neil; [List] Ünïcødé ß 東京");

// Runs start-up on a folder; the instance lock is released again when it returns.
// Starts without the list checks: these tests are about the central database alone.
bool startIn(const QString& folder, ScriptedPrompter& prompter, bool sampleData = false) {
    StartupOptions options{folder, QStringLiteral("tamberlyn"), &prompter, sampleData, false};
    return Startup(options).run() == Startup::Result::Started;
}

QString systemFile(const QString& home, const QString& name) {
    return home + QStringLiteral("/system/") + name;
}

db::Database openFile(const QString& path) {
    db::DbError error;
    db::Database database = db::Database::open(path, db::Database::OpenMode::ReadWrite, &error);
    if (!database.isOpen())
        qWarning() << "cannot open" << path << error.text;
    return database;
}

qint64 count(const db::Database& database, const QString& table) {
    return database.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + db::quoteName(table))
        .value_or(QVariant(-1))
        .toLongLong();
}

// Every row of a table, ordered by rowid, its values joined by "|" ("<null>" for NULL).
QStringList rows(const db::Database& database, const QString& table) {
    QStringList result;
    db::Statement statement = database.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(table) +
                                               QStringLiteral(" ORDER BY rowid"));
    while (statement.next()) {
        QStringList row;
        for (int i = 0; i < statement.columnCount(); ++i)
            row << (statement.value(i).isNull() ? QStringLiteral("<null>") : statement.value(i).toString());
        result << row.join(u'|');
    }
    return result;
}

// The columns as "Name TYPE [NOT NULL] [DEFAULT value], ...".
QString describeColumns(const db::Database& database, const QString& table) {
    QStringList result;
    for (const db::ColumnInfo& c : database.columns(table)) {
        QString text = c.name + u' ' + c.declaredType;
        if (c.required)
            text += QStringLiteral(" NOT NULL");
        if (c.defaultValue.isValid())
            text += QStringLiteral(" DEFAULT ") + (c.defaultValue.typeId() == QMetaType::QString
                                                       ? u'\'' + c.defaultValue.toString() + u'\''
                                                       : c.defaultValue.toString());
        result << text;
    }
    return result.join(QStringLiteral(", "));
}

// The first value of a query as text; "<no row>" when there is none or the query fails.
QString scalarText(const db::Database& database, const QString& sql, const QVariantList& values = {}) {
    db::DbError error;
    const std::optional<QVariant> value = database.scalar(sql, values, &error);
    if (!value)
        return QStringLiteral("<no row> ") + error.text;
    return value->isNull() ? QStringLiteral("<null>") : value->toString();
}

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Every file below a folder with a digest of its content and its modification time.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[path] = QCryptographicHash::hash(readFileBytes(path), QCryptographicHash::Sha1) +
                      QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
    }
    return files;
}

// A central database as an early version of the program left it: no ProductVersion, no List.SourcePath,
// fewer columns elsewhere, a table the current schema no longer has, and case-sensitive list names.
void writeOldCentralDatabase(const QString& path, bool withSourcePath = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    db::DbError error;
    db::Database old = db::Database::create(path, &error);
    QVERIFY2(old.isOpen(), qPrintable(error.text));
    const QString list = withSourcePath ? QStringLiteral(", \"SourcePath\" TEXT(255)") : QString();
    QVERIFY2(
        old.execScript(
            QStringLiteral(
                "CREATE TABLE \"Tamberlyn\" (\"TamberlynName\" TEXT(100) PRIMARY KEY, "
                "\"TamberlynDescription\" TEXT);"
                "CREATE TABLE \"List\" (\"ListName\" TEXT(100) PRIMARY KEY, \"ListPath\" TEXT(255), "
                "\"ListDescription\" TEXT, \"EmailFieldName\" TEXT(50)") +
                list +
                QStringLiteral(
                    ");"
                    "CREATE TABLE \"MailEvent\" (\"MailEventName\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                    "\"TamberlynName\" TEXT(100), \"CreationDate\" DATETIME, \"ListName\" TEXT(100), "
                    "\"MessageName\" TEXT(100), \"Profile\" TEXT(100), \"DateSent\" TEXT(25), "
                    "\"SentCount\" INTEGER, \"SentCountFailed\" INTEGER, \"Active\" INTEGER);"
                    "CREATE TABLE \"Message\" (\"MessageName\" TEXT(100) PRIMARY KEY, \"Subject\" TEXT(255), "
                    "\"SendType\" INTEGER, \"HTMLText\" TEXT);"
                    "CREATE TABLE \"MSysObjects\" (\"Id\" INTEGER);"
                    "CREATE TABLE \"Profile\" (\"ProfileName\" TEXT(100) PRIMARY KEY, \"From\" TEXT(50), "
                    "\"SQLFilter\" TEXT, \"bFlagSends\" INTEGER, \"SentFlag\" TEXT(50), "
                    "\"SendBlockSize\" INTEGER);"
                    "CREATE TABLE \"OldNotes\" (\"Note\" TEXT);"),
            &error),
        qPrintable(error.text));
    const auto insert = [&](const QString& sql, const QVariantList& values = {}) {
        QVERIFY2(old.exec(sql, values, &error), qPrintable(error.text));
    };
    insert("INSERT INTO \"Tamberlyn\" VALUES (?, ?)", {Awkward, QString("About " + Awkward)});
    insert("INSERT INTO \"Tamberlyn\" VALUES ('Plain', NULL)");
    const QVariantList listRow = {Awkward, QString(Awkward + ".mdb"), "d", "EMail"};
    if (withSourcePath) {
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?, ?)", listRow + QVariantList{"/src/a.dbf"});
    } else {
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?)", listRow);
        insert("INSERT INTO \"List\" VALUES ('abc', 'abc.mdb', NULL, NULL)");
        // The current schema compares names without regard to case, so this one cannot be kept.
        insert("INSERT INTO \"List\" VALUES ('ABC', 'ABC.mdb', NULL, NULL)");
    }
    insert("INSERT INTO \"MailEvent\" VALUES (3, 'Plain', '2001-02-03 04:05:06', 'abc', ?, "
           "'Default Delivery Options', '2/3/01', 12, 1, -1)",
           {Awkward});
    insert("INSERT INTO \"MailEvent\" VALUES (7, ?1, NULL, ?1, 'm', ?1, NULL, NULL, NULL, NULL)", {Awkward});
    insert("INSERT INTO \"Message\" VALUES (?, ?, 1, ?)",
           {Awkward, QString("Subject " + Awkward), QString("<p>" + Awkward)});
    insert("INSERT INTO \"MSysObjects\" VALUES (1)");
    insert("INSERT INTO \"Profile\" VALUES ('Default Delivery Options', 'a@example.invalid', ?, -1, 'SENT', "
           "500)",
           {QStringLiteral("[Sent] = \"x\" AND [City] = 'Köln'")});
    insert("INSERT INTO \"Profile\" VALUES (?, NULL, NULL, NULL, NULL, NULL)", {Awkward});
    insert("INSERT INTO \"OldNotes\" VALUES ('left behind')");
}

const QStringList CurrentTables = {"Tamberlyn",    "List",       "MailEvent",     "Message",
                                   "ErrorTable",   "Profile",    "POPAccounts",   "MailRun",
                                   "MailRunSlice", "SendLedger", "ProductVersion"};

} // namespace

class TestCentralDatabase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newFileHoldsTheSchemaAndTheDefaultRowsOnly() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        prompter.dropStandingAnswer(CentralDatabase::sampleDataQuestion());
        prompter.answer(Prompter::Answer::No);
        QVERIFY(startIn(dir.path(), prompter));
        QCOMPARE(prompter.texts(), QStringList{CentralDatabase::sampleDataQuestion()});
        QCOMPARE(prompter.shown().first().icon, Prompter::Icon::Question);
        QVERIFY(prompter.shown().first().question);

        db::Database central = CentralDatabase::open();
        QVERIFY(central.isOpen());
        QCOMPARE(central.tables(), CurrentTables);
        // Table, name of its primary key constraint, columns.
        const QList<std::array<QString, 3>> schema = {
            {"Tamberlyn", "TamberlynName", "TamberlynName TEXT(100) NOT NULL, TamberlynDescription TEXT"},
            {"List", "ListName",
             "ListName TEXT(100) NOT NULL, ListPath TEXT(255) NOT NULL, ListDescription TEXT, EmailFieldName "
             "TEXT(50), TitleFieldName TEXT(50), FNameFieldName TEXT(50), LNameFieldName TEXT(50), "
             "Key1FieldName TEXT(50), Key2FieldName TEXT(50), DateFieldName TEXT(50), SentFieldName "
             "TEXT(50), "
             "SourcePath TEXT(255)"},
            {"MailEvent", "MailEventName",
             "MailEventName INTEGER NOT NULL, TamberlynName TEXT(100) NOT NULL, CreationDate DATETIME, "
             "ListName TEXT(100) NOT NULL, MessageName TEXT(100) NOT NULL, Profile TEXT(100) NOT NULL, "
             "DateSent TEXT(25), SentCount INTEGER DEFAULT 0, SentCountFailed INTEGER DEFAULT 0, Active "
             "INTEGER, ScheduledDate DATETIME, ScheduledTime DATETIME, MailingSent INTEGER"},
            {"Message", "MessageName",
             "MessageName TEXT(100) NOT NULL, MessageDescription TEXT, MessageCreationDate DATETIME, Subject "
             "TEXT(255), SendType INTEGER DEFAULT 0, HTMLText TEXT, MessageText TEXT, Attachments TEXT, "
             "MailingList TEXT(100), UseGreetingManager INTEGER, GreetingDisplay TEXT(50), Salutation "
             "TEXT(50), Punctuation TEXT(5), UseTitle INTEGER, UseFName INTEGER, UseLName INTEGER, "
             "AddressType INTEGER DEFAULT 0, GreetingType INTEGER DEFAULT 0, GroupAddress TEXT(255), "
             "GroupGreeting TEXT(255), MissingFNameOption INTEGER, MissingLNameOption INTEGER, GenericName "
             "TEXT(50), From TEXT(255), XTamberlyn TEXT(255), HTMLGreeting TEXT DEFAULT ''"},
            {"ErrorTable", "ID",
             "ID INTEGER NOT NULL, Date DATETIME, Time DATETIME, ErrDescription TEXT(255), ErrFunction "
             "TEXT(255), ErrSQLStr TEXT(255), ErrNumber INTEGER, ErrSource TEXT(255)"},
            {"Profile", "ProfileName",
             "ProfileName TEXT(100) NOT NULL, ProfileDescription TEXT, ProfileCreationDate DATETIME, From "
             "TEXT(50), ReplyTo TEXT(50), ErrorsTo TEXT(50), X_URL TEXT(200), CourtesyMessage TEXT, "
             "bSendFiltered INTEGER, SQLFilter TEXT, bFlagSends INTEGER, SentFlag TEXT(50), bSendInBlocks "
             "INTEGER, SendBlockSize INTEGER DEFAULT 1000, bIfNotYetFlagged INTEGER, SentFlagToCheck "
             "TEXT(50), "
             "bTimedBlocks INTEGER, TimedBlockSize INTEGER DEFAULT 100, TimeIncrement INTEGER DEFAULT 1, "
             "bInsertTimeDelay INTEGER, TimeDelay INTEGER DEFAULT 1, SmtpServer TEXT(200), "
             "UnsubscribeAddress "
             "TEXT(255), UnsubscribeURL TEXT, BounceAddress TEXT(255), UseVERP INTEGER, DKIMDomain "
             "TEXT(255), "
             "DKIMSelector TEXT(63), DKIMKeyFile TEXT, Connections INTEGER DEFAULT 1, MaxPerHour INTEGER "
             "DEFAULT 0, MaxPerDay INTEGER DEFAULT 0"},
            {"POPAccounts", "AC_ID",
             "AccountID TEXT(255) NOT NULL, UserName TEXT(255), Password TEXT(50), ServerName TEXT(255), "
             "CertificateSHA256 TEXT(95), CAFile TEXT"},
            {"MailRun", "RunID",
             "RunID INTEGER NOT NULL, MailEventName INTEGER, Trigger TEXT(20), RunStart DATETIME, RunEnd "
             "DATETIME, Passed INTEGER DEFAULT 0, Failed INTEGER DEFAULT 0, Outcome TEXT(20)"},
            {"MailRunSlice", "SliceID",
             "SliceID INTEGER NOT NULL, RunID INTEGER, Step INTEGER, Passed INTEGER DEFAULT 0, Failed "
             "INTEGER DEFAULT 0"},
            {"SendLedger", "LedgerID",
             "LedgerID INTEGER NOT NULL, Server TEXT(200), Hour DATETIME, Count INTEGER DEFAULT 0"},
            {"ProductVersion", "TamberlynVersion",
             "TamberlynVersion TEXT(10) NOT NULL, ProductType TEXT(20), TBFVersion INTEGER"},
        };
        QCOMPARE(schema.size(), CurrentTables.size());
        for (const auto& [table, key, columns] : schema) {
            QCOMPARE(describeColumns(central, table), columns);
            const QString sql = scalarText(central, "SELECT sql FROM sqlite_master WHERE name = ?", {table});
            QVERIFY2(sql.contains("CONSTRAINT \"" + key + "\" PRIMARY KEY"), qPrintable(sql));
            for (const db::ColumnInfo& column : central.columns(table))
                QVERIFY2(column.allowsEmpty, qPrintable(table + u'.' + column.name));
        }
        QVERIFY(central.column("POPAccounts", "AccountID")->primaryKey);

        for (const char* table : {"Tamberlyn", "List", "MailEvent", "Message", "ErrorTable", "POPAccounts"})
            QCOMPARE(count(central, QString::fromLatin1(table)), 0);
        const QString version = QStringLiteral("%1.%2.%3|Tamberlyn|%4")
                                    .arg(Version::Major)
                                    .arg(Version::Minor)
                                    .arg(Version::Revision)
                                    .arg(CentralSchema::TBFVersion);
        QCOMPARE(rows(central, "ProductVersion"), QStringList{version});
        QCOMPARE(
            rows(central, "Profile"),
            QStringList{"Default Delivery Options||<null>|you@example.invalid|replies@example.invalid||||0||"
                        "-1|SENT|-1|1000|-1|SENT|0|100|1|-1|1|mail.example.invalid||||0||||1|0|0"});
        QVERIFY(!QFileInfo::exists(dir.path() + "/Templates/message_logo_large.jpg"));
        QVERIFY(!QFileInfo::exists(dir.path() + "/AddressLists/Sample - Formal Letter.mdb"));
        QVERIFY(!QFileInfo::exists(CentralDatabase::path() + ".part"));
    }

    void columnDefaultsAndCaseInsensitiveKeysApply() {
        TestHome home;
        QVERIFY(home.start());
        db::Database central = CentralDatabase::open();
        QVERIFY(central.exec("INSERT INTO \"MailEvent\" (\"TamberlynName\", \"ListName\", \"MessageName\", "
                             "\"Profile\") VALUES ('g', 'l', 'm', 'p')"));
        QVERIFY(rows(central, "MailEvent").first().startsWith("1|g|<null>|l|m|p|<null>|0|0|"));
        QVERIFY(central.exec("INSERT INTO \"Message\" (\"MessageName\") VALUES (?)", {Awkward}));
        QCOMPARE(scalarText(central,
                            "SELECT \"HTMLGreeting\" || '|' || \"SendType\" || \"AddressType\" || "
                            "\"GreetingType\" FROM \"Message\" WHERE \"MessageName\" = ?",
                            {Awkward}),
                 QStringLiteral("|000"));
        // Names are found exactly, whatever characters they hold, and compared without regard to (ASCII)
        // case.
        QCOMPARE(scalarText(central, "SELECT \"MessageName\" FROM \"Message\" WHERE \"MessageName\" = ?",
                            {QStringLiteral("ANN \"q\" o'nEIL; [list] Ünïcødé ß 東京")}),
                 Awkward);
        QVERIFY(
            !central.exec("INSERT INTO \"Profile\" (\"ProfileName\") VALUES ('DEFAULT delivery OPTIONS')"));
    }

    void buildWithoutEmptyTextReplacesAFileOnlyWhenComplete() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QString path = dir.filePath("x.tbf");
        writeFile(path, "something else");
        QVERIFY(BuildCentralDatabase(path, false, false, prompter));
        QVERIFY(prompter.shown().isEmpty()); // no defaults, no question
        db::Database strict = openFile(path);
        QVERIFY(!strict.column("List", "SourcePath")->allowsEmpty);
        QVERIFY(!strict.column("Message", "HTMLGreeting")->allowsEmpty);
        QVERIFY(strict.column("Profile", "SendBlockSize")->allowsEmpty);
        QVERIFY(!strict.exec("INSERT INTO \"Tamberlyn\" VALUES ('g', '')"));
        QCOMPARE(count(strict, "Profile"), 0);
        QCOMPARE(count(strict, "ProductVersion"), 1);
        strict.close();

        // A file in the way of the build: the existing file stays, the user is told.
        const QByteArray before = readFileBytes(path);
        QVERIFY(QDir().mkpath(path + ".part/blocker"));
        QVERIFY(!BuildCentralDatabase(path, true, false, prompter));
        QCOMPARE(readFileBytes(path), before);
        QCOMPARE(prompter.texts().size(), 1);
        QVERIFY(prompter.texts().first().startsWith("Tamberlyn could not create the main database x.tbf."));
    }

    void sampleDataLinksGroupListMessageAndMailing() {
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        QVERIFY(home.prompter.shown().isEmpty());
        db::Database central = CentralDatabase::open();
        QCOMPARE(rows(central, "Tamberlyn"), QStringList{"Sample|Sample Tamberlyn Group"});
        QCOMPARE(rows(central, "List"),
                 QStringList{"Sample - Formal Letter|Sample - Formal Letter.mdb|SAMPLE|||||||||"});
        QCOMPARE(
            rows(central, "MailEvent"),
            QStringList{"1|Sample|<null>|Sample - Formal Letter|Sample - Tamberlyn HTML|Default Delivery "
                        "Options|<null>|0|0|<null>|<null>|<null>|<null>"});
        const QString html = scalarText(central, "SELECT \"HTMLText\" FROM \"Message\"");
        const QString text = scalarText(central, "SELECT \"MessageText\" FROM \"Message\"");
        QCOMPARE(
            rows(central, "Message").replaceInStrings(html + '|' + text, "letter|letter"),
            QStringList{"Sample - Tamberlyn HTML|A Sample Message Using the Formal Template|<null>|"
                        "Tamberlyn HTML|2|letter|letter||Sample - Formal Letter|-1| <<FirstName>> "
                        "<<LastName>> <<Eaddress>>|Dear|:|0|-1|-1|1|-1|||-1|-1||Harrowgate Quill Supply||"});
        const QString logo = home.file("Templates/message_logo_large.jpg");
        QVERIFY2(html.contains(QStringLiteral("src=\"") + logo + u'"'), qPrintable(html));
        QVERIFY(!html.contains(u'\\'));
        for (const char* field : {"Company", "FirstName", "LastName", "Title", "Address", "City", "State",
                                  "Zip", "Country", "Product"}) {
            QVERIFY2(html.contains(QStringLiteral("&lt;&lt;%1&gt;&gt;").arg(QLatin1String(field))), field);
            QVERIFY2(text.contains(QStringLiteral("<<%1>>").arg(QLatin1String(field))), field);
        }
        const QByteArray jpeg = readFileBytes(logo);
        QVERIFY(jpeg.startsWith("\xFF\xD8\xFF") && jpeg.endsWith("\xFF\xD9"));

        db::Database list = openFile(home.file("AddressLists/Sample - Formal Letter.mdb"));
        QStringList names;
        for (const db::ColumnInfo& c : list.columns("AddressList")) {
            names << c.name;
            QCOMPARE(c.declaredType, QStringLiteral("TEXT(255)"));
        }
        QCOMPARE(names, SampleData::listColumns());
        QVERIFY(list.column("AddressList", "EAddress")->primaryKey);
        const QStringList contacts = rows(list, "AddressList");
        QCOMPARE(contacts.size(), 5);
        for (const QString& contact : contacts) {
            const QStringList c = contact.split(u'|');
            QVERIFY2(c[0].endsWith(".invalid"), qPrintable(c[0]));
            QCOMPARE(c[4] + c[6] + c[7], QString()); // Sent and keywords
            QVERIFY2(QRegularExpression("^\\d{1,2}/\\d{1,2}/\\d\\d$").match(c[5]).hasMatch(),
                     qPrintable(c[5]));
            QCOMPARE(c[11].size(), 2);                                       // state
            QVERIFY(QRegularExpression("^\\d{5}$").match(c[12]).hasMatch()); // zip
            QCOMPARE(c[13], QStringLiteral("USA"));
            for (int i : {1, 2, 3, 8, 9, 10, 14, 15})
                QVERIFY(!c[i].isEmpty());
        }
        QCOMPARE(scalarText(list, "SELECT \"FirstName\" FROM \"AddressList\" WHERE \"LastName\" = ?",
                            {QStringLiteral("O'Dálaigh")}),
                 QStringLiteral("Sinéad"));
    }

    void existingSampleFilesAreKeptOnNoAndReplacedOnYes() {
        for (const Prompter::Answer answer : {Prompter::Answer::No, Prompter::Answer::Yes}) {
            QTemporaryDir dir;
            const QString listPath = dir.path() + "/AddressLists/Sample - Formal Letter.mdb";
            const QString logo = dir.path() + "/Templates/message_logo_large.jpg";
            writeFile(listPath, "the user's own list");
            writeFile(logo, "mine");
            ScriptedPrompter prompter;
            prompter.answer(answer);
            QVERIFY(startIn(dir.path(), prompter, true));
            QCOMPARE(prompter.texts(), QStringList{SampleData::replaceListQuestion()});
            QCOMPARE(prompter.shown().first().icon, Prompter::Icon::Question);
            if (answer == Prompter::Answer::No)
                QCOMPARE(readFileBytes(listPath), QByteArray("the user's own list"));
            else
                QCOMPARE(count(openFile(listPath), "AddressList"), 5);
            QVERIFY(!QFileInfo::exists(listPath + ".part"));
            // An existing logo is left alone either way.
            QCOMPARE(readFileBytes(logo), QByteArray("mine"));
            db::Database central = CentralDatabase::open();
            QCOMPARE(count(central, "MailEvent"), 1);
            QCOMPARE(count(central, "List"), 1);
        }
    }

    void missingDefaultDeliveryOptionsAreRecreated() {
        QTemporaryDir dir;
        ScriptedPrompter first;
        QVERIFY(startIn(dir.path(), first));
        const QStringList defaults = rows(CentralDatabase::open(), "Profile");
        QVERIFY(CentralDatabase::open().exec("DELETE FROM \"Profile\""));

        ScriptedPrompter second;
        QVERIFY(startIn(dir.path(), second));
        QCOMPARE(second.texts(),
                 QStringList{"A default Delivery Options set was not found.  \nThe Delivery Options "
                             "Wizard will now be called so you can supply the default values needed"});
        QVERIFY(!second.shown().first().question);
        QCOMPARE(rows(CentralDatabase::open(), "Profile"), defaults);

        ScriptedPrompter third;
        VerifyDefaultProfile(third);
        QVERIFY(third.shown().isEmpty());
    }

    void tbfVersion_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("version");
        QTest::newRow("no stamp, no SourcePath") << "v1" << 1;
        QTest::newRow("no stamp, SourcePath") << "v2" << 2;
        QTest::newRow("stamped 7") << "v7" << 7;
        QTest::newRow("current") << "current" << CentralSchema::TBFVersion;
    }
    void tbfVersion() {
        QFETCH(QString, kind);
        QFETCH(int, version);
        QTemporaryDir dir;
        resetApplication();
        app().folders = AppFolders::under(dir.path());
        QVERIFY(QDir().mkpath(appFolders().SystemFolder));
        const QString path = CentralDatabase::path();
        ScriptedPrompter prompter;
        if (kind == "v1" || kind == "v2") {
            writeOldCentralDatabase(path, kind == "v2");
        } else {
            QVERIFY(BuildCentralDatabase(path, true, false, prompter));
            if (kind == "v7")
                QVERIFY(CentralDatabase::open().exec("UPDATE \"ProductVersion\" SET \"TBFVersion\" = 7"));
        }
        const QByteArray before = readFileBytes(path);
        QCOMPARE(int(GetTBFVersion(prompter)), version);
        QCOMPARE(readFileBytes(path), before);
        QVERIFY(prompter.shown().isEmpty());
    }

    void unreadableFileIsLeftAlone() {
        QTemporaryDir dir;
        const QString path = systemFile(dir.path(), "Tamberlyn.tbf");
        writeFile(path, QByteArray(4096, 'x'));
        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QCOMPARE(readFileBytes(path), QByteArray(4096, 'x'));
        QVERIFY(!QFileInfo::exists(path + ".old"));
        QCOMPARE(prompter.shown().size(), 1);
        QVERIFY2(
            QRegularExpression("^Error \\d+ in TBFVerify\n.+").match(prompter.texts().first()).hasMatch(),
            qPrintable(prompter.texts().first()));
        ScriptedPrompter check;
        QCOMPARE(int(GetTBFVersion(check)), int(CentralDatabaseUpgrade::UnreadableVersion));
        QCOMPARE(readFileBytes(path), QByteArray(4096, 'x'));
    }

    void oldFileIsRebuiltWithEveryRow() {
        QTemporaryDir dir;
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        writeOldCentralDatabase(central);
        writeFile(central + ".old", "an older backup");
        const QByteArray original = readFileBytes(central);

        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        // The one list name that differs from another only in case is refused and reported.
        QCOMPARE(prompter.texts(),
                 QStringList{"1 record(s) could not be copied into the upgraded main database; "
                             "they are kept in Tamberlyn.tbf.old."});
        QCOMPARE(readFileBytes(central + ".old"), original);
        QVERIFY(!QFileInfo::exists(systemFile(dir.path(), "tbftemp.mdb")));
        QVERIFY(!QFileInfo::exists(systemFile(dir.path(), "tbftemp.mdb.part")));

        ScriptedPrompter check;
        QCOMPARE(int(GetTBFVersion(check)), CentralSchema::TBFVersion);
        db::Database db = CentralDatabase::open();
        QCOMPARE(db.tables(), CurrentTables);
        // {A} is the awkward name, {N} the date an empty date column gets.
        const auto expect = [](QStringList texts) {
            for (QString& text : texts)
                text.replace("{A}", Awkward).replace("{N}", QStringLiteral("1899-12-31 12:00:00"));
            return texts;
        };
        QCOMPARE(rows(db, "Tamberlyn"), expect({"{A}|About {A}", "Plain|"}));
        QCOMPARE(rows(db, "List"), expect({"{A}|{A}.mdb|d|EMail||||||||", "abc|abc.mdb||||||||||"}));
        QCOMPARE(
            rows(db, "MailEvent"),
            expect({"3|Plain|2001-02-03 04:05:06|abc|{A}|Default Delivery Options|2/3/01|12|1|-1|{N}|{N}|0",
                    "7|{A}|{N}|{A}|m|{A}||0|0|0|{N}|{N}|0"}));
        QCOMPARE(rows(db, "Message"), expect({"{A}||{N}|Subject {A}|1|<p>{A}||||0||||0|0|0|0|0|||0|0||||"}));
        QCOMPARE(rows(db, "Profile"),
                 expect({"Default Delivery Options||{N}|a@example.invalid|||||0|[Sent] = \"x\" AND [City] = "
                         "'Köln'|-1|SENT|0|500|0||0|0|0|0|0|||||0||||0|0|0",
                         "{A}||{N}||||||0||0||0|0|0||0|0|0|0|0|||||0||||0|0|0"}));
        QCOMPARE(
            scalarText(db, "SELECT \"ProfileName\" FROM \"Profile\" WHERE \"ProfileName\" = ?", {Awkward}),
            Awkward);
        QCOMPARE(count(db, "ProductVersion"), 1);
        // New rows keep counting after the copied ones.
        QVERIFY(db.exec("INSERT INTO \"MailEvent\" (\"TamberlynName\", \"ListName\", \"MessageName\", "
                        "\"Profile\") VALUES ('g', 'l', 'm', 'p')"));
        QCOMPARE(db.lastInsertRowId(), 8);
        db.close();

        // The next start finds the current version and changes nothing.
        const auto before = snapshot(dir.path() + "/system");
        QTest::qWait(20);
        ScriptedPrompter again;
        QVERIFY(startIn(dir.path(), again));
        QVERIFY(again.shown().isEmpty());
        QCOMPARE(snapshot(dir.path() + "/system"), before);
    }

    // A file of the schema before the deliverability settings: every set of delivery options comes
    // through with those settings empty, and the old file is kept beside it.
    void previousVersionGainsTheDeliverabilityColumns() {
        QTemporaryDir dir;
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        {
            resetApplication();
            app().folders = AppFolders::under(dir.path());
            QVERIFY(QDir().mkpath(appFolders().SystemFolder));
            ScriptedPrompter build;
            QVERIFY(BuildCentralDatabase(central, true, true, build));
            db::Database db = openFile(central);
            for (const char* column : {"UnsubscribeAddress", "UnsubscribeURL", "BounceAddress", "UseVERP",
                                       "DKIMDomain", "DKIMSelector", "DKIMKeyFile"})
                QVERIFY(db.exec(QStringLiteral("ALTER TABLE \"Profile\" DROP COLUMN \"%1\"").arg(column)));
            for (const char* column : {"CertificateSHA256", "CAFile"})
                QVERIFY(
                    db.exec(QStringLiteral("ALTER TABLE \"POPAccounts\" DROP COLUMN \"%1\"").arg(column)));
            QVERIFY(db.exec("INSERT INTO \"POPAccounts\" (\"AccountID\", \"UserName\", \"ServerName\") "
                            "VALUES ('box', 'ann', 'pop3s://mail.example.org')"));
            QVERIFY(db.exec("UPDATE \"ProductVersion\" SET \"TBFVersion\" = 9"));
            QVERIFY(db.exec("INSERT INTO \"Profile\" (\"ProfileName\", \"From\", \"SentFlag\", "
                            "\"SendBlockSize\") VALUES (?, 'me@x.org', 'DONE', 42)",
                            {Awkward}));
        }
        const QByteArray original = readFileBytes(central);
        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QVERIFY(prompter.shown().isEmpty());
        QCOMPARE(readFileBytes(central + ".old"), original);
        ScriptedPrompter check;
        QCOMPARE(int(GetTBFVersion(check)), CentralSchema::TBFVersion);
        db::Database db = CentralDatabase::open();
        QCOMPARE(count(db, "Profile"), 2);
        QCOMPARE(
            scalarText(db,
                       "SELECT \"From\" || '|' || \"SentFlag\" || '|' || \"SendBlockSize\" || '|' || "
                       "\"UnsubscribeAddress\" || '|' || \"UnsubscribeURL\" || '|' || \"BounceAddress\" || "
                       "'|' || \"UseVERP\" || '|' || \"DKIMDomain\" || '|' || \"DKIMSelector\" || '|' || "
                       "\"DKIMKeyFile\" FROM \"Profile\" WHERE \"ProfileName\" = ?",
                       {Awkward}),
            "me@x.org|DONE|42||||0|||");
        // POP accounts come through without a trusted certificate.
        QCOMPARE(rows(db, "POPAccounts"), QStringList{"box|ann||pop3s://mail.example.org||"});
    }

    // A file of the schema before the run history: every mailing, its schedule and counts come through,
    // the run tables start empty, and the old file is kept beside it.
    void previousVersionGainsTheRunHistory() {
        QTemporaryDir dir;
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        {
            resetApplication();
            app().folders = AppFolders::under(dir.path());
            QVERIFY(QDir().mkpath(appFolders().SystemFolder));
            ScriptedPrompter build;
            QVERIFY(BuildCentralDatabase(central, true, true, build));
            db::Database db = openFile(central);
            QVERIFY(db.exec("DROP TABLE \"MailRun\""));
            QVERIFY(db.exec("DROP TABLE \"MailRunSlice\""));
            QVERIFY(db.exec("UPDATE \"ProductVersion\" SET \"TBFVersion\" = 10"));
            for (int i = 1; i <= 3; ++i)
                QVERIFY(
                    db.exec("INSERT INTO \"MailEvent\" (\"TamberlynName\", \"ListName\", \"MessageName\", "
                            "\"Profile\", \"SentCount\", \"Active\", \"MailingSent\") VALUES (?, 'L', 'M', "
                            "'P', ?, -1, 0)",
                            {Awkward, i * 100}));
        }
        const QByteArray original = readFileBytes(central);
        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QVERIFY(prompter.shown().isEmpty());
        QCOMPARE(readFileBytes(central + ".old"), original);
        ScriptedPrompter check;
        QCOMPARE(int(GetTBFVersion(check)), CentralSchema::TBFVersion);
        db::Database db = CentralDatabase::open();
        QCOMPARE(db.tables(), CurrentTables);
        QCOMPARE(scalarText(db, "SELECT group_concat(\"MailEventName\" || ':' || \"SentCount\" || ':' || "
                                "\"Active\" || ':' || \"TamberlynName\", ',') FROM \"MailEvent\""),
                 QString("1:100:-1:%1,2:200:-1:%1,3:300:-1:%1").arg(Awkward));
        QCOMPARE(count(db, "MailRun"), 0);
        QCOMPARE(count(db, "MailRunSlice"), 0);
    }

    // A process killed in the middle of a write leaves the file with its rollback journal: the next start
    // rolls it back and reads the file, instead of failing on a journal a reader may not touch.
    void writeCutShortIsRolledBackAtStart() {
        QTemporaryDir dir;
        ScriptedPrompter first;
        QVERIFY(startIn(dir.path(), first));
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        {
            db::Database db = openFile(central);
            QVERIFY(db.exec("PRAGMA cache_size = 1")); // pages reach the file before the commit
            QVERIFY(db.beginTransaction());
            for (int i = 0; i < 200; ++i)
                QVERIFY(db.exec("INSERT INTO \"ErrorTable\" (\"ErrDescription\") VALUES (?)",
                                {QString(200, u'x')}));
            // The files as a kill at this moment leaves them.
            QVERIFY(QFile::copy(central, central + ".cut"));
            QVERIFY(QFile::copy(central + "-journal", central + ".cut-journal"));
            db.rollback();
        }
        QVERIFY(QFile::remove(central));
        QVERIFY(QFile::rename(central + ".cut", central));
        QVERIFY(QFile::rename(central + ".cut-journal", central + "-journal"));

        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QVERIFY2(prompter.shown().isEmpty(), qPrintable(prompter.texts().join('|')));
        QVERIFY(!QFileInfo::exists(central + "-journal"));
        QCOMPARE(count(CentralDatabase::open(), "ErrorTable"), 0);
    }

    void failedUpgradeLeavesTheFileAsItWas_data() {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("new file cannot be built") << "tbftemp.mdb.part";
        QTest::newRow("backup cannot be written") << "Tamberlyn.tbf.old";
    }
    void failedUpgradeLeavesTheFileAsItWas() {
        QFETCH(QString, blocked);
        QTemporaryDir dir;
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        writeOldCentralDatabase(central);
        const QByteArray original = readFileBytes(central);
        // A non-empty folder where a file has to go: neither removing nor renaming over it works.
        QVERIFY(QDir().mkpath(systemFile(dir.path(), blocked) + "/in the way"));

        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QCOMPARE(readFileBytes(central), original);
        QVERIFY(!QFileInfo::exists(systemFile(dir.path(), "tbftemp.mdb")));
        const QStringList texts = prompter.texts();
        QVERIFY2(!texts.isEmpty(), "the user was not told");
        QVERIFY2(
            texts.last().startsWith("The main database could not be upgraded and has been left as it was."),
            qPrintable(texts.last()));
        if (blocked == "Tamberlyn.tbf.old")
            QVERIFY2(texts.last().contains("\nCould not rename Tamberlyn.tbf to Tamberlyn.tbf.old"),
                     qPrintable(texts.last()));
        else
            QVERIFY2(texts.first().startsWith("Tamberlyn could not create the main database tbftemp.mdb."),
                     qPrintable(texts.first()));
    }

    void initWithSampleFromTheCommandLine() {
        QTemporaryDir dir;
        QString inText;
        QString outText;
        QString errText;
        QTextStream in(&inText);
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int status = RunCommandLine(
            {"/usr/bin/tamberlyn", "--home", dir.path(), "--yes", "init", "--sample"}, {in, out, err});
        out.flush();
        err.flush();
        QCOMPARE(status, 0);
        QVERIFY2(errText.isEmpty(), qPrintable(errText));
        QVERIFY(!outText.contains(CentralDatabase::sampleDataQuestion()));
        QCOMPARE(count(openFile(systemFile(dir.path(), "Tamberlyn.tbf")), "MailEvent"), 1);
        QCOMPARE(count(openFile(dir.path() + "/AddressLists/Sample - Formal Letter.mdb"), "AddressList"), 5);
        QVERIFY(readFileBytes(dir.path() + "/Templates/message_logo_large.jpg").startsWith("\xFF\xD8"));

        // A second start asks nothing and changes nothing.
        const auto before = snapshot(dir.path());
        QTest::qWait(20);
        ScriptedPrompter second;
        QVERIFY(startIn(dir.path(), second));
        QVERIFY(second.shown().isEmpty());
        QCOMPARE(snapshot(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestCentralDatabase)
#include "tst_centraldatabase.moc"
