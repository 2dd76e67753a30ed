#pragma once

#include "db/Database.h"
#include "messages/Greetings.h"
#include "messages/MessageStore.h"
#include "messages/MimeAssembly.h"
#include "messages/mdlMerge.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// One recipient's copy of a message as the preview shows it.
struct PreviewCopy {
    QString address;
    QString to;      // the To line's display text
    QString subject; // merged
    QString text;    // merged, with the greeting in front, wrapped
    QString html;    // merged, with the HTML greeting after the body tag and local images as cid:
};

// The copies of a message for the recipients of its list, one at a time: the list is read a row at a
// time in address order, never whole. Each copy is what the mailing run sends that recipient (no
// group greeting: sent copies carry none).
class MessagePreview {
public:
    // nullptr and the text to show (refusal) when the message cannot be previewed: no list, an
    // unregistered list, a missing list file or a list without rows.
    static std::unique_ptr<MessagePreview> open(const MessageRecord& message, int wrapWidth,
                                                QString* refusal);

    static QString noListText();
    static QString unknownListText();
    static QString missingListText(const QString& path);
    static QString noAddressText();
    // The list a message without one shows.
    static QString noListName();

    const QString& messageName() const { return name_; }
    int sendType() const { return sendType_; }
    qint64 count() const { return count_; }
    qint64 position() const { return position_; } // from 1
    // "n of N".
    QString counterText() const;

    // Move one recipient on or back; false at the ends (nothing changes then).
    bool next();
    bool previous();
    const PreviewCopy& current() const { return copy_; }
    // The current recipient's row.
    const RecipientRecord& record() const { return record_; }

    // The file behind a "cid:" reference of the HTML; nullopt when the reference is not one of the
    // message's images. name is set to the reference as written, for a placeholder.
    std::optional<QString> imagePath(const QString& contentId, QString* name = nullptr) const;
    // The bytes of that image; nullopt when it is unknown or the file cannot be read.
    std::optional<QByteArray> imageBytes(const QString& contentId, QString* name = nullptr) const;

private:
    MessagePreview() = default;
    bool readRow(db::Statement& statement);
    void makeCopy();

    QString name_;
    int sendType_ = 0;
    int wrapWidth_ = 0;
    db::Database list_;
    db::Statement first_, after_, before_;
    qint64 count_ = 0;
    qint64 position_ = 0;
    qint64 rowId_ = 0;
    QString key_;
    RecipientRecord record_;
    GreetingSettings greeting_;
    HtmlGreetingTemplate htmlGreeting_;
    MergeSegments subject_, text_, html_;
    QList<ImageEntry> images_;
    PreviewCopy copy_;
};
