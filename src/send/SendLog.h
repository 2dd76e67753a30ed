#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

// What the start block of a run shows.
struct SendLogStart {
    QDateTime start;
    QString group;
    QString message;
    QString list;
    QString deliveryOptions;
    QString server;
    qint32 port = 0;
    QString fromAddress;
    QString version;
};

// The totals of a run for the end block and the send window.
struct SendLogTotals {
    QDateTime start;
    QDateTime end;
    qint64 taken = 0;
    qint64 passed = 0;
    qint64 failed = 0;
    qint64 unmarked = 0;  // accepted, but the sent mark could not be written; shown only when not 0
    qint64 lateMarks = 0; // marks an earlier run owed, written at this run's start; shown only when not 0
    qint64 messageSize = 0;

    qint64 totalSeconds() const;
    // "0" when the run took no whole second.
    QString messagesPerSecond() const;
    QString bytesPerSecond() const;
    // The lines the send window gets at the end of a run.
    QStringList statisticsLines() const;
};

// The send log sendlog.log: a block at the start of every run, one line per exchange and progress
// step, a block with the totals at the end. A file above RestartSize bytes is started afresh.
class SendLog {
public:
    static constexpr qint64 RestartSize = 3000000;

    ~SendLog() { close(); }
    bool open(const QString& path);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // One line; a single trailing line break of the text is dropped.
    void writeLine(const QString& text);
    void writeStartBlock(const SendLogStart& start);
    void writeEndBlock(const SendLogTotals& totals);
    void flush();

    static QString stars();
    static QString dateText(const QDateTime& moment);
    static QString timeText(const QDateTime& moment);

private:
    void restartIfLong();
    void put(const QString& line);

    QFile file_;
    qint64 size_ = 0;
};
