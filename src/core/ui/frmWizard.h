#pragma once

#include "core/Prompter.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QPushButton;
class QStackedWidget;

// The frame of the step-by-step windows: a stack of pages under a heading, and the buttons Back, Next,
// Finish, Exit and Help (cmdWizard_0..4). The caption is the page's title and " - Step n of m". Next runs
// the page check of the page being left; Exit, the close box and Escape ask before the wizard goes. While
// long work runs (setBusy) Back, Next and Finish wait.
class frmWizard : public QDialog {
    Q_OBJECT
public:
    enum Button { Back = 0, Next = 1, Finish = 2, Exit = 3, Help = 4 };

    static QString exitQuestionText();
    static QString stepCaption(const QString& title, int step, int steps);

    frmWizard(Prompter& prompter, QWidget* parent = nullptr);

    // Shows the wizard window-modal without a nested event loop.
    void LoadWizModal();

    int currentPage() const;
    int pageCount() const;
    QWidget* page(int index) const;
    QPushButton* button(Button which) const;
    bool isBusy() const { return busy_; }

    // Next with the page check, Back without; false when the page stayed.
    bool goNext();
    bool goBack();

protected:
    // Adds a page; the first added is shown first.
    QWidget* addPage(const QString& title, const QString& heading = {});
    void setHeading(int page, const QString& heading);
    void setPageTitle(int page, const QString& title);
    // Long work runs: Back, Next and Finish wait until it ends.
    void setBusy(bool busy);
    void setFinishEnabled(bool enabled);
    // Goes straight to a page, without the checks of the pages in between.
    void jumpToPage(int index);
    Prompter& prompter() const { return prompter_; }

    // The check of a page on Next; false (after its message) keeps the page.
    virtual bool checkPage(int /*page*/) { return true; }
    // A page has become the current one.
    virtual void pageEntered(int /*page*/) {}
    // Finish was pressed; the wizard closes after it unless this answers false.
    virtual bool finishWizard() { return true; }
    // Asked before the exit question: false keeps the wizard open (the user cancelled a question of its own).
    virtual bool mayExit() { return true; }
    // The question Exit, the close box and Escape ask.
    virtual QString exitQuestion() const { return exitQuestionText(); }
    // The user confirmed the exit: work still running is to stop, keeping what was done.
    virtual void abandonWork() {}

    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showPage(int index);
    void updateButtons();
    void updateCaption();
    bool confirmExit();

    Prompter& prompter_;
    QLabel* heading_;
    QStackedWidget* stack_;
    QList<QString> titles_;
    QList<QString> headings_;
    QPushButton* buttons_[5];
    bool busy_ = false;
    bool finishEnabled_ = false;
    bool shown_ = false;   // the first page was entered
    bool closing_ = false; // the exit is confirmed or the wizard finished: no further question
};
