#pragma once

// For window tests (they link the UI library): a started program with its main window shown.
#include "app/ui/mdiMain.h"
#include "lists/ui/frmList.h"
#include "support/TestHome.h"

#include <QPushButton>
#include <memory>

// A named control the test cannot go on without.
template <typename W = QPushButton> W* child(QWidget* parent, const QString& name) {
    auto* widget = parent->findChild<W*>(name);
    if (!widget)
        qFatal("no %s", qPrintable(name));
    return widget;
}

class DesktopTest {
protected:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<mdiMain> window;

    bool openDesktop() {
        home = std::make_unique<TestHome>();
        if (!home->start())
            return false;
        window = std::make_unique<mdiMain>(home->prompter);
        window->show();
        return true;
    }
    // Leaves without the close questions a case did not script.
    void closeDesktop() {
        for (frmList* list : window->listWindows())
            list->closeQuietly();
        window.reset();
        home.reset();
    }
};
