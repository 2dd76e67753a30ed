#include "app/ui/mdiMain.h"
#include "core/AppSettings.h"
#include "core/ui/frmOpenDelete.h"
#include "db/CentralDatabase.h"
#include "db/DataTank.h"
#include "messages/MessageStore.h"
#include "messages/ui/HtmlBodyView.h"
#include "messages/ui/MessageWindows.h"
#include "messages/ui/frmMessageEdit.h"
#include "messages/ui/frmMessageFindReplace.h"
#include "messages/ui/frmMessageGreeting.h"
#include "support/DesktopTest.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

qint64 messageCount() {
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    return central.scalar("SELECT COUNT(*) FROM Message").value_or(QVariant(-1)).toLongLong();
}

QMap<QString, QString> rowOf(const QString& name) {
    QMap<QString, QString> row;
    const db::Database central = CentralDatabase::open(db::Database::OpenMode::ReadOnly);
    db::Statement statement = central.prepare("SELECT * FROM Message WHERE MessageName = ?");
    statement.bind(1, name);
    if (statement.next())
        for (int i = 0; i < statement.columnCount(); ++i)
            row.insert(statement.columnName(i), statement.value(i).toString());
    return row;
}

void registerList(const QString& name, Prompter& prompter) {
    DataTank::SaveListAs(DataTank::CreateBlankDatabase(), name, QString(), false, prompter);
}

MessageRecord storedMessage(const QString& name, const QString& html = {}) {
    MessageRecord m;
    m.MessageName = name;
    m.MessageDescription = name + QStringLiteral(" described");
    m.Subject = QStringLiteral("Subject of ") + name;
    m.SendType = 2;
    m.MessageText = QStringLiteral("Plain\r\ntext");
    m.HTMLText = html.isEmpty() ? QStringLiteral("<html><body><p>Hi</p></body></html>") : html;
    m.From = QStringLiteral("Shop");
    return m;
}

// The view's context menu popped up at its top left, and its command of that text.
QAction* contextCommand(QAbstractScrollArea* view, const QString& text) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            view->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view->viewport(), &event);
    auto* menu = view->findChild<QMenu*>();
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (action->text() == text)
            return action;
    return nullptr;
}

void closeContextMenu(QAbstractScrollArea* view) {
    if (auto* menu = view->findChild<QMenu*>())
        menu->close();
    settle();
}

} // namespace

class TestMessageEditor : public QObject, public DesktopTest {
    Q_OBJECT

private:
    ScriptedPrompter& prompter() { return home->prompter; }
    QList<frmMessageEdit*> editors() { return window->messages().messageWindows(); }
    frmMessageEdit* newMessage() {
        return window->dispatch(QStringLiteral("id_FileNewMessage")) ? window->messages().activeMessage()
                                                                     : nullptr;
    }
    template <class T> T* field(QWidget* in, const char* name) {
        return in->findChild<T*>(QString::fromLatin1(name));
    }
    frmOpenDelete* dialog() { return window->findChild<frmOpenDelete*>(); }
    // Types the name into the open save dialog and presses OK.
    void saveDialogAnswer(const QString& name) {
        frmOpenDelete* save = dialog();
        QVERIFY(save);
        field<QLineEdit>(save, "txtName")->setText(name);
        field<QPushButton>(save, "cmdOK")->click();
        settle();
    }
    QLabel* panel() { return window->findChild<QLabel*>(QStringLiteral("pnlMessages")); }

private Q_SLOTS:
    void init() {
        MessageStore::resetUntitledCounter();
        QVERIFY(openDesktop());
    }
    void cleanup() {
        for (frmMessageEdit* editor : editors())
            editor->closeQuietly();
        settle();
        closeDesktop();
    }

