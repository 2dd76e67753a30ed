#pragma once

#include "mailings/Mailings.h"

#include <QDialog>
#include <functional>

class QLineEdit;

// The warning before a mailing that was sent before goes out again: what the mailing is, when it went
// and to how many, and what a new run does with the recipients already marked. OK goes on; Cancel, the
// close box and Esc do not. answered() tells which, once.
class frmSendAgainWarning : public QDialog {
    Q_OBJECT
public:
    // openOptions opens the delivery-options wizard on the named set at a page.
    using OpenOptions = std::function<void(const QString& name, int page)>;

    explicit frmSendAgainWarning(OpenOptions openOptions, QWidget* parent = nullptr);

    // Fills the boxes from the mailing and shows the window (modal, without waiting).
    void SetupAndShowSendAgainWarning(const Mailing& mailing);

    // The delivery-options wizard's page that holds the 'Sent' flag.
    static constexpr int SentFlagPage = 5;

Q_SIGNALS:
    void answered(bool ok);

protected:
    void done(int result) override;

private:
    OpenOptions openOptions_;
    QString optionsName_;
    QLineEdit* txtMessage_;
    QLineEdit* txtList_;
    QLineEdit* txtGroup_;
    QLineEdit* txtDateMailed_;
    QLineEdit* txtTotalMailed_;
    bool answered_ = false;
};
