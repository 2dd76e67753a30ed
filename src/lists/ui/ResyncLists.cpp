#include "lists/ui/ResyncLists.h"

#include "core/ui/HelpFile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ResyncLists::ResyncLists(ListResync::Phase phase, const QStringList& entries, Prompter& prompter,
                         QWidget* parent)
    : QDialog(parent), phase_(phase), prompter_(prompter), entries_(new QListWidget(this)) {
    setObjectName(QStringLiteral("ResyncLists"));
    setWindowTitle(ListResync::captionText(phase));

    auto* caption = new QLabel(ListResync::captionText(phase), this);
    caption->setObjectName(QStringLiteral("lblCaption"));
    QFont bold = caption->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    caption->setFont(bold);
    auto* explanation = new QLabel(ListResync::explanationText(phase), this);
    explanation->setObjectName(QStringLiteral("Label1"));
    explanation->setWordWrap(true);

    entries_->setObjectName(QStringLiteral("lstSync"));
    for (const QString& entry : entries) {
        auto* item = new QListWidgetItem(entry, entries_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }

    auto* selectAllButton = new QPushButton(QStringLiteral("Select &All"), this);
    selectAllButton->setObjectName(QStringLiteral("cmdSelectAll"));
    auto* closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setDefault(true);
    auto* helpButton = new QPushButton(QStringLiteral("&Help"), this);
    helpButton->setObjectName(QStringLiteral("cmdHelp"));
    connect(selectAllButton, &QPushButton::clicked, this, &ResyncLists::selectAll);
    connect(closeButton, &QPushButton::clicked, this, &ResyncLists::applyAndClose);
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelpFile(prompter_); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAllButton);
    buttons->addStretch();
    buttons->addWidget(helpButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(explanation);
    layout->addWidget(entries_, 1);
    layout->addLayout(buttons);
    resize(520, 360);
}

QStringList ResyncLists::tickedEntries() const {
    QStringList ticked;
    for (int i = 0; i < entries_->count(); ++i)
        if (entries_->item(i)->checkState() == Qt::Checked)
            ticked << entries_->item(i)->text();
    return ticked;
}

void ResyncLists::selectAll() {
    for (int i = 0; i < entries_->count(); ++i)
        entries_->item(i)->setCheckState(Qt::Checked);
}

void ResyncLists::applyAndClose() {
    const QStringList ticked = tickedEntries();
    if (!ticked.isEmpty()) {
        if (phase_ == ListResync::Phase::Missing)
            ListResync::removeMissing(ticked, prompter_);
        else
            ListResync::registerExtra(ticked, prompter_);
    }
    accept();
}

void ResyncLists::ReSyncAddressLists(const ListResync::Findings& findings, Prompter& prompter,
                                     QWidget* parent) {
    if (!findings.missing.isEmpty()) {
        ResyncLists window(ListResync::Phase::Missing, findings.missing, prompter, parent);
        window.exec();
    }
    if (!findings.extra.isEmpty()) {
        ResyncLists window(ListResync::Phase::Extra, findings.extra, prompter, parent);
        window.exec();
    }
}
