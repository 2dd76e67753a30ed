#include "Version.h"
#include "core/AppSettings.h"
#include "core/CommandLine.h"
#include "core/mdlMain.h"
#include "db/CentralDatabase.h"
#include "db/CentralDatabaseUpgrade.h"
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

// A prompter that answers the sample-data question with the given answer.
void answerSample(ScriptedPrompter& prompter, Prompter::Answer answer) {
    prompter.answerAlways(CentralDatabase::sampleDataQuestion(), answer);
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

// Every row of a table, ordered by rowid, each value as text ("<null>" for NULL).
QList<QStringList> rows(const db::Database& database, const QString& table) {
    QList<QStringList> result;
    db::Statement statement = database.prepare(QStringLiteral("SELECT * FROM ") + db::quoteName(table) +
                                               QStringLiteral(" ORDER BY rowid"));
    while (statement.next()) {
        QStringList row;
        for (int i = 0; i < statement.columnCount(); ++i) {
            const QVariant value = statement.value(i);
            row << (value.isNull() ? QStringLiteral("<null>") : value.toString());
        }
        result << row;
    }
    return result;
}

// One column as "Name TYPE [NOT NULL] [DEFAULT value]".
QStringList describeColumns(const db::Database& database, const QString& table) {
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
    return result;
}

// The first value of a query as text; "<no row>" when there is none or the query fails.
QString scalarText(const db::Database& database, const QString& sql, const QVariantList& values = {}) {
    db::DbError error;
    const std::optional<QVariant> value = database.scalar(sql, values, &error);
    if (!value)
        return QStringLiteral("<no row> ") + error.text;
    return value->isNull() ? QStringLiteral("<null>") : value->toString();
}

QByteArray digest(const QString& path) {
    return QCryptographicHash::hash(readFileBytes(path), QCryptographicHash::Sha1);
}

// Every file below a folder with a digest of its content and its modification time.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[path] = digest(path) + QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
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
    const auto insert = [&](const char* sql, const QVariantList& values) {
        QVERIFY2(old.exec(QString::fromUtf8(sql), values, &error), qPrintable(error.text));
    };
    insert("INSERT INTO \"Tamberlyn\" VALUES (?, ?)", {Awkward, QString(QStringLiteral("About ") + Awkward)});
    insert("INSERT INTO \"Tamberlyn\" VALUES (?, ?)", {QStringLiteral("Plain"), QVariant()});
    if (withSourcePath) {
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?, ?)",
               {Awkward, QString(Awkward + QStringLiteral(".mdb")), QStringLiteral("d"),
                QStringLiteral("EMail"), QStringLiteral("/src/a.dbf")});
    } else {
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?)",
               {Awkward, QString(Awkward + QStringLiteral(".mdb")), QStringLiteral("d"),
                QStringLiteral("EMail")});
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?)",
               {QStringLiteral("abc"), QStringLiteral("abc.mdb"), QVariant(), QVariant()});
        // The current schema compares names without regard to case, so this one cannot be kept.
        insert("INSERT INTO \"List\" VALUES (?, ?, ?, ?)",
               {QStringLiteral("ABC"), QStringLiteral("ABC.mdb"), QVariant(), QVariant()});
    }
    insert("INSERT INTO \"MailEvent\" VALUES (3, ?, '2001-02-03 04:05:06', 'abc', ?, ?, '2/3/01', 12, 1, -1)",
           {QStringLiteral("Plain"), Awkward, QStringLiteral("Default Delivery Options")});
    insert("INSERT INTO \"MailEvent\" VALUES (7, ?, NULL, ?, 'm', ?, NULL, NULL, NULL, NULL)",
           {Awkward, Awkward, Awkward});
    insert(
        "INSERT INTO \"Message\" VALUES (?, ?, 1, ?)",
        {Awkward, QString(QStringLiteral("Subject ") + Awkward), QString(QStringLiteral("<p>") + Awkward)});
    insert("INSERT INTO \"MSysObjects\" VALUES (1)", {});
    insert("INSERT INTO \"Profile\" VALUES (?, ?, ?, -1, 'SENT', 500)",
           {QStringLiteral("Default Delivery Options"), QStringLiteral("a@example.invalid"),
            QStringLiteral("[Sent] = \"x\" AND [City] = 'Köln'")});
    insert("INSERT INTO \"Profile\" VALUES (?, NULL, NULL, NULL, NULL, NULL)", {Awkward});
    insert("INSERT INTO \"OldNotes\" VALUES ('left behind')", {});
}

