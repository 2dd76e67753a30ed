#include "SendFixture.h"

#include <QTemporaryDir>

using namespace SendFixture;

namespace {

// The header block of a message file, its folded lines joined.
QMap<QByteArray, QByteArrayList> headersOf(const QByteArray& message) {
    QMap<QByteArray, QByteArrayList> fields;
    QByteArray name;
    for (const QByteArray& line : message.left(message.indexOf("\r\n\r\n")).split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if ((text.startsWith(' ') || text.startsWith('\t')) && !name.isEmpty())
            fields[name].last() += text;
        else if (const qsizetype colon = text.indexOf(':'); colon > 0)
            fields[name = text.left(colon)].append(text.mid(colon + 2));
    }
    return fields;
}

qsizetype longestLine(const QByteArray& message) {
    qsizetype longest = 0;
    for (const QByteArray& line : message.split('\n'))
        longest = qMax(longest, line.size() - (line.endsWith('\r') ? 1 : 0));
    return longest;
}

} // namespace

// The unsubscribe header lines and the envelope sender as the outbox receives them.
class TestDeliverability : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    std::unique_ptr<Outbox> outbox;
    QTemporaryDir outDir;

    // Runs a mailing of the message to the rows; the files of the messages sent, in order.
    QStringList run(const QList<ListFixtures::Row>& rows, bool personal, const MailEvent& options) {
        outbox = startOutbox(outDir.path() + QStringLiteral("/mail"));
        appSettings().SMTPPort = outbox->port();
        MessageRecord message = plainMessage(QStringLiteral("Leave"));
        message.AddressType = personal ? 1 : 0;
        if (!makeList(*home, QStringLiteral("Leave"), rows) || !makeMessage(message) || !options.storeMEP())
            return {};
        Run mailing(*home, options, QStringLiteral("Leave"), QStringLiteral("Leave"));
        if (!mailing.runToEnd() || !mailing.completed)
            return {};
        return filesIn(outbox->directory(), QStringLiteral(".eml"));
    }

private Q_SLOTS:
    void init() {
        home = std::make_unique<TestHome>();
        QVERIFY(home->start());
        appSettings().GroupMailBlockSize = 10;
    }
    void cleanup() {
        outbox.reset();
        home.reset();
        QDir(outDir.path() + QStringLiteral("/mail")).removeRecursively();
    }

    void listUnsubscribeLines_data() {
        QTest::addColumn<bool>("personal");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("unsubscribe");
        QTest::addColumn<bool>("oneClick");
        const QString mailto = QStringLiteral("<mailto:leave@example.org?subject=unsubscribe>");
        QTest::newRow("mail only") << true << QString() << mailto << false;
        QTest::newRow("link merged and encoded")
            << true << QStringLiteral("https://example.org/leave?e=<<EAddress>>&n=<<LastName>>")
            << QStringLiteral("<https://example.org/leave?e=ann%2Bnews%40one.test&n=O%27Hara%20%26%20"
                              "S%C3%B8n>, ") +
                   mailto
            << true;
        QTest::newRow("batch copies offer mail only")
            << false << QStringLiteral("https://example.org/leave?list=news") << mailto << false;
        QTest::newRow("a link too long for a header line is left out")
            << true
            << QStringLiteral("https://example.org/") + QString(990, u'x') + QStringLiteral("?e=<<EAddress>>")
            << mailto << false;
    }
    void listUnsubscribeLines() {
        QFETCH(bool, personal);
        QFETCH(QString, url);
        QFETCH(QString, unsubscribe);
        QFETCH(bool, oneClick);
        MailEvent options = plainOptions(QStringLiteral("Leave"));
        options.UnsubscribeAddress = QStringLiteral("leave@example.org");
        options.UnsubscribeURL = url;
        const QStringList files = run({person(QStringLiteral("ann+news@one.test"), QStringLiteral("Ann"),
                                              QStringLiteral("O'Hara & Søn"))},
                                      personal, options);
        QCOMPARE(files.size(), 1);
        const QByteArray message = readFileBytes(files.first());
        const auto fields = headersOf(message);
        QCOMPARE(fields.value("List-Unsubscribe"), QByteArrayList{unsubscribe.toLatin1()});
        QCOMPARE(fields.value("List-Unsubscribe-Post"),
                 oneClick ? QByteArrayList{"List-Unsubscribe=One-Click"} : QByteArrayList{});
        QVERIFY(longestLine(message) <= 998);
        // Folded between the entries.
        for (const QByteArray& line : message.left(message.indexOf("\r\n\r\n")).split('\n'))
            QVERIFY2(line.size() <= 79 || !line.contains(", "), line.constData());
    }

    void envelopeSender_data() {
        QTest::addColumn<bool>("personal");
        QTest::addColumn<bool>("verp");
        QTest::addColumn<QStringList>("senders");
        QTest::newRow("VERP per recipient")
            << true << true
            << QStringList{"bounce+ann=one.test@example.org", "bounce+bo+x=two.test@example.org"};
        QTest::newRow("VERP batch") << false << true << QStringList{"bounce@example.org"};
        QTest::newRow("bounce address alone")
            << true << false << QStringList{"bounce@example.org", "bounce@example.org"};
    }
    void envelopeSender() {
        QFETCH(bool, personal);
        QFETCH(bool, verp);
        QFETCH(QStringList, senders);
        MailEvent options = plainOptions(QStringLiteral("Leave"));
        options.BounceAddress = QStringLiteral("bounce@example.org");
        options.UseVERP = verp;
        const QStringList files =
            run(people({QStringLiteral("ann@one.test"), QStringLiteral("bo+x@two.test")}), personal, options);
        QStringList found;
        for (const QString& file : files) {
            const QByteArray envelope = readFileBytes(QString(file).replace(QStringLiteral(".eml"), ".env"));
            found << QString::fromUtf8(envelope.mid(11, envelope.indexOf('>') - 11));
            // The From header stays the sender's.
            QVERIFY(readFileBytes(file).contains("\r\nFrom: <sender@example.test>\r\n"));
        }
        QCOMPARE(found, senders);
    }

    // Without the new settings a message holds none of their lines.
    void withoutSettingsNothingIsAdded() {
        const QStringList files =
            run({person(QStringLiteral("ann@one.test"))}, true, plainOptions(QStringLiteral("Leave")));
        QCOMPARE(files.size(), 1);
        const QByteArray message = readFileBytes(files.first());
        QVERIFY(!message.contains("List-Unsubscribe"));
        QVERIFY(readFileBytes(QString(files.first()).replace(".eml", ".env"))
                    .contains("MAIL FROM:<sender@example.test>"));
    }
};

QTEST_GUILESS_MAIN(TestDeliverability)
#include "tst_deliverability.moc"
