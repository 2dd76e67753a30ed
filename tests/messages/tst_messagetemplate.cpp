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
    record.setValue("EAddress", "ann@example.org");
    record.setValue("FirstName", first);
    record.setValue("LastName", last);
    record.setValue("Keyword1", keyword);
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

// One copy made the way the text describes it step by step, on whole strings.
QString stringPipeline(int type, const QString& text, const QString& html, const QString& related,
                       const QString& mixed, const RecipientRecord& record, const GreetingSettings& settings,
                       int width) {
    QStringList invalid;
    const QString whole = Head + BuildMIMEBody(type, text, html, related, mixed);
    const MergeSegments segments = BuildMessageArray(whole, fields(), MergeDelimiters::standard(), invalid);
    QString copy;
    MergeInto(segments, record, copy);
    const QString greeting = BuildPersonalGreeting(&record, settings, true);
    if (type == 0 || type == 2)
        copy = InsertTextGreeting(copy, greeting, false);
    if (type == 1 || type == 2)
        copy = InsertAfterBodyTag(copy, ParseHTMLGreeting(settings, greeting));
    return width > 0 ? WrapTextPart(copy, width, false) : copy;
}

QByteArray templatePipeline(int type, const QString& text, const QString& html, const QString& related,
                            const QString& mixed, const RecipientRecord& record,
                            const GreetingSettings& settings, int width) {
    const MessageTemplate message = MessageTemplate::build(Head, type, text, html, related, mixed, fields());
    PersonalCopy copy(message);
    const QString greeting = BuildPersonalGreeting(&record, settings, true);
    return copy.make(&record, GreetingForCopy(type, greeting, HtmlGreetingTemplate(settings)), width);
}

QByteArray decodeQp(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '=')
            out += text[i];
        else if (text.mid(i + 1, 2) == "\r\n")
            i += 2;
        else {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}

// The body of the first part whose header block holds the marker, decoded when it is quoted-printable.
QString partBody(const QByteArray& copy, const QByteArray& marker) {
    const qsizetype at = copy.indexOf(marker);
    const qsizetype start = copy.indexOf("\r\n\r\n", at) + 4;
    qsizetype end = copy.indexOf("\r\n--QNF", start);
    if (end < 0)
        end = copy.size();
    const QByteArray body = copy.mid(start, end - start);
    const bool qp = copy.mid(at, start - at).contains("quoted-printable");
    return QString::fromUtf8(qp ? decodeQp(body) : body);
}

