#pragma once

#include "mailings/Mailings.h"

#include <QAbstractItemModel>
#include <QStringList>
#include <memory>
#include <vector>

// The mailing centre's outline: groups (level 0), the lists of a group's mailings (level 1) and the
// mailings, one per message (level 2), in the order of the mailings: group, list, message, date sent.
// Groups without mailings are shown too, and so are the groups of mailings whose group was deleted.
class MailingOutline : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Level { GroupLevel = 0, ListLevel = 1, MailingLevel = 2 };
    // Columns 0 and 1 are narrow margins; 2 holds a mailing's delivery options (hidden in the window).
    enum Column {
        MarginColumn = 0,
        SpareColumn = 1,
        OptionsColumn = 2,
        NameColumn = 3,
        IdColumn = 4,
        DateColumn = 5,
        TotalColumn = 6,
        ColumnCount = 7
    };

    explicit MailingOutline(QObject* parent = nullptr);
    ~MailingOutline() override;

    // Shows the groups and the mailings (the latter in the order of Mailings::all()).
    void setContent(const QStringList& groups, const QList<Mailing>& mailings);
    // A mailing's row shows its new date and totals; false when it is not in the outline.
    bool updateMailing(const Mailing& mailing);

    int level(const QModelIndex& index) const;
    // The mailing of a level-2 row.
    std::optional<Mailing> mailingAt(const QModelIndex& index) const;
    // The group and the list a row belongs to (the list is empty on a group row).
    QString groupOf(const QModelIndex& index) const;
    QString listOf(const QModelIndex& index) const;
    // What the row shows: the group, list or message name.
    QString nameAt(const QModelIndex& index) const;
    // A text that names the row across reloads: its level and names, or the mailing's number.
    QString keyOf(const QModelIndex& index) const;
    QModelIndex indexOfKey(const QString& key) const;
    QModelIndex indexOfMailing(qint32 id) const;
    QModelIndex indexOfGroup(const QString& group) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOfNode(const Node* node, int column = 0) const;
    template <typename Match> QModelIndex find(const Match& match) const;

    std::unique_ptr<Node> root_;
};
