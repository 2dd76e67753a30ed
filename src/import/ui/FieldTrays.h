#pragma once

#include <QFrame>
#include <QTreeWidget>

class QLabel;
class QMenu;

// The available fields of the import's field page: dragging one carries its name as text.
class FieldList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FieldList(QWidget* parent = nullptr);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
};

// A tray that names the field holding one kind of data (e-mail address, first name ...): a field name
// dropped on it fills it; its pop-up menu (SpeedMenu) empties it.
class FieldTray : public QFrame {
    Q_OBJECT
public:
    FieldTray(const QString& caption, QWidget* parent = nullptr);

    QString field() const { return field_; }
    void setField(const QString& field);
    // The pop-up menu with "&Remove" and "&Cancel".
    QMenu* speedMenu() const { return menu_; }

Q_SIGNALS:
    // A field name was dropped on the tray.
    void fieldDropped(const QString& field);
    // "&Remove" was chosen.
    void removeRequested();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QLabel* value_;
    QMenu* menu_;
    QString field_;
};
