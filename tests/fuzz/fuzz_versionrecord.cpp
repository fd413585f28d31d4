// The version record parser on arbitrary bytes. The sanitizers watch every read; what it returns is
// a FileVersion text taken from the record: shorter than half of it, without NULs, and there in
// the record as UTF-16.
#include "about/versionrecord.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The fuzzer's own buffer, exactly this long, so a read past its end is caught.
    const QByteArray record = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = VersionRecord::fileVersion(record);
    if (text.isEmpty())
        return 0;
    QByteArray units;
    for (const QChar c : text) {
        units.append(char(c.unicode() & 0xFF));
        units.append(char(c.unicode() >> 8));
    }
    if (text.size() >= record.size() / 2 || text.contains(QChar(0)) || !record.contains(units)) {
        std::fprintf(stderr, "fuzz_versionrecord: implausible text \"%s\"\n", qPrintable(text));
        std::abort();
    }
    return 0;
}
