#pragma once

#include "harvest/EmailSrcFileObj.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

// How one source file is to be searched: every address, the addresses after chosen headers, or those
// after lines that begin with the user's own text. OK hands the state back through RememberOptions.
class frmSearchOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmSearchOptions(const EmailSrcFileObj& options, QWidget* parent = nullptr);

    // The controls as for a newly chosen file: headers, From only.
    void SetDefaults();
    // The file's record with the dialog's state.
    EmailSrcFileObj RememberOptions() const;

private:
    void load(const EmailSrcFileObj& options);
    void updateControls();

    EmailSrcFileObj options_;
    QRadioButton* optAll_;
    QRadioButton* optPredefined_;
    QRadioButton* optUserDefined_;
    QCheckBox* chkFrom_;
    QCheckBox* chkTo_;
    QCheckBox* chkCC_;
    QCheckBox* chkBCC_;
    QCheckBox* chkText_;
    QLineEdit* txtLookAfter_;
};
