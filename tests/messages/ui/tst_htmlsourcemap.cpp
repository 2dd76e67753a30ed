#include "messages/HtmlSourceMap.h"

#include <QTest>
#include <QTextDocument>

namespace {

QString rendered(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toRawText();
}

// The rendered position just after the first occurrence of text ("" is the start).
qsizetype after(const QString& shown, const QString& text) {
    const qsizetype at = shown.indexOf(text);
    return at < 0 ? -1 : at + text.size();
}

QString applied(QString html, const HtmlSourceMap::Edit& edit) {
    return html.replace(edit.start, edit.length, edit.text);
}

// Hand-written HTML of the kinds messages hold.
const QStringList& documents() {
    static const QStringList docs = {
        QStringLiteral("<p>Hello world</p>"),
        QStringLiteral(
            "<html><head><title>T</title><style>p { colour: red }</style></head>\n<body>\n"
            "<p>Dear &lt;&lt;FirstName&gt;&gt;,</p>\n<p>Tom &amp; Jerry&nbsp;now.</p></body></html>"),
        QStringLiteral("<div style=\"mso-foo: bar\"><p class=x>one <b>two</b> <i>three</i></p>\n"
                       "<!--[if mso]><p>only there</p><![endif]--><p>four\n    five</p></div>"),
        QStringLiteral("<table><tr><td>cell one</td><td>cell two</td></tr></table><p>after &copy; 2024</p>"),
        QStringLiteral("<ul><li>first</li><li>second</li></ul>line<br>break"),
        QStringLiteral("<p>a <b> b</b> <i>c </i> d</p>"),
    };
    return docs;
}

} // namespace

