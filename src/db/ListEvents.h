#pragma once

#include <QObject>
#include <QString>

// What the list operations tell the windows: the core never touches a window itself, it announces the
// effect here and whichever windows are open act on it.
class ListEvents : public QObject {
    Q_OBJECT
public:
    static ListEvents& instance();

Q_SIGNALS:
    // Every open window whose file path (its tag) equals path, compared without regard to case,
    // should close: the file is about to be replaced or deleted.
    void closeWindowsOnFile(const QString& path);
    // A list window should open on path with this caption, at its first row, sorted by address.
    void openListWindow(const QString& path, const QString& caption);
    // The registered lists changed: the mailing centre and an open mailing wizard refresh their lists.
    void listsChanged();
    // A list was saved to path: an open mailing wizard takes the new path.
    void listSaved(const QString& path);
    // Rows of the list at path were added or removed: a window showing it reloads.
    void listContentChanged(const QString& path);
    // A text for the main window's status bar.
    void statusMessage(const QString& text);

private:
    ListEvents() = default;
};
