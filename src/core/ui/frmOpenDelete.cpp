#include "core/ui/frmOpenDelete.h"

#include "core/AppInfo.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmOpenDelete::frmOpenDelete(Mode mode, const Texts& texts, const QList<Entry>& entries, Prompter& prompter,
                             QWidget* parent)
    : QDialog(parent), mode_(mode), texts_(texts), prompter_(prompter), items_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("frmOpenDelete"));
    setWindowTitle(texts.title);

    auto* prompt = new QLabel(texts.prompt, this);
    prompt->setObjectName(QStringLiteral("lblPrompt"));

    items_->setObjectName(QStringLiteral("lstItems"));
    items_->setColumnCount(2);
    items_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Description")});
    items_->setRootIsDecorated(false);
    items_->setSelectionMode(mode == Mode::Save ? QAbstractItemView::SingleSelection
                                                : QAbstractItemView::ExtendedSelection);
    items_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (const Entry& entry : entries)
        new QTreeWidgetItem(items_, {entry.name, entry.description});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(items_);

    if (mode == Mode::Save) {
        name_ = new QLineEdit(this);
        name_->setObjectName(QStringLiteral("txtName"));
        description_ = new QLineEdit(this);
        description_->setObjectName(QStringLiteral("txtDescription"));
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("&Name:"), name_);
        form->addRow(QStringLiteral("&Description:"), description_);
        layout->addLayout(form);
        // Picking an existing entry offers its name, to replace it.
        connect(items_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
            name_->setText(item->text(0));
            description_->setText(item->text(1));
        });
    } else {
        connect(items_, &QTreeWidget::itemDoubleClicked, this, &frmOpenDelete::accept);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    buttons->button(QDialogButtonBox::Ok)
        ->setText(mode == Mode::Open     ? QStringLiteral("&Open")
                  : mode == Mode::Delete ? QStringLiteral("&Delete")
                                         : QStringLiteral("&Save"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmOpenDelete::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmOpenDelete::reject);
    layout->addWidget(buttons);
    resize(460, 340);
}

QStringList frmOpenDelete::selectedNames() const {
    QStringList names;
    for (int i = 0; i < items_->topLevelItemCount(); ++i)
        if (items_->topLevelItem(i)->isSelected())
            names << items_->topLevelItem(i)->text(0);
    return names;
}

QString frmOpenDelete::newName() const {
    return name_ ? name_->text().trimmed() : QString();
}

QString frmOpenDelete::newDescription() const {
    return description_ ? description_->text() : QString();
}

void frmOpenDelete::setNewName(const QString& name) {
    if (name_)
        name_->setText(name);
}

QString frmOpenDelete::invalidNameText() {
    return QStringLiteral("Please Enter a Valid Filename. A valid filename cannot conatain the following "
                          "characters:  \n    \"  *  ?  /  \\  |  :  ;");
}

frmOpenDelete::Texts frmOpenDelete::listTexts(Mode mode) {
    switch (mode) {
    case Mode::Open:
        return {QStringLiteral("Open Email List"),
                QStringLiteral("Select a list or lists from the list to open:"),
                {},
                {}};
    case Mode::Delete:
        return {QStringLiteral("Delete Email List"),
                QStringLiteral("Select a list or lists from the list to delete:"),
                QStringLiteral("Please select a list or lists to delete."),
                QStringLiteral("Delete the %1 list(s) ?")};
    case Mode::Save:
        break;
    }
    return {QStringLiteral("Save Email List"), QStringLiteral("Select a name to save your list as:"), {}, {}};
}

void frmOpenDelete::accept() {
    switch (mode_) {
    case Mode::Open:
        if (selectedNames().isEmpty())
            return;
        break;
    case Mode::Delete: {
        const QStringList names = selectedNames();
        if (names.isEmpty()) {
            prompter_.inform(windowTitle(), texts_.nothingSelected, Prompter::Icon::Information);
            return;
        }
        if (prompter_.ask(windowTitle(), texts_.confirmDelete.arg(names.size()), Prompter::Buttons::YesNo,
                          Prompter::Icon::Question) != Prompter::Answer::Yes)
            return;
        break;
    }
    case Mode::Save:
        if (nameCheck_) {
            if (!nameCheck_(newName(), newDescription())) {
                name_->setFocus();
                name_->selectAll();
                return;
            }
            break;
        }
        // A name must be usable as a file name and in the registry; the empty one names nothing.
        if (newName().isEmpty() || newName().contains(u'\'') || !IsValidFileName(newName())) {
            prompter_.inform(windowTitle(), invalidNameText(), Prompter::Icon::Exclamation);
            name_->setFocus();
            name_->selectAll();
            return;
        }
        break;
    }
    QDialog::accept();
}
