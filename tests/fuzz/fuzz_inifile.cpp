// Reads arbitrary bytes as a settings file, writes the program's six keys with values taken from
// the input, and reads the result back. The values read must be the ones written, as the reading
// rules leave them; every line the program does not own must still be there, byte for byte and in
// order; and what was written must read back to the same bytes.
#include "settings/inifile.h"
#include "settings/settingskeys.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArrayList>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

const QString section = SettingsKeys::Section;
const QString keys[] = {SettingsKeys::TimerCmd,     SettingsKeys::UserName,    SettingsKeys::Passw,
                        SettingsKeys::LastActionId, SettingsKeys::CloseOnExec, SettingsKeys::WakeUpDate};

[[noreturn]] void fail(const char *what, const QByteArray &detail = QByteArray())
{
    std::fprintf(stderr, "fuzz_inifile: %s\n%s\n", what, detail.toHex(' ').constData());
    std::abort();
}

// A written value reads back as itself, with blanks for line breaks, cut without splitting a pair.
QString expected(QString value)
{
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    QStringView text = value;
    if (text.size() > IniFile::MaxValueLength) {
        text = text.left(IniFile::MaxValueLength);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text.toString();
}

// A file's lines as bytes: the leading byte order marks and a UTF-16 file's odd last byte apart,
// lines split at CR, LF and CR LF code units.
struct Lines
{
    int unit = 1;
    bool bigEndian = false;
    QByteArray marks;
    QByteArray tail;
    QByteArrayList lines;
};

char16_t unitAt(const QByteArray &data, qsizetype at, const Lines &l)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + at);
    if (l.unit == 1)
        return p[0];
    return l.bigEndian ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]);
}

Lines split(const QByteArray &data)
{
    Lines l;
    QByteArray mark("\xEF\xBB\xBF");
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        l.unit = 2;
        l.bigEndian = data.startsWith("\xFE\xFF");
        mark = data.left(2);
    }
    qsizetype start = 0;
    while (data.mid(start, mark.size()) == mark)
        start += mark.size();
    l.marks = data.left(start);
    qsizetype end = data.size();
    if ((end - start) % l.unit != 0) {
        l.tail = data.right(1);
        --end;
    }
    for (qsizetype i = start; i < end; i += l.unit) {
        const char16_t c = unitAt(data, i, l);
        if (c != u'\r' && c != u'\n')
            continue;
        l.lines.append(data.mid(start, i - start));
        if (c == u'\r' && i + l.unit < end && unitAt(data, i + l.unit, l) == u'\n')
            i += l.unit;
        start = i + l.unit;
    }
    if (start < end)
        l.lines.append(data.mid(start, end - start));
    return l;
}

QString decode(const QByteArray &line, const Lines &l)
{
    if (l.unit == 1)
        return QString::fromUtf8(line);
    QString text;
    for (qsizetype i = 0; i + 1 < line.size(); i += 2)
        text.append(QChar(unitAt(line, i, l)));
    return text;
}

// A line the program may write or replace: a header of its section (whose name ends at the first
// ']'), or a line that names one of its keys before an '='. Blanks and byte order marks where it
// starts do not count.
bool owned(const QByteArray &line, const Lines &l)
{
    QString text = decode(line, l);
    qsizetype i = 0;
    while (i < text.size() && (text.at(i).isSpace() || text.at(i) == QChar(0xFEFF)))
        ++i;
    text = text.mid(i);
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        return close >= 0 && text.mid(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
    }
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return false;
    const QString name = text.left(equals).trimmed();
    for (const QString &key : keys) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArrayList notOwned(const Lines &l)
{
    QByteArrayList kept;
    for (const QByteArray &line : l.lines) {
        if (!owned(line, l))
            kept.append(line);
    }
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    QString values[std::size(keys)];
    for (QString &value : values)
        value = QString::fromStdString(input.ConsumeRandomLengthString(3000));
    const std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
    const QByteArray file(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    IniFile ini = IniFile::fromData(file);
    for (size_t i = 0; i < std::size(keys); ++i)
        ini.setValue(section, keys[i], values[i]);
    const QByteArray saved = ini.toData();

    const IniFile reread = IniFile::fromData(saved);
    for (size_t i = 0; i < std::size(keys); ++i) {
        if (!reread.contains(section, keys[i]))
            fail("a key written is missing", saved);
        if (reread.value(section, keys[i]) != expected(values[i]))
            fail("a value does not read back", saved);
    }
    if (reread.toData() != saved)
        fail("what was written does not read back to the same bytes", saved);

    const Lines before = split(file);
    const Lines after = split(saved);
    if (after.marks != before.marks || after.tail != before.tail || after.unit != before.unit)
        fail("the marks, the odd last byte or the encoding changed", saved);
    if (notOwned(after) != notOwned(before))
        fail("a line the program does not own changed", saved);
    // At most one header and six keys are added.
    if (after.lines.size() > before.lines.size() + 7)
        fail("lines were added beyond the program's own", saved);
    return 0;
}
