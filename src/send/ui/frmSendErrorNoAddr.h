#pragma once

#include "core/Prompter.h"

#include <QDialog>

class QLineEdit;

// Offered when a run finds no recipient because every one it would select carries the 'Sent' flag that
// the delivery options check: why that happens, and the flag, which can be changed here so that the
// list can be mailed again.
class frmSendErrorNoAddr : public QDialog {
    Q_OBJECT
public:
    frmSendErrorNoAddr(Prompter& prompter, const QString& optionsName, QWidget* parent = nullptr);

    static QString reasonText();
    static QString newMailingText();
    static QString changeText();

private:
    void changeFlag();

    Prompter& prompter_;
    QString optionsName_;
    QLineEdit* txtSentFlag_;
};
