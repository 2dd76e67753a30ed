#include "util/ui/FilePickers.h"

#include "util/FileNameObject.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

namespace {

QString chosen(FileNameObject& target, const QString& name) {
    if (!name.isEmpty())
        target.setFullFileName(name);
    return name;
}

} // namespace

QString GetExistingFileName(FileNameObject& target, const QString& directory, const QString& filter,
                            QWidget* parent) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QFileDialog dialog(parent, QStringLiteral("Select a file"), directory, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    QApplication::restoreOverrideCursor();
    return chosen(target, dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString());
}

QString GetNewFileName(FileNameObject& target, const QString& directory, const QString& filter,
                       const QString& defaultName, QWidget* parent) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QFileDialog dialog(parent, QStringLiteral("Enter a file name"), directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!defaultName.isEmpty())
        dialog.selectFile(QDir(directory).filePath(defaultName));
    QApplication::restoreOverrideCursor();
    return chosen(target, dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString());
}
