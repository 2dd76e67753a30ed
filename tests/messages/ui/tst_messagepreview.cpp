#include "core/AppSettings.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "db/SampleData.h"
#include "messages/ListFixtures.h"
#include "messages/MessagePreview.h"
#include "messages/MessageTemplate.h"
#include "messages/ui/OfflineHtmlView.h"
#include "messages/ui/frmMessagePreview.h"
#include "support/TestHome.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>

using ListFixtures::Row;

namespace {

// A registered list of the rows; its file path.
QString registerList(const QString& name, const QList<Row>& rows, Prompter& prompter, bool withKey = true) {
    const QString temp = appFolders().TempFolder + name + QStringLiteral("-source.mdb");
    if (!ListFixtures::writeList(temp, rows, {}, withKey))
        return {};
    if (!DataTank::SaveListAs(temp, name, QString(), false, prompter))
        return {};
    return appFolders().AddressListsFolder + name + QStringLiteral(".mdb");
}

MessageRecord draft(const QString& list, int sendType = 2) {
    MessageRecord m;
    m.MessageName = "Autumn letter";
    m.MailingList = list;
    m.SendType = sendType;
    m.Subject = "Order <<Keyword1>>";
    m.MessageText = "Hello <<FirstName>>, your order is ready to ship today.\nRegards\n";
    m.HTMLText = "<html><head><title>x</title></head><body bgcolor=white><p>Hi &lt;&lt;FirstName&gt;&gt;, "
                 "order <<Keyword1>></p><img src=\"logo.png\"></body></html>";
    m.UseGreetingManager = true;
    m.Salutation = "Dear";
    m.Punctuation = ",";
    m.UseFName = true;
    m.UseLName = true;
    m.MissingFNameOption = true;
    m.MissingLNameOption = true;
    m.GreetingType = 1;
    m.AddressType = 1;
    m.HTMLGreeting = "<BODY><p>{Prefix} <i>{Salutation}</i></p></BODY>";
    return m;
}

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

// The decoded body of the part whose header names the type, without the line breaks the layout ends it
// with.
QString partBody(const QByteArray& copy, const QByteArray& type) {
    const qsizetype at = copy.indexOf(QByteArray(QByteArray("Content-Type: ") + type));
    if (at < 0)
        return QStringLiteral("<no part>");
    const qsizetype start = copy.indexOf("\r\n\r\n", at) + 4;
    const qsizetype end = copy.indexOf("\r\n--QNF", start);
    const QByteArray body = copy.mid(start, end < 0 ? -1 : end - start);
    QString text =
        QString::fromUtf8(copy.mid(at, start - at).contains("quoted-printable") ? decodeQp(body) : body);
    while (text.endsWith("\r\n"))
        text.chop(2);
    return text;
}

QString withoutTrailingBreaks(QString text) {
    while (text.endsWith("\r\n"))
        text.chop(2);
    return text;
}

QString firstContentId(const QString& html) {
    return QRegularExpression("cid:([^\"' >]+)").match(html).captured(1);
}

} // namespace

