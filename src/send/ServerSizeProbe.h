#pragma once

#include "send/Corvex.h"

#include <QObject>
#include <QString>
#include <QTimer>

// Asks the SMTP server of the settings how large a message it takes: connects as a run would (security
// and trusted certificate included, no log-in), reads the SIZE of its EHLO reply and quits. Nothing is
// sent.
class ServerSizeProbe : public QObject {
    Q_OBJECT
public:
    explicit ServerSizeProbe(QObject* parent = nullptr);

    void setTimeoutUnitMs(int ms) { timeoutUnitMs_ = ms; }
    // server: the mailing's server, or the settings' one when empty.
    void start(const QString& server, const QString& greetingDomain);

    // After finished: the announced size (Corvex::announcedSize), or the reason there is none.
    qint64 announcedSize() const { return size_; }
    bool succeeded() const { return error_.isEmpty(); }
    QString errorText() const { return error_; }
    QString server() const { return server_; }

Q_SIGNALS:
    void finished();

private:
    void finish(const QString& error);

    Corvex smtp_;
    QTimer clock_;
    QString server_;
    int timeoutUnitMs_ = 1000;
    qint64 size_ = -1;
    QString error_;
    bool done_ = false;
};
