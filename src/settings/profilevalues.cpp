#include "settings/profilevalues.h"

#include <QStringList>

#include <limits>

namespace ProfileValues {

std::optional<qint32> parseInteger(const QString &text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    bool negative = false;
    if (i < size && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < size && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < size && text.at(i) == u'0' && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == size)
        return std::nullopt;

    // The magnitude may reach 2^31 for the most negative value; stop as soon as it is beyond.
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        int value = -1;
        if (c >= u'0' && c <= u'9')
            value = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            value = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            value = c - u'A' + 10;
        if (value < 0)
            return std::nullopt;
        magnitude = magnitude * base + value;
        if (magnitude > limit)
            return std::nullopt;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(result);
}

int readInteger(const QString &text, int defaultValue)
{
    return parseInteger(text).value_or(defaultValue);
}

bool readBoolean(const QString &text, bool defaultValue)
{
    return readInteger(text, defaultValue ? 1 : 0) != 0;
}

QString integerText(int value)
{
    return QString::number(value);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace ProfileValues

QString ProfileValues::daysText(quint8 days)
{
    QStringList numbers;
    for (int d = 0; d < 7; ++d)
        if (days & (1 << d))
            numbers << QString::number(d + 1);
    return numbers.join(QLatin1Char(','));
}

quint8 ProfileValues::parseDays(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 0;
    quint8 days = 0;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int d = part.trimmed().toInt(&ok);
        if (!ok || d < 1 || d > 7)
            return 0; // a value the program cannot read is no repeat at all
        days |= quint8(1 << (d - 1));
    }
    return days;
}
