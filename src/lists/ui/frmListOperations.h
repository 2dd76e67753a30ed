#pragma once

#include "core/Prompter.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

class QComboBox;

// Picks the two lists of a merge, clean or find-duplicates and runs the builder on them. The builder's
// answer (a result list's path, or one of its result texts) is result() once the dialog is accepted.
class frmListOperations : public QDialog {
    Q_OBJECT
public:
    enum class Operation { Merge, Clean, Duplicates };
    // "Merge Lists", "Clean List", "Find Duplicates": the caption and the operation's name.
    static QString operationName(Operation operation);

    struct Choice {
        QString name;
        QString path; // the list file
    };
    // The registered lists, each with its file.
    static QList<Choice> registeredChoices();

    // openListWindows is the desktop's count of open list windows (the clean needs two); negative skips
    // that check.
    frmListOperations(Operation operation, const QList<Choice>& lists, Prompter& prompter,
                      int openListWindows = -1, QWidget* parent = nullptr);

    Operation operation() const { return operation_; }
    // Selects the list on this file in the first drop-down, when it is offered.
    void selectFirst(const QString& path);
    QString firstPath() const;
    QString secondPath() const;
    // The builder's answer; "<Cancel" until OK has run it.
    QString result() const { return result_; }

    // Runs the builder on the two chosen lists and closes with its answer.
    void accept() override;
    void reject() override;

    // What the desktop does with a builder's answer: opens a result list through openList, says that
    // the result is empty, or shows a failure the builder returned without showing it.
    static void ListSummary(const QString& result, Prompter& prompter,
                            const std::function<void(const QString& path)>& openList);
    static QString emptyResultText();

private:
    Operation operation_;
    Prompter& prompter_;
    int openListWindows_;
    QComboBox* lists_[2];
    QString result_;
};
