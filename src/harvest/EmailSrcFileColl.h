#pragma once

#include "harvest/EmailSrcFileObj.h"

#include <QList>

// The chosen source files of a build, keyed by their full path, in the order they were added.
class EmailSrcFileColl {
public:
    static QString duplicateText() {
        return QStringLiteral("You have already selected this file. Please select another.");
    }

    // False when a file of that path is already in the collection.
    bool Add(const EmailSrcFileObj& file);
    // The file at index (from 0), or the one with that path; nullptr when there is none.
    EmailSrcFileObj* Item(qsizetype index);
    EmailSrcFileObj* Item(const QString& fileName);
    qsizetype Count() const { return files_.size(); }
    bool Remove(qsizetype index);
    bool Remove(const QString& fileName);
    bool contains(const QString& fileName) const { return indexOf(fileName) >= 0; }
    void EmptyCollection() { files_.clear(); }

    // Enumeration in the order added.
    QList<EmailSrcFileObj>::const_iterator begin() const { return files_.cbegin(); }
    QList<EmailSrcFileObj>::const_iterator end() const { return files_.cend(); }

    // The key of a path: the absolute, cleaned path.
    static QString keyOf(const QString& fileName);

private:
    qsizetype indexOf(const QString& fileName) const;

    QList<EmailSrcFileObj> files_;
};
