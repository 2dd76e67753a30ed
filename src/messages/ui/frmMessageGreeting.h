#pragma once

#include "messages/Greetings.h"

#include <QDialog>

class Prompter;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTabWidget;
class QTextBrowser;

// The greeting manager: the greeting and To settings of one message. Opened with open(); the editor
// reads settings() once it is accepted and stores them with the message.
class frmMessageGreeting : public QDialog {
    Q_OBJECT
public:
    frmMessageGreeting(const GreetingSettings& settings, Prompter& prompter, QWidget* parent);

    // The settings as the window shows them.
    GreetingSettings settings() const;

    // Refuses to close while a group choice lacks its text.
    void accept() override;

    // The template shown while a message has none.
    static QString emptyTemplate();
    // Whether the template has what a greeting is built from.
    static bool templateUsable(const QString& html);
    static QString templateWarningText();

private:
    // Enables what the chosen options need.
    void UpdateGreetingManagerState();
    void showTemplate();

    Prompter& prompter_;
    GreetingSettings loaded_;
    QCheckBox* useGreetingManager_;
    QRadioButton* greetingPersonalized_;
    QRadioButton* greetingGroup_;
    QRadioButton* noGreeting_;
    QRadioButton* toPersonalized_;
    QRadioButton* toGroup_;
    QCheckBox* useTitle_;
    QCheckBox* useFName_;
    QCheckBox* useLName_;
    QLineEdit* salutation_;
    QLineEdit* punctuation_;
    QLineEdit* genericName_;
    QCheckBox* missingFName_;
    QCheckBox* missingLName_;
    QLineEdit* groupGreeting_;
    QLineEdit* groupAddress_;
    QTabWidget* templateTabs_;
    QPlainTextEdit* templateSource_;
    QTextBrowser* templateView_;
    QLabel* templateWarning_;
};
