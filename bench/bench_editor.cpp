// The message editor on a 200 KB HTML message: opening it, keys typed in the HTML source, showing the
// rendered view, and keys typed in the rendered view (each a source edit the rendering follows). Run with
// QT_QPA_PLATFORM=offscreen on a machine without a display.
#include "BenchSupport.h"
#include "app/mdlMain.h"
#include "app/ui/mdiMain.h"
#include "messages/MessageStore.h"
#include "messages/ui/HtmlBodyView.h"
#include "messages/ui/MessageWindows.h"
#include "messages/ui/frmMessageEdit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>

namespace {

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// A newsletter of about the given size: paragraphs with inline markup, entities, merge fields, tables.
QString newsletter(qsizetype size) {
    QString html = QStringLiteral("<html><head><style>p { margin: 4px } td { padding: 2px }</style></head>\n"
                                  "<body>\n<h1>News</h1>\n<p>Dear &lt;&lt;FirstName&gt;&gt;,</p>\n");
    for (int i = 0; html.size() < size; ++i) {
        html +=
            QStringLiteral("<!-- section %1 -->\n<h2>Section %1</h2>\n<p>Our <b>offer</b> number %1 &amp; "
                           "its <i>details</i>: see <a href=\"https://example.org/%1\">the page</a> for "
                           "more about roses, tulips and garden tools.</p>\n"
                           "<table border=1><tr><td>Item %1</td><td>&euro; %1.50</td></tr></table>\n")
                .arg(i);
    }
    return html + QStringLiteral("<p>See you soon,<br>Ann</p>\n</body></html>\n");
}

struct Figures {
    double median = 0;
    double p99 = 0;
    double worst = 0;
};

Figures figuresOf(QList<double> ms) {
    std::sort(ms.begin(), ms.end());
    if (ms.isEmpty())
        return {};
    return {ms[ms.size() / 2], ms[std::min<qsizetype>(ms.size() - 1, ms.size() * 99 / 100)], ms.last()};
}

// Types keys into the widget and times each one until its work is done.
QList<double> typeKeys(QWidget* target, int count) {
    QList<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        const QChar c = QChar(u'a' + i % 26);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A + i % 26, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + i % 26, Qt::NoModifier, QString(c));
        timer.start();
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        QApplication::processEvents();
        times << double(timer.nsecsElapsed()) / 1e6;
    }
    return times;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    BenchHome home;
    BenchPrompter prompter;
    StartupOptions options;
    options.appFolder = home.path() + QStringLiteral("/home");
    options.executableName = QStringLiteral("tamberlyn");
    options.prompter = &prompter;
    options.fullStart = false;
    Startup startup(options);
    if (startup.run() != Startup::Result::Started) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }

    MessageRecord message;
    message.MessageName = QStringLiteral("Big");
    message.Subject = QStringLiteral("Big newsletter");
    message.SendType = 2;
    message.HTMLText = newsletter(200 * 1024);
    message.MessageText = QStringLiteral("Plain text");
    MessageStore::ImportMessage(message);

    mdiMain window(prompter);
    window.resize(1100, 800);
    window.show();
    settle();

    QElapsedTimer timer;
    timer.start();
    frmMessageEdit* editor = window.messages().OpenMessageByName(QStringLiteral("Big"));
    editor->showTab(frmMessageEdit::HtmlSourceTab);
    settle();
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    std::printf("open a %lld KB HTML message (source shown): %.1f ms (target < 500 ms)\n",
                static_cast<long long>(message.HTMLText.size() / 1024), openMs);

    auto* source = editor->findChild<QPlainTextEdit*>(QStringLiteral("txtHTMLSource"));
    source->setFocus();
    QTextCursor middle = source->textCursor();
    middle.setPosition(int(message.HTMLText.size() / 2));
    source->setTextCursor(middle);
    const Figures sourceKeys = figuresOf(typeKeys(source, 500));
    std::printf("500 keys in txtHTMLSource: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms "
                "(target p99 < 16 ms)\n",
                sourceKeys.median, sourceKeys.p99, sourceKeys.worst);

    auto* view = editor->findChild<HtmlBodyView*>(QStringLiteral("htmlView"));
    timer.start();
    editor->showTab(frmMessageEdit::HtmlViewTab);
    view->renderIfStale();
    settle();
    std::printf("show htmlView: %.1f ms (target < 300 ms)\n", double(timer.nsecsElapsed()) / 1e6);

    {
        // Where the rendering's time goes: the rich-text engine, and the source map.
        QTextDocument document;
        timer.start();
        document.setHtml(message.HTMLText);
        const double engineMs = double(timer.nsecsElapsed()) / 1e6;
        const QString shown = document.toRawText();
        timer.start();
        const HtmlSourceMap map(message.HTMLText, shown);
        std::printf("  of which: rich-text engine %.1f ms, source map %.1f ms\n", engineMs,
                    double(timer.nsecsElapsed()) / 1e6);
    }

    QTextCursor inText = view->textCursor();
    inText.setPosition(int(view->toPlainText().indexOf(QStringLiteral("roses"))));
    view->setTextCursor(inText);
    // The first key makes the source map of the rendering; the others follow it.
    QList<double> keys = typeKeys(view, 51);
    std::printf("first key in htmlView (makes the source map): %.1f ms\n", keys.takeFirst());
    const Figures viewKeys = figuresOf(keys);
    std::printf("50 more keys in htmlView (each a source edit the rendering follows): median %.1f ms, 99th "
                "percentile "
                "%.1f ms\n",
                viewKeys.median, viewKeys.p99);

    editor->closeQuietly();
    settle();
    return 0;
}
