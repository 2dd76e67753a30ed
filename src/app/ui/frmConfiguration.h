#pragma once

#include "core/Prompter.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;

// A pair of arrow buttons that step a whole number within a range (the up-down beside a text box).
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    UpDownControl(int minimum, int maximum, QWidget* parent = nullptr);
    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setValue(int value);

Q_SIGNALS:
    void valueChanged(int value);

private:
    int minimum_;
    int maximum_;
    int value_;
};

// The settings dialog "Tamberlyn Options": default SMTP server and port, the sending security and log-in
// (its password goes into the desktop keyring), the bracket rules, word wrap, the text-only domains, and
// whether the mailing centre opens at start. OK writes section ApplicationDefaults.
class frmConfiguration : public QDialog {
    Q_OBJECT
public:
    static constexpr int WordWrapMaximum = 999;

    explicit frmConfiguration(Prompter& prompter, QWidget* parent = nullptr);

    static QString notANumberText();
    static QString negativeText();

    void addDomain();
    void removeDomain();
    // Validates, stores and writes; stays open (false) when a value is refused.
    bool save();
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void wordWrapTextChanged(const QString& text);
    void textOnlyChosen();

    Prompter& prompter_;
    QLineEdit* server_;
    QLineEdit* port_;
    QComboBox* security_;
    QLineEdit* userName_;
    QLineEdit* password_;
    QLineEdit* sender_;
    QCheckBox* rcptBracket_;
    QCheckBox* fromBracket_;
    QCheckBox* tbCentral_;
    QLineEdit* wordWrap_;
    UpDownControl* wordWrapUpDown_;
    QRadioButton* textOnly_;
    QRadioButton* editorSettings_;
    QLineEdit* domain_;
    QListWidget* domains_;
    QPushButton* add_;
    QPushButton* remove_;
};
