#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace db {
struct DbError;
}

// The registered lists as the open, delete and save dialogs show them.
struct RegisteredList {
    QString name;
    QString description;
    QString listPath; // relative to the list folder
};

// Every row of the registry, by name; empty (and logged) when the central database cannot be read.
QList<RegisteredList> RegisteredLists();
// The registry row of the named list (names compare without regard to case); nullopt when there is
// none, or when the registry cannot be read (then error says why).
std::optional<RegisteredList> FindRegisteredList(const QString& name, db::DbError* error = nullptr);
