#pragma once

#include <QString>

#include <optional>

// Text forms of the integer and boolean settings, read the way the Windows profile functions'
// callers read them: decimal or hexadecimal, 32-bit signed, anything else is "not a number".
namespace ProfileValues {

// Optional leading blanks, an optional sign, then decimal digits or one of the prefixes $, x, X,
// 0x, 0X and hexadecimal digits. The sign applies to hexadecimal too ("-0x10" is -16); the result
// must fit a signed 32-bit integer ("0x80000000" does not). Anything else gives nothing.
std::optional<qint32> parseInteger(const QString &text);

// A value as IniFile::value returns it; an empty or malformed text gives the default.
int readInteger(const QString &text, int defaultValue);
// Read as an integer (the default standing in as 1 or 0); any integer other than 0 is true.
bool readBoolean(const QString &text, bool defaultValue);

QString integerText(int value);
QString booleanText(bool value); // "1" or "0"

// Days of the week as "1,2,5" (Monday 1), from bits (bit 0 Monday). Any other text reads as none.
QString daysText(quint8 days);
quint8 parseDays(const QString &text);

} // namespace ProfileValues
