#pragma once

#include "core/Prompter.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "messages/ui/frmSpellCheck.h"

#include <QWidget>
#include <functional>
#include <memory>

class BodyTarget;
class HtmlBodyView;
class HtmlViewTarget;
class TextEditTarget;
class HtmlHighlighter;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The message editor: one message's subject, From text, attachments, format and body (plain text,
// HTML source and its rendering), with the To and greeting summaries and the merge fields of the list
// chosen. Its caption is the message's name, or "Untitled Message " and a number before it is saved.
// It reads and writes the message only through MessageStore; naming a message is asked of the host
// (the save dialog) through the save request.
class frmMessageEdit : public QWidget {
    Q_OBJECT
public:
    // The body tabs, in their order.
    enum Tab { PlainTextTab = 0, HtmlSourceTab = 1, HtmlViewTab = 2 };
    // Where a merge field goes (cmbPickInsert).
    enum InsertTarget { InsertSubject = 0, InsertFrom = 1, InsertBody = 2 };

    // A new message under a temporary name; nullptr (logged) when its row cannot be written.
    static frmMessageEdit* CreateNewMessage(Prompter& prompter, QWidget* parent = nullptr);
    // The message's editor; nullptr (logged) when there is no such row.
    static frmMessageEdit* OpenMessage(const QString& name, const QString& caption, Prompter& prompter,
                                       QWidget* parent = nullptr);

    QString messageName() const { return name_; }
    QString caption() const { return windowTitle(); }
    bool isUnsaved() const { return MessageStore::isTemporaryName(name_); }
    bool isModified() const { return modified_; }

    // The editor's content as it would be saved, and the draft the preview works on.
    MessageContent content() const;
    MessageRecord draft() const;
    QString mailingList() const;
    const GreetingSettings& greeting() const { return greeting_; }
    void setGreeting(const GreetingSettings& settings);
    void setMailingList(const QString& listName);
    // Fills cboMergeFieldDB again with the registered lists, keeping the choice when it is still there.
    void refreshMergeLists();

    // Asks the host for a name (the save dialog) and stores the message under it: rename for a message
    // never saved, copy for Save As. done(true) once stored. The editor then edits the stored message.
    using SaveRequest =
        std::function<void(frmMessageEdit* editor, bool asCopy, std::function<void(bool)> done)>;
    void setSaveRequest(SaveRequest request) { saveRequest_ = std::move(request); }
    // While the host renames this editor's own row, the store's request to close editors of the old name
    // does not apply to it.
    void setHoldOpen(bool hold) { holdOpen_ = hold; }
    // Takes the name the message is stored under now (after the host renamed or copied it).
    void adoptName(const QString& name);

    // Save: writes a named message, asks for a name otherwise. done(true) once stored.
    void SaveMessage(std::function<void(bool)> done = {});
    // Save As: writes a named message, then asks for the name of its copy.
    void saveMeAs(std::function<void(bool)> done = {});
    // Writes the content, mailing list and greeting settings to the row; warns of missing files.
    bool WriteMessageTextToDB();
    bool ReadMessageTextFromDB();

    // Merge fields, attachments and inserted files.
    void InsertMergeFieldIntoMessage();
    InsertTarget insertTarget() const;
    void setInsertTarget(InsertTarget target);
    // Appends the file to the attachment list; refused for a path holding ";".
    bool AttachFileToMessage(const QString& path);
    // Puts a text file's text (HTML: an .html file's body, other text escaped) at the body cursor.
    bool InsertFileIntoMessage(const QString& path);
    // The file dialogs of the two.
    void chooseAttachment();
    void chooseFileToInsert();

    // The message tools: the greeting manager, the preview of the editor's current content, the spelling
    // check of subject and bodies, and what find and replace works on (the body view shown).
    void ShowMessageGreetingManager();
    void PreviewMessage();
    void SpellCheckMailMessage();
    QList<SpellField> spellFields();
    BodyTarget* bodyTarget() const;

    // Formatting in the rendered view: the selection made bold, italic or a link; an image at the cursor.
    bool makeBold();
    bool makeItalic();
    bool makeLink(const QString& address);
    bool insertImage(const QString& path);
    void chooseLink();
    void chooseImage();

    // The body view shown, and the clipboard commands on the field with the focus.
    int currentTab() const;
    void showTab(Tab tab);
    QWidget* focusedField() const;
    void cut();
    void copy();
    void paste();
    void selectAll();

    // Closes without any question: the message is being renamed or deleted.
    void closeQuietly();

    static QString attachTitle() { return QStringLiteral("Select file to attach"); }
    static QString attachFilter() { return QStringLiteral("All Files (*.*)"); }
    static QString noMessageAttachText() {
        return QStringLiteral("Cannot attach a file.  Please create or open a message first.");
    }
    static QString saveQuestion(const QString& caption);

Q_SIGNALS:
    // A text for the main window's status bar (a refused edit of the rendered view).
    void statusText(const QString& text);
    void bodyTabChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    frmMessageEdit(const QString& name, Prompter& prompter, QWidget* parent);
    ~frmMessageEdit() override;
    void buildWindow();
    void load(const MessageRecord& message);
    void applyFormat(int sendType);
    void fillMergeFields();
    void markModified();
    QString htmlText() const;
    QString plainText() const;

    QString name_;
    Prompter& prompter_;
    SaveRequest saveRequest_;
    GreetingSettings greeting_;
    bool modified_ = false;
    bool loading_ = false;
    bool quiet_ = false;
    bool holdOpen_ = false;
    QString textLineEnding_, htmlLineEnding_;
    QString loadedHtml_, loadedText_;

    QLineEdit* txtSubject_;
    QLineEdit* txtFrom_;
    QLineEdit* txtTo_;
    QLineEdit* txtGreeting_;
    QLineEdit* txtAttachments_;
    QComboBox* cboFormat_;
    QComboBox* cboMergeFieldDB_;
    QComboBox* cboMergeFields_;
    QComboBox* cmbPickInsert_;
    QPushButton* cmdInsertMergeField_;
    QTabWidget* tabBody_;
    QPlainTextEdit* txtPlainText_;
    QPlainTextEdit* txtHTMLSource_;
    HtmlBodyView* htmlView_;
    HtmlHighlighter* highlighter_;
    std::unique_ptr<TextEditTarget> plainTarget_, sourceTarget_;
    std::unique_ptr<HtmlViewTarget> viewTarget_;
};
