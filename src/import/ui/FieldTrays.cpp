#include "import/ui/FieldTrays.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>

FieldList::FieldList(QWidget* parent) : QTreeWidget(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setRootIsDecorated(false);
}

QMimeData* FieldList::mimeData(const QList<QTreeWidgetItem*>& items) const {
    auto* data = new QMimeData;
    if (!items.isEmpty())
        data->setText(items.first()->text(0));
    return data;
}

FieldTray::FieldTray(const QString& caption, QWidget* parent)
    : QFrame(parent), value_(new QLabel(this)), menu_(new QMenu(this)) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAcceptDrops(true);
    setMinimumHeight(48);
    auto* title = new QLabel(caption, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    value_->setObjectName(QStringLiteral("lblField"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(title);
    layout->addWidget(value_);

    menu_->setObjectName(QStringLiteral("SpeedMenu"));
    QAction* remove = menu_->addAction(QStringLiteral("&Remove"));
    remove->setObjectName(QStringLiteral("mnuRemove"));
    menu_->addAction(QStringLiteral("&Cancel"))->setObjectName(QStringLiteral("mnuCancel"));
    connect(remove, &QAction::triggered, this, &FieldTray::removeRequested);
}

void FieldTray::setField(const QString& field) {
    field_ = field;
    value_->setText(field);
}

void FieldTray::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
}

void FieldTray::dropEvent(QDropEvent* event) {
    const QString field = event->mimeData()->text().trimmed();
    if (field.isEmpty())
        return;
    event->acceptProposedAction();
    Q_EMIT fieldDropped(field);
}

void FieldTray::contextMenuEvent(QContextMenuEvent* event) {
    if (!field_.isEmpty())
        menu_->popup(event->globalPos());
}
