#pragma once

#include <QString>

// One source file of a list build and how it is to be searched.
struct EmailSrcFileObj {
    enum class Scope {
        All,     // every address in the file
        Headers, // only addresses after the chosen headers
    };

    static QString textType() { return QStringLiteral("Text"); }
    static QString mailboxType() { return QStringLiteral("Mailbox"); }
    static QString binaryType() { return QStringLiteral("Binary"); }

    QString fileName;
    QString fileType = textType(); // "Text", "Mailbox" or "Binary" (read as Text)
    Scope scope = Scope::Headers;
    bool from = true;
    bool to = false;
    bool cc = false;
    bool bcc = false;
    bool userHeader = false;
    QString userHeaderText;

    // The search options of a newly chosen file: headers, From only.
    void SetDefaults();
    bool isMailbox() const;
    // Text and Binary files are scanned line by line for their first address.
    bool isTextLike() const;
    // Whether the line (trimmed) begins with one of the chosen headers, ignoring case.
    bool isChosenHeader(QStringView line) const;
    // The same on a line's bytes, for passing over lines without decoding them: false only when the line
    // is surely no chosen header.
    bool mayBeChosenHeader(QByteArrayView line) const;
};
