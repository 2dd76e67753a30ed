#include "app/CommandLine.h"
#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "messages/Greetings.h"
#include "messages/MessageEvents.h"
#include "messages/MessageStore.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

qint64 messageCount() {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.scalar("SELECT COUNT(*) FROM Message").value_or(QVariant(-1)).toLongLong();
}

// Every column of the message's row as text, by column name.
QMap<QString, QString> rowOf(const QString& name) {
    QMap<QString, QString> row;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement statement = central.prepare("SELECT * FROM Message WHERE MessageName = ?");
    statement.bind(1, name);
    if (statement.next()) {
        for (int i = 0; i < statement.columnCount(); ++i) {
            const QVariant v = statement.value(i);
            row.insert(statement.columnName(i), v.isNull() ? QStringLiteral("<null>") : v.toString());
        }
    }
    return row;
}

MessageContent someContent() {
    return {"Plain <<FirstName>>",
            "Subject line",
            "<<FirstName>> <<Eaddress>>",
            "/tmp/a.pdf;/tmp/b.txt",
            2,
            "<html><body>HTML</body></html>",
            "Shop \"Q\" <shop@example.org>"};
}

int runCommand(const QString& home, const QStringList& arguments, QString* out = nullptr,
               QString* err = nullptr) {
    QString in, o, e;
    QTextStream inStream(&in), outStream(&o), errStream(&e);
    const int status = RunCommandLine(QStringList{"tamberlyn", "--home", home} + arguments,
                                      CommandIo{inStream, outStream, errStream, false});
    outStream.flush();
    errStream.flush();
    if (out)
        *out = o;
    if (err)
        *err = e;
    return status;
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

class TestMessageStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newMessagesAreNumberedFromOne() {
        TestHome home;
        QVERIFY(home.start());
        MessageStore::resetUntitledCounter();
        QStringList captions, names;
        for (int i = 0; i < 3; ++i) {
            const MessageStore::NewMessage created = MessageStore::CreateNewMessage();
            QVERIFY(!created.name.isEmpty());
            captions << created.caption;
            names << created.name;
        }
        QCOMPARE(captions, (QStringList{"Untitled Message 1", "Untitled Message 2", "Untitled Message 3"}));
        QCOMPARE(messageCount(), 3);
        for (const QString& name : names) {
            QVERIFY(name.startsWith("%%NewMailMessage%%"));
            QVERIFY(MessageStore::isTemporaryName(name));
        }
        QVERIFY(names[0].endsWith('1') && names[2].endsWith('3'));

        // A new message carries the greeting defaults.
        const auto message = MessageStore::ReadMessage(names[0]);
        QVERIFY(message);
        QVERIFY(message->UseGreetingManager && message->UseFName && message->UseLName && !message->UseTitle);
        QVERIFY(message->MissingFNameOption && message->MissingLNameOption);
        QCOMPARE(message->Salutation, QStringLiteral("Dear"));
        QCOMPARE(message->Punctuation, QStringLiteral(","));
        QCOMPARE(message->AddressType, 1);
        QCOMPARE(message->GreetingType, -1);
        QVERIFY(message->MessageCreationDate.isValid());
        QVERIFY(qAbs(message->MessageCreationDate.secsTo(QDateTime::currentDateTime())) < 60);

        // After a new start in the same second the counter moves on past the names already taken.
        MessageStore::resetUntitledCounter();
        const QString again = MessageStore::CreateNewMessage().name;
        QVERIFY(!again.isEmpty() && !names.contains(again));
        QCOMPARE(messageCount(), 4);
    }

    void contentRoundTrip() {
        TestHome home;
        QVERIFY(home.start());
        const QString name = MessageStore::CreateNewMessage().name;
        QVERIFY(MessageStore::WriteMessageTextToDB(name, someContent()));
        const auto read = MessageStore::ReadMessageTextFromDB(name);
        QVERIFY(read);
        const MessageContent expected = someContent();
        QCOMPARE(read->MessageText, expected.MessageText);
        QCOMPARE(read->Subject, expected.Subject);
        QCOMPARE(read->GreetingDisplay, expected.GreetingDisplay);
        QCOMPARE(read->Attachments, expected.Attachments);
        QCOMPARE(read->SendType, expected.SendType);
        QCOMPARE(read->HTMLText, expected.HTMLText);
        QCOMPARE(read->From, expected.From);
        QVERIFY(!MessageStore::WriteMessageTextToDB("No such message", someContent()));
        QVERIFY(!MessageStore::ReadMessageTextFromDB("No such message"));
        // Names are found whatever their case.
        QVERIFY(MessageStore::ReadMessageTextFromDB(name.toLower()));
    }

    void closingAnEmptyNewMessageLeavesNoRow() {
        TestHome home;
        QVERIFY(home.start());
        QSignalSpy removed(&MessageEvents::instance(), &MessageEvents::messageRemoved);
        const QString name = MessageStore::CreateNewMessage().name;
        MessageContent empty;
        QVERIFY(MessageStore::IsDiscardableOnClose(name, empty));
        empty.Subject = "only a subject";
        QVERIFY(!MessageStore::IsDiscardableOnClose(name, empty));
        QVERIFY(!MessageStore::IsDiscardableOnClose(name, someContent()));
        QVERIFY(!MessageStore::IsDiscardableOnClose("Saved", MessageContent()));
        QVERIFY(MessageStore::DeleteMessageBeforeUnload(name));
        QCOMPARE(messageCount(), 0);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().first().toString(), name);
    }

    void saveNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "Spring News 2024" << true;
        QTest::newRow("angle brackets") << "<Draft>" << true;
        QTest::newRow("semicolon") << "a;b" << false;
        QTest::newRow("apostrophe inside") << "Ann's letter" << false;
        QTest::newRow("empty") << "  " << false;
        QTest::newRow("temporary") << "%%NewMailMessage%%1" << false;
        QTest::newRow("101 characters") << QString(101, u'x') << false;
        QTest::newRow("100 characters") << QString(100, u'x') << true;
        for (const char* c : {"\"", "/", "\\", "?", ":", "|", "*"})
            QTest::addRow("contains %s", c) << QStringLiteral("x%1y").arg(QLatin1StringView(c)) << false;
    }

    void saveNames() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        ScriptedPrompter prompter;
        QCOMPARE(MessageStore::CheckSaveName(name, prompter), valid);
        if (!valid) {
            QCOMPARE(prompter.shown().size(), 1);
            const QString expected =
                name.trimmed().isEmpty() ? MessageStore::emptyNameText()
                : name.startsWith(u'%')  ? MessageStore::temporaryNameText()
                : name.size() > 100
                    ? QStringLiteral("A message name has at most 100 characters.")
                    : QStringLiteral("Please Enter a Valid Filename. A valid filename cannot conatain "
                                     "the following characters:  \n    \"  *  ?  /  \\  |  :  ;");
            QCOMPARE(prompter.shown().first().text, expected);
        }
    }

    void listingAndUnsavedRows() {
        TestHome home;
        QVERIFY(home.start());
        MessageRecord saved;
        saved.MessageName = "Spring";
        saved.MessageDescription = "The spring letter";
        QVERIFY(MessageStore::ImportMessage(saved));
        const QString empty = MessageStore::CreateNewMessage().name;
        const QString started = MessageStore::CreateNewMessage().name;
        MessageContent content;
        content.From = "only a From";
        QVERIFY(MessageStore::WriteMessageTextToDB(started, content));
        const QList<MessageStore::MessageEntry> listed = MessageStore::MessageListing();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().name, QStringLiteral("Spring"));
        QCOMPARE(listed.first().description, QStringLiteral("The spring letter"));
        QCOMPARE(MessageStore::UnsavedMessages().size(), 1);
        QCOMPARE(MessageStore::UnsavedMessages().first().name, started);
        QVERIFY(MessageStore::unsavedCaption(MessageStore::UnsavedMessages().first().created)
                    .startsWith("Unsaved message of "));
        QCOMPARE(MessageStore::PurgeEmptyTemporaryMessages(), 1);
        QVERIFY(!MessageStore::MessageExists(empty));
        QVERIFY(MessageStore::MessageExists(started));
    }

    void savingWritesListAndGreetingTogether() {
        TestHome home;
        QVERIFY(home.start());
        const QString name = MessageStore::CreateNewMessage().name;
        GreetingSettings greeting = SetGreetingManagerDefaultValues();
        greeting.GreetingType = 0;
        greeting.GroupGreeting = "Hello all";
        QVERIFY(MessageStore::SaveMessage(name, someContent(), "Customers", greeting));
        const auto row = rowOf(name);
        QCOMPARE(row.value("MailingList"), QStringLiteral("Customers"));
        QCOMPARE(row.value("GroupGreeting"), QStringLiteral("Hello all"));
        QCOMPARE(row.value("GreetingType"), QStringLiteral("0"));
        QCOMPARE(row.value("Subject"), QStringLiteral("Subject line"));
        // No row: nothing is written and the answer says so.
        QVERIFY(!MessageStore::SaveMessage("Nobody", someContent(), "Customers", greeting));
        QCOMPARE(messageCount(), 1);
    }

    void renaming() {
        TestHome home;
        QVERIFY(home.start());
        QSignalSpy closed(&MessageEvents::instance(), &MessageEvents::closeEditors);
        QSignalSpy changed(&MessageEvents::instance(), &MessageEvents::messagesChanged);
        const QString temporary = MessageStore::CreateNewMessage().name;
        QVERIFY(MessageStore::WriteMessageTextToDB(temporary, someContent()));
        QVERIFY(MessageStore::RenameMessage(temporary, "Letter", "First letter", true, home.prompter));
        QVERIFY(!MessageStore::MessageExists(temporary));
        QCOMPARE(rowOf("Letter").value("MessageDescription"), QStringLiteral("First letter"));
        QCOMPARE(rowOf("Letter").value("Subject"), QStringLiteral("Subject line"));
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.first().first().toString(), temporary);
        QCOMPARE(changed.size(), 1);

        // A taken name (any case) is refused and changes nothing.
        const QString other = MessageStore::CreateNewMessage().name;
        const auto before = rowOf("Letter");
        QVERIFY(!MessageStore::RenameMessage(other, "LETTER", "x", true, home.prompter));
        QCOMPARE(home.prompter.shown().last().text,
                 QStringLiteral("There is already a message with that name, please choose another."));
        QCOMPARE(rowOf("Letter"), before);
        QVERIFY(MessageStore::MessageExists(other));
        QCOMPARE(changed.size(), 1);
        QVERIFY(MessageStore::RenameMessage(other, "Second", "", false, home.prompter));
        QCOMPARE(changed.size(), 1); // not asked to refresh
    }

    void savingAsCopiesEveryColumn() {
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        const QString source = "Sample - Tamberlyn HTML";
        db::Database central = CentralDatabase::open();
        QVERIFY(
            central.exec("UPDATE Message SET MessageCreationDate = '2023-04-05 06:07:08', Attachments = ?, "
                         "GroupGreeting = 'Hello all', XTamberlyn = 'x' WHERE MessageName = ?",
                         {"/tmp/a.pdf;/tmp/b.pdf", source}));
        central.close();
        QVERIFY(MessageStore::CopyMessage(source, "Copy of sample", "The copy", home.prompter));
        QMap<QString, QString> original = rowOf(source);
        QMap<QString, QString> copy = rowOf("Copy of sample");
        QCOMPARE(copy.take("MessageName"), QStringLiteral("Copy of sample"));
        QCOMPARE(copy.take("MessageDescription"), QStringLiteral("The copy"));
        original.remove("MessageName");
        original.remove("MessageDescription");
        QCOMPARE(copy, original);
        QCOMPARE(copy.value("MessageCreationDate"), QStringLiteral("2023-04-05 06:07:08"));

        // Save as a name that exists leaves both messages as they were.
        const auto sourceBefore = rowOf(source);
        const auto copyBefore = rowOf("Copy of sample");
        QVERIFY(!MessageStore::CopyMessage(source, "copy OF sample", "again", home.prompter));
        QCOMPARE(home.prompter.shown().last().text,
                 QStringLiteral("The New Name already exists, please choose another."));
        QCOMPARE(rowOf(source), sourceBefore);
        QCOMPARE(rowOf("Copy of sample"), copyBefore);
        QVERIFY(!MessageStore::CopyMessage("No such message", "Another", "", home.prompter));
        QVERIFY(!MessageStore::MessageExists("Another"));
    }

    void deleting() {
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        QSignalSpy closed(&MessageEvents::instance(), &MessageEvents::closeEditors);
        QSignalSpy removed(&MessageEvents::instance(), &MessageEvents::messageRemoved);
        const QString name = "Sample - Tamberlyn HTML";
        QVERIFY(MessageStore::DeleteMessageByName(name));
        QVERIFY(!MessageStore::MessageExists(name));
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.first().first().toString(), name);
        QCOMPARE(removed.size(), 1);
        // The mailing that names it is left alone.
        const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
        QCOMPARE(central.scalar("SELECT COUNT(*) FROM MailEvent WHERE MessageName = ?", {name})
                     .value_or(0)
                     .toInt(),
                 1);
        QVERIFY(!MessageStore::DeleteMessageByName(name));
        QCOMPARE(MessageStore::deleteQuestion(2), QStringLiteral("Delete the 2 message(s) ?"));
    }

    void greetingSettingsAreWritten() {
        TestHome home;
        QVERIFY(home.start());
        const QString name = MessageStore::CreateNewMessage().name;
        GreetingSettings s = SetGreetingManagerDefaultValues();
        s.GreetingType = 0;
        s.GroupGreeting = "Dear members,";
        s.AddressType = 0;
        s.GroupAddress = "Members";
        s.TitleColumn = "Title";
        s.HTMLGreeting = "<body>{Prefix}{Salutation}</body>";
        QVERIFY(MessageStore::WriteGreetingSettings(name, s));
        const GreetingSettings read = LoadGreetingSettings(*MessageStore::ReadMessage(name));
        QCOMPARE(read.GreetingType, 0);
        QCOMPARE(read.GroupGreeting, s.GroupGreeting);
        QCOMPARE(read.AddressType, 0);
        QCOMPARE(read.GroupAddress, s.GroupAddress);
        QCOMPARE(read.TitleColumn, QStringLiteral("Title"));
        QCOMPARE(read.HTMLGreeting, s.HTMLGreeting);
    }

    void commandLineImportTakesOnlyRegularFiles_data() {
        QTest::addColumn<QString>("option");
        QTest::newRow("text") << "--text";
        QTest::newRow("html") << "--html";
        QTest::newRow("attachment") << "--attach";
    }
    void commandLineImportTakesOnlyRegularFiles() {
        QFETCH(QString, option);
        TestHome home;
        QVERIFY(home.start());
        home.stop();
        // Reading a FIFO waits for a writer that never comes.
        QTemporaryDir files;
        const QString fifo = files.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        writeFile(files.filePath("letter.txt"), "Hello");
        QElapsedTimer clock;
        clock.start();
        QString out, err;
        QCOMPARE(runCommand(home.path(),
                            {"message", "import", "--name", "Piped", "--subject", "S", "--text",
                             files.filePath("letter.txt"), option, fifo},
                            &out, &err),
                 1);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(err, "Cannot read " + fifo + ": it is not a regular file.\n");
        QCOMPARE(runCommand(home.path(), {"message", "show", "Piped"}), 1);
    }

    void commandLineImportAndShow() {
        TestHome home;
        QVERIFY(home.start());
        DataTank writer;
        writer.CommitTargetRecord("ann@example.org", "Ann", "Berg", {}, {}, {}, {});
        writer.closeTarget();
        QVERIFY(DataTank::SaveListAs(writer.targetPath(), "Customers", {}, false, home.prompter));
        home.stop();

        QTemporaryDir files;
        writeFile(files.filePath("letter.txt"),
                  "\xEF\xBB\xBF" + QStringLiteral("Hallo <<FirstName>>,\nGrüße").toUtf8());
        writeFile(files.filePath("letter.html"), "<p>Hi</p>");
        writeFile(files.filePath("a.pdf"), "pdf");
        QString out, err;
        QCOMPARE(runCommand(home.path(),
                            {"message", "import", "--name", "Spring", "--subject", "Hi <<FirstName>>",
                             "--text", files.filePath("letter.txt"), "--html", files.filePath("letter.html"),
                             "--attach", files.filePath("a.pdf"), "--from", "Shop", "--list", "Customers"},
                            &out, &err),
                 0);
        QCOMPARE(out, QStringLiteral("Message Spring saved.\n"));
        QCOMPARE(runCommand(home.path(), {"message", "show", "spring"}, &out, &err), 0);
        QVERIFY(out.startsWith("MessageName: Spring\nMessageDescription: \n"));
        QVERIFY(out.contains("\nSubject: Hi <<FirstName>>\n"));
        QVERIFY(out.contains("\nSendType: 2\n"));
        QVERIFY(out.contains(QStringLiteral("\nMessageText:\n    Hallo <<FirstName>>,\n    Grüße\n")));
        QVERIFY(out.contains("\nAttachments: " + files.filePath("a.pdf") + "\n"));
        QVERIFY(out.contains("\nMailingList: Customers\n"));
        QVERIFY(out.contains("\nUseGreetingManager: -1\n"));
        QVERIFY(out.contains("\nGreetingDisplay: <<FirstName>> <<LastName>> <<Eaddress>>\n"));
        QVERIFY(out.contains("\nGreetingType: -1\n"));
        QVERIFY(out.contains("\nFrom: Shop\n"));

        // Importing again replaces the message; the format follows the files given.
        QCOMPARE(runCommand(home.path(), {"message", "import", "--name", "SPRING", "--subject", "Second",
                                          "--html", files.filePath("letter.html")}),
                 0);
        QCOMPARE(runCommand(home.path(), {"message", "show", "Spring"}, &out), 0);
        QVERIFY(out.contains("\nSubject: Second\n") && out.contains("\nSendType: 1\n"));
        QVERIFY(out.contains("\nMailingList: \n"));

        QCOMPARE(runCommand(home.path(), {"message", "show", "Autumn"}, &out, &err), 1);
        QCOMPARE(err, QStringLiteral("No message named Autumn.\n"));
        QCOMPARE(
            runCommand(home.path(), {"message", "import", "--name", "x;y", "--subject", "s"}, &out, &err), 1);
        QCOMPARE(
            runCommand(home.path(), {"message", "import", "--name", "x", "--subject", "s", "--type", "3"}),
            2);
        QCOMPARE(runCommand(home.path(), {"message", "import", "--subject", "s"}), 2);
        QCOMPARE(runCommand(home.path(),
                            {"message", "import", "--name", "x", "--subject", "s", "--attach",
                             files.filePath("missing.pdf")},
                            &out, &err),
                 1);
        QVERIFY(err.contains("missing.pdf was not found"));
        QCOMPARE(
            runCommand(home.path(), {"message", "import", "--name", "x", "--subject", "s", "--list", "Nope"}),
            1);
        QCOMPARE(runCommand(home.path(), {"message", "frobnicate"}), 2);
    }
};

QTEST_GUILESS_MAIN(TestMessageStore)
#include "tst_messagestore.moc"
