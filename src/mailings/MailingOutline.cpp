#include "mailings/MailingOutline.h"

#include <algorithm>

struct MailingOutline::Node {
    int level = -1; // -1: the invisible root
    QString name;
    Mailing mailing; // level 2 only
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;

    Node* add(int childLevel, const QString& childName) {
        auto child = std::make_unique<Node>();
        child->level = childLevel;
        child->name = childName;
        child->parent = this;
        child->row = int(children.size());
        children.push_back(std::move(child));
        return children.back().get();
    }
    Node* child(const QString& childName) const {
        for (const auto& c : children)
            if (c->name == childName)
                return c.get();
        return nullptr;
    }
};

MailingOutline::MailingOutline(QObject* parent)
    : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {}

MailingOutline::~MailingOutline() = default;

void MailingOutline::setContent(const QStringList& groups, const QList<Mailing>& mailings) {
    beginResetModel();
    root_ = std::make_unique<Node>();
    // Every group once, sorted as the mailings are; a deleted group still holding mailings is kept.
    QStringList names = groups;
    for (const Mailing& m : mailings)
        names << m.TamberlynName;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const QString& group : std::as_const(names))
        root_->add(GroupLevel, group);
    for (const Mailing& m : mailings) {
        Node* group = root_->child(m.TamberlynName);
        Node* list = group->children.empty() || group->children.back()->name != m.ListName
                         ? group->add(ListLevel, m.ListName)
                         : group->children.back().get();
        list->add(MailingLevel, m.MessageName)->mailing = m;
    }
    endResetModel();
}

bool MailingOutline::updateMailing(const Mailing& mailing) {
    const QModelIndex found = indexOfMailing(mailing.MailEventName);
    if (!found.isValid())
        return false;
    nodeOf(found)->mailing = mailing;
    Q_EMIT dataChanged(index(found.row(), 0, found.parent()),
                       index(found.row(), ColumnCount - 1, found.parent()));
    return true;
}

MailingOutline::Node* MailingOutline::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex MailingOutline::indexOfNode(const Node* node, int column) const {
    if (!node || node == root_.get())
        return {};
    return createIndex(node->row, column, const_cast<Node*>(node));
}

int MailingOutline::level(const QModelIndex& index) const {
    return index.isValid() ? nodeOf(index)->level : -1;
}

std::optional<Mailing> MailingOutline::mailingAt(const QModelIndex& index) const {
    if (level(index) != MailingLevel)
        return std::nullopt;
    return nodeOf(index)->mailing;
}

QString MailingOutline::groupOf(const QModelIndex& index) const {
    const Node* node = index.isValid() ? nodeOf(index) : nullptr;
    while (node && node->level > GroupLevel)
        node = node->parent;
    return node ? node->name : QString();
}

QString MailingOutline::listOf(const QModelIndex& index) const {
    const Node* node = index.isValid() ? nodeOf(index) : nullptr;
    while (node && node->level > ListLevel)
        node = node->parent;
    return node && node->level == ListLevel ? node->name : QString();
}

QString MailingOutline::nameAt(const QModelIndex& index) const {
    return index.isValid() ? nodeOf(index)->name : QString();
}

QString MailingOutline::keyOf(const QModelIndex& index) const {
    switch (level(index)) {
    case GroupLevel:
        return QStringLiteral("G\n") + groupOf(index);
    case ListLevel:
        return QStringLiteral("L\n") + groupOf(index) + u'\n' + listOf(index);
    case MailingLevel:
        return QStringLiteral("M\n") + QString::number(nodeOf(index)->mailing.MailEventName);
    default:
        return {};
    }
}

template <typename Match> QModelIndex MailingOutline::find(const Match& match) const {
    for (const auto& group : root_->children) {
        if (match(*group))
            return indexOfNode(group.get());
        for (const auto& list : group->children) {
            if (match(*list))
                return indexOfNode(list.get());
            for (const auto& mailing : list->children)
                if (match(*mailing))
                    return indexOfNode(mailing.get());
        }
    }
    return {};
}

QModelIndex MailingOutline::indexOfKey(const QString& key) const {
    if (key.isEmpty())
        return {};
    return find([&](const Node& node) { return keyOf(indexOfNode(&node)) == key; });
}

QModelIndex MailingOutline::indexOfMailing(qint32 id) const {
    return find(
        [id](const Node& node) { return node.level == MailingLevel && node.mailing.MailEventName == id; });
}

QModelIndex MailingOutline::indexOfGroup(const QString& group) const {
    return find([&group](const Node& node) { return node.level == GroupLevel && node.name == group; });
}

QModelIndex MailingOutline::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent))
        return {};
    return indexOfNode(nodeOf(parent)->children[size_t(row)].get(), column);
}

QModelIndex MailingOutline::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return indexOfNode(nodeOf(child)->parent);
}

int MailingOutline::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(nodeOf(parent)->children.size());
}

int MailingOutline::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant MailingOutline::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole))
        return {};
    const Node* node = nodeOf(index);
    const bool mailing = node->level == MailingLevel;
    if (role == Qt::TextAlignmentRole)
        return index.column() == IdColumn || index.column() == TotalColumn
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant();
    switch (index.column()) {
    case OptionsColumn:
        return mailing ? QVariant(node->mailing.Profile) : QVariant();
    case NameColumn:
        return node->name;
    case IdColumn:
        return mailing ? QVariant(node->mailing.MailEventName) : QVariant();
    case DateColumn:
        return mailing ? QVariant(node->mailing.DateSent) : QVariant();
    case TotalColumn:
        return mailing ? QVariant(node->mailing.SentCount) : QVariant();
    default:
        return {};
    }
}

QVariant MailingOutline::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case OptionsColumn:
        return QStringLiteral("Delivery Options");
    case NameColumn:
        return QStringLiteral("Name");
    case IdColumn:
        return QStringLiteral("Mailing ID");
    case DateColumn:
        return QStringLiteral("Date Mailed");
    case TotalColumn:
        return QStringLiteral("Total Mailed");
    default:
        return QString();
    }
}
