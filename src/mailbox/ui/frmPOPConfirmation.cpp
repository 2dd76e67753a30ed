#include "mailbox/ui/frmPOPConfirmation.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

frmPOPConfirmation::frmPOPConfirmation(const PopWizardRun::Confirmation& confirmation, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmPOPConfirmation"));
    setWindowTitle(confirmation.title);

    // The text's first lines are the count and the note on deletion; the addresses follow in the grid.
    const QStringList lines = confirmation.text.split(u'\n');
    auto* count = new QLabel(lines.value(0).trimmed(), this);
    count->setObjectName(QStringLiteral("lblCount"));
    auto* kept = new QLabel(this);
    kept->setObjectName(QStringLiteral("lblNotDeleted"));
    if (lines.size() > 1 && lines[1].startsWith(QLatin1String("Messages will not")))
        kept->setText(lines[1]);
    kept->setVisible(!kept->text().isEmpty());

    auto* grid = new QTableWidget(int(confirmation.addresses.size()), 1, this);
    grid->setObjectName(QStringLiteral("grdAddresses"));
    grid->setHorizontalHeaderLabels({QStringLiteral("EAddress")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < confirmation.addresses.size(); ++row)
        grid->setItem(row, 0, new QTableWidgetItem(confirmation.addresses[row]));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count);
    layout->addWidget(kept);
    layout->addWidget(grid, 1);
    layout->addWidget(buttons);
    resize(420, 360);
}

void frmPOPConfirmation::done(int result) {
    QDialog::done(result);
    Q_EMIT answered(result == Accepted);
}
