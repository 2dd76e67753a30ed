#pragma once

#include "core/Prompter.h"
#include "lists/ListResync.h"

#include <QDialog>

class QLabel;
class QListWidget;

// The re-synchronisation window: one phase at a time, a check list of the registry rows without a
// file or of the files without a row; Close applies the ticked entries.
class ResyncLists : public QDialog {
    Q_OBJECT
public:
    ResyncLists(ListResync::Phase phase, const QStringList& entries, Prompter& prompter,
                QWidget* parent = nullptr);

    ListResync::Phase phase() const { return phase_; }
    QStringList tickedEntries() const;
    void selectAll();
    // Applies the ticked entries to the registry and closes.
    void applyAndClose();

    // Shows the window for the missing entries, when there are any, then for the extra files.
    static void ReSyncAddressLists(const ListResync::Findings& findings, Prompter& prompter,
                                   QWidget* parent = nullptr);

private:
    ListResync::Phase phase_;
    Prompter& prompter_;
    QListWidget* entries_;
};
