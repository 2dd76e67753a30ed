#include "lists/ui/frmListOperations.h"

#include "core/AppInfo.h"
#include "db/DataTank.h"
#include "lists/ListCatalog.h"
#include "lists/ListOperations.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString frmListOperations::operationName(Operation operation) {
    switch (operation) {
    case Operation::Merge:
        return QStringLiteral("Merge Lists");
    case Operation::Clean:
        return QStringLiteral("Clean List");
    case Operation::Duplicates:
        break;
    }
    return QStringLiteral("Find Duplicates");
}

QList<frmListOperations::Choice> frmListOperations::registeredChoices() {
    QList<Choice> choices;
    for (const RegisteredList& list : RegisteredLists())
        choices.append({list.name, DataTank::registeredPath(list.listPath)});
    return choices;
}

frmListOperations::frmListOperations(Operation operation, const QList<Choice>& lists, Prompter& prompter,
                                     int openListWindows, QWidget* parent)
    : QDialog(parent), operation_(operation), prompter_(prompter), openListWindows_(openListWindows),
      result_(ListOperations::cancelResult()) {
    setObjectName(QStringLiteral("frmListOperations"));
    setWindowTitle(operationName(operation));

    static const char* const firstLabels[] = {"&First list:", "&List to clean:", "&First list:"};
    static const char* const secondLabels[] = {"&Second list:", "&Addresses to remove:", "&Second list:"};
    auto* form = new QFormLayout;
    for (int i = 0; i < 2; ++i) {
        lists_[i] = new QComboBox(this);
        lists_[i]->setObjectName(QStringLiteral("cboListOperation_") + QString::number(i));
        lists_[i]->setMinimumContentsLength(28);
        for (const Choice& choice : lists)
            lists_[i]->addItem(choice.name, choice.path);
        const char* label = i == 0 ? firstLabels[int(operation)] : secondLabels[int(operation)];
        form->addRow(QString::fromLatin1(label), lists_[i]);
    }
    // Two different lists by default, when there are two.
    if (lists.size() > 1)
        lists_[1]->setCurrentIndex(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!lists.isEmpty());
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &frmListOperations::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmListOperations::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void frmListOperations::selectFirst(const QString& path) {
    for (int i = 0; i < lists_[0]->count(); ++i)
        if (lists_[0]->itemData(i).toString().compare(path, Qt::CaseInsensitive) == 0) {
            lists_[0]->setCurrentIndex(i);
            if (lists_[1]->currentIndex() == i && lists_[1]->count() > 1)
                lists_[1]->setCurrentIndex(i == 0 ? 1 : 0);
            return;
        }
}

QString frmListOperations::firstPath() const {
    return lists_[0]->currentData().toString();
}

QString frmListOperations::secondPath() const {
    return lists_[1]->currentData().toString();
}

void frmListOperations::accept() {
    if (firstPath().isEmpty() || secondPath().isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (operation_) {
    case Operation::Merge:
        result_ = ListOperations::gMergeLists(firstPath(), secondPath(), prompter_);
        break;
    case Operation::Clean:
        result_ = ListOperations::gCleanList(firstPath(), secondPath(), prompter_, openListWindows_);
        break;
    case Operation::Duplicates:
        result_ = ListOperations::gFindDuplicates(firstPath(), secondPath(), prompter_);
        break;
    }
    QApplication::restoreOverrideCursor();
    QDialog::accept();
}

void frmListOperations::reject() {
    result_ = ListOperations::cancelResult();
    QDialog::reject();
}

QString frmListOperations::emptyResultText() {
    return QStringLiteral("The resulting list is empty");
}

void frmListOperations::ListSummary(const QString& result, Prompter& prompter,
                                    const std::function<void(const QString& path)>& openList) {
    if (ListOperations::isPath(result)) {
        openList(result);
    } else if (result == ListOperations::noRecordsResult()) {
        prompter.inform(AppTitle(), emptyResultText(), Prompter::Icon::Information);
    } else if (ListOperations::isError(result)) {
        // A builder that showed its own message answers with the bare "<Error:".
        const QString description = ListOperations::errorDescription(result);
        if (!description.isEmpty())
            prompter.inform(AppTitle(), description, Prompter::Icon::Exclamation);
    }
}