const QStringList CurrentTables = {"Tamberlyn",  "List",    "MailEvent",   "Message",
                                   "ErrorTable", "Profile", "POPAccounts", "ProductVersion"};

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
        const QMap<QString, QStringList> expected = {
            {"Tamberlyn", {"TamberlynName TEXT(100) NOT NULL", "TamberlynDescription TEXT"}},
            {"List",
             {"ListName TEXT(100) NOT NULL", "ListPath TEXT(255) NOT NULL", "ListDescription TEXT",
              "EmailFieldName TEXT(50)", "TitleFieldName TEXT(50)", "FNameFieldName TEXT(50)",
              "LNameFieldName TEXT(50)", "Key1FieldName TEXT(50)", "Key2FieldName TEXT(50)",
              "DateFieldName TEXT(50)", "SentFieldName TEXT(50)", "SourcePath TEXT(255)"}},
            {"MailEvent",
             {"MailEventName INTEGER NOT NULL", "TamberlynName TEXT(100) NOT NULL", "CreationDate DATETIME",
              "ListName TEXT(100) NOT NULL", "MessageName TEXT(100) NOT NULL", "Profile TEXT(100) NOT NULL",
              "DateSent TEXT(25)", "SentCount INTEGER DEFAULT 0", "SentCountFailed INTEGER DEFAULT 0",
              "Active INTEGER", "ScheduledDate DATETIME", "ScheduledTime DATETIME", "MailingSent INTEGER"}},
            {"Message",
             {"MessageName TEXT(100) NOT NULL",
              "MessageDescription TEXT",
              "MessageCreationDate DATETIME",
              "Subject TEXT(255)",
              "SendType INTEGER DEFAULT 0",
              "HTMLText TEXT",
              "MessageText TEXT",
              "Attachments TEXT",
              "MailingList TEXT(100)",
              "UseGreetingManager INTEGER",
              "GreetingDisplay TEXT(50)",
              "Salutation TEXT(50)",
              "Punctuation TEXT(5)",
              "UseTitle INTEGER",
              "UseFName INTEGER",
              "UseLName INTEGER",
              "AddressType INTEGER DEFAULT 0",
              "GreetingType INTEGER DEFAULT 0",
              "GroupAddress TEXT(255)",
              "GroupGreeting TEXT(255)",
              "MissingFNameOption INTEGER",
              "MissingLNameOption INTEGER",
              "GenericName TEXT(50)",
              "From TEXT(255)",
              "XTamberlyn TEXT(255)",
              "HTMLGreeting TEXT DEFAULT ''"}},
            {"ErrorTable",
             {"ID INTEGER NOT NULL", "Date DATETIME", "Time DATETIME", "ErrDescription TEXT(255)",
              "ErrFunction TEXT(255)", "ErrSQLStr TEXT(255)", "ErrNumber INTEGER", "ErrSource TEXT(255)"}},
            {"Profile",
             {"ProfileName TEXT(100) NOT NULL",
              "ProfileDescription TEXT",
              "ProfileCreationDate DATETIME",
              "From TEXT(50)",
              "ReplyTo TEXT(50)",
              "ErrorsTo TEXT(50)",
              "X_URL TEXT(200)",
              "CourtesyMessage TEXT",
              "bSendFiltered INTEGER",
              "SQLFilter TEXT",
              "bFlagSends INTEGER",
              "SentFlag TEXT(50)",
              "bSendInBlocks INTEGER",
              "SendBlockSize INTEGER DEFAULT 1000",
              "bIfNotYetFlagged INTEGER",
              "SentFlagToCheck TEXT(50)",
              "bTimedBlocks INTEGER",
              "TimedBlockSize INTEGER DEFAULT 100",
              "TimeIncrement INTEGER DEFAULT 1",
              "bInsertTimeDelay INTEGER",
              "TimeDelay INTEGER DEFAULT 1",
              "SmtpServer TEXT(200)"}},
            {"POPAccounts",
             {"AccountID TEXT(255) NOT NULL", "UserName TEXT(255)", "Password TEXT(50)",
              "ServerName TEXT(255)"}},
            {"ProductVersion",
             {"TamberlynVersion TEXT(10) NOT NULL", "ProductType TEXT(20)", "TBFVersion INTEGER"}},
        };
        const QMap<QString, QString> keys = {
            {"Tamberlyn", "TamberlynName"}, {"List", "ListName"},
            {"MailEvent", "MailEventName"}, {"Message", "MessageName"},
            {"ErrorTable", "ID"},           {"Profile", "ProfileName"},
            {"POPAccounts", "AC_ID"},       {"ProductVersion", "TamberlynVersion"}};
        for (const QString& table : CurrentTables) {
            QCOMPARE(describeColumns(central, table), expected.value(table));
            const QString sql =
                central.scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = ?"), {table})
                    .value_or(QVariant())
                    .toString();
            QVERIFY2(sql.contains(QStringLiteral("CONSTRAINT \"") + keys.value(table) +
                                  QStringLiteral("\" PRIMARY KEY")),
                     qPrintable(sql));
            for (const db::ColumnInfo& column : central.columns(table))
                QVERIFY2(column.allowsEmpty, qPrintable(table + u'.' + column.name));
        }
        QCOMPARE(central.column("POPAccounts", "AccountID")->primaryKey, true);

        for (const char* table : {"Tamberlyn", "List", "MailEvent", "Message", "ErrorTable", "POPAccounts"})
            QCOMPARE(count(central, QString::fromLatin1(table)), 0);
        const QString version =
            QStringLiteral("%1.%2.%3").arg(Version::Major).arg(Version::Minor).arg(Version::Revision);
        QCOMPARE(rows(central, "ProductVersion"), (QList<QStringList>{{version, "Tamberlyn", "9"}}));
        QCOMPARE(rows(central, "Profile"), (QList<QStringList>{{"Default Delivery Options",
                                                                "",
                                                                "<null>",
                                                                "you@example.invalid",
                                                                "replies@example.invalid",
                                                                "",
                                                                "",
                                                                "",
                                                                "0",
                                                                "",
                                                                "-1",
                                                                "SENT",
                                                                "-1",
                                                                "1000",
                                                                "-1",
                                                                "SENT",
                                                                "0",
                                                                "100",
                                                                "1",
                                                                "-1",
                                                                "1",
                                                                "mail.example.invalid"}}));
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
        QCOMPARE(rows(central, "MailEvent").first().mid(0, 9),
                 (QStringList{"1", "g", "<null>", "l", "m", "p", "<null>", "0", "0"}));
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

    void withoutEmptyTextTheTextColumnsRefuseIt() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QString path = dir.filePath("strict.tbf");
        QVERIFY(BuildCentralDatabase(path, false, false, prompter));
        QVERIFY(prompter.shown().isEmpty()); // no defaults, no question
        db::Database strict = openFile(path);
        QVERIFY(!strict.column("List", "SourcePath")->allowsEmpty);
        QVERIFY(!strict.column("Message", "HTMLGreeting")->allowsEmpty);
        QVERIFY(strict.column("Profile", "SendBlockSize")->allowsEmpty);
        QVERIFY(!strict.exec("INSERT INTO \"Tamberlyn\" VALUES ('g', '')"));
        QCOMPARE(count(strict, "Profile"), 0);
        QCOMPARE(count(strict, "ProductVersion"), 1);
    }

    void buildReplacesAnExistingFileOnlyWhenComplete() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        const QString path = dir.filePath("x.tbf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("something else");
        file.close();
        QVERIFY(BuildCentralDatabase(path, true, false, prompter));
        QCOMPARE(count(openFile(path), "ProductVersion"), 1);

        // A file in the way of the build: the existing file stays, the user is told.
        const QByteArray before = readFileBytes(path);
        QVERIFY(QDir().mkpath(path + ".part/blocker"));
        QVERIFY(!BuildCentralDatabase(path, true, false, prompter));
        QCOMPARE(readFileBytes(path), before);
        QCOMPARE(prompter.shown().size(), 1);
        QVERIFY(
            prompter.shown().first().text.startsWith("Tamberlyn could not create the main database x.tbf."));
    }

    void sampleDataLinksGroupListMessageAndMailing() {
        TestHome home;
        answerSample(home.prompter, Prompter::Answer::Yes);
        QVERIFY(home.start());
        QVERIFY(home.prompter.shown().isEmpty());
        db::Database central = CentralDatabase::open();
        QCOMPARE(rows(central, "Tamberlyn"), (QList<QStringList>{{"Sample", "Sample Tamberlyn Group"}}));
        QCOMPARE(rows(central, "List"),
                 (QList<QStringList>{{"Sample - Formal Letter", "Sample - Formal Letter.mdb", "SAMPLE", "",
                                      "", "", "", "", "", "", "", ""}}));
        QCOMPARE(rows(central, "MailEvent"),
                 (QList<QStringList>{{"1", "Sample", "<null>", "Sample - Formal Letter",
                                      "Sample - Tamberlyn HTML", "Default Delivery Options", "<null>", "0",
                                      "0", "<null>", "<null>", "<null>", "<null>"}}));
        const QList<QStringList> message = rows(central, "Message");
        QCOMPARE(message.size(), 1);
        QStringList m = message.first();
        const QString html = m[5];
        const QString text = m[6];
        m[5] = m[6] = QStringLiteral("letter");
        QCOMPARE(m, (QStringList{"Sample - Tamberlyn HTML",
                                 "A Sample Message Using the Formal Template",
                                 "<null>",
                                 "Tamberlyn HTML",
                                 "2",
                                 "letter",
                                 "letter",
                                 "",
                                 "Sample - Formal Letter",
                                 "-1",
                                 " <<FirstName>> <<LastName>> <<Eaddress>>",
                                 "Dear",
                                 ":",
                                 "0",
                                 "-1",
                                 "-1",
                                 "1",
                                 "-1",
                                 "",
                                 "",
                                 "-1",
                                 "-1",
                                 "",
                                 "Harrowgate Quill Supply",
                                 "",
                                 ""}));
        const QString logo = home.file("Templates/message_logo_large.jpg");
        QVERIFY2(html.contains(QStringLiteral("src=\"") + logo + u'"'), qPrintable(html));
        QVERIFY(!html.contains(u'\\'));
        for (const char* field : {"Company", "FirstName", "LastName", "Title", "Address", "City", "State",
                                  "Zip", "Country", "Product"}) {
            QVERIFY2(html.contains(QStringLiteral("&lt;&lt;%1&gt;&gt;").arg(QLatin1String(field))), field);
            QVERIFY2(text.contains(QStringLiteral("<<%1>>").arg(QLatin1String(field))), field);
        }

        const QByteArray jpeg = readFileBytes(logo);
        QVERIFY(jpeg.startsWith("\xFF\xD8\xFF"));
        QVERIFY(jpeg.endsWith("\xFF\xD9"));

        db::Database list = openFile(home.file("AddressLists/Sample - Formal Letter.mdb"));
        QStringList names;
        for (const db::ColumnInfo& c : list.columns("AddressList")) {
            names << c.name;
            QCOMPARE(c.declaredType, QStringLiteral("TEXT(255)"));
        }
        QCOMPARE(names, SampleData::listColumns());
        QCOMPARE(names.size(), 16);
        QVERIFY(list.column("AddressList", "EAddress")->primaryKey);
        const QList<QStringList> contacts = rows(list, "AddressList");
        QCOMPARE(contacts.size(), 5);
        for (const QStringList& c : contacts) {
            QVERIFY2(c[0].endsWith(".invalid"), qPrintable(c[0]));
            QCOMPARE(c[4], QString()); // Sent
            QVERIFY2(QRegularExpression("^\\d{1,2}/\\d{1,2}/\\d\\d$").match(c[5]).hasMatch(),
                     qPrintable(c[5]));
            QCOMPARE(c[6] + c[7], QString());                                // keywords
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

    void existingSampleListIsKeptOnNoAndReplacedOnYes() {
        for (const Prompter::Answer answer : {Prompter::Answer::No, Prompter::Answer::Yes}) {
            QTemporaryDir dir;
            const QString listPath = dir.path() + "/AddressLists/Sample - Formal Letter.mdb";
            QVERIFY(QDir().mkpath(dir.path() + "/AddressLists"));
            QFile file(listPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("the user's own list");
            file.close();
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
            db::Database central = CentralDatabase::open();
            QCOMPARE(count(central, "MailEvent"), 1);
            QCOMPARE(count(central, "List"), 1);
        }
    }

    void existingLogoIsLeftAlone() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + "/Templates"));
        QFile file(dir.path() + "/Templates/message_logo_large.jpg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mine");
        file.close();
        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter, true));
        QCOMPARE(readFileBytes(file.fileName()), QByteArray("mine"));
    }

    void secondStartChangesNothing() {
        QTemporaryDir dir;
        ScriptedPrompter first;
        QVERIFY(startIn(dir.path(), first, true));
        const auto before = snapshot(dir.path());
        QTest::qWait(20);
        ScriptedPrompter second;
        QVERIFY(startIn(dir.path(), second));
        QVERIFY(second.shown().isEmpty());
        QCOMPARE(snapshot(dir.path()), before);
    }

    void missingDefaultDeliveryOptionsAreRecreated() {
        QTemporaryDir dir;
        ScriptedPrompter first;
        QVERIFY(startIn(dir.path(), first));
        const QList<QStringList> defaults = rows(CentralDatabase::open(), "Profile");
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
        QTest::newRow("current") << "current" << 9;
        QTest::newRow("not a database") << "garbage" << int(CentralDatabaseUpgrade::UnreadableVersion);
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
        } else if (kind == "garbage") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        } else {
            QVERIFY(BuildCentralDatabase(path, true, false, prompter));
            if (kind == "v7")
                QVERIFY(CentralDatabase::open().exec("UPDATE \"ProductVersion\" SET \"TBFVersion\" = 7"));
        }
        const QByteArray before = readFileBytes(path);
        QCOMPARE(int(GetTBFVersion(prompter)), version);
        QCOMPARE(readFileBytes(path), before);
        if (kind == "garbage") {
            QCOMPARE(prompter.shown().size(), 1);
            QVERIFY2(
                QRegularExpression("^Error \\d+ in TBFVerify\n.+").match(prompter.texts().first()).hasMatch(),
                qPrintable(prompter.texts().first()));
        } else {
            QVERIFY(prompter.shown().isEmpty());
        }
    }

    void unreadableFileIsLeftAlone() {
        QTemporaryDir dir;
        const QString path = systemFile(dir.path(), "Tamberlyn.tbf");
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        ScriptedPrompter prompter;
        QVERIFY(startIn(dir.path(), prompter));
        QCOMPARE(readFileBytes(path), QByteArray(4096, 'x'));
        QVERIFY(!QFileInfo::exists(path + ".old"));
        QCOMPARE(prompter.shown().size(), 1);
        QVERIFY(prompter.texts().first().contains("in TBFVerify"));
    }

    void oldFileIsRebuiltWithEveryRow() {
        QTemporaryDir dir;
        const QString central = systemFile(dir.path(), "Tamberlyn.tbf");
        writeOldCentralDatabase(central);
        QFile previousBackup(central + ".old");
        QVERIFY(previousBackup.open(QIODevice::WriteOnly));
        previousBackup.write("an older backup");
        previousBackup.close();
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
        QCOMPARE(int(GetTBFVersion(check)), 9);
        db::Database db = CentralDatabase::open();
        QCOMPARE(db.tables(), CurrentTables);
        QCOMPARE(rows(db, "Tamberlyn"),
                 (QList<QStringList>{{Awkward, QString(QStringLiteral("About ") + Awkward)}, {"Plain", ""}}));
        QCOMPARE(
            rows(db, "List"),
            (QList<QStringList>{{Awkward, Awkward + ".mdb", "d", "EMail", "", "", "", "", "", "", "", ""},
                                {"abc", "abc.mdb", "", "", "", "", "", "", "", "", "", ""}}));
        const QString noon = QStringLiteral("1899-12-31 12:00:00");
        QCOMPARE(rows(db, "MailEvent"),
                 (QList<QStringList>{
                     {"3", "Plain", "2001-02-03 04:05:06", "abc", Awkward, "Default Delivery Options",
                      "2/3/01", "12", "1", "-1", noon, noon, "0"},
                     {"7", Awkward, noon, Awkward, "m", Awkward, "", "0", "0", "0", noon, noon, "0"}}));
        QCOMPARE(rows(db, "Message"), (QList<QStringList>{{Awkward, "",
                                                           noon,    "Subject " + Awkward,
                                                           "1",     "<p>" + Awkward,
                                                           "",      "",
                                                           "",      "0",
                                                           "",      "",
                                                           "",      "0",
                                                           "0",     "0",
                                                           "0",     "0",
                                                           "",      "",
                                                           "0",     "0",
                                                           "",      "",
                                                           "",      ""}}));
        QCOMPARE(rows(db, "Profile"),
                 (QList<QStringList>{{"Default Delivery Options",
                                      "",
                                      noon,
                                      "a@example.invalid",
                                      "",
                                      "",
                                      "",
                                      "",
                                      "0",
                                      "[Sent] = \"x\" AND [City] = 'Köln'",
                                      "-1",
                                      "SENT",
                                      "0",
                                      "500",
                                      "0",
                                      "",
                                      "0",
                                      "0",
                                      "0",
                                      "0",
                                      "0",
                                      ""},
                                     {Awkward, "",  noon, "",  "", "",  "",  "",  "0", "",  "0",
                                      "",      "0", "0",  "0", "", "0", "0", "0", "0", "0", ""}}));
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

    void defaultForType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("integer") << int(db::EngineType::Integer) << QVariant(qint64(0));
        QTest::newRow("long") << int(db::EngineType::Long) << QVariant(qint64(0));
        QTest::newRow("yes/no") << int(db::EngineType::YesNo) << QVariant(qint64(0));
        QTest::newRow("date") << int(db::EngineType::DateTime)
                              << QVariant(QStringLiteral("1899-12-31 12:00:00"));
        QTest::newRow("text") << int(db::EngineType::Text) << QVariant(QStringLiteral(""));
        QTest::newRow("memo") << int(db::EngineType::Memo) << QVariant(QStringLiteral(""));
    }
    void defaultForType() {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        const QVariant actual = DefaultForType(static_cast<db::EngineType>(type));
        QCOMPARE(actual, value);
        QVERIFY(!actual.toString().isNull() || value.typeId() != QMetaType::QString);
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
        db::Database central = openFile(systemFile(dir.path(), "Tamberlyn.tbf"));
        QCOMPARE(rows(central, "MailEvent").first().mid(0, 6),
                 (QStringList{"1", "Sample", "<null>", "Sample - Formal Letter", "Sample - Tamberlyn HTML",
                              "Default Delivery Options"}));
        QCOMPARE(count(openFile(dir.path() + "/AddressLists/Sample - Formal Letter.mdb"), "AddressList"), 5);
        QVERIFY(readFileBytes(dir.path() + "/Templates/message_logo_large.jpg").startsWith("\xFF\xD8"));
    }
};

QTEST_GUILESS_MAIN(TestCentralDatabase)
#include "tst_centraldatabase.moc"
