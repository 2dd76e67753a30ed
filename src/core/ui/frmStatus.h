#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QTreeWidget;

// A report in a list view: one column per column of the table, one line per row, sorted by a click on
// a heading (numbers by their value). Up to three buttons carry the captions the caller gives (an empty
// caption hides its button); the caption pressed comes back through pressed(), the close box gives "".
class frmStatus : public QDialog {
    Q_OBJECT
public:
    struct Table {
        QString heading; // the line above the list; may be empty
        QStringList columns;
        QList<QStringList> rows;
    };

    frmStatus(const QString& caption, const Table& table, const QStringList& buttonCaptions,
              QWidget* parent = nullptr);

    // Shows the report without waiting; pressed() tells the answer and the window then deletes itself.
    static frmStatus* ShowStatus(const QString& caption, const Table& table,
                                 const QStringList& buttonCaptions, QWidget* parent = nullptr);

    QString answer() const { return answer_; }
    QTreeWidget* view() const { return view_; }

Q_SIGNALS:
    void pressed(const QString& caption);

protected:
    void done(int result) override;

private:
    QTreeWidget* view_;
    QString answer_;
    bool answered_ = false;
};
