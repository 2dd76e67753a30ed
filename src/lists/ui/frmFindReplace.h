#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class frmList;

// Find and replace over one column of a list window. It stays open beside the window; find next and
// previous go on from the window's current row.
class frmFindReplace : public QDialog {
    Q_OBJECT
public:
    frmFindReplace(frmList* list, bool replace, QWidget* parent = nullptr);

    frmList* list() const { return list_; }
    // Switches between find only and find and replace.
    void setReplaceMode(bool replace);

    bool findNext();
    bool findPrevious();
    bool replaceAll();

private:
    int column() const;

    QPointer<frmList> list_;
    QComboBox* field_;
    QLineEdit* find_;
    QLineEdit* replace_;
    QCheckBox* exact_;
    QPushButton* replaceButton_;
};
