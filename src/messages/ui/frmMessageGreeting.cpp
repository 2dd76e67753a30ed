#include "messages/ui/frmMessageGreeting.h"

#include "core/Prompter.h"
#include "messages/ui/OfflineHtmlView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

QLineEdit* lineEdit(QWidget* parent, const char* name, int maxLength) {
    auto* edit = named(new QLineEdit(parent), name);
    edit->setMaxLength(maxLength);
    return edit;
}

} // namespace

frmMessageGreeting::frmMessageGreeting(const GreetingSettings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), loaded_(settings),
      useGreetingManager_(
          named(new QCheckBox(QStringLiteral("&Use the Greeting Manager"), this), "chkUseGreetingManager")),
      greetingPersonalized_(
          named(new QRadioButton(QStringLiteral("&Personalized greeting"), this), "optGreetingPersonalized")),
      greetingGroup_(named(new QRadioButton(QStringLiteral("&Group greeting"), this), "optGreetingGroup")),
      noGreeting_(named(new QRadioButton(QStringLiteral("&No greeting"), this), "optNoGreeting")),
      toPersonalized_(
          named(new QRadioButton(QStringLiteral("Personali&zed address"), this), "optToPersonalized")),
      toGroup_(named(new QRadioButton(QStringLiteral("Group a&ddress"), this), "optToGroup")),
      useTitle_(named(new QCheckBox(QStringLiteral("&Title"), this), "chkUseTitle")),
      useFName_(named(new QCheckBox(QStringLiteral("&First name"), this), "chkUseFName")),
      useLName_(named(new QCheckBox(QStringLiteral("&Last name"), this), "chkUseLName")),
      salutation_(lineEdit(this, "txtSalutation", 50)), punctuation_(lineEdit(this, "txtPunctuation", 5)),
      genericName_(lineEdit(this, "txtGenericName", 50)),
      missingFName_(named(new QCheckBox(QStringLiteral("Greet with the last name when the first name is "
                                                       "missing"),
                                        this),
                          "chkMissingFName")),
      missingLName_(named(new QCheckBox(QStringLiteral("Greet with the first name when the last name is "
                                                       "missing"),
                                        this),
                          "chkMissingLName")),
      groupGreeting_(lineEdit(this, "txtGroupGreeting", 255)),
      groupAddress_(lineEdit(this, "txtGroupAddress", 255)), templateTabs_(new QTabWidget(this)),
      templateSource_(named(new QPlainTextEdit(this), "txtHTMLGreeting")),
      templateView_(named(new OfflineHtmlView(this), "htmlGreetingView")),
      templateWarning_(named(new QLabel(templateWarningText(), this), "lblTemplateWarning")) {
    setObjectName(QStringLiteral("frmMessageGreeting"));
    setWindowTitle(QStringLiteral("Greeting Manager"));
    templateTabs_->setObjectName(QStringLiteral("tabTemplate"));
    templateWarning_->setWordWrap(true);
    templateWarning_->setStyleSheet(QStringLiteral("color: #b00000"));

    // Greeting and To options each form their own group.
    auto* greetingOptions = new QButtonGroup(this);
    greetingOptions->addButton(greetingPersonalized_);
    greetingOptions->addButton(greetingGroup_);
    greetingOptions->addButton(noGreeting_);
    auto* toOptions = new QButtonGroup(this);
    toOptions->addButton(toPersonalized_);
    toOptions->addButton(toGroup_);

    auto* greetingBox = new QGroupBox(QStringLiteral("Greeting"), this);
    auto* greetingLayout = new QGridLayout(greetingBox);
    greetingLayout->addWidget(greetingPersonalized_, 0, 0);
    greetingLayout->addWidget(greetingGroup_, 0, 1);
    greetingLayout->addWidget(noGreeting_, 0, 2);
    auto* personal = new QFormLayout;
    personal->addRow(QStringLiteral("&Salutation:"), salutation_);
    auto* names = new QHBoxLayout;
    names->addWidget(useTitle_);
    names->addWidget(useFName_);
    names->addWidget(useLName_);
    names->addStretch();
    personal->addRow(QStringLiteral("Names:"), names);
    personal->addRow(QStringLiteral("P&unctuation:"), punctuation_);
    personal->addRow(QStringLiteral("G&eneric name:"), genericName_);
    personal->addRow(QString(), missingFName_);
    personal->addRow(QString(), missingLName_);
    personal->addRow(QStringLiteral("Group greetin&g:"), groupGreeting_);
    greetingLayout->addLayout(personal, 1, 0, 1, 3);

    auto* toBox = new QGroupBox(QStringLiteral("To address"), this);
    auto* toLayout = new QGridLayout(toBox);
    toLayout->addWidget(toPersonalized_, 0, 0);
    toLayout->addWidget(toGroup_, 0, 1);
    auto* toForm = new QFormLayout;
    toForm->addRow(QStringLiteral("Group &address:"), groupAddress_);
    toLayout->addLayout(toForm, 1, 0, 1, 2);

    templateTabs_->addTab(templateSource_, QStringLiteral("HTML Source"));
    templateTabs_->addTab(templateView_, QStringLiteral("Rendered"));
    auto* templateBox = new QGroupBox(QStringLiteral("HTML greeting template"), this);
    auto* templateLayout = new QVBoxLayout(templateBox);
    templateLayout->addWidget(templateTabs_);
    templateLayout->addWidget(templateWarning_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmMessageGreeting::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmMessageGreeting::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(useGreetingManager_);
    layout->addWidget(greetingBox);
    layout->addWidget(toBox);
    layout->addWidget(templateBox, 1);
    layout->addWidget(buttons);

    // The window shows the settings as they are.
    useGreetingManager_->setChecked(settings.UseGreetingManager);
    (settings.GreetingType == 1   ? greetingPersonalized_
     : settings.GreetingType == 0 ? greetingGroup_
                                  : noGreeting_)
        ->setChecked(true);
    (settings.AddressType == 1 ? toPersonalized_ : toGroup_)->setChecked(true);
    useTitle_->setChecked(!settings.TitleColumn.isEmpty());
    useFName_->setChecked(!settings.FirstNameColumn.isEmpty());
    useLName_->setChecked(!settings.LastNameColumn.isEmpty());
    salutation_->setText(settings.Salutation);
    punctuation_->setText(settings.Punctuation);
    genericName_->setText(settings.GenericName);
    missingFName_->setChecked(settings.MissingFNameOption);
    missingLName_->setChecked(settings.MissingLNameOption);
    groupGreeting_->setText(settings.GroupGreeting);
    groupAddress_->setText(settings.GroupAddress);
    templateSource_->setPlainText(settings.HTMLGreeting.isEmpty() ? emptyTemplate() : settings.HTMLGreeting);

    for (QAbstractButton* option :
         {static_cast<QAbstractButton*>(useGreetingManager_),
          static_cast<QAbstractButton*>(greetingPersonalized_), static_cast<QAbstractButton*>(greetingGroup_),
          static_cast<QAbstractButton*>(noGreeting_), static_cast<QAbstractButton*>(toPersonalized_),
          static_cast<QAbstractButton*>(toGroup_)})
        connect(option, &QAbstractButton::toggled, this, &frmMessageGreeting::UpdateGreetingManagerState);
    connect(templateSource_, &QPlainTextEdit::textChanged, this, &frmMessageGreeting::showTemplate);
    UpdateGreetingManagerState();
    showTemplate();
    resize(560, 640);
}

QString frmMessageGreeting::emptyTemplate() {
    return QStringLiteral("<BODY><p>{Prefix} {Salutation}</p></BODY>");
}

QString frmMessageGreeting::templateWarningText() {
    return QStringLiteral("The template needs <BODY>, </BODY>, {Prefix} and {Salutation}; without them "
                          "HTML copies get no greeting.");
}

bool frmMessageGreeting::templateUsable(const QString& html) {
    const qsizetype open = html.indexOf(QLatin1StringView("<BODY>"), 0, Qt::CaseInsensitive);
    const qsizetype close = html.indexOf(QLatin1StringView("</BODY>"), 0, Qt::CaseInsensitive);
    if (open < 0 || close < open)
        return false;
    const QStringView body = QStringView(html).mid(open, close - open);
    return body.contains(QLatin1StringView("{Prefix}")) && body.contains(QLatin1StringView("{Salutation}"));
}

void frmMessageGreeting::showTemplate() {
    const QString html = templateSource_->toPlainText();
    templateView_->setHtml(html);
    templateWarning_->setVisible(!templateUsable(html));
}

void frmMessageGreeting::UpdateGreetingManagerState() {
    const bool on = useGreetingManager_->isChecked();
    const bool personal = on && greetingPersonalized_->isChecked();
    const bool group = on && greetingGroup_->isChecked();
    const bool personalTo = on && toPersonalized_->isChecked();
    for (QWidget* option : {static_cast<QWidget*>(greetingPersonalized_),
                            static_cast<QWidget*>(greetingGroup_), static_cast<QWidget*>(noGreeting_),
                            static_cast<QWidget*>(toPersonalized_), static_cast<QWidget*>(toGroup_)})
        option->setEnabled(on);
    // The name columns make both the greeting and the personal To name.
    for (QWidget* name : {useTitle_, useFName_, useLName_})
        name->setEnabled(personal || personalTo);
    for (QWidget* field : {static_cast<QWidget*>(salutation_), static_cast<QWidget*>(punctuation_),
                           static_cast<QWidget*>(genericName_), static_cast<QWidget*>(missingFName_),
                           static_cast<QWidget*>(missingLName_)})
        field->setEnabled(personal);
    templateTabs_->setEnabled(personal || group);
    groupGreeting_->setEnabled(group);
    groupAddress_->setEnabled(on && toGroup_->isChecked());
}

GreetingSettings frmMessageGreeting::settings() const {
    GreetingSettings s = loaded_;
    s.UseGreetingManager = useGreetingManager_->isChecked();
    s.GreetingType = greetingPersonalized_->isChecked() ? 1 : greetingGroup_->isChecked() ? 0 : -1;
    s.AddressType = toPersonalized_->isChecked() ? 1 : 0;
    s.TitleColumn = useTitle_->isChecked() ? QStringLiteral("Title") : QString();
    s.FirstNameColumn = useFName_->isChecked() ? QStringLiteral("FirstName") : QString();
    s.LastNameColumn = useLName_->isChecked() ? QStringLiteral("LastName") : QString();
    s.Salutation = salutation_->text();
    s.Punctuation = punctuation_->text();
    s.GenericName = genericName_->text();
    s.MissingFNameOption = missingFName_->isChecked();
    s.MissingLNameOption = missingLName_->isChecked();
    s.GroupGreeting = groupGreeting_->text();
    s.GroupAddress = groupAddress_->text();
    s.HTMLGreeting = templateSource_->toPlainText();
    return s;
}

void frmMessageGreeting::accept() {
    const GreetingSettings chosen = settings();
    // Only a greeting manager in use can be missing a group text.
    const QString refusal = chosen.UseGreetingManager ? GroupChoiceRefusal(chosen) : QString();
    if (!refusal.isEmpty()) {
        prompter_.inform(windowTitle(), refusal, Prompter::Icon::Exclamation);
        return;
    }
    QDialog::accept();
}
