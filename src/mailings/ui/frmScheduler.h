#pragma once

#include "core/Prompter.h"
#include "mailings/Schedules.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QTimeEdit;

// When a mailing is to be sent: its date, time and whether the schedule is active.
class frmScheduler : public QDialog {
    Q_OBJECT
public:
    explicit frmScheduler(Prompter& prompter, QWidget* parent = nullptr);

    // Shows the mailing's schedule, storing today, the present time and "not active" in its empty
    // columns first. False, after saying so, when the mailing is not found.
    bool LoadValuesByID(qint32 id);
    qint32 mailing() const { return loaded_.MailEventName; }

    // OK: writes the schedule; a mailing gone meanwhile is reported and nothing is written.
    void accept() override;

private:
    Prompter& prompter_;
    QDateEdit* dtDateToSend_;
    QTimeEdit* dtTimeToSend_;
    QCheckBox* chkActive_;
    Schedules::Schedule loaded_;
};
