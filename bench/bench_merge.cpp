// Personalised copies: merge and greeting of one copy of a 20 KB HTML message with 10 merge fields, without
// and with the look-up of the recipient's row in a list of 1,000,000 rows.
#include "BenchSupport.h"
#include "core/AppSettings.h"
#include "db/DataTank.h"
#include "messages/MessageTemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int ListRows = 1000000;

QString address(int i) {
    return QStringLiteral("member%1@example.org").arg(i);
}

// About 20 KB of HTML holding ten merge fields (both forms), the body tag before the first field.
QString twentyKilobytes() {
    const QStringList fields = {"<<FirstName>>",
                                "&lt;&lt;LastName&gt;&gt;",
                                "<<Title>>",
                                "<<Keyword1>>",
                                "&lt;&lt;Keyword2&gt;&gt;",
                                "<<Date>>",
                                "<<EAddress>>",
                                "<<Sent>>",
                                "<<firstname>>",
                                "&LT;&LT;LASTNAME&GT;&GT;"};
    const QString filler =
        QStringLiteral("<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do "
                       "eiusmod tempor incididunt ut labore et dolore magna aliqua.</p>\r\n");
    QString html =
        QStringLiteral("<html><head><title>Newsletter</title></head><body style=\"font: 11pt serif\">\r\n");
    for (int block = 0; html.size() < 20 * 1024; ++block) {
        if (block < fields.size())
            html += QStringLiteral("<p>Field: ") + fields[block] + QStringLiteral("</p>\r\n");
        html += filler;
    }
    return html + QStringLiteral("</body></html>");
}

QString writeList() {
    DataTank writer;
    for (int i = 0; i < ListRows; ++i)
        writer.CommitTargetRecord(address(i), QStringLiteral("Ann"), QStringLiteral("Lee"),
                                  QStringLiteral("k1"), QStringLiteral("k2"), QStringLiteral("2024-05-01"),
                                  QString());
    writer.closeTarget();
    return writer.targetPath();
}

GreetingSettings greetingSettings() {
    GreetingSettings s = SetGreetingManagerDefaultValues();
    s.GreetingType = 1;
    s.HTMLGreeting = QStringLiteral("<html><body><p>{Prefix}{Salutation}</p></body></html>");
    return s;
}

// Runs make() over the recipients given by next() and prints the time per copy.
template <typename Next>
void timeCopies(const char* what, int copies, PersonalCopy& copy, const GreetingSettings& settings,
                const HtmlGreetingTemplate& html, int sendType, int wrap, Next next) {
    qint64 bytes = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < copies; ++i) {
        const RecipientRecord* record = next(i);
        const QString greeting = BuildPersonalGreeting(record, settings, true);
        bytes += copy.make(record, GreetingForCopy(sendType, greeting, html), wrap).size();
    }
    const double micro = timer.nsecsElapsed() / 1e3 / copies;
    std::printf("%-64s %8.2f us per copy (%lld bytes each)\n", what, micro,
                static_cast<long long>(bytes / copies));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const BenchHome dir;
    if (!dir.isValid())
        return 1;

    QElapsedTimer timer;
    timer.start();
    const QString listPath = writeList();
    std::printf("list of %d rows written in %.1f s\n", ListRows, timer.nsecsElapsed() / 1e9);

    MergeSource source;
    if (!source.open(listPath)) {
        std::printf("ERROR: the list cannot be opened\n");
        return 1;
    }
    const QString html = twentyKilobytes();
    const QString text =
        QStringLiteral("Dear reader <<FirstName>> <<LastName>>,\r\n") +
        QString(QStringLiteral("Plain text of the alternative part, about seventy characters "
                               "long.\r\n"))
            .repeated(60);
    const QString head = QStringLiteral("Subject: News for <<FirstName>>\r\nReply-To: shop@example.org\r\n");
    timer.start();
    const MessageTemplate htmlOnly = MessageTemplate::build(head, 1, {}, html, {}, {}, source.fields());
    const MessageTemplate alternative = MessageTemplate::build(head, 2, text, html, {}, {}, source.fields());
    std::printf("two templates built (once per run) in %.2f ms; HTML %lld characters, invalid fields: %lld\n",
                timer.nsecsElapsed() / 1e6, static_cast<long long>(html.size()),
                static_cast<long long>(htmlOnly.invalidFields().size() - 1));

    const GreetingSettings settings = greetingSettings();
    const HtmlGreetingTemplate htmlGreeting(settings);
    RecipientRecord record;
    source.find(address(4711), record);
    RecipientRecord accented = record;
    accented.setValue(QStringLiteral("FirstName"), QStringLiteral("Sinéad"));

    PersonalCopy htmlCopy(htmlOnly);
    PersonalCopy alternativeCopy(alternative);
    const auto same = [&](int) {
        return &record;
    };
    const int copies = 200000;
    timeCopies("merge + greeting, HTML 20 KB, 10 fields (target < 20 us):", copies, htmlCopy, settings,
               htmlGreeting, 1, 0, same);
    timeCopies("  the same with a value that needs quoted-printable:", copies / 4, htmlCopy, settings,
               htmlGreeting, 1, 0, [&](int) { return &accented; });
    timeCopies("  HTML + 4 KB plain alternative, wrapped at 76:", copies / 4, alternativeCopy, settings,
               htmlGreeting, 2, 76, same);

    QRandomGenerator random(42);
    QList<QString> addresses;
    for (int i = 0; i < copies; ++i)
        addresses << address(random.bounded(ListRows)).toUpper(); // found whatever the case
    int missing = 0;
    timeCopies("look-up in 1,000,000 rows + merge + greeting:", copies, htmlCopy, settings, htmlGreeting, 1,
               0, [&](int i) {
                   if (!source.find(addresses[i], record))
                       ++missing;
                   return &record;
               });
    timer.start();
    for (int i = 0; i < copies; ++i)
        source.find(addresses[i], record);
    std::printf("%-64s %8.2f us per recipient\n",
                "  the look-up alone:", timer.nsecsElapsed() / 1e3 / copies);
    if (missing)
        std::printf("  ERROR: %d addresses not found\n", missing);
    source.close();
    QFile::remove(listPath);
    return 0;
}
