#pragma once

#include <QString>

class FileNameObject;
class QWidget;

// The two file pickers of FileNameObject. The chosen name becomes the object's full file name; a
// cancelled dialog returns "" and leaves the object as it was. filter uses Qt's form, e.g.
// "Lists (*.mdb);;All files (*)".
QString GetExistingFileName(FileNameObject& target, const QString& directory, const QString& filter,
                            QWidget* parent = nullptr);
QString GetNewFileName(FileNameObject& target, const QString& directory, const QString& filter,
                       const QString& defaultName, QWidget* parent = nullptr);
