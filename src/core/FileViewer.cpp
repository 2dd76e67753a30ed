#include "core/FileViewer.h"

namespace {

FileViewerFunction& installedViewer() {
    static FileViewerFunction viewer;
    return viewer;
}

QString& fileToView() {
    static QString path;
    return path;
}

} // namespace

void setFileViewer(FileViewerFunction viewer) {
    installedViewer() = std::move(viewer);
}

void ViewFile(const QString& path) {
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty())
        return;
    fileToView() = trimmed;
    if (installedViewer())
        installedViewer()(trimmed);
}

QString FileToView() {
    return fileToView();
}
