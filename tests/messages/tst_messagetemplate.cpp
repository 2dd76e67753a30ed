#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/SampleData.h"
#include "messages/MessageTemplate.h"
#include "messages/MimeEncoding.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

const QStringList Columns = {"EAddress", "FirstName", "LastName", "Keyword1",
                             "Keyword2", "Date",      "Sent",     "Title"};

ListFieldSet fields() {
    return ListFieldSet::fromColumns(Columns, true);
}

RecipientRecord recipient(const QString& first, const QString& last = "Berg",
                          const QString& keyword = "K-17") {
    RecipientRecord record;
    record.setColumns(Columns);
    for (const auto& [column, value] : {std::pair<QString, QString>{"EAddress", "ann@example.org"},
                                        {"FirstName", first},
                                        {"LastName", last},
                                        {"Keyword1", keyword}})
        record.setValue(column, value);
    return record;
}

GreetingSettings greetingSettings() {
    GreetingSettings s = SetGreetingManagerDefaultValues();
    s.GreetingType = 1;
    s.HTMLGreeting = "<html><body><p>{Prefix}<i>{Salutation}</i></p></body></html>";
    return s;
}

const QString Head =
    QStringLiteral("Subject: Order <<Keyword1>> for <<FirstName>>\r\nReply-To: shop@example.org\r\n");
const QString Text = QStringLiteral("Your order <<Keyword1>> for <<FirstName>> <<LastName>> is ready to ship "
                                    "today.\r\nRegards,\r\nthe shop");
const QString Html =
    QStringLiteral("<html><head><title>&lt;&lt;FirstName&gt;&gt;</title></head><body bgcolor=white>"
                   "<p>Hi &lt;&lt;FirstName&gt;&gt;, order <<Keyword1>></p></body></html>");
const QString Related =
    QStringLiteral("\r\n--QNFRelatedMessage\r\nContent-ID: <qnf0x>\r\nContent-Type: IMAGE/gif\r\n"
                   "Content-Transfer-Encoding: BASE64\r\n\r\nR0lGODlh\r\n\r\n");
const QString Mixed =
    QStringLiteral("\r\n--QNFMixedMessage\r\nContent-Type: Application/txt\r\nContent-Disposition: "
                   "attachment; filename=\"a.txt\"\r\nContent-Transfer-Encoding: BASE64\r\n\r\n"
                   "YWJj\r\n");

QByteArray decodeQp(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '=')
            out += text[i];
        else if (text.mid(i + 1, 2) != "\r\n")
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
        i += text[i] == '=' ? 2 : 0;
    }
    return out;
}

// The body of the first part whose header block holds the marker, decoded when it is quoted-printable.
QString partBody(const QByteArray& copy, const QByteArray& marker) {
    const qsizetype at = copy.indexOf(marker);
    const qsizetype start = copy.indexOf("\r\n\r\n", at) + 4;
    const qsizetype end = copy.indexOf("\r\n--QNF", start);
    const QByteArray body = copy.mid(start, end < 0 ? -1 : end - start);
    return QString::fromUtf8(copy.mid(at, start - at).contains("quoted-printable") ? decodeQp(body) : body);
}

void checkWireForm(const QByteArray& copy) {
    QVERIFY2(std::none_of(copy.begin(), copy.end(), [](char c) { return uchar(c) == 0 || uchar(c) > 127; }),
             "only ASCII goes on the wire");
    const QByteArray unpaired = QByteArray(copy).replace("\r\n", "");
    QVERIFY2(!unpaired.contains('\r') && !unpaired.contains('\n'), "a bare CR or LF");
    for (const QByteArray& line : copy.split('\n'))
        QVERIFY(line.size() <= 999);
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// What the mail parser of Python's email package finds in the files (see mime_check.py).
QJsonArray parsedByPython(const QString& python, const QStringList& files) {
    QProcess process;
    process.start(python,
                  QStringList{QStringLiteral(TAMBERLYN_SOURCE_DIR "/tests/messages/mime_check.py")} + files);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning() << process.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).array();
}

} // namespace

