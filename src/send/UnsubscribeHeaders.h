#pragma once

#include "messages/mdlMerge.h"

#include <QByteArray>
#include <QString>

// The List-Unsubscribe header lines of a run. With an address every copy offers to leave by mail; with
// a URL too, a copy of its own also offers the one-click link, merged for its recipient with every
// value percent-encoded, and announces the one-click POST. Nothing is added without an address.
class UnsubscribeHeaders {
public:
    // The subject of the unsubscribe mail, a phrase the subscription run recognises.
    static QString mailSubject() { return QStringLiteral("unsubscribe"); }
    // The longest header line a message may hold, line break excluded.
    static constexpr qsizetype MaxLine = 998;

    void build(const QString& address, const QString& url, const ListFieldSet& fields);
    bool isEmpty() const { return mailto_.isEmpty(); }
    // The lines of a copy for one recipient.
    QByteArray personal(const RecipientRecord& record) const;
    // The lines of a batch copy: the mail form alone.
    QByteArray batch() const;

private:
    QString mailto_; // "<mailto:...>"
    MergeSegments url_;
    bool hasUrl_ = false;
};