class TestHtmlSourceMap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typingChangesOneRun_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("cursorAfter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside a run") << "<p>Hello world</p>"
                                      << "Hello"
                                      << "X"
                                      << "<p>HelloX world</p>";
        QTest::newRow("end of bold takes the bold") << "<p>a<b>bc</b>d</p>"
                                                    << "abc"
                                                    << "X"
                                                    << "<p>a<b>bcX</b>d</p>";
        QTest::newRow("before bold stays plain") << "<p>a<b>bc</b>d</p>"
                                                 << "a"
                                                 << "X"
                                                 << "<p>aX<b>bc</b>d</p>";
        QTest::newRow("after an entity") << "<p>Tom &amp; Jerry</p>"
                                         << "Tom &"
                                         << "X"
                                         << "<p>Tom &amp;X Jerry</p>";
        QTest::newRow("markup characters escaped") << "<p>ab</p>"
                                                   << "a"
                                                   << "<&>"
                                                   << "<p>a&lt;&amp;&gt;b</p>";
        QTest::newRow("after collapsed whitespace") << "<p>a   \n  b</p>"
                                                    << "a "
                                                    << "X"
                                                    << "<p>a   \n  Xb</p>";
        QTest::newRow("space collapsed into the next run") << "<p>a <b> b</b></p>"
                                                           << "a "
                                                           << "X"
                                                           << "<p>a <b> Xb</b></p>";
        QTest::newRow("after a comment") << "<!-- c --><p>x</p>"
                                         << "x"
                                         << "Y"
                                         << "<!-- c --><p>xY</p>";
        QTest::newRow("after a conditional comment") << "<!--[if mso]><p>mso</p><![endif]--><p>hi</p>"
                                                     << "h"
                                                     << "Z"
                                                     << "<!--[if mso]><p>mso</p><![endif]--><p>hZi</p>";
        QTest::newRow("unquoted attribute, unknown CSS")
            << "<div style=\"foo-bar: baz\"><p class=x>text</p></div>"
            << "te"
            << "Q"
            << "<div style=\"foo-bar: baz\"><p class=x>teQxt</p></div>";
        QTest::newRow("head, title and style are no text")
            << "<html><head><title>body</title><style>p{color:red}</style></head><body><p>body</p></body></"
               "html>"
            << "bo"
            << "-"
            << "<html><head><title>body</title><style>p{color:red}</style></head><body><p>bo-dy</p></body></"
               "html>";
        QTest::newRow("enter is a line break") << "<p>ab</p>"
                                               << "a"
                                               << "\n"
                                               << "<p>a<br>b</p>";
        QTest::newRow("after a non-breaking space") << "<p>a&nbsp;b</p>" << QStringLiteral("a\u00a0") << "X"
                                                    << "<p>a&nbsp;Xb</p>";
        QTest::newRow("before a merge field") << "<p>Dear &lt;&lt;FirstName&gt;&gt;,</p>"
                                              << "Dear "
                                              << "Mr "
                                              << "<p>Dear Mr &lt;&lt;FirstName&gt;&gt;,</p>";
        QTest::newRow("at the end") << "<p>end</p>"
                                    << "end"
                                    << "!"
                                    << "<p>end!</p>";
        QTest::newRow("second table cell") << "<table><tr><td>one</td><td>two</td></tr></table>"
                                           << "tw"
                                           << "X"
                                           << "<table><tr><td>one</td><td>twXo</td></tr></table>";
        QTest::newRow("after a line break") << "<p>a<br>b</p>" << QStringLiteral("a\u2028") << "X"
                                            << "<p>a<br>Xb</p>";
    }

    void typingChangesOneRun() {
        QFETCH(QString, html);
        QFETCH(QString, cursorAfter);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        const QString shown = rendered(html);
        const qsizetype at = after(shown, cursorAfter);
        QVERIFY2(at >= 0, qPrintable(shown));
        const HtmlSourceMap map(html, shown);
        const std::optional<HtmlSourceMap::Edit> edit = map.replace(at, at, typed);
        QVERIFY(edit);
        QCOMPARE(applied(html, *edit), expected);
    }

    void deletingAndWrapping_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("selected"); // the rendered text selected
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("expected"); // "" when refused
        QTest::newRow("delete an entity") << "<p>Tom &amp; Jerry</p>"
                                          << "&"
                                          << "delete"
                                          << "<p>Tom  Jerry</p>";
        QTest::newRow("delete a collapsed space") << "<p>a  \n b</p>"
                                                  << "a b"
                                                  << "replace-x"
                                                  << "<p>x</p>";
        QTest::newRow("replace a word") << "<p>hello world</p>"
                                        << "world"
                                        << "replace-x"
                                        << "<p>hello x</p>";
        QTest::newRow("bold a word") << "<p>hello world</p>"
                                     << "world"
                                     << "bold"
                                     << "<p>hello <b>world</b></p>";
        QTest::newRow("link a word") << "<p>see here</p>"
                                     << "here"
                                     << "link"
                                     << "<p>see <a href=\"https://example.org/\">here</a></p>";
        QTest::newRow("across a bold element refused") << "<p>a<b>bc</b>d</p>"
                                                       << "ab"
                                                       << "delete"
                                                       << "";
        QTest::newRow("across paragraphs refused") << "<p>one</p><p>two</p>"
                                                   << "e\u2029t"
                                                   << "delete"
                                                   << "";
        QTest::newRow("bold across elements refused") << "<p>a<i>b</i></p>"
                                                      << "ab"
                                                      << "bold"
                                                      << "";
    }

    void deletingAndWrapping() {
        QFETCH(QString, html);
        QFETCH(QString, selected);
        QFETCH(QString, operation);
        QFETCH(QString, expected);
        const QString shown = rendered(html);
        const qsizetype from = shown.indexOf(selected);
        QVERIFY2(from >= 0, qPrintable(shown));
        const qsizetype to = from + selected.size();
        const HtmlSourceMap map(html, shown);
        std::optional<HtmlSourceMap::Edit> edit;
        if (operation == QLatin1StringView("delete"))
            edit = map.replace(from, to, QString());
        else if (operation == QLatin1StringView("replace-x"))
            edit = map.replace(from, to, QStringLiteral("x"));
        else if (operation == QLatin1StringView("bold"))
            edit = map.wrap(from, to, QStringLiteral("<b>"), QStringLiteral("</b>"));
        else
            edit = map.wrap(from, to, QStringLiteral("<a href=\"https://example.org/\">"),
                            QStringLiteral("</a>"));
        if (expected.isEmpty()) {
            QVERIFY(!edit);
            return;
        }
        QVERIFY(edit);
        QCOMPARE(applied(html, *edit), expected);
    }

    void insertingWhereNoTextIsIsRefused() {
        const QString html = QStringLiteral("<p><img src=\"logo.png\"></p><p>two</p>");
        const QString shown = rendered(html);
        const HtmlSourceMap map(html, shown);
        // Beside the image, at the start of its paragraph, no run takes the text.
        QVERIFY(!map.replace(0, 0, QStringLiteral("x")));
        QVERIFY(!map.replace(0, 1, QString()));
        QVERIFY(map.replace(2, 2, QStringLiteral("x")));
        QCOMPARE(HtmlSourceMap::refusalText(),
                 QStringLiteral("This change can only be made in the HTML source."));
    }

    // Whatever is typed wherever the map accepts it shows exactly there in the new rendering: the
    // rendering and the source stay in step.
    void everyAcceptedInsertShowsWhereTyped() {
        for (const QString& html : documents()) {
            const QString shown = rendered(html);
            const HtmlSourceMap map(html, shown);
            int accepted = 0;
            for (qsizetype at = 0; at < shown.size(); ++at) {
                const std::optional<HtmlSourceMap::Edit> edit = map.replace(at, at, QStringLiteral("Q"));
                if (!edit)
                    continue;
                ++accepted;
                QString expected = shown;
                expected.insert(at, u'Q');
                const QString edited = applied(html, *edit);
                QCOMPARE(rendered(edited), expected);
                // The map that follows the typing is the map of the new rendering.
                HtmlSourceMap followed = map;
                QVERIFY(followed.followInsert(at, QStringLiteral("Q"), *edit) >= 0);
                const HtmlSourceMap fresh(edited, expected);
                for (qsizetype p = 0; p < expected.size(); ++p) {
                    const auto a = followed.sourceOf(p), b = fresh.sourceOf(p);
                    QCOMPARE(a.has_value(), b.has_value());
                    if (a)
                        QCOMPARE(std::pair(a->start, a->end), std::pair(b->start, b->end));
                    QCOMPARE(followed.insertionRun(p) >= 0, fresh.insertionRun(p) >= 0);
                }
            }
            // Every visible character of text can take text after it.
            QVERIFY2(accepted * 10 > shown.size() * 7, qPrintable(html));
        }
    }

    void everyRenderedCharacterOfTextHasItsSource() {
        for (const QString& html : documents()) {
            const QString shown = rendered(html);
            const HtmlSourceMap map(html, shown);
            for (qsizetype at = 0; at < shown.size(); ++at) {
                const QChar c = shown[at];
                if (!c.isLetterOrNumber())
                    continue;
                const std::optional<HtmlSourceMap::Run> source = map.sourceOf(at);
                QVERIFY2(source, qPrintable(QStringLiteral("%1 at %2 in %3").arg(c).arg(at).arg(html)));
                if (source->end - source->start == 1)
                    QCOMPARE(html[source->start], c);
            }
        }
    }
};

QTEST_MAIN(TestHtmlSourceMap)
#include "tst_htmlsourcemap.moc"
