#include "messages/ui/frmMessageEdit.h"

#include "core/AppInfo.h"
#include "core/ErrorLog.h"
#include "db/ListEvents.h"
#include "messages/HtmlSourceMap.h"
#include "messages/MergeLists.h"
#include "messages/MessageEvents.h"
#include "messages/MessageFiles.h"
#include "messages/mdlMergeFields.h"
#include "messages/ui/BodyTarget.h"
#include "messages/ui/HtmlBodyView.h"
#include "messages/ui/HtmlHighlighter.h"
#include "messages/ui/frmMessageGreeting.h"
#include "messages/ui/frmMessagePreview.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QVBoxLayout>

namespace {

// The line break a text was stored with, so that an edited text keeps it.
QString lineEndingOf(const QString& text) {
    return text.contains(QLatin1StringView("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
}

// The editor's text with the line breaks it was stored with; an unchanged text comes back as stored,
// whatever line breaks it mixes.
QString editorText(const QPlainTextEdit* edit, const QString& stored, const QString& lineEnding) {
    // The raw text keeps non-breaking spaces, which toPlainText() turns into blanks.
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    QString normalised = stored;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (text == normalised)
        return stored;
    return lineEnding == QLatin1StringView("\n") ? text : text.replace(u'\n', lineEnding);
}

void logFailure(const char* procedure, const QString& text) {
    LogError(QString::fromLatin1(procedure), {1, text});
}

} // namespace

frmMessageEdit* frmMessageEdit::CreateNewMessage(Prompter& prompter, QWidget* parent) {
    const MessageStore::NewMessage created = MessageStore::CreateNewMessage();
    if (created.name.isEmpty())
        return nullptr;
    const std::optional<MessageRecord> message = MessageStore::ReadMessage(created.name);
    if (!message)
        return nullptr;
    auto* editor = new frmMessageEdit(created.name, prompter, parent);
    editor->load(*message);
    editor->setWindowTitle(created.caption);
    return editor;
}

frmMessageEdit* frmMessageEdit::OpenMessage(const QString& name, const QString& caption, Prompter& prompter,
                                            QWidget* parent) {
    const std::optional<MessageRecord> message = MessageStore::ReadMessage(name);
    if (!message) {
        logFailure("OpenMessage in frmMessageEdit", QStringLiteral("No message named ") + name);
        return nullptr;
    }
    auto* editor = new frmMessageEdit(message->MessageName, prompter, parent);
    editor->load(*message);
    editor->setWindowTitle(caption.isEmpty() ? message->MessageName : caption);
    return editor;
}

frmMessageEdit::frmMessageEdit(const QString& name, Prompter& prompter, QWidget* parent)
    : QWidget(parent), name_(name), prompter_(prompter) {
    setObjectName(QStringLiteral("frmMessageEdit"));
    buildWindow();
    connect(&MessageEvents::instance(), &MessageEvents::closeEditors, this, [this](const QString& caption) {
        if (!holdOpen_ && (caption.compare(windowTitle(), Qt::CaseInsensitive) == 0 ||
                           caption.compare(name_, Qt::CaseInsensitive) == 0))
            closeQuietly();
    });
    connect(&ListEvents::instance(), &ListEvents::listsChanged, this, &frmMessageEdit::refreshMergeLists);
}

frmMessageEdit::~frmMessageEdit() = default;

void frmMessageEdit::buildWindow() {
    const auto lineEdit = [this](const char* name, int maxLength, bool readOnly) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        if (maxLength > 0)
            edit->setMaxLength(maxLength);
        edit->setReadOnly(readOnly);
        return edit;
    };
    txtSubject_ = lineEdit("txtSubject", 255, false);
    txtFrom_ = lineEdit("txtFrom", 255, false);
    txtFrom_->setPlaceholderText(QStringLiteral("the sender's display name"));
    txtTo_ = lineEdit("txtTo", 0, true);
    txtGreeting_ = lineEdit("txtGreeting", 0, true);
    txtAttachments_ = lineEdit("txtAttachments", 0, false);

    cboFormat_ = new QComboBox(this);
    cboFormat_->setObjectName(QStringLiteral("cboFormat"));
    cboFormat_->addItems(
        {QStringLiteral("Plain Text"), QStringLiteral("HTML"), QStringLiteral("HTML with Plain Text")});
    cboMergeFieldDB_ = new QComboBox(this);
    cboMergeFieldDB_->setObjectName(QStringLiteral("cboMergeFieldDB"));
    cboMergeFields_ = new QComboBox(this);
    cboMergeFields_->setObjectName(QStringLiteral("cboMergeFields"));
    cboMergeFields_->setMinimumContentsLength(12);
    cmbPickInsert_ = new QComboBox(this);
    cmbPickInsert_->setObjectName(QStringLiteral("cmbPickInsert"));
    cmbPickInsert_->addItems({QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Body")});
    cmbPickInsert_->setCurrentIndex(InsertBody);
    cmdInsertMergeField_ = new QPushButton(QStringLiteral("&Insert"), this);
    cmdInsertMergeField_->setObjectName(QStringLiteral("cmdInsertMergeField"));

    tabBody_ = new QTabWidget(this);
    tabBody_->setObjectName(QStringLiteral("tabBody"));
    txtPlainText_ = new QPlainTextEdit(this);
    txtPlainText_->setObjectName(QStringLiteral("txtPlainText"));
    txtHTMLSource_ = new QPlainTextEdit(this);
    txtHTMLSource_->setObjectName(QStringLiteral("txtHTMLSource"));
    txtHTMLSource_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    txtHTMLSource_->setFont(mono);
    highlighter_ = new HtmlHighlighter(txtHTMLSource_->document());
    htmlView_ = new HtmlBodyView(txtHTMLSource_, this);
    plainTarget_ = std::make_unique<TextEditTarget>(txtPlainText_);
    sourceTarget_ = std::make_unique<TextEditTarget>(txtHTMLSource_);
    viewTarget_ = std::make_unique<HtmlViewTarget>(htmlView_);
    tabBody_->addTab(txtPlainText_, QStringLiteral("&Text"));
    tabBody_->addTab(txtHTMLSource_, QStringLiteral("HTML &Source"));
    // The rendered view with its formatting buttons.
    auto* viewPage = new QWidget(this);
    auto* formatting = new QHBoxLayout;
    const auto button = [this, formatting](const char* name, const QString& text, const QString& tip,
                                           std::function<void()> work) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, std::move(work));
        formatting->addWidget(b);
    };
    button("cmdBold", QStringLiteral("B"), QStringLiteral("Bold (Ctrl+B)"), [this] { makeBold(); });
    button("cmdItalic", QStringLiteral("I"), QStringLiteral("Italic (Ctrl+I)"), [this] { makeItalic(); });
    button("cmdLink", QStringLiteral("Link..."), QStringLiteral("Make the selection a link"),
           [this] { chooseLink(); });
    button("cmdImage", QStringLiteral("Image..."), QStringLiteral("Insert an image at the cursor"),
           [this] { chooseImage(); });
    formatting->addStretch(1);
    auto* viewLayout = new QVBoxLayout(viewPage);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    viewLayout->addLayout(formatting);
    viewLayout->addWidget(htmlView_, 1);
    tabBody_->addTab(viewPage, QStringLiteral("HTML &View"));

    auto* head = new QGridLayout;
    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    head->addWidget(label(QStringLiteral("S&ubject:"), txtSubject_), 0, 0);
    head->addWidget(txtSubject_, 0, 1, 1, 3);
    head->addWidget(label(QStringLiteral("&From:"), txtFrom_), 1, 0);
    head->addWidget(txtFrom_, 1, 1);
    head->addWidget(label(QStringLiteral("F&ormat:"), cboFormat_), 1, 2);
    head->addWidget(cboFormat_, 1, 3);
    head->addWidget(new QLabel(QStringLiteral("To:"), this), 2, 0);
    head->addWidget(txtTo_, 2, 1);
    head->addWidget(new QLabel(QStringLiteral("Greeting:"), this), 2, 2);
    head->addWidget(txtGreeting_, 2, 3);
    head->addWidget(label(QStringLiteral("&Attachments:"), txtAttachments_), 3, 0);
    head->addWidget(txtAttachments_, 3, 1, 1, 3);
    head->setColumnStretch(1, 3);
    head->setColumnStretch(3, 2);

    auto* merge = new QHBoxLayout;
    merge->addWidget(label(QStringLiteral("Merge &list:"), cboMergeFieldDB_));
    merge->addWidget(cboMergeFieldDB_, 1);
    merge->addWidget(label(QStringLiteral("Fi&eld:"), cboMergeFields_));
    merge->addWidget(cboMergeFields_, 1);
    merge->addWidget(label(QStringLiteral("i&nto"), cmbPickInsert_));
    merge->addWidget(cmbPickInsert_);
    merge->addWidget(cmdInsertMergeField_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(merge);
    layout->addWidget(tabBody_, 1);

    refreshMergeLists();

    const auto changed = [this] {
        markModified();
    };
    connect(txtSubject_, &QLineEdit::textChanged, this, changed);
    connect(txtFrom_, &QLineEdit::textChanged, this, changed);
    connect(txtAttachments_, &QLineEdit::textChanged, this, changed);
    connect(txtPlainText_->document(), &QTextDocument::contentsChanged, this, changed);
    connect(txtHTMLSource_->document(), &QTextDocument::contentsChanged, this, changed);
    connect(cboFormat_, &QComboBox::currentIndexChanged, this, [this](int format) {
        applyFormat(format);
        markModified();
    });
    connect(cboMergeFieldDB_, &QComboBox::currentIndexChanged, this, [this] {
        fillMergeFields();
        markModified();
    });
    connect(cmdInsertMergeField_, &QPushButton::clicked, this, &frmMessageEdit::InsertMergeFieldIntoMessage);
    connect(tabBody_, &QTabWidget::currentChanged, this, &frmMessageEdit::bodyTabChanged);
    connect(htmlView_, &HtmlBodyView::editRefused, this, &frmMessageEdit::statusText);
    // The merge-field target follows the focus.
    for (QWidget* field : {static_cast<QWidget*>(txtSubject_), static_cast<QWidget*>(txtFrom_),
                           static_cast<QWidget*>(txtPlainText_), static_cast<QWidget*>(txtHTMLSource_),
                           static_cast<QWidget*>(htmlView_)})
        field->installEventFilter(this);
    resize(760, 560);
}

bool frmMessageEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        setInsertTarget(watched == txtSubject_ ? InsertSubject
                        : watched == txtFrom_  ? InsertFrom
                                               : InsertBody);
    return QWidget::eventFilter(watched, event);
}

// ---- Content ----

void frmMessageEdit::load(const MessageRecord& message) {
    loading_ = true;
    name_ = message.MessageName;
    greeting_ = LoadGreetingSettings(message);
    loadedText_ = message.MessageText;
    loadedHtml_ = message.HTMLText;
    textLineEnding_ = lineEndingOf(message.MessageText);
    htmlLineEnding_ = lineEndingOf(message.HTMLText);
    txtPlainText_->setPlainText(message.MessageText);
    txtHTMLSource_->setPlainText(message.HTMLText);
    txtPlainText_->document()->setModified(false);
    txtHTMLSource_->document()->setModified(false);
    txtSubject_->setText(message.Subject);
    txtFrom_->setText(message.From);
    txtAttachments_->setText(message.Attachments);
    txtTo_->setText(message.GreetingDisplay);
    txtGreeting_->setText(SetGreetingDisplay(greeting_));
    cboFormat_->setCurrentIndex(std::clamp(message.SendType, 0, 2));
    applyFormat(cboFormat_->currentIndex());
    setMailingList(message.MailingList);
    fillMergeFields();
    loading_ = false;
    modified_ = false;
}

QString frmMessageEdit::plainText() const {
    return editorText(txtPlainText_, loadedText_, textLineEnding_);
}

QString frmMessageEdit::htmlText() const {
    return editorText(txtHTMLSource_, loadedHtml_, htmlLineEnding_);
}

MessageContent frmMessageEdit::content() const {
    return {
        plainText(), txtSubject_->text(), txtTo_->text(), txtAttachments_->text(), cboFormat_->currentIndex(),
        htmlText(),  txtFrom_->text()};
}

MessageRecord frmMessageEdit::draft() const {
    MessageRecord m;
    m.MessageName = name_;
    const MessageContent c = content();
    m.Subject = c.Subject;
    m.SendType = c.SendType;
    m.HTMLText = c.HTMLText;
    m.MessageText = c.MessageText;
    m.Attachments = c.Attachments;
    m.GreetingDisplay = c.GreetingDisplay;
    m.From = c.From;
    m.MailingList = mailingList();
    const GreetingSettings& g = greeting_;
    m.UseGreetingManager = g.UseGreetingManager;
    m.Salutation = g.Salutation;
    m.Punctuation = g.Punctuation;
    m.UseTitle = !g.TitleColumn.isEmpty();
    m.UseFName = !g.FirstNameColumn.isEmpty();
    m.UseLName = !g.LastNameColumn.isEmpty();
    m.AddressType = g.AddressType;
    m.GreetingType = g.GreetingType;
    m.GroupAddress = g.GroupAddress;
    m.GroupGreeting = g.GroupGreeting;
    m.MissingFNameOption = g.MissingFNameOption;
    m.MissingLNameOption = g.MissingLNameOption;
    m.GenericName = g.GenericName;
    m.HTMLGreeting = g.HTMLGreeting;
    return m;
}

void frmMessageEdit::markModified() {
    if (!loading_)
        modified_ = true;
}

void frmMessageEdit::applyFormat(int sendType) {
    // The body views the format sends.
    tabBody_->setTabVisible(PlainTextTab, sendType != 1);
    tabBody_->setTabVisible(HtmlSourceTab, sendType != 0);
    tabBody_->setTabVisible(HtmlViewTab, sendType != 0);
    if (!tabBody_->isTabVisible(tabBody_->currentIndex()))
        tabBody_->setCurrentIndex(sendType == 0 ? PlainTextTab : HtmlSourceTab);
}

void frmMessageEdit::setGreeting(const GreetingSettings& settings) {
    greeting_ = settings;
    txtGreeting_->setText(SetGreetingDisplay(settings));
    txtTo_->setText(SetToAddressDisplay(settings));
    // The summaries are read from their start.
    txtGreeting_->setCursorPosition(0);
    txtTo_->setCursorPosition(0);
    markModified();
}

QString frmMessageEdit::mailingList() const {
    return cboMergeFieldDB_->currentIndex() <= 0 ? QString() : cboMergeFieldDB_->currentText();
}

void frmMessageEdit::setMailingList(const QString& listName) {
    int index = listName.isEmpty() ? 0 : cboMergeFieldDB_->findText(listName, Qt::MatchFixedString);
    if (index < 0) {
        // A list no longer registered stays the message's choice until another is made.
        cboMergeFieldDB_->addItem(listName);
        index = cboMergeFieldDB_->count() - 1;
    }
    cboMergeFieldDB_->setCurrentIndex(index);
}

void frmMessageEdit::refreshMergeLists() {
    const QString chosen = cboMergeFieldDB_->count() > 0 ? mailingList() : QString();
    const bool wasLoading = loading_;
    loading_ = true;
    const QSignalBlocker blocker(cboMergeFieldDB_);
    cboMergeFieldDB_->clear();
    cboMergeFieldDB_->addItem(MergeLists::noListText());
    cboMergeFieldDB_->addItems(MergeLists::registeredListNames());
    setMailingList(chosen);
    fillMergeFields();
    loading_ = wasLoading;
}

void frmMessageEdit::fillMergeFields() {
    cboMergeFields_->clear();
    cboMergeFields_->addItems(MergeLists::fieldNames(mailingList()));
    cmdInsertMergeField_->setEnabled(cboMergeFields_->count() > 0);
}

// ---- Saving and closing ----

QString frmMessageEdit::saveQuestion(const QString& caption) {
    return QStringLiteral("Do you want to save the changes to '") + caption + QStringLiteral("'?");
}

bool frmMessageEdit::WriteMessageTextToDB() {
    const MessageContent c = content();
    const QStringList missing =
        MessageFiles::missingFiles(c.Attachments, c.SendType == 0 ? QString() : c.HTMLText);
    if (!missing.isEmpty())
        prompter_.inform(AppTitle(), MessageFiles::missingFilesText(missing), Prompter::Icon::Exclamation);
    if (!MessageStore::SaveMessage(name_, c, mailingList(), greeting_)) {
        logFailure("WriteMessageTextToDB in frmMessageEdit",
                   QStringLiteral("The message could not be written"));
        prompter_.inform(
            AppTitle(), QStringLiteral("The message '") + caption() + QStringLiteral("' could not be saved."),
            Prompter::Icon::Exclamation);
        return false;
    }
    // What is stored now is what a later untouched save gives back.
    loadedText_ = c.MessageText;
    loadedHtml_ = c.HTMLText;
    txtPlainText_->document()->setModified(false);
    txtHTMLSource_->document()->setModified(false);
    modified_ = false;
    return true;
}

bool frmMessageEdit::ReadMessageTextFromDB() {
    const std::optional<MessageRecord> message = MessageStore::ReadMessage(name_);
    if (!message) {
        logFailure("ReadMessageTextFromDB in frmMessageEdit", QStringLiteral("No message named ") + name_);
        return false;
    }
    load(*message);
    return true;
}

void frmMessageEdit::adoptName(const QString& name) {
    name_ = name;
    setWindowTitle(name);
}

void frmMessageEdit::SaveMessage(std::function<void(bool)> done) {
    if (!done)
        done = [](bool) {
        };
    if (!isUnsaved()) {
        done(WriteMessageTextToDB());
        return;
    }
    if (!saveRequest_) {
        done(false);
        return;
    }
    saveRequest_(this, false, std::move(done));
}

void frmMessageEdit::saveMeAs(std::function<void(bool)> done) {
    if (!done)
        done = [](bool) {
        };
    if (!isUnsaved() && !WriteMessageTextToDB()) {
        done(false);
        return;
    }
    if (!saveRequest_) {
        done(false);
        return;
    }
    saveRequest_(this, !isUnsaved(), std::move(done));
}

void frmMessageEdit::closeQuietly() {
    quiet_ = true;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void frmMessageEdit::closeEvent(QCloseEvent* event) {
    if (quiet_) {
        event->accept();
        return;
    }
    // An unsaved message with nothing in it leaves no row behind.
    if (isUnsaved() && MessageStore::IsDiscardableOnClose(name_, content())) {
        MessageStore::DeleteMessageBeforeUnload(name_);
        event->accept();
        return;
    }
    if (!modified_) {
        event->accept();
        return;
    }
    const Prompter::Answer answer =
        prompter_.ask(AppTitle(), saveQuestion(caption()), Prompter::Buttons::SaveDontSaveCancel,
                      Prompter::Icon::Exclamation);
    switch (answer) {
    case Prompter::Answer::Yes:
        if (!isUnsaved()) {
            if (WriteMessageTextToDB())
                event->accept();
            else
                event->ignore();
            return;
        }
        // The name is asked in the save dialog; the window closes once the message is stored.
        event->ignore();
        SaveMessage([this](bool saved) {
            if (saved)
                closeQuietly();
        });
        return;
    case Prompter::Answer::No:
        if (isUnsaved())
            MessageStore::DeleteMessageBeforeUnload(name_);
        event->accept();
        return;
    default:
        event->ignore();
        return;
    }
}

// ---- Merge fields, attachments, files ----

frmMessageEdit::InsertTarget frmMessageEdit::insertTarget() const {
    return InsertTarget(cmbPickInsert_->currentIndex());
}

void frmMessageEdit::setInsertTarget(InsertTarget target) {
    cmbPickInsert_->setCurrentIndex(target);
}

int frmMessageEdit::currentTab() const {
    return tabBody_->currentIndex();
}

void frmMessageEdit::showTab(Tab tab) {
    tabBody_->setTabVisible(tab, true);
    tabBody_->setCurrentIndex(tab);
}

void frmMessageEdit::InsertMergeFieldIntoMessage() {
    const QString field = cboMergeFields_->currentText();
    if (field.isEmpty())
        return;
    const QString tag = MakeMergeFieldTag(field);
    switch (insertTarget()) {
    case InsertSubject:
        txtSubject_->insert(tag);
        txtSubject_->setFocus();
        return;
    case InsertFrom:
        txtFrom_->insert(tag);
        txtFrom_->setFocus();
        return;
    case InsertBody:
        break;
    }
    switch (currentTab()) {
    case PlainTextTab:
        txtPlainText_->insertPlainText(tag);
        txtPlainText_->setFocus();
        break;
    case HtmlSourceTab:
        // In HTML the tag is written with entities: it shows as text and merging finds it.
        txtHTMLSource_->insertPlainText(HtmlSourceMap::escapeText(tag));
        txtHTMLSource_->setFocus();
        break;
    default:
        htmlView_->replaceSelection(tag);
        htmlView_->setFocus();
        break;
    }
}

bool frmMessageEdit::AttachFileToMessage(const QString& path) {
    if (path.isEmpty())
        return false;
    if (!MessageFiles::isStorableAttachment(path)) {
        prompter_.inform(AppTitle(), MessageFiles::semicolonRefusalText(path), Prompter::Icon::Exclamation);
        return false;
    }
    txtAttachments_->setText(MessageFiles::appendAttachment(txtAttachments_->text(), path));
    return true;
}

bool frmMessageEdit::InsertFileIntoMessage(const QString& path) {
    if (path.isEmpty())
        return false;
    const bool intoHtml = currentTab() != PlainTextTab;
    QString error;
    const std::optional<QString> text = MessageFiles::textToInsert(path, intoHtml, &error);
    if (!text) {
        logFailure("InsertFileIntoMessage in frmMessageEdit", error);
        prompter_.inform(
            AppTitle(), QStringLiteral("The file '") + path + QStringLiteral("' could not be read: ") + error,
            Prompter::Icon::Exclamation);
        return false;
    }
    switch (currentTab()) {
    case PlainTextTab:
        txtPlainText_->insertPlainText(*text);
        return true;
    case HtmlSourceTab:
        txtHTMLSource_->insertPlainText(*text);
        return true;
    default:
        return htmlView_->insertMarkup(*text);
    }
}

void frmMessageEdit::chooseAttachment() {
    auto* dialog = new QFileDialog(this, attachTitle(), QString(), attachFilter());
    dialog->setObjectName(QStringLiteral("dlgAttach"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { AttachFileToMessage(file); });
    dialog->open();
}

void frmMessageEdit::chooseFileToInsert() {
    auto* dialog =
        new QFileDialog(this, QStringLiteral("Select file to insert"), QString(),
                        QStringLiteral("Text and HTML Files (*.txt *.htm *.html);;All Files (*.*)"));
    dialog->setObjectName(QStringLiteral("dlgInsertFile"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { InsertFileIntoMessage(file); });
    dialog->open();
}

// ---- Clipboard ----

QWidget* frmMessageEdit::focusedField() const {
    QWidget* focus = focusWidget();
    if (focus == txtSubject_ || focus == txtFrom_ || focus == txtAttachments_ || focus == txtPlainText_ ||
        focus == txtHTMLSource_ || focus == htmlView_)
        return focus;
    // Without a field in focus the commands work on the body view shown.
    return currentTab() == HtmlViewTab ? htmlView_ : tabBody_->currentWidget();
}

void frmMessageEdit::cut() {
    QWidget* field = focusedField();
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->cut();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->cut();
    else if (field == htmlView_ && htmlView_->textCursor().hasSelection()) {
        htmlView_->copy();
        htmlView_->replaceSelection(QString());
    }
}

void frmMessageEdit::copy() {
    QWidget* field = focusedField();
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->copy();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->copy();
    else if (field == htmlView_)
        htmlView_->copy();
}

void frmMessageEdit::paste() {
    QWidget* field = focusedField();
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->paste();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->paste();
    else if (field == htmlView_)
        htmlView_->pasteFromClipboard();
}

void frmMessageEdit::selectAll() {
    QWidget* field = focusedField();
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
        plain->selectAll();
    else if (field == htmlView_)
        htmlView_->selectAll();
}

// ---- Message tools ----

BodyTarget* frmMessageEdit::bodyTarget() const {
    switch (currentTab()) {
    case PlainTextTab:
        return plainTarget_.get();
    case HtmlSourceTab:
        return sourceTarget_.get();
    case HtmlViewTab:
        return viewTarget_.get();
    default:
        return nullptr;
    }
}

void frmMessageEdit::ShowMessageGreetingManager() {
    auto* dialog = new frmMessageGreeting(greeting_, prompter_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Stored with the message when it is saved.
    connect(dialog, &QDialog::accepted, this, [this, dialog] { setGreeting(dialog->settings()); });
    dialog->open();
}

void frmMessageEdit::PreviewMessage() {
    frmMessagePreview::showPreview(draft(), prompter_, window());
}

QList<SpellField> frmMessageEdit::spellFields() {
    const QPointer<frmMessageEdit> self = this;
    const auto documentField = [self](const QString& name, QPlainTextEdit* edit, bool html) {
        const QPointer<QPlainTextEdit> target = edit;
        return SpellField{name,
                          [target] {
                              // Positions of the raw text are the document's positions.
                              return target ? target->document()->toRawText().replace(
                                                  QChar::ParagraphSeparator, u'\n')
                                            : QString();
                          },
                          [target](int start, int length, const QString& replacement) {
                              if (!target)
                                  return;
                              QTextCursor cursor(target->document());
                              cursor.setPosition(start);
                              cursor.setPosition(start + length, QTextCursor::KeepAnchor);
                              cursor.insertText(replacement);
                          },
                          html};
    };
    QList<SpellField> fields;
    const QPointer<QLineEdit> subject = txtSubject_;
    fields << SpellField{QStringLiteral("Subject"),
                         [subject] { return subject ? subject->text() : QString(); },
                         [subject](int start, int length, const QString& replacement) {
                             if (subject)
                                 subject->setText(subject->text().replace(start, length, replacement));
                         },
                         false};
    const int format = cboFormat_->currentIndex();
    if (format != 1)
        fields << documentField(QStringLiteral("Text"), txtPlainText_, false);
    if (format != 0)
        fields << documentField(QStringLiteral("HTML"), txtHTMLSource_, true);
    return fields;
}

void frmMessageEdit::SpellCheckMailMessage() {
    frmSpellCheck::checkFields(spellFields(), prompter_, window());
}

// ---- Formatting in the rendered view ----

namespace {

// A value for a double-quoted attribute.
QString attributeValue(const QString& text) {
    QString value = text;
    return value.replace(u'&', QStringLiteral("&amp;")).replace(u'"', QStringLiteral("&quot;"));
}

} // namespace

bool frmMessageEdit::makeBold() {
    return htmlView_->wrapSelection(QStringLiteral("<b>"), QStringLiteral("</b>"));
}

bool frmMessageEdit::makeItalic() {
    return htmlView_->wrapSelection(QStringLiteral("<i>"), QStringLiteral("</i>"));
}

bool frmMessageEdit::makeLink(const QString& address) {
    if (address.trimmed().isEmpty())
        return false;
    return htmlView_->wrapSelection(QStringLiteral("<a href=\"") + attributeValue(address.trimmed()) +
                                        QStringLiteral("\">"),
                                    QStringLiteral("</a>"));
}

bool frmMessageEdit::insertImage(const QString& path) {
    if (path.isEmpty())
        return false;
    return htmlView_->insertMarkup(QStringLiteral("<img src=\"") + attributeValue(path) +
                                   QStringLiteral("\">"));
}

void frmMessageEdit::chooseLink() {
    if (!htmlView_->textCursor().hasSelection()) {
        Q_EMIT statusText(QStringLiteral("Select the text to make a link first."));
        return;
    }
    if (const std::optional<QString> address =
            prompter_.askText(QStringLiteral("Insert Link"), QStringLiteral("Link address (URL):")))
        makeLink(*address);
}

void frmMessageEdit::chooseImage() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Select image to insert"), QString(),
                                   QStringLiteral("Images (*.png *.jpg *.jpeg *.gif);;All Files (*.*)"));
    dialog->setObjectName(QStringLiteral("dlgImage"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) { insertImage(file); });
    dialog->open();
}
