#pragma once
// A decimal number as an operator types it on this desktop: with the
// decimal separator of the locale the test runs under ("12,5" on a German
// desktop, "12.5" on an English one), which the console reads with. Tests
// write their decimals with a point and type them through this.

#include <QLocale>
#include <QString>

inline QString TypedDecimal(const QString& withPoint) {
    return QString(withPoint).replace(QLatin1Char('.'), QLocale().decimalPoint());
}
