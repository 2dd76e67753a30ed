#pragma once

#include <QDialog>
#include <QString>

class QTextEdit;

// The advanced view of a filter: the clause as editable text with its keywords and symbols in bold.
// "Accept" takes the edited text as the clause.
class frmAdvancedSQLQuery : public QDialog {
    Q_OBJECT
public:
    explicit frmAdvancedSQLQuery(const QString& clause, QWidget* parent = nullptr);

    QString clause() const;
    QTextEdit* editor() const { return editor_; }

private:
    void markWords();

    QTextEdit* editor_;
    bool marking_ = false;
};
