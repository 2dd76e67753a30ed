#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>

// How source values are written as text in a list: numbers as plain decimals without an exponent and
// without trailing fractional zeros, dates as yyyy-MM-dd, date-times as yyyy-MM-dd HH:mm:ss (a date-time
// at midnight as the date alone), logical values as "true" / "false".
namespace importer {

// Up to 15 significant digits; a null text for NaN and infinities.
QString numberText(double value);
QString numberText(qint64 value);
// A number written by the source ("  1250.50", "+3", "-0.000") as numberText writes it. Text that is not a
// plain decimal number is read as a double where it can be ("1.5E3"), else kept as it stands (trimmed);
// blank text gives a null text.
QString normalizedNumber(QStringView text);
// An integer scaled by 10^scale (currency: scale 4) as a plain decimal, exactly.
QString scaledIntegerText(qint64 value, int scale);

QString dateText(const QDate& date);
QString dateTimeText(const QDateTime& moment);
inline QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The date of a day count from 1899-12-30 (the spreadsheet and Jet day zero) with its time of day from
// the fraction; 1904-based workbooks pass 1904-01-01 as zero. An invalid QDateTime when out of range.
QDateTime serialToDateTime(double serial, const QDate& dayZero = QDate(1899, 12, 30));

} // namespace importer
