#pragma once

#include <QString>
#include <functional>

// ViewFile shows a text file in the file viewer window. The core cannot open windows: the desktop
// installs the viewer; without one (the command line) nothing is shown.
using FileViewerFunction = std::function<void(const QString& path)>;
void setFileViewer(FileViewerFunction viewer);

// Trims the path; when it is not empty, remembers it as the file to show and shows it.
void ViewFile(const QString& path);
// The file last given to ViewFile.
QString FileToView();
