// The settings file's date-time text, as a person may have typed it, under several locales. Text
// that reads must give a valid moment, and what the program then writes must read back as it.
#include "settings/localedatetime.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QLocale locales[] = {QLocale(QStringLiteral("ru_RU")), QLocale(QStringLiteral("en_US")),
                                      QLocale(QStringLiteral("de_DE")), QLocale(QLocale::C),
                                      QLocale(QStringLiteral("en_GB")), QLocale(QStringLiteral("ja_JP")),
                                      QLocale(QStringLiteral("ar_EG")), QLocale(QStringLiteral("ko_KR"))};
    FuzzedDataProvider input(data, size);
    const QLocale &locale = locales[input.ConsumeIntegralInRange<size_t>(0, std::size(locales) - 1)];
    // The program passes the current year.
    const int pivotYear = input.ConsumeIntegralInRange(1950, 2150);
    const QString text = QString::fromStdString(input.ConsumeRemainingBytesAsString());

    const std::optional<DateTime> read = LocaleDateTime::parse(text, locale, pivotYear);
    if (!read)
        return 0;
    if (!read->date().isValid()) {
        std::fprintf(stderr, "fuzz_localedatetime: \"%s\" read as an invalid date\n", qPrintable(text));
        std::abort();
    }
    const QString written = LocaleDateTime::format(*read, locale);
    const std::optional<DateTime> again = LocaleDateTime::parse(written, locale, pivotYear);
    if (!again || again->toQDateTime() != read->toQDateTime()) {
        std::fprintf(stderr, "fuzz_localedatetime: \"%s\" read as %s, written as \"%s\", read back as %s\n",
                     qPrintable(text), qPrintable(read->toQDateTime().toString(Qt::ISODateWithMs)),
                     qPrintable(written),
                     again ? qPrintable(again->toQDateTime().toString(Qt::ISODateWithMs)) : "nothing");
        std::abort();
    }
    return 0;
}
