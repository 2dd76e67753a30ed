#pragma once

#include "mailbox/PopWizardRun.h"

#include <QDialog>

// What a mailbox run found, before anything is changed: the count, whether mail stays on the server,
// and the addresses. OK goes on, Cancel (and the close box) stops; answered() tells which.
class frmPOPConfirmation : public QDialog {
    Q_OBJECT
public:
    explicit frmPOPConfirmation(const PopWizardRun::Confirmation& confirmation, QWidget* parent = nullptr);

Q_SIGNALS:
    void answered(bool go);

protected:
    void done(int result) override;
};
