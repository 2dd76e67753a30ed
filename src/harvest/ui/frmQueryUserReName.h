#pragma once

#include "harvest/EmailParser.h"

#include <QDialog>

class QLineEdit;

// A doubtful name put to the user: the message, the address, the text the names were inferred from and
// the guessed names, which the user may edit. Each button answers once through answered(); the close box
// confirms the names shown.
class frmQueryUserReName : public QDialog {
    Q_OBJECT
public:
    explicit frmQueryUserReName(const EmailParser::NameQuestion& question, QWidget* parent = nullptr);

    // Closes without an answer: the build settled the question itself.
    void dismiss();

Q_SIGNALS:
    void answered(const EmailParser::NameAnswer& answer);

protected:
    void done(int result) override;

private:
    void answer(EmailParser::NameAnswer::Choice choice);

    QLineEdit* firstName_;
    QLineEdit* lastName_;
    bool settled_ = false;
};