class TestMessagePreview : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
    }
    void cleanup() { home.reset(); }

    void refusals_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("state"); // 0 none, 1 registered with rows, 2 file removed, 3 no rows
        QTest::addColumn<QString>("text");
        QTest::newRow("no list") << "" << 0 << "You need a valid list in order to use the preview function.";
        QTest::newRow("<no list>") << "<no list>" << 0
                                   << "You need a valid list in order to use the preview function.";
        QTest::newRow("unregistered") << "Nowhere" << 0 << "Please choose a valid list.";
        QTest::newRow("file gone") << "Gone" << 2 << "The addresslist '%1Gone.mdb' could not be found.";
        QTest::newRow("no rows") << "Empty" << 3 << "There are no Address to preview this message with.";
    }
    void refusals() {
        QFETCH(QString, list);
        QFETCH(int, state);
        QFETCH(QString, text);
        if (state >= 2) {
            const QString path = registerList(
                list, state == 3 ? QList<Row>{} : QList<Row>{{{"EAddress", "a@x.org"}}}, home->prompter);
            QVERIFY(!path.isEmpty());
            if (state == 2)
                QVERIFY(QFile::remove(path));
        }
        const int before = int(home->prompter.shown().size());
        QWidget parent;
        QCOMPARE(frmMessagePreview::showPreview(draft(list), home->prompter, &parent), nullptr);
        QCOMPARE(home->prompter.shown().size(), before + 1);
        QCOMPARE(home->prompter.shown().last().text,
                 text.contains("%1") ? text.arg(appFolders().AddressListsFolder) : text);
        QVERIFY(parent.findChildren<frmMessagePreview*>().isEmpty());
    }

    void pagesInAddressOrderAndStopsAtTheEnds_data() {
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("keyed") << true << QStringList{"c@x.org", "a@x.org", "B@x.org"}
                               << QStringList{"a@x.org", "B@x.org", "c@x.org"};
        // A list without its key may hold an address twice: each row is still shown once.
        QTest::newRow("repeated address") << false << QStringList{"b@x.org", "a@x.org", "b@x.org", "A@x.org"}
                                          << QStringList{"a@x.org", "A@x.org", "b@x.org", "b@x.org"};
    }
    void pagesInAddressOrderAndStopsAtTheEnds() {
        QFETCH(bool, withKey);
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, order);
        QList<Row> rows;
        for (const QString& address : addresses)
            rows.append(Row{{"EAddress", address}, {"FirstName", QString("F" + address.left(1))}});
        QVERIFY(!registerList("Friends", rows, home->prompter, withKey).isEmpty());
        QWidget parent;
        frmMessagePreview* window = frmMessagePreview::showPreview(draft("Friends"), home->prompter, &parent);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Preview Message: Autumn letter"));
        auto* count = window->findChild<QLabel*>("lblCount");
        auto* next = window->findChild<QPushButton*>("cmdNext");
        auto* previous = window->findChild<QPushButton*>("cmdPrevious");
        const qsizetype n = order.size();
        QCOMPARE(count->text(), QStringLiteral("1 of %1").arg(n));
        QVERIFY(!previous->isEnabled());
        QStringList seen{window->preview().current().address};
        for (int i = 1; i < n; ++i) {
            next->click();
            seen << window->preview().current().address;
        }
        QCOMPARE(seen, order);
        QCOMPARE(count->text(), QStringLiteral("%1 of %1").arg(n));
        QVERIFY(!next->isEnabled());
        QVERIFY(!const_cast<MessagePreview&>(window->preview()).next());
        QCOMPARE(window->preview().current().address, order.last());
        previous->click();
        QCOMPARE(count->text(), QStringLiteral("%1 of %2").arg(n - 1).arg(n));
        QCOMPARE(window->preview().current().address, order[n - 2]);
        QCOMPARE(window->findChild<QLabel*>("lblTo")->text(), "F" + order[n - 2].left(1));
    }

    void copiesEqualWhatIsSent_data() {
        QTest::addColumn<int>("sendType");
        QTest::addColumn<int>("wrap");
        for (int type : {0, 1, 2})
            for (int wrap : {0, 10})
                QTest::addRow("format %d, wrap %d", type, wrap) << type << wrap;
    }
    void copiesEqualWhatIsSent() {
        QFETCH(int, sendType);
        QFETCH(int, wrap);
        const QString path =
            registerList("Shop",
                         {{{"EAddress", "zoe@x.org"},
                           {"FirstName", "Zoë"},
                           {"LastName", "Berg"},
                           {"Keyword1", "K-1\nsecond line"}},
                          {{"EAddress", "al@x.org"}, {"LastName", "Smith"}, {"Keyword1", "K-2"}}},
                         home->prompter);
        const MessageRecord message = draft("Shop", sendType);
        QString refusal;
        std::unique_ptr<MessagePreview> preview = MessagePreview::open(message, wrap, &refusal);
        QVERIFY2(preview, qPrintable(refusal));

        // The copy a mailing run makes for the same recipient.
        QString html = message.HTMLText;
        const QList<ImageEntry> images =
            AssignContentIDs(GetUniqueEntries(GetImages(html)), ContentIdSuffix(QString()));
        Path2CID(html, images);
        const GreetingSettings greeting = LoadGreetingSettings(message);
        const HtmlGreetingTemplate htmlGreeting(greeting);
        const MessageTemplate sent =
            MessageTemplate::build({}, sendType, message.MessageText, html, {}, {}, ListFieldSet::read(path));
        PersonalCopy copy(sent);
        MergeSource source;
        QVERIFY(source.open(path));
        for (int i = 0; i < 2; ++i) {
            const PreviewCopy& shown = preview->current();
            RecipientRecord record;
            QVERIFY(source.find(shown.address, record));
            const QString line = BuildPersonalGreeting(&record, greeting, true);
            const QByteArray bytes = copy.make(&record, GreetingForCopy(sendType, line, htmlGreeting), wrap);
            if (sendType != 1)
                QCOMPARE(withoutTrailingBreaks(shown.text), partBody(bytes, "text/plain"));
            if (sendType != 0)
                QCOMPARE(withoutTrailingBreaks(shown.html), partBody(bytes, "text/html"));
            QCOMPARE(shown.subject, "Order " + QString(record.value("Keyword1")).replace('\n', ' '));
            preview->next();
        }
        // The first recipient (al) has no first name: greeted by the last name alone.
        preview->previous();
        if (sendType != 1 && wrap == 0)
            QVERIFY(preview->current().text.startsWith("Dear Smith,\r\nHello"));
        if (wrap == 10 && sendType != 1)
            for (const QString& l : preview->current().text.split("\r\n"))
                QVERIFY2(l.size() <= 10 || !l.contains(' '), qPrintable(l));
    }

    void remoteImagesAreNeverFetched() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QSignalSpy connections(&server, &QTcpServer::newConnection);
        const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
        registerList("One", {{{"EAddress", "a@x.org"}}}, home->prompter);
        MessageRecord message = draft("One", 1);
        message.HTMLText = "<html><body><img src=\"" + remote + "a.png\"><table background='" + remote +
                           "b.png'><tr><td>x</td></tr></table><img src=\"missing.png\">"
                           "<a href=\"" +
                           remote + "c\"><img src=" + remote + "d.png></a></body></html>";
        QWidget parent;
        frmMessagePreview* window = frmMessagePreview::showPreview(message, home->prompter, &parent);
        QVERIFY(window);
        window->show();
        auto* view = window->findChild<OfflineHtmlView*>("htmlPreview");
        QVERIFY(view);
        QVERIFY(!window->findChild<QPlainTextEdit*>("txtPreviewText")->isVisible());
        QCOMPARE(window->findChild<QTabWidget*>("tabView")->count(), 1);
        window->grab(); // lays out and paints, which is when images are asked for
        QTest::qWait(200);
        QCOMPARE(connections.count(), 0);
        QVERIFY(!server.hasPendingConnections());

        // The local image whose file is missing shows a placeholder naming it.
        const QString id = firstContentId(window->preview().current().html);
        QVERIFY(!id.isEmpty());
        const QImage shown =
            view->loadResource(QTextDocument::ImageResource, QUrl("cid:" + id)).value<QImage>();
        QCOMPARE(shown, frmMessagePreview::missingImage("missing.png"));
    }

    void theSampleLetterForEachRecipient() {
        {
            db::Database central = CentralDatabase::open();
            QVERIFY(SampleData::write(central, home->prompter));
        }
        const std::optional<MessageRecord> message = MessageStore::ReadMessage(SampleData::MessageName);
        QVERIFY(message);
        QWidget parent;
        frmMessagePreview* window = frmMessagePreview::showPreview(*message, home->prompter, &parent);
        QVERIFY(window);
        auto* view = window->findChild<OfflineHtmlView*>("htmlPreview");
        QImage logo;
        QVERIFY(logo.loadFromData(SampleData::logoImage()));
        for (int n = 1; n <= 5; ++n) {
            QCOMPARE(window->findChild<QLabel*>("lblCount")->text(), QStringLiteral("%1 of 5").arg(n));
            const PreviewCopy& copy = window->preview().current();
            const RecipientRecord& record = window->preview().record();
            for (const QString& text : {copy.html, copy.text, copy.subject}) {
                QVERIFY(!text.contains("<<"));
                QVERIFY(!text.contains("&lt;&lt;"));
            }
            QVERIFY(copy.html.contains(record.value("Company").toHtmlEscaped()) ||
                    copy.html.contains(record.value("Company")));
            QVERIFY(copy.text.contains(record.value("LastName")));
            const QImage shown =
                view->loadResource(QTextDocument::ImageResource, QUrl("cid:" + firstContentId(copy.html)))
                    .value<QImage>();
            QCOMPARE(shown.size(), logo.size());
            window->findChild<QPushButton*>("cmdNext")->click();
        }
    }
};

QTEST_MAIN(TestMessagePreview)
#include "tst_messagepreview.moc"
