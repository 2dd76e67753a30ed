#pragma once

#include "core/Prompter.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>

class QLabel;
class QLineEdit;
class QTreeWidget;

// The open, delete and save dialog shared by lists, messages, delivery options and mailing groups: a
// list of names with their descriptions; Save adds a new name and description.
class frmOpenDelete : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Open, Delete, Save };
    struct Entry {
        QString name;
        QString description;
    };
    // What the dialog says for one kind of item.
    struct Texts {
        QString title;
        QString prompt;          // the label above the list
        QString nothingSelected; // Delete: shown when OK is pressed with nothing selected
        QString confirmDelete;   // Delete: asked with %1 = the count ("Delete the %1 list(s) ?")
    };

    frmOpenDelete(Mode mode, const Texts& texts, const QList<Entry>& entries, Prompter& prompter,
                  QWidget* parent = nullptr);

    Mode mode() const { return mode_; }
    QStringList selectedNames() const;
    QString newName() const;
    QString newDescription() const;
    void setNewName(const QString& name);

    // Save: the check of the name on OK instead of the file-name test; refusing keeps the dialog open with
    // the focus back in the name box (the check says why).
    using NameCheck = std::function<bool(const QString& name, const QString& description)>;
    void setNameCheck(NameCheck check) { nameCheck_ = std::move(check); }

    static QString invalidNameText();
    // The texts of the list uses.
    static Texts listTexts(Mode mode);

    void accept() override;

private:
    Mode mode_;
    Texts texts_;
    Prompter& prompter_;
    QTreeWidget* items_;
    QLineEdit* name_ = nullptr;
    QLineEdit* description_ = nullptr;
    NameCheck nameCheck_;
};
