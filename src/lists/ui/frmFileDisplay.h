#pragma once

#include <QDialog>

class QPlainTextEdit;

// Shows the contents of a text file under the heading "Contents of file:" and its name.
class frmFileDisplay : public QDialog {
    Q_OBJECT
public:
    // Files larger than this are shown up to it, with a note.
    static constexpr qint64 MaxShownBytes = 8 * 1024 * 1024;

    explicit frmFileDisplay(const QString& path, QWidget* parent = nullptr);
    QString text() const;

private:
    QPlainTextEdit* contents_;
};
