#include "import/ValueText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace importer {

namespace {

// Drops trailing fractional zeros and a bare decimal point; "-0" becomes "0".
QString trimFraction(QString text) {
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

} // namespace

QString numberText(double value) {
    if (!std::isfinite(value))
        return {};
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    if (std::strchr(buffer, 'e')) {
        // Written out in full: 15 significant digits, as many decimals as they need.
        const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        const int decimals = std::clamp(14 - exponent, 0, 340);
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    }
    return trimFraction(QString::fromLatin1(buffer));
}

QString numberText(qint64 value) {
    return QString::number(value);
}

QString normalizedNumber(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    qsizetype i = 0;
    bool negative = false;
    if (trimmed.at(0) == u'+' || trimmed.at(0) == u'-') {
        negative = trimmed.at(0) == u'-';
        ++i;
    }
    const qsizetype intStart = i;
    while (i < trimmed.size() && trimmed.at(i).isDigit() && trimmed.at(i).unicode() < 128)
        ++i;
    const qsizetype intEnd = i;
    qsizetype fracStart = i;
    qsizetype fracEnd = i;
    if (i < trimmed.size() && trimmed.at(i) == u'.') {
        fracStart = ++i;
        while (i < trimmed.size() && trimmed.at(i).isDigit() && trimmed.at(i).unicode() < 128)
            ++i;
        fracEnd = i;
    }
    const bool plain = i == trimmed.size() && (intEnd > intStart || fracEnd > fracStart);
    if (!plain) {
        bool ok = false;
        const double value = trimmed.toDouble(&ok);
        if (ok)
            return numberText(value);
        return trimmed.toString();
    }
    QStringView whole = trimmed.mid(intStart, intEnd - intStart);
    while (whole.size() > 1 && whole.at(0) == u'0')
        whole = whole.mid(1);
    QString result = negative ? QStringLiteral("-") : QString();
    result += whole.isEmpty() ? QStringLiteral("0") : whole.toString();
    if (fracEnd > fracStart)
        result += u'.' + trimmed.mid(fracStart, fracEnd - fracStart).toString();
    return trimFraction(result);
}

QString scaledIntegerText(qint64 value, int scale) {
    const bool negative = value < 0;
    // The magnitude as unsigned, so that the lowest value does not overflow.
    const quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    QString digits = QString::number(magnitude);
    if (scale > 0) {
        if (digits.size() <= scale)
            digits = QString(scale - digits.size() + 1, u'0') + digits;
        digits.insert(digits.size() - scale, u'.');
    }
    return trimFraction((negative ? QStringLiteral("-") : QString()) + digits);
}

QString dateText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString dateTimeText(const QDateTime& moment) {
    if (!moment.isValid())
        return {};
    if (moment.time() == QTime(0, 0))
        return dateText(moment.date());
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime serialToDateTime(double serial, const QDate& dayZero) {
    if (!std::isfinite(serial) || serial < -700000.0 || serial > 3000000.0)
        return {};
    const double days = std::floor(serial);
    // Rounded to the second: spreadsheets store the time as a fraction of a day.
    qint64 seconds = std::llround((serial - days) * 86400.0);
    qint64 wholeDays = static_cast<qint64>(days);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++wholeDays;
    }
    return QDateTime(dayZero.addDays(wholeDays), QTime(0, 0).addSecs(int(seconds)), Qt::UTC);
}

} // namespace importer