    void newMessagesAreNumberedAndCounted() {
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(newMessage()->caption(), QStringLiteral("Untitled Message %1").arg(i));
        QCOMPARE(panel()->text(), QStringLiteral("Messages: 3"));
        QVERIFY(panel()->isVisible());
        QVERIFY(window->action(QStringLiteral("id_MessageToolsInsertFile"))->isEnabled());
        QAction* hide = window->action(QStringLiteral("id_WindowHideMessages"));
        window->dispatch(QStringLiteral("id_WindowHideMessages"));
        QCOMPARE(hide->text(), QStringLiteral("Show Messages"));
        QVERIFY(window->mdiArea()->subWindowList().first()->isHidden());
        window->dispatch(QStringLiteral("id_WindowHideMessages"));
        QCOMPARE(hide->text(), QStringLiteral("Hide Messages"));
        // Untouched new messages close unasked and leave no row.
        QVERIFY(window->dispatch(QStringLiteral("id_FileCloseAll")));
        settle();
        QVERIFY(editors().isEmpty());
        QVERIFY(!panel()->isVisible());
        QCOMPARE(messageCount(), 0);
        QVERIFY(prompter().shown().isEmpty());
    }

    void theLimitCountsMessagesWithLists() {
        for (int i = 0; i < 20; ++i)
            QVERIFY(window->dispatch(QStringLiteral("id_FileNewList")));
        for (int i = 0; i < 21; ++i)
            QVERIFY(newMessage());
        QCOMPARE(window->CountListAndMessageWindows(), 41);
        QVERIFY(prompter().shown().isEmpty());
        window->dispatch(QStringLiteral("id_FileNewMessage"));
        QCOMPARE(prompter().shown().last().text, Desk::limitNewText());
        window->dispatch(QStringLiteral("id_FileOpenMessage"));
        QCOMPARE(prompter().shown().last().text, Desk::limitOpenText());
        QVERIFY(!dialog());
        QCOMPARE(window->CountListAndMessageWindows(), 41);
    }