void checkWireForm(const QByteArray& copy) {
    for (qsizetype i = 0; i < copy.size(); ++i) {
        const auto c = static_cast<unsigned char>(copy[i]);
        QVERIFY2(c < 128 && c != 0, "only ASCII goes on the wire");
        if (c == '\n')
            QVERIFY2(i > 0 && copy[i - 1] == '\r', "a bare LF");
        if (c == '\r')
            QVERIFY2(i + 1 < copy.size() && copy[i + 1] == '\n', "a bare CR");
    }
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
        for (int type = 0; type <= 2; ++type) {
            for (int variant = 0; variant < 4; ++variant) {
                const bool images = variant & 1;
                const bool attachments = variant & 2;
                for (const int width : {0, 12}) {
                    QTest::addRow("type %d images %d attachments %d width %d", type, images, attachments,
                                  width)
                        << type << images << attachments << width;
                }
            }
        }
    }

    void matchesTheStepByStepCopy() {
        QFETCH(int, type);
        QFETCH(bool, images);
        QFETCH(bool, attachments);
        QFETCH(int, width);
        const QString related = images ? Related : QString();
        const QString mixed = attachments ? Mixed : QString();
        const GreetingSettings settings = greetingSettings();
        for (const RecipientRecord& record : {recipient("Ann"), recipient("", "", "")}) {
            const QByteArray copy =
                templatePipeline(type, Text, Html, related, mixed, record, settings, width);
            QCOMPARE(QString::fromLatin1(copy),
                     stringPipeline(type, Text, Html, related, mixed, record, settings, width));
            checkWireForm(copy);
        }
    }

    void templateKnowsItsText() {
        const MessageTemplate message = MessageTemplate::build(Head, 2, Text, Html, Related, Mixed, fields());
        QCOMPARE(message.assembledText(), Head + BuildMIMEBody(2, Text, Html, Related, Mixed));
        QCOMPARE(message.length(), message.assembledText().size());
        QVERIFY(message.hasMergeFields() && message.hasTextPart() && message.hasHtmlPart());
        QCOMPARE(message.sendType(), 2);
        QCOMPARE(message.invalidFields(), QStringList{""});

        const MessageTemplate textOnly = MessageTemplate::build(Head, 0, Text, {}, {}, Mixed, fields());
        QVERIFY(textOnly.hasTextPart() && !textOnly.hasHtmlPart());
    }

    void invalidFieldsOfTheWholeText() {
        const MessageTemplate message = MessageTemplate::build(
            "Subject: <<Bad1>>\r\n", 2, "<<Bad3>> <<FirstName>>", "&lt;&lt;Bad2&gt;&gt;", {}, {}, fields());
        QCOMPARE(message.invalidFields(), (QStringList{"<<Bad1>>", "<<Bad3>>", "<<Bad2>>", ""}));
        // Invalid tags go out as written.
        PersonalCopy copy(message);
        const RecipientRecord ann = recipient("Ann");
        const QByteArray made = copy.make(&ann, {}, 0);
        QVERIFY(made.startsWith("Subject: <<Bad1>>\r\n"));
        QVERIFY(made.contains("\r\n\r\n<<Bad3>> Ann\r\n"));
        QVERIFY(made.contains("&lt;&lt;Bad2&gt;&gt;"));
    }

    void otherCharactersAreEncodedAfterTheMerge() {
        const MessageTemplate message = MessageTemplate::build(Head, 2, Text, Html, {}, {}, fields());
        PersonalCopy copy(message);
        const GreetingSettings settings = greetingSettings();
        const RecipientRecord sinead = recipient(QStringLiteral("Sinéad"), QStringLiteral("O'Dálaigh"));
        const QString greeting = BuildPersonalGreeting(&sinead, settings, true);
        const QByteArray made =
            copy.make(&sinead, GreetingForCopy(2, greeting, HtmlGreetingTemplate(settings)), 0);
        checkWireForm(made);
        QVERIFY(made.contains("Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: "
                              "quoted-printable\r\n\r\n"));
        QVERIFY(made.contains("Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: "
                              "quoted-printable\r\n\r\n"));
        QVERIFY(made.contains("Subject: =?utf-8?B?"));
        QCOMPARE(
            partBody(made, "text/plain"),
            QStringLiteral("Dear Sinéad O'Dálaigh,\r\nYour order K-17 for Sinéad O'Dálaigh is ready to ship "
                           "today.\r\nRegards,\r\nthe shop\r\n\r\n"));
        QVERIFY(partBody(made, "text/html")
                    .contains(QStringLiteral("<body bgcolor=white><p>Dear<i> Sinéad O'Dálaigh,"
                                             "\r\n</i></p><p>Hi Sinéad, order K-17</p>")));

        // An ASCII recipient of the same template gets plain parts, byte for byte as laid out.
        const RecipientRecord ann = recipient("Ann");
        QVERIFY(!copy.make(&ann, {}, 0).contains("quoted-printable"));
    }

    void aFieldInALongEncodedLineStillMerges() {
        const QString text = QStringLiteral("é") + QString(100, u'x') + "<<FirstName>>" + QString(1000, u'y');
        const MessageTemplate message = MessageTemplate::build({}, 0, text, {}, {}, {}, fields());
        PersonalCopy copy(message);
        const RecipientRecord ann = recipient("Ann");
        const QByteArray made = copy.make(&ann, {}, 0);
        checkWireForm(made);
        QCOMPARE(partBody(made, "text/plain"),
                 QStringLiteral("é") + QString(100, u'x') + "Ann" + QString(1000, u'y') + "\r\n\r\n");
        // A long ASCII line goes quoted-printable as well; wrapped it need not.
        const MessageTemplate ascii =
            MessageTemplate::build({}, 0, QString(1200, u'z'), {}, {}, {}, fields());
        PersonalCopy asciiCopy(ascii);
        QVERIFY(asciiCopy.make(nullptr, {}, 0).contains("quoted-printable"));
        QVERIFY(!asciiCopy.make(nullptr, {}, 76).contains("quoted-printable"));
    }

    void lineBreaksInValues() {
        const MessageTemplate message = MessageTemplate::build(Head, 0, Text, {}, {}, {}, fields());
        PersonalCopy copy(message);
        const RecipientRecord odd = recipient("Ann\nBcc: victim@example.org", "Berg", "K\r1");
        const QByteArray made = copy.make(&odd, {}, 0);
        checkWireForm(made);
        // In a header line a break would start a new header: it becomes a blank there.
        QVERIFY(made.startsWith("Subject: Order K 1 for Ann Bcc: victim@example.org\r\nReply-To:"));
        QVERIFY(made.contains("Your order K\r\n1 for Ann\r\nBcc: victim@example.org Berg"));
    }

    void recipientsWithoutARow() {
        const MessageTemplate merged = MessageTemplate::build(Head, 0, Text, {}, {}, {}, fields());
        PersonalCopy copy(merged);
        QVERIFY(copy.make(nullptr, {}, 0).isEmpty());
        const MessageTemplate plain =
            MessageTemplate::build("Subject: Hello\r\n", 1, {}, "<p>x</p>", {}, {}, fields());
        QVERIFY(!plain.hasMergeFields());
        PersonalCopy plainCopy(plain);
        QCOMPARE(
            plainCopy.make(nullptr, {}, 0),
            QByteArray("Subject: Hello\r\nMIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n"));
    }

    void copiesReuseTheirBuffers() {
        const MessageTemplate message = MessageTemplate::build(Head, 2, Text, Html, Related, Mixed, fields());
        PersonalCopy copy(message);
        const RecipientRecord longer = recipient("Annabelle-Josephine");
        const RecipientRecord shorter = recipient("Al");
        const QByteArray& first = copy.make(&longer, {}, 0);
        const char* storage = first.constData();
        const QByteArray& second = copy.make(&shorter, {}, 0);
        QCOMPARE(second.constData(), storage);
        QVERIFY(!second.contains("Annabelle"));
        QVERIFY(second.contains("for Al Berg"));
    }

    void theSampleLetterGoesOutWhole() {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        TestHome home;
        home.prompter.answerAlways(CentralDatabase::sampleDataQuestion(), Prompter::Answer::Yes);
        QVERIFY(home.start());
        const auto letter = MessageStore::ReadMessage(QString::fromLatin1(SampleData::MessageName));
        QVERIFY(letter);
        const QString listPath =
            appFolders().AddressListsFolder + QString::fromLatin1(SampleData::ListFileName);
        MergeSource source;
        QVERIFY(source.open(listPath));
        const MessageParts parts =
            PrepareMessageParts(letter->HTMLText, letter->Attachments, "shop@example.org");
        QCOMPARE(parts.images.size(), 1);
        const MessageTemplate message = MessageTemplate::build(
            "From: shop@example.org\r\nSubject: " + letter->Subject + "\r\n", letter->SendType,
            letter->MessageText, parts.html, parts.related, parts.mixed, source.fields());
        QCOMPARE(message.invalidFields(), QStringList{""});
        QVERIFY(message.hasMergeFields());
        RecipientRecord sinead;
        QVERIFY(source.find("SINEAD.ODALAIGH@ravensmoor-library.invalid", sinead));
        const GreetingSettings settings = LoadGreetingSettings(*letter);
        PersonalCopy copy(message);
        const QByteArray made = copy.make(
            &sinead, GreetingForCopy(letter->SendType, BuildPersonalGreeting(&sinead, settings, true), {}),
            76);
        checkWireForm(made);
        QTemporaryDir out;
        writeFile(out.filePath("letter.eml"), made);
        const QJsonArray results = parsedByPython(python, {out.filePath("letter.eml")});
        QCOMPARE(results.size(), 1);
        const QJsonObject result = results[0].toObject();
        QVERIFY(result["defects"].toArray().isEmpty());
        QVERIFY(result["unresolved"].toArray().isEmpty());
        QStringList types;
        for (const QJsonValue& value : result["parts"].toArray()) {
            const QJsonObject part = value.toObject();
            types << part["type"].toString();
            const QString data =
                QString::fromUtf8(QByteArray::fromBase64(part["data"].toString().toLatin1()));
            if (part["type"] == "text/plain")
                QVERIFY(data.contains(QStringLiteral("Attn: Sinéad O'Dálaigh, Chief Librarian")));
            if (part["type"] == "text/html")
                QVERIFY(data.contains(QStringLiteral("Attn: Sinéad O'Dálaigh, Chief Librarian")));
            if (part["type"] == "image/jpg")
                QCOMPARE(QByteArray::fromBase64(part["data"].toString().toLatin1()), SampleData::logoImage());
        }
        QCOMPARE(types, (QStringList{"multipart/alternative", "text/plain", "multipart/related", "text/html",
                                     "image/jpg"}));
    }

    void anIndependentParserReadsTheCopies() {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        TestHome home;
        QVERIFY(home.start());
        QTemporaryDir out;
        QVERIFY(out.isValid());

        QByteArray picture;
        for (int i = 0; i < 3000; ++i)
            picture += char(i * 7 % 256);
        const QByteArray report = QByteArray("%PDF-1.4\n") + QByteArray(500, '\x01') + "\r\n\x80\xff";
        writeFile(appFolders().TemplatesFolder + "logo.gif", picture);
        writeFile(home.file("report.pdf"), report);
        writeFile(home.file(QStringLiteral("Übersicht 2024.txt")), "plain attachment");
        const QString html =
            QStringLiteral("<html><body><img src=\"logo.gif\"><p>Grüße &lt;&lt;FirstName&gt;&gt;</p>"
                           "<IMG SRC=\"logo.gif\" alt=again><img src=\"https://example.org/x.png\">"
                           "<p>") +
            QString(1500, u'w') + "</p></body></html>";
        const QString attachments =
            home.file("report.pdf") + "; " + home.file(QStringLiteral("Übersicht 2024.txt"));
        const MessageParts parts = PrepareMessageParts(html, attachments, "shop@example.org");
        QCOMPARE(parts.images.size(), 1); // two references, one part
        QCOMPARE(parts.html.count("cid:qnf0shop@example.org6497657"), 2);
        QVERIFY(parts.html.contains("https://example.org/x.png"));

        const QString head =
            QStringLiteral("From: shop@example.org\r\nTo: ann@example.org\r\nSubject: Grüße, "
                           "<<FirstName>>\r\n");
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
        QStringList files;
        for (int i = 0; i < cases.size(); ++i) {
            const MessageTemplate message = MessageTemplate::build(
                head, cases[i].type, text, parts.html, cases[i].related, cases[i].mixed, fields());
            PersonalCopy copy(message);
            const QByteArray made =
                copy.make(&ann, GreetingForCopy(cases[i].type, greeting, HtmlGreetingTemplate(settings)), 30);
            checkWireForm(made);
            files << out.filePath(QStringLiteral("copy%1.eml").arg(i));
            writeFile(files.last(), made);
        }

        const QJsonArray results = parsedByPython(python, files);
        QCOMPARE(results.size(), cases.size());
        for (int i = 0; i < cases.size(); ++i) {
            const QJsonObject result = results[i].toObject();
            QVERIFY2(result["defects"].toArray().isEmpty(), qPrintable(QJsonDocument(result).toJson()));
            QCOMPARE(result["subject"].toString(), QStringLiteral("Grüße, Ann"));
            QStringList types;
            for (const QJsonValue& value : result["parts"].toArray()) {
                const QJsonObject part = value.toObject();
                types << part["type"].toString();
                QVERIFY2(part["defects"].toArray().isEmpty(), qPrintable(QJsonDocument(part).toJson()));
                const QByteArray data = QByteArray::fromBase64(part["data"].toString().toLatin1());
                const QString type = part["type"].toString();
                if (type == "text/plain") {
                    QCOMPARE(part["charset"].toString(), QStringLiteral("utf-8"));
                    QCOMPARE(QString::fromUtf8(data).remove(u'\r').remove(u'\n'),
                             QStringLiteral("Dear Ann Berg,Hallo Ann,Grüße aus Köln."));
                } else if (type == "text/html") {
                    QVERIFY(QString::fromUtf8(data).contains(QStringLiteral("Grüße Ann")));
                    QVERIFY(QString::fromUtf8(data).contains("<body><p>Dear<i> Ann Berg,"));
                } else if (type == "image/gif") {
                    QCOMPARE(data, picture);
                    QCOMPARE(part["cid"].toString(), QStringLiteral("<qnf0shop@example.org6497657>"));
                } else if (type == "application/pdf") {
                    QCOMPARE(data, report);
                    QCOMPARE(part["filename"].toString(), QStringLiteral("report.pdf"));
                } else if (type == "application/txt") {
                    QCOMPARE(data, QByteArray("plain attachment"));
                    QCOMPARE(part["filename"].toString(), QStringLiteral("Übersicht 2024.txt"));
                }
            }
            QCOMPARE(types, cases[i].types);
            QVERIFY(result["unresolved"].toArray().isEmpty());
            QCOMPARE(result["references"].toArray().size(), cases[i].types.contains("image/gif") ? 2 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestMessageTemplate)
#include "tst_messagetemplate.moc"
