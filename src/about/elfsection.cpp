#include "about/versionrecord.h"

#include <QFile>
#include <QtEndian>

#include <limits>
#include <optional>

// Reads one section of an ELF file through its section header table. The file may be anything the
// user points at, so every offset and size is checked against the file's length, without overflow,
// before it is used; the file is read piecewise rather than mapped, so a file that changes underneath
// cannot fault the program.

namespace VersionRecord {

namespace {

constexpr quint32 sectionTypeNoBits = 8;  // SHT_NOBITS: occupies no file space
constexpr quint16 extendedIndex = 0xFFFF; // SHN_XINDEX

struct Layout
{
    bool is64 = false;
    bool bigEndian = false;
};

class ElfFile
{
public:
    explicit ElfFile(const QString &path) : m_file(path) {}

    bool open()
    {
        if (!m_file.open(QIODevice::ReadOnly))
            return false;
        m_size = quint64(qMax<qint64>(m_file.size(), 0));
        return true;
    }

    // Exactly length bytes at offset, or nothing when they do not all lie within the file.
    std::optional<QByteArray> read(quint64 offset, quint64 length)
    {
        if (offset > m_size || length > m_size - offset ||
            length > quint64(std::numeric_limits<qsizetype>::max()))
            return std::nullopt;
        if (!m_file.seek(qint64(offset)))
            return std::nullopt;
        QByteArray data = m_file.read(qint64(length));
        if (quint64(data.size()) != length)
            return std::nullopt;
        return data;
    }

    quint64 size() const { return m_size; }

private:
    QFile m_file;
    quint64 m_size = 0;
};

// An unsigned field of width 2, 4 or 8 bytes at offset in data; 0 when it does not fit.
quint64 field(const QByteArray &data, qsizetype offset, int width, const Layout &layout)
{
    if (offset < 0 || offset > data.size() - width)
        return 0;
    const char *p = data.constData() + offset;
    switch (width) {
    case 2:
        return layout.bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    case 4:
        return layout.bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    case 8:
        return layout.bigEndian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
    default:
        return 0;
    }
}

struct Section
{
    quint32 name = 0;
    quint32 type = 0;
    quint64 offset = 0;
    quint64 size = 0;
    quint32 link = 0;
};

// The section header at entry in table (entries of entrySize bytes, checked by the caller).
Section section(const QByteArray &table, quint64 entry, quint64 entrySize, const Layout &layout)
{
    const qsizetype at = qsizetype(entry * entrySize);
    Section s;
    s.name = quint32(field(table, at, 4, layout));
    s.type = quint32(field(table, at + 4, 4, layout));
    if (layout.is64) {
        s.offset = field(table, at + 24, 8, layout);
        s.size = field(table, at + 32, 8, layout);
        s.link = quint32(field(table, at + 40, 4, layout));
    } else {
        s.offset = field(table, at + 16, 4, layout);
        s.size = field(table, at + 20, 4, layout);
        s.link = quint32(field(table, at + 24, 4, layout));
    }
    return s;
}

} // namespace

QByteArray readElfSection(const QString &path, const QByteArray &sectionName)
{
    ElfFile file(path);
    if (sectionName.isEmpty() || !file.open())
        return {};

    const std::optional<QByteArray> ident = file.read(0, 16);
    if (!ident || !ident->startsWith(QByteArrayView("\x7F\x45\x4C\x46", 4))) // the ELF magic
        return {};
    Layout layout;
    const char elfClass = ident->at(4);
    const char encoding = ident->at(5);
    if ((elfClass != 1 && elfClass != 2) || (encoding != 1 && encoding != 2))
        return {};
    layout.is64 = elfClass == 2;
    layout.bigEndian = encoding == 2;

    const std::optional<QByteArray> header = file.read(0, layout.is64 ? 64 : 52);
    if (!header)
        return {};
    const quint64 tableOffset =
        layout.is64 ? field(*header, 0x28, 8, layout) : field(*header, 0x20, 4, layout);
    const quint64 entrySize = field(*header, layout.is64 ? 0x3A : 0x2E, 2, layout);
    quint64 count = field(*header, layout.is64 ? 0x3C : 0x30, 2, layout);
    quint64 namesIndex = field(*header, layout.is64 ? 0x3E : 0x32, 2, layout);
    const quint64 minEntrySize = layout.is64 ? 64 : 40;
    if (tableOffset == 0 || entrySize < minEntrySize)
        return {};

    // With many sections the real count and string table index live in section 0.
    if (count == 0 || namesIndex == extendedIndex) {
        const std::optional<QByteArray> first = file.read(tableOffset, entrySize);
        if (!first)
            return {};
        const Section zero = section(*first, 0, entrySize, layout);
        if (count == 0)
            count = zero.size;
        if (namesIndex == extendedIndex)
            namesIndex = zero.link;
    }
    if (count == 0 || tableOffset > file.size() || count > (file.size() - tableOffset) / entrySize ||
        namesIndex >= count)
        return {};

    const std::optional<QByteArray> table = file.read(tableOffset, count * entrySize);
    if (!table)
        return {};
    const Section namesSection = section(*table, namesIndex, entrySize, layout);
    if (namesSection.type == sectionTypeNoBits)
        return {};
    const std::optional<QByteArray> names = file.read(namesSection.offset, namesSection.size);
    if (!names)
        return {};

    for (quint64 i = 0; i < count; ++i) {
        const Section s = section(*table, i, entrySize, layout);
        if (s.name >= quint64(names->size()))
            continue;
        const qsizetype end = names->indexOf('\0', qsizetype(s.name));
        if (end < 0)
            continue; // an unterminated name matches nothing
        if (QByteArrayView(names->constData() + s.name, end - qsizetype(s.name)) != sectionName)
            continue;
        if (s.type == sectionTypeNoBits)
            return {};
        return file.read(s.offset, s.size).value_or(QByteArray());
    }
    return {};
}

} // namespace VersionRecord