    void closingAsksOnlyAfterAChange_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("stillOpen");
        QTest::addColumn<qint64>("rows");
        QTest::newRow("don't save drops the unsaved row") << int(Prompter::Answer::No) << false << qint64(0);
        QTest::newRow("cancel keeps it open") << int(Prompter::Answer::Cancel) << true << qint64(1);
    }

    void closingAsksOnlyAfterAChange() {
        QFETCH(int, answer);
        QFETCH(bool, stillOpen);
        QFETCH(qint64, rows);
        frmMessageEdit* editor = newMessage();
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("only a subject"));
        prompter().answer(Prompter::Answer(answer));
        window->dispatch(QStringLiteral("id_FileClose"));
        settle();
        QCOMPARE(prompter().shown().last().text,
                 frmMessageEdit::saveQuestion(QStringLiteral("Untitled Message 1")));
        QCOMPARE(editors().size(), stillOpen ? 1 : 0);
        QCOMPARE(messageCount(), rows);
    }

    void theSaveDialogRefusesBadNamesAndStores() {
        frmMessageEdit* editor = newMessage();
        field<QPlainTextEdit>(editor, "txtPlainText")->setPlainText(QStringLiteral("Body"));
        window->dispatch(QStringLiteral("id_FileSave"));
        QVERIFY(dialog());
        QCOMPARE(dialog()->findChild<QLabel*>(QStringLiteral("lblPrompt"))->text(),
                 QStringLiteral("Select a name to save your message as:"));
        // Temporary names are never listed.
        QCOMPARE(dialog()->findChild<QTreeWidget*>()->topLevelItemCount(), 0);
        for (const char* bad : {"a;b", "Ann's letter", ""}) {
            saveDialogAnswer(QString::fromLatin1(bad));
            QVERIFY2(dialog() && dialog()->isVisible(), bad);
            QVERIFY(dialog()->focusWidget() == field<QLineEdit>(dialog(), "txtName"));
        }
        QCOMPARE(prompter().texts().first(), MessageStore::invalidNameText());
        QCOMPARE(prompter().texts().last(), MessageStore::emptyNameText());
        saveDialogAnswer(QStringLiteral("%%NewMailMessage%%x"));
        QCOMPARE(prompter().texts().last(), MessageStore::temporaryNameText());
        saveDialogAnswer(QStringLiteral("Spring"));
        QVERIFY(!dialog());
        QCOMPARE(editor->caption(), QStringLiteral("Spring"));
        QCOMPARE(rowOf(QStringLiteral("Spring")).value(QStringLiteral("MessageText")),
                 QStringLiteral("Body"));
        QCOMPARE(messageCount(), 1);
        QVERIFY(!editor->isModified());
    }

    void savingANewMessageAtExitNamesItThenExits() {
        frmMessageEdit* editor = newMessage();
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("kept at exit"));
        prompter().answer(Prompter::Answer::Yes);
        // The name is asked first: the program waits for it.
        QVERIFY(!window->close());
        saveDialogAnswer(QStringLiteral("At Exit"));
        settle();
        QVERIFY(!window->isVisible());
        QCOMPARE(rowOf(QStringLiteral("At Exit")).value(QStringLiteral("Subject")),
                 QStringLiteral("kept at exit"));
        QCOMPARE(messageCount(), 1);
    }

    void aTakenNameChangesNeitherRow() {
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Taken"))));
        const auto before = rowOf(QStringLiteral("Taken"));
        frmMessageEdit* editor = newMessage();
        const QString temporary = editor->messageName();
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("new subject"));
        window->dispatch(QStringLiteral("id_FileSave"));
        saveDialogAnswer(QStringLiteral("taken"));
        QCOMPARE(prompter().texts().last(), MessageStore::renameConflictText());
        QVERIFY(dialog());
        field<QPushButton>(dialog(), "cmdCancel")->click();
        settle();
        QCOMPARE(rowOf(QStringLiteral("Taken")), before);
        QCOMPARE(rowOf(temporary).value(QStringLiteral("Subject")), QString());
        QVERIFY(editor->isUnsaved());
    }

    void saveAsCopiesEveryColumnAndEditsTheCopy() {
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Source"))));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Source"));
        QVERIFY(editor);
        // Opening it again brings the same editor forward.
        QCOMPARE(window->messages().OpenMessageByName(QStringLiteral("source")), editor);
        window->dispatch(QStringLiteral("id_FileSaveAs"));
        saveDialogAnswer(QStringLiteral("Copy"));
        QCOMPARE(editor->caption(), QStringLiteral("Copy"));
        auto source = rowOf(QStringLiteral("Source"));
        auto copy = rowOf(QStringLiteral("Copy"));
        QCOMPARE(copy.value(QStringLiteral("MessageName")), QStringLiteral("Copy"));
        for (const char* own : {"MessageName", "MessageDescription"}) {
            source.remove(QString::fromLatin1(own));
            copy.remove(QString::fromLatin1(own));
        }
        QCOMPARE(copy, source);
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("changed copy"));
        QVERIFY(window->dispatch(QStringLiteral("id_FileSave")));
        QCOMPARE(rowOf(QStringLiteral("Copy")).value(QStringLiteral("Subject")),
                 QStringLiteral("changed copy"));
        QCOMPARE(rowOf(QStringLiteral("Source")).value(QStringLiteral("Subject")),
                 QStringLiteral("Subject of Source"));
    }

    void closingANamedMessage_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("stillOpen");
        QTest::newRow("save") << int(Prompter::Answer::Yes) << "edited" << false;
        QTest::newRow("don't save") << int(Prompter::Answer::No) << "Subject of Named" << false;
        QTest::newRow("cancel stops the exit") << int(Prompter::Answer::Cancel) << "Subject of Named" << true;
    }

    void closingANamedMessage() {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(bool, stillOpen);
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Named"))));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Named"));
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("edited"));
        prompter().answer(Prompter::Answer(answer));
        // Exiting asks the editor first.
        QCOMPARE(window->close(), !stillOpen);
        settle();
        QCOMPARE(rowOf(QStringLiteral("Named")).value(QStringLiteral("Subject")), stored);
        QCOMPARE(prompter().shown().last().text, frmMessageEdit::saveQuestion(QStringLiteral("Named")));
    }

    void deletingAnOpenMessageClosesItUnasked() {
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Doomed"))));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Doomed"));
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("unsaved change"));
        window->dispatch(QStringLiteral("id_FileDeleteMessage"));
        QCOMPARE(dialog()->findChild<QLabel*>(QStringLiteral("lblPrompt"))->text(),
                 MessageStore::deletePrompt());
        auto* items = dialog()->findChild<QTreeWidget*>();
        QCOMPARE(items->topLevelItem(0)->text(1), QStringLiteral("Doomed described"));
        field<QPushButton>(dialog(), "cmdOK")->click();
        QCOMPARE(prompter().texts().last(), MessageStore::nothingSelectedText());
        items->topLevelItem(0)->setSelected(true);
        prompter().answer(Prompter::Answer::Yes);
        field<QPushButton>(dialog(), "cmdOK")->click();
        settle();
        QCOMPARE(prompter().texts().last(), MessageStore::deleteQuestion(1));
        QVERIFY(editors().isEmpty());
        QCOMPARE(messageCount(), 0);
    }

    void aListAnEditorUsesCannotBeDeleted() {
        registerList(QStringLiteral("Alpha"), prompter());
        frmMessageEdit* editor = newMessage();
        auto* lists = field<QComboBox>(editor, "cboMergeFieldDB");
        QCOMPARE(lists->itemText(0), QStringLiteral("<no list>"));
        lists->setCurrentIndex(lists->findText(QStringLiteral("Alpha")));
        QVERIFY(!DataTank::DeleteRegisteredList(QStringLiteral("Alpha"), prompter()));
        QVERIFY(prompter().texts().last().contains(QStringLiteral("'Untitled Message 1' message")));
        QVERIFY(!DataTank::GetListPath(QStringLiteral("Alpha")).isEmpty());
    }

    void mergeFieldsGoToEachTarget() {
        registerList(QStringLiteral("Alpha"), prompter());
        frmMessageEdit* editor = newMessage();
        auto* lists = field<QComboBox>(editor, "cboMergeFieldDB");
        lists->setCurrentIndex(lists->findText(QStringLiteral("Alpha")));
        auto* fields = field<QComboBox>(editor, "cboMergeFields");
        fields->setCurrentIndex(fields->findText(QStringLiteral("FirstName")));
        QVERIFY(fields->currentIndex() >= 0);
        auto* subject = field<QLineEdit>(editor, "txtSubject");
        subject->setText(QStringLiteral("Hi XX!"));
        subject->setSelection(3, 2);
        editor->setInsertTarget(frmMessageEdit::InsertSubject);
        editor->InsertMergeFieldIntoMessage();
        QCOMPARE(subject->text(), QStringLiteral("Hi <<FirstName>>!"));
        editor->setInsertTarget(frmMessageEdit::InsertFrom);
        editor->InsertMergeFieldIntoMessage();
        QCOMPARE(field<QLineEdit>(editor, "txtFrom")->text(), QStringLiteral("<<FirstName>>"));
        field<QComboBox>(editor, "cboFormat")->setCurrentIndex(2);
        editor->setInsertTarget(frmMessageEdit::InsertBody);
        editor->showTab(frmMessageEdit::PlainTextTab);
        editor->InsertMergeFieldIntoMessage();
        QCOMPARE(editor->content().MessageText, QStringLiteral("<<FirstName>>"));
        editor->showTab(frmMessageEdit::HtmlSourceTab);
        field<QPlainTextEdit>(editor, "txtHTMLSource")->setPlainText(QStringLiteral("<p>Dear </p>"));
        editor->showTab(frmMessageEdit::HtmlViewTab);
        auto* view = field<HtmlBodyView>(editor, "htmlView");
        view->renderIfStale();
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(5);
        view->setTextCursor(cursor);
        editor->setInsertTarget(frmMessageEdit::InsertBody);
        editor->InsertMergeFieldIntoMessage();
        QCOMPARE(editor->content().HTMLText, QStringLiteral("<p>Dear &lt;&lt;FirstName&gt;&gt;</p>"));
        // Focus picks the target.
        subject->setFocus();
        QApplication::setActiveWindow(window.get());
        subject->setFocus();
        settle();
        if (subject->hasFocus())
            QCOMPARE(editor->insertTarget(), frmMessageEdit::InsertSubject);
    }

    void handWrittenHtmlSurvivesRenderingAndOneKey() {
        const QString html = QStringLiteral("<!DOCTYPE html>\r\n<html><head><style>p { mso-line-height-rule: "
                                            "exactly; frob: 3 }</style></head>\r\n"
                                            "<body bgcolor=#ffffff>\r\n<!-- a comment -->\r\n<!--[if gte mso "
                                            "9]><xml><o:foo/></xml><![endif]-->\r\n"
                                            "<p class=intro>Hello&nbsp;there,   friend</p>\r\n<table "
                                            "width=100%><tr><td>cell</td></tr></table>\r\n"
                                            "</body></html>\r\n");
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Hand"), html)));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Hand"));
        editor->showTab(frmMessageEdit::HtmlViewTab);
        auto* view = field<HtmlBodyView>(editor, "htmlView");
        view->renderIfStale();
        QVERIFY(view->toPlainText().contains(QStringLiteral("friend")));
        field<QLineEdit>(editor, "txtSubject")->setText(QStringLiteral("touched"));
        window->dispatch(QStringLiteral("id_FileSave"));
        QCOMPARE(rowOf(QStringLiteral("Hand")).value(QStringLiteral("HTMLText")), html);

        // One key typed in the rendering changes the source by that key only.
        const qsizetype at = view->toPlainText().indexOf(QStringLiteral("friend"));
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(at));
        view->setTextCursor(cursor);
        QTest::keyClick(view, Qt::Key_K);
        QString expected = html;
        expected.insert(expected.indexOf(QStringLiteral("friend")), u'k');
        QCOMPARE(editor->content().HTMLText, expected);
        QCOMPARE(view->textCursor().position(), int(at) + 1);
        // The rendering that followed the key is the rendering of the new source.
        const QString typedView = view->toPlainText();
        view->render();
        QCOMPARE(view->toPlainText(), typedView);
        // Undo is the source's.
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor->content().HTMLText, html);
        // An edit across elements is refused and said in the status bar.
        cursor.setPosition(int(at));
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(editor->content().HTMLText, html);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("pnlStatus"))->text(),
                 QStringLiteral("This change can only be made in the HTML source."));
    }

    void formattingWrapsTheMappedRange() {
        QVERIFY(MessageStore::ImportMessage(
            storedMessage(QStringLiteral("Format"), "<p>Hello <i>dear</i> friend</p>")));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Format"));
        editor->showTab(frmMessageEdit::HtmlViewTab);
        auto* view = field<HtmlBodyView>(editor, "htmlView");
        view->renderIfStale();
        const auto select = [view](const QString& text) {
            QTextCursor cursor = view->textCursor();
            const int at = int(view->toPlainText().indexOf(text));
            cursor.setPosition(at);
            cursor.setPosition(at + int(text.size()), QTextCursor::KeepAnchor);
            view->setTextCursor(cursor);
        };
        select(QStringLiteral("friend"));
        QVERIFY(editor->makeBold());
        QCOMPARE(editor->content().HTMLText, QStringLiteral("<p>Hello <i>dear</i> <b>friend</b></p>"));
        select(QStringLiteral("Hello"));
        prompter().answerText(QStringLiteral("https://example.org/?a=1&b=\"2\""));
        field<QPushButton>(editor, "cmdLink")->click();
        QCOMPARE(editor->content().HTMLText,
                 QStringLiteral(
                     "<p><a href=\"https://example.org/?a=1&amp;b=&quot;2&quot;\">Hello</a> <i>dear</i> "
                     "<b>friend</b></p>"));
        // Across the italic element the change is refused.
        select(QStringLiteral("o dear"));
        QVERIFY(!editor->makeItalic());
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(view->toPlainText().indexOf(QStringLiteral("dear"))));
        view->setTextCursor(cursor);
        QVERIFY(editor->insertImage(QStringLiteral("logo.png")));
        QVERIFY(
            editor->content().HTMLText.contains(QStringLiteral("</a> <img src=\"logo.png\"><i>dear</i>")));
    }

    void theContextMenuPastesAndDeletes_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("status");
        const QString refused = QStringLiteral("This change can only be made in the HTML source.");
        QTest::newRow("paste over a word") << "&Paste"
                                           << "friend"
                                           << "<p>Hello <i>dear</i> a&lt;b</p>"
                                           << "";
        QTest::newRow("paste across elements") << "&Paste"
                                               << "o dear"
                                               << "<p>Hello <i>dear</i> friend</p>" << refused;
        QTest::newRow("delete a word") << "&Delete"
                                       << "Hello"
                                       << "<p> <i>dear</i> friend</p>"
                                       << "";
        QTest::newRow("delete across elements") << "&Delete"
                                                << "dear friend"
                                                << "<p>Hello <i>dear</i> friend</p>" << refused;
    }

    void theContextMenuPastesAndDeletes() {
        QFETCH(QString, command);
        QFETCH(QString, selected);
        QVERIFY(MessageStore::ImportMessage(
            storedMessage(QStringLiteral("Menu"), "<p>Hello <i>dear</i> friend</p>")));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Menu"));
        editor->showTab(frmMessageEdit::HtmlViewTab);
        auto* view = field<HtmlBodyView>(editor, "htmlView");
        view->renderIfStale();
        QApplication::clipboard()->setText(QStringLiteral("a<b"));
        // Paste is offered with text on the clipboard, Delete only with a selection.
        QAction* action = contextCommand(view, command);
        QVERIFY(action);
        QCOMPARE(action->isEnabled(), command == QStringLiteral("&Paste"));
        closeContextMenu(view);
        QTextCursor cursor = view->textCursor();
        const int at = int(view->toPlainText().indexOf(selected));
        cursor.setPosition(at);
        cursor.setPosition(at + int(selected.size()), QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
        action = contextCommand(view, command);
        QVERIFY(action && action->isEnabled());
        action->trigger();
        closeContextMenu(view);
        QTEST(editor->content().HTMLText, "expected");
        QTEST(window->findChild<QLabel*>(QStringLiteral("pnlStatus"))->text(), "status");
    }

    void theMessageToolsWorkOnTheActiveEditor() {
        QVERIFY(MessageStore::ImportMessage(storedMessage(QStringLiteral("Tools"))));
        frmMessageEdit* editor = window->messages().OpenMessageByName(QStringLiteral("Tools"));
        // Greeting: shown at once, stored only on Save.
        window->dispatch(QStringLiteral("id_MessageToolsGreetingManager"));
        auto* greeting = window->findChild<frmMessageGreeting*>();
        QVERIFY(greeting);
        field<QLineEdit>(greeting, "txtSalutation")->setText(QStringLiteral("Hello"));
        field<QPushButton>(greeting, "cmdOK")->click();
        settle();
        QCOMPARE(editor->greeting().Salutation, QStringLiteral("Hello"));
        QCOMPARE(field<QLineEdit>(editor, "txtGreeting")->text(), SetGreetingDisplay(editor->greeting()));
        QVERIFY(rowOf(QStringLiteral("Tools")).value(QStringLiteral("Salutation")) !=
                QStringLiteral("Hello"));
        QVERIFY(window->dispatch(QStringLiteral("id_FileSave")));
        QCOMPARE(rowOf(QStringLiteral("Tools")).value(QStringLiteral("Salutation")), QStringLiteral("Hello"));

        // Preview of the editor's content: without a list it says so.
        window->dispatch(QStringLiteral("id_MessageToolsMessagePreview"));
        QCOMPARE(prompter().texts().last(),
                 QStringLiteral("You need a valid list in order to use the preview function."));

        // Find and replace follows the body view shown.
        editor->showTab(frmMessageEdit::HtmlViewTab);
        window->dispatch(QStringLiteral("id_EditReplace"));
        frmMessageFindReplace* find = window->messages().findReplace();
        QVERIFY(find && find->isVisible());
        QCOMPARE(find->target(), editor->bodyTarget());
        QCOMPARE(find->target()->document(), field<HtmlBodyView>(editor, "htmlView")->document());
        field<QLineEdit>(find, "txtFind")->setText(QStringLiteral("Hi"));
        field<QLineEdit>(find, "txtReplace")->setText(QStringLiteral("Hi <there>"));
        QCOMPARE(find->replaceAll(), 1);
        QCOMPARE(editor->content().HTMLText,
                 QStringLiteral("<html><body><p>Hi &lt;there&gt;</p></body></html>"));
        editor->showTab(frmMessageEdit::PlainTextTab);
        QCOMPARE(find->target(), editor->bodyTarget());
        QCOMPARE(find->target()->document(), field<QPlainTextEdit>(editor, "txtPlainText")->document());

        // Spelling walks the subject and the bodies the format sends.
        QStringList names;
        for (const SpellField& spell : editor->spellFields())
            names << spell.name;
        QCOMPARE(names, (QStringList{"Subject", "Text", "HTML"}));
        const SpellField html = editor->spellFields().last();
        QVERIFY(html.html);
        html.replace(html.text().indexOf(QStringLiteral("there")), 5, QStringLiteral("where"));
        QVERIFY(editor->content().HTMLText.contains(QStringLiteral("&lt;where&gt;")));
        editor->closeQuietly();
        settle();
        QVERIFY(!find->target());
    }

    void insertedFilesGoToTheBodyCursor() {
        frmMessageEdit* editor = newMessage();
        field<QComboBox>(editor, "cboFormat")->setCurrentIndex(2);
        QFile page(home->file(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><head><title>x</title></head><BODY bgcolor=red><p>From a page</p></body></html>");
        page.close();
        QFile note(home->file(QStringLiteral("note.txt")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("1 < 2 & 3 > 2\n\xc3\xa9t\xc3\xa9");
        note.close();
        editor->showTab(frmMessageEdit::HtmlSourceTab);
        QVERIFY(editor->InsertFileIntoMessage(page.fileName()));
        QVERIFY(editor->InsertFileIntoMessage(note.fileName()));
        QCOMPARE(editor->content().HTMLText,
                 QStringLiteral("<p>From a page</p>1 &lt; 2 &amp; 3 &gt; 2<br>\u00e9t\u00e9"));
        editor->showTab(frmMessageEdit::PlainTextTab);
        QVERIFY(editor->InsertFileIntoMessage(note.fileName()));
        QCOMPARE(editor->content().MessageText, QStringLiteral("1 < 2 & 3 > 2\n\u00e9t\u00e9"));
        // A folder is no text file.
        QVERIFY(!editor->InsertFileIntoMessage(home->path()));
        QVERIFY(prompter().texts().last().startsWith(QStringLiteral("The file '")));
    }

    void attachmentsAndUnsavedRows() {
        frmMessageEdit* editor = newMessage();
        QVERIFY(editor->AttachFileToMessage(QStringLiteral("/tmp/one.pdf")));
        QVERIFY(editor->AttachFileToMessage(QStringLiteral("/tmp/two.pdf")));
        QVERIFY(!editor->AttachFileToMessage(QStringLiteral("/tmp/a;b.pdf")));
        QCOMPARE(field<QLineEdit>(editor, "txtAttachments")->text(),
                 QStringLiteral("/tmp/one.pdf;/tmp/two.pdf"));
        // Left unsaved (the program ended): offered by date in the open dialog, never by its temporary name.
        QVERIFY(editor->WriteMessageTextToDB());
        QCOMPARE(prompter().texts().last(),
                 QStringLiteral("These files of the message were not found and will not "
                                "be sent:\n/tmp/one.pdf\n/tmp/two.pdf"));
        const QString temporary = editor->messageName();
        editor->closeQuietly();
        settle();
        MessageStore::CreateNewMessage(); // an empty one, purged at start-up
        QCOMPARE(MessageStore::PurgeEmptyTemporaryMessages(), 1);
        window->dispatch(QStringLiteral("id_FileOpenMessage"));
        auto* items = dialog()->findChild<QTreeWidget*>();
        QCOMPARE(items->topLevelItemCount(), 1);
        QVERIFY(items->topLevelItem(0)->text(0).startsWith(QStringLiteral("Unsaved message of ")));
        items->topLevelItem(0)->setSelected(true);
        field<QPushButton>(dialog(), "cmdOK")->click();
        settle();
        QCOMPARE(editors().size(), 1);
        QCOMPARE(editors().first()->messageName(), temporary);
        QVERIFY(editors().first()->caption().startsWith(QStringLiteral("Unsaved message of ")));
    }
};

QTEST_MAIN(TestMessageEditor)
#include "tst_messageeditor.moc"
