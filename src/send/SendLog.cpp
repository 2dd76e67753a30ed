#include "send/SendLog.h"

#include "core/ErrorLog.h"

#include <QLocale>
#include <charconv>

namespace {

// The shortest text that reads back as the same single-precision number.
QString rate(double value) {
    char digits[64];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, float(value));
    return QString::fromLatin1(digits, result.ptr - digits);
}

} // namespace

qint64 SendLogTotals::totalSeconds() const {
    return qMax<qint64>(0, start.secsTo(end));
}

QString SendLogTotals::messagesPerSecond() const {
    const qint64 seconds = totalSeconds();
    return seconds > 0 ? rate(double(taken) / double(seconds)) : QStringLiteral("0");
}

QString SendLogTotals::bytesPerSecond() const {
    const qint64 seconds = totalSeconds();
    return seconds > 0 ? rate(double(messageSize) * double(taken) / double(seconds)) : QStringLiteral("0");
}

QStringList SendLogTotals::statisticsLines() const {
    QStringList lines = {
        QStringLiteral("Mailing Statistics"),
        QStringLiteral("Total Time:        ") + QString::number(totalSeconds()) + QStringLiteral(" Seconds"),
        QStringLiteral("Total Sent:        ") + QString::number(taken),
        QStringLiteral("Total Passed:      ") + QString::number(passed),
        QStringLiteral("Total Failed:      ") + QString::number(failed),
        QStringLiteral("Message Size:      ") + QString::number(messageSize) + QStringLiteral(" bytes"),
        QStringLiteral("Messages / Sec:    ") + messagesPerSecond() + QStringLiteral(" (Approx)"),
        QStringLiteral("bytes / Sec:       ") + bytesPerSecond() + QStringLiteral(" (Approx)"),
    };
    if (unmarked > 0)
        lines.insert(5, QStringLiteral("Not Marked:        ") + QString::number(unmarked));
    if (lateMarks > 0)
        lines.insert(5, QStringLiteral("Late Marks:        ") + QString::number(lateMarks));
    return lines;
}

QString SendLog::stars() {
    return QString(59, u'*');
}

QString SendLog::dateText(const QDateTime& moment) {
    return QLocale::system().toString(moment.toLocalTime().date(), QLocale::ShortFormat);
}

QString SendLog::timeText(const QDateTime& moment) {
    return QLocale::system().toString(moment.toLocalTime().time(), QStringLiteral("HH:mm:ss"));
}

bool SendLog::open(const QString& path) {
    close();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        LogError(QStringLiteral("LogSend in SMTPSocket"), {1, file_.errorString()});
        return false;
    }
    size_ = file_.size();
    restartIfLong();
    return true;
}

void SendLog::close() {
    if (file_.isOpen())
        file_.close();
}

void SendLog::flush() {
    if (file_.isOpen())
        file_.flush();
}

void SendLog::restartIfLong() {
    if (size_ <= RestartSize)
        return;
    file_.close();
    QFile::remove(file_.fileName());
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        LogError(QStringLiteral("LogSend in SMTPSocket"), {1, file_.errorString()});
    size_ = 0;
}

void SendLog::put(const QString& line) {
    if (!file_.isOpen())
        return;
    restartIfLong();
    QByteArray bytes = line.toUtf8();
    bytes += "\r\n";
    if (file_.write(bytes) == bytes.size())
        size_ += bytes.size();
}

void SendLog::writeLine(const QString& text) {
    if (text.endsWith(QLatin1StringView("\r\n")))
        put(text.chopped(2));
    else if (text.endsWith(u'\r') || text.endsWith(u'\n'))
        put(text.chopped(1));
    else
        put(text);
}

void SendLog::writeStartBlock(const SendLogStart& s) {
    const QString star = stars();
    const QStringList lines = {
        QString(),
        QString(),
        star,
        star,
        star,
        QStringLiteral("*** MAILING STARTS HERE "),
        star,
        star,
        QStringLiteral("*** Date:              ") + dateText(s.start),
        QStringLiteral("*** Time:              ") + timeText(s.start),
        star,
        star,
        QStringLiteral("*** Group:             ") + s.group,
        QStringLiteral("*** Message:           ") + s.message,
        QStringLiteral("*** Mailing List:      ") + s.list,
        QStringLiteral("*** Delivery Options:  ") + s.deliveryOptions,
        star,
        star,
        QStringLiteral("*** SMTP Server:       ") + s.server,
        QStringLiteral("*** SMTP Port:         ") + QString::number(s.port),
        QStringLiteral("*** From Address:      ") + s.fromAddress,
        star,
        star,
        QStringLiteral("*** Product Version:   ") + s.version,
        star,
        star,
        star,
        QString(),
    };
    for (const QString& line : lines)
        put(line);
}

void SendLog::writeEndBlock(const SendLogTotals& t) {
    const QString star = stars();
    QStringList lines = {
        star,
        star,
        star,
        QStringLiteral("*** MAILING ENDS HERE "),
        star,
        star,
        QStringLiteral("*** Date:              ") + dateText(t.end),
        QStringLiteral("*** Time:              ") + timeText(t.end),
        star,
        star,
        QStringLiteral("*** Total Sent:        ") + QString::number(t.taken),
        QStringLiteral("*** Total Passed:      ") + QString::number(t.passed),
        QStringLiteral("*** Total Failed:      ") + QString::number(t.failed),
        star,
        star,
        QStringLiteral("*** Message Size:      ") + QString::number(t.messageSize) + QStringLiteral(" bytes"),
        QStringLiteral("*** Messages / Sec:    ") + t.messagesPerSecond() + QStringLiteral(" (Approx)"),
        QStringLiteral("*** bytes / Sec:       ") + t.bytesPerSecond() + QStringLiteral(" (Approx)"),
        star,
        star,
        star,
    };
    if (t.unmarked > 0)
        lines.insert(13, QStringLiteral("*** Not Marked:        ") + QString::number(t.unmarked));
    if (t.lateMarks > 0)
        lines.insert(13, QStringLiteral("*** Late Marks:        ") + QString::number(t.lateMarks));
    for (const QString& line : lines)
        put(line);
    flush();
}
