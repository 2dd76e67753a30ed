#pragma once

#include <QDialog>
#include <functional>

// The mailing-group functions in one small window: new group, open group, delete group.
class frmTamberlynGroupOptions : public QDialog {
    Q_OBJECT
public:
    // The work of cmdSelect_0 (new), cmdSelect_1 (open) and cmdSelect_2 (delete).
    struct Functions {
        std::function<void()> newGroup;
        std::function<void()> openGroup;
        std::function<void()> deleteGroup;
    };
    explicit frmTamberlynGroupOptions(Functions functions, QWidget* parent = nullptr);
};