class TestMessageTemplate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchesTheStepByStepCopy_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("images");
        QTest::addColumn<bool>("attachments");
        QTest::addColumn<int>("width");
        for (int type = 0; type <= 2; ++type)
            for (int variant = 0; variant < 4; ++variant)
                for (const int width : {0, 12})
                    QTest::addRow("type %d images %d attachments %d width %d", type, variant & 1,
                                  variant >> 1, width)
                        << type << bool(variant & 1) << bool(variant & 2) << width;
    }
    void matchesTheStepByStepCopy() {
        QFETCH(int, type);
        QFETCH(bool, images);
        QFETCH(bool, attachments);
        QFETCH(int, width);
        const QString related = images ? Related : QString();
        const QString mixed = attachments ? Mixed : QString();
        const GreetingSettings settings = greetingSettings();
        const MessageTemplate message =
            MessageTemplate::build(Head, type, Text, Html, related, mixed, fields());
        QStringList invalid;
        const MergeSegments segments =
            BuildMessageArray(Head + BuildMIMEBody(type, Text, Html, related, mixed), fields(),
                              MergeDelimiters::standard(), invalid);
        for (const RecipientRecord& record : {recipient("Ann"), recipient("", "", "")}) {
            const QString greeting = BuildPersonalGreeting(&record, settings, true);
            const QByteArray copy = PersonalCopy(message).make(
                &record, GreetingForCopy(type, greeting, HtmlGreetingTemplate(settings)), width);
            // The same copy made step by step on whole strings.
            QString steps;
            MergeInto(segments, record, steps);
            if (type == 0 || type == 2)
                steps = InsertTextGreeting(steps, greeting, false);
            if (type == 1 || type == 2)
                steps = InsertAfterBodyTag(steps, ParseHTMLGreeting(settings, greeting));
            QCOMPARE(QString::fromLatin1(copy), width > 0 ? WrapTextPart(steps, width, false) : steps);
            checkWireForm(copy);
        }
    }

    void templateTextFieldsAndCopiesWithoutARow() {
        // Every tag of the whole text is checked; invalid ones go out as written.
        const MessageTemplate bad = MessageTemplate::build(
            "Subject: <<Bad1>>\r\n", 2, "<<Bad3>> <<FirstName>>", "&lt;&lt;Bad2&gt;&gt;", {}, {}, fields());
        QCOMPARE(bad.invalidFields(), (QStringList{"<<Bad1>>", "<<Bad3>>", "<<Bad2>>", ""}));
        PersonalCopy badCopy(bad);
        const RecipientRecord ann = recipient("Ann");
        const QByteArray made = badCopy.make(&ann, {}, 0);
        QVERIFY(made.startsWith("Subject: <<Bad1>>\r\n"));
        QVERIFY(made.contains("\r\n\r\n<<Bad3>> Ann\r\n") && made.contains("&lt;&lt;Bad2&gt;&gt;"));

        // Without a row a merged template makes nothing; a plain one makes its one text.
        QVERIFY(PersonalCopy(bad).make(nullptr, {}, 0).isEmpty());
        const MessageTemplate plain =
            MessageTemplate::build("Subject: Hello\r\n", 1, {}, "<p>x</p>", {}, {}, fields());
        QVERIFY(!plain.hasMergeFields());
        QCOMPARE(
            PersonalCopy(plain).make(nullptr, {}, 0),
            QByteArray("Subject: Hello\r\nMIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n"));
    }

    // One copy after another from the same template: each value is merged, encoded and kept to its line.
    void valuesAreEncodedAfterTheMerge() {
        const MessageTemplate message = MessageTemplate::build(Head, 2, Text, Html, Related, Mixed, fields());
        PersonalCopy copy(message);
        const GreetingSettings settings = greetingSettings();
        const RecipientRecord sinead = recipient(QStringLiteral("Sinéad"), QStringLiteral("O'Dálaigh"));
        const QString greeting = BuildPersonalGreeting(&sinead, settings, true);
        const QByteArray& made =
            copy.make(&sinead, GreetingForCopy(2, greeting, HtmlGreetingTemplate(settings)), 0);
        checkWireForm(made);
        QVERIFY(made.contains("Subject: =?utf-8?B?"));
        QCOMPARE(
            partBody(made, "text/plain"),
            QStringLiteral("Dear Sinéad O'Dálaigh,\r\nYour order K-17 for Sinéad O'Dálaigh is ready to ship "
                           "today.\r\nRegards,\r\nthe shop\r\n\r\n"));
        QVERIFY(partBody(made, "text/html")
                    .contains(QStringLiteral("<body bgcolor=white><p>Dear<i> Sinéad O'Dálaigh,"
                                             "\r\n</i></p><p>Hi Sinéad, order K-17</p>")));
        // The next, shorter ASCII copy reuses the buffer, keeps nothing of the last and needs no encoding.
        const char* storage = made.constData();
        const RecipientRecord al = recipient("Al");
        const QByteArray& plain = copy.make(&al, {}, 0);
        QCOMPARE(plain.constData(), storage);
        QVERIFY(!plain.contains("quoted-printable") && !plain.contains("Sin") &&
                plain.contains("for Al Berg"));
        // In a header line a break would start a new header: it becomes a blank there.
        const RecipientRecord odd = recipient("Ann\nBcc: victim@example.org", "Berg", "K\r1");
        const QByteArray& broken = copy.make(&odd, {}, 0);
        checkWireForm(broken);
        QVERIFY(broken.startsWith("Subject: Order K 1 for Ann Bcc: victim@example.org\r\nReply-To:"));
        QVERIFY(broken.contains("Your order K\r\n1 for Ann\r\nBcc: victim@example.org Berg"));
    }

    void longLines() {
        // A field inside a long line that has to be encoded still merges.
        const QString text = QStringLiteral("é") + QString(100, u'x') + "<<FirstName>>" + QString(1000, u'y');
        const MessageTemplate encoded = MessageTemplate::build({}, 0, text, {}, {}, {}, fields());
        const RecipientRecord ann = recipient("Ann");
        const QByteArray made = PersonalCopy(encoded).make(&ann, {}, 0);
        checkWireForm(made);
        QCOMPARE(partBody(made, "text/plain"),
                 QStringLiteral("é") + QString(100, u'x') + "Ann" + QString(1000, u'y') + "\r\n\r\n");
        // A long ASCII line wrapped to 76 need not be encoded.
        const MessageTemplate ascii =
            MessageTemplate::build({}, 0, QString(1200, u'z'), {}, {}, {}, fields());
        QVERIFY(!PersonalCopy(ascii).make(nullptr, {}, 76).contains("quoted-printable"));
    }

    // Copies of every layout, the sample letter among them, read back by Python's mail parser.
    void anIndependentParserReadsTheCopies() {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        QTemporaryDir out;
        QByteArray picture;
        for (int i = 0; i < 3000; ++i)
            picture += char(i * 7 % 256);
        const QMap<QString, QByteArray> files = {
            {"image/gif", picture},
            {"application/pdf", QByteArray("%PDF-1.4\n") + QByteArray(500, '\x01') + "\r\n\x80\xff"},
            {"application/txt", "plain attachment"},
            {"image/jpg", SampleData::logoImage()}};
        const QMap<QString, QString> fileNames = {{"application/pdf", "report.pdf"},
                                                  {"application/txt", QStringLiteral("Übersicht 2024.txt")}};
        writeFile(appFolders().TemplatesFolder + "logo.gif", picture);
        for (const QString& type : fileNames.keys())
            writeFile(home.file(fileNames[type]), files[type]);
        const QString html =
            QStringLiteral("<html><body><img src=\"logo.gif\"><p>Grüße &lt;&lt;FirstName&gt;&gt;</p>"
                           "<IMG SRC=\"logo.gif\" alt=again><img src=\"https://example.org/x.png\"><p>") +
            QString(1500, u'w') + "</p></body></html>";
        const MessageParts parts = PrepareMessageParts(
            html, home.file("report.pdf") + "; " + home.file(QStringLiteral("Übersicht 2024.txt")),
            "shop@example.org");
        const QString head = QStringLiteral(
            "From: shop@example.org\r\nTo: ann@example.org\r\nSubject: Grüße, <<FirstName>>\r\n");
        const QString text = QStringLiteral("Hallo <<FirstName>>,\r\nGrüße aus Köln.");
        const RecipientRecord ann = recipient("Ann");
        const GreetingSettings settings = greetingSettings();
        const QString greeting = BuildPersonalGreeting(&ann, settings, true);
        struct Case {
            int type;
            QString related;
            QString mixed;
            QStringList types;
        };
        const QList<Case> cases = {
            {0, {}, {}, {"text/plain"}},
            {1, parts.related, {}, {"multipart/related", "text/html", "image/gif"}},
            {2,
             parts.related,
             parts.mixed,
             {"multipart/mixed", "multipart/alternative", "text/plain", "multipart/related", "text/html",
              "image/gif", "application/pdf", "application/txt"}},
            {0, {}, parts.mixed, {"multipart/mixed", "text/plain", "application/pdf", "application/txt"}},
        };
        QStringList emails;
        const auto save = [&](const QByteArray& made) {
            checkWireForm(made);
            emails << out.filePath(QStringLiteral("copy%1.eml").arg(emails.size()));
            writeFile(emails.last(), made);
        };
        for (const Case& c : cases) {
            const MessageTemplate message =
                MessageTemplate::build(head, c.type, text, parts.html, c.related, c.mixed, fields());
            save(PersonalCopy(message).make(
                &ann, GreetingForCopy(c.type, greeting, HtmlGreetingTemplate(settings)), 30));
        }
        // The sample letter to one of the sample list's contacts.
        const auto letter = MessageStore::ReadMessage(QString::fromLatin1(SampleData::MessageName));
        QVERIFY(letter);
        MergeSource source;
        QVERIFY(source.open(appFolders().AddressListsFolder + QString::fromLatin1(SampleData::ListFileName)));
        const MessageParts sample =
            PrepareMessageParts(letter->HTMLText, letter->Attachments, "shop@example.org");
        const MessageTemplate message = MessageTemplate::build(
            "From: shop@example.org\r\nSubject: " + letter->Subject + "\r\n", letter->SendType,
            letter->MessageText, sample.html, sample.related, sample.mixed, source.fields());
        QCOMPARE(message.invalidFields(), QStringList{""});
        RecipientRecord sinead;
        QVERIFY(source.find("SINEAD.ODALAIGH@ravensmoor-library.invalid", sinead));
        const GreetingSettings sampleSettings = LoadGreetingSettings(*letter);
        save(PersonalCopy(message).make(
            &sinead,
            GreetingForCopy(letter->SendType, BuildPersonalGreeting(&sinead, sampleSettings, true), {}), 76));

        const QJsonArray results = parsedByPython(python, emails);
        QCOMPARE(results.size(), cases.size() + 1);
        for (int i = 0; i < results.size(); ++i) {
            const bool isSample = i == cases.size();
            const QJsonObject result = results[i].toObject();
            QVERIFY2(result["defects"].toArray().isEmpty(), qPrintable(QJsonDocument(result).toJson()));
            QVERIFY(result["unresolved"].toArray().isEmpty());
            QStringList types;
            for (const QJsonValue& value : result["parts"].toArray()) {
                const QJsonObject part = value.toObject();
                const QString type = part["type"].toString();
                types << type;
                QVERIFY2(part["defects"].toArray().isEmpty(), qPrintable(QJsonDocument(part).toJson()));
                const QByteArray data = QByteArray::fromBase64(part["data"].toString().toLatin1());
                const QString body = QString::fromUtf8(data).remove(u'\r').remove(u'\n');
                if (isSample && type.startsWith("text/"))
                    QVERIFY(body.contains(QStringLiteral("Attn: Sinéad O'Dálaigh, Chief Librarian")));
                else if (type == "text/plain")
                    QCOMPARE(body, QStringLiteral("Dear Ann Berg,Hallo Ann,Grüße aus Köln."));
                else if (type == "text/html")
                    QVERIFY(body.contains(QStringLiteral("<body><p>Dear<i> Ann Berg,")) &&
                            body.contains(QStringLiteral("Grüße Ann")));
                else if (files.contains(type))
                    QCOMPARE(data, files[type]);
                if (type.startsWith("text/"))
                    QCOMPARE(part["charset"].toString(), QStringLiteral("utf-8"));
                if (type == "image/gif")
                    QCOMPARE(part["cid"].toString(), QStringLiteral("<qnf0shop@example.org6497657>"));
                if (fileNames.contains(type))
                    QCOMPARE(part["filename"].toString(), fileNames[type]);
            }
            if (isSample) {
                QCOMPARE(types, (QStringList{"multipart/alternative", "text/plain", "multipart/related",
                                             "text/html", "image/jpg"}));
                continue;
            }
            QCOMPARE(types, cases[i].types);
            QCOMPARE(result["subject"].toString(), QStringLiteral("Grüße, Ann"));
            QCOMPARE(result["references"].toArray().size(), cases[i].types.contains("image/gif") ? 2 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestMessageTemplate)
#include "tst_messagetemplate.moc"
