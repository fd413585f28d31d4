#include "about/versionrecord.h"

#include <QtEndian>

#include <optional>

// A VS_VERSIONINFO block is a tree of nodes, each one
//   WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; padding; value; padding; children...
// with every node and value starting on a 32-bit boundary of the block. wLength covers the node and
// its children; wValueLength counts bytes for binary values (wType 0) and WCHARs for text (wType 1).
// The block comes from a file, so every length is checked against its parent and the buffer before
// anything is read.

namespace VersionRecord {

namespace {

constexpr qsizetype headerSize = 6;
constexpr quint16 binaryType = 0;
constexpr quint16 textType = 1;

qsizetype align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

struct Node
{
    qsizetype end = 0; // one past the node's last byte, as its wLength says
    QString key;
    qsizetype valueStart = 0;
    qsizetype valueBytes = 0;
    qsizetype childrenStart = 0;
};

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data) {}

    // The 16-bit little-endian word at offset, or nothing when it lies outside [0, limit).
    std::optional<quint16> word(qsizetype offset, qsizetype limit) const
    {
        if (offset < 0 || limit > m_data.size() || offset > limit - 2)
            return std::nullopt;
        return qFromLittleEndian<quint16>(m_data.constData() + offset);
    }

    // The node starting at start, which must end by limit (its parent's end).
    std::optional<Node> node(qsizetype start, qsizetype limit) const
    {
        if (start < 0 || limit > m_data.size() || start > limit - headerSize)
            return std::nullopt;
        const quint16 length = *word(start, limit);
        const quint16 valueLength = *word(start + 2, limit);
        const quint16 type = *word(start + 4, limit);
        // A node holds at least its header and its key's terminator, and never outgrows its parent.
        if (length < headerSize + 2 || length > limit - start)
            return std::nullopt;

        Node node;
        node.end = start + length;
        qsizetype pos = start + headerSize;
        for (;;) {
            const std::optional<quint16> c = word(pos, node.end);
            if (!c)
                return std::nullopt; // key without terminator
            pos += 2;
            if (*c == 0)
                break;
            node.key.append(QChar(*c));
        }
        node.valueStart = align4(pos);
        node.valueBytes = type == textType ? qsizetype(valueLength) * 2 : qsizetype(valueLength);
        if (node.valueBytes > 0 &&
            (node.valueStart > node.end || node.valueBytes > node.end - node.valueStart))
            return std::nullopt;
        node.childrenStart = align4(node.valueStart + node.valueBytes);
        return node;
    }

    // The first child of parent with the given key (compared as the system does, ignoring case).
    std::optional<Node> child(const Node &parent, const QString &key) const
    {
        qsizetype pos = parent.childrenStart;
        // Each child is at least a header long and ends within the parent, so pos strictly grows.
        while (pos < parent.end) {
            const std::optional<Node> c = node(pos, parent.end);
            if (!c)
                return std::nullopt;
            if (c->key.compare(key, Qt::CaseInsensitive) == 0)
                return c;
            pos = align4(c->end);
        }
        return std::nullopt;
    }

    std::optional<Node> path(const QStringList &keys) const
    {
        std::optional<Node> n = node(0, m_data.size());
        if (!n || n->key != QLatin1String("VS_VERSION_INFO"))
            return std::nullopt;
        for (const QString &key : keys) {
            n = child(*n, key);
            if (!n)
                return std::nullopt;
        }
        return n;
    }

    // A text value up to its first terminator; the node check keeps it within the node.
    QString text(const Node &n) const
    {
        QString result;
        for (qsizetype pos = n.valueStart; pos + 2 <= n.valueStart + n.valueBytes; pos += 2) {
            const std::optional<quint16> c = word(pos, n.end);
            if (!c || *c == 0)
                break;
            result.append(QChar(*c));
        }
        return result;
    }

private:
    const QByteArray &m_data;
};

void appendWord(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendDword(QByteArray &out, quint32 value)
{
    appendWord(out, quint16(value & 0xFFFF));
    appendWord(out, quint16(value >> 16));
}

void padTo4(QByteArray &out)
{
    while (out.size() % 4 != 0)
        out.append('\0');
}

QByteArray utf16z(const QString &text)
{
    QByteArray out;
    for (const QChar c : text)
        appendWord(out, c.unicode());
    appendWord(out, 0);
    return out;
}

// One node with its header filled in, without trailing padding; nothing when it outgrows 16 bits.
// A child that could not be built makes its parent fail too.
std::optional<QByteArray> makeNode(const QString &key, quint16 type, const QByteArray &value,
                                   quint16 valueLength, const QList<std::optional<QByteArray>> &children)
{
    QByteArray out(headerSize, '\0');
    out += utf16z(key);
    padTo4(out);
    out += value;
    for (const std::optional<QByteArray> &c : children) {
        if (!c)
            return std::nullopt;
        padTo4(out);
        out += *c;
    }
    if (out.size() > 0xFFFF)
        return std::nullopt;
    qToLittleEndian<quint16>(quint16(out.size()), out.data());
    qToLittleEndian<quint16>(valueLength, out.data() + 2);
    qToLittleEndian<quint16>(type, out.data() + 4);
    return out;
}

std::optional<QByteArray> makeString(const QString &key, const QString &value)
{
    const QByteArray bytes = utf16z(value);
    if (bytes.size() / 2 > 0xFFFF)
        return std::nullopt;
    return makeNode(key, textType, bytes, quint16(bytes.size() / 2), {});
}

quint32 high(const quint16 parts[4])
{
    return quint32(parts[0]) << 16 | parts[1];
}

quint32 low(const quint16 parts[4])
{
    return quint32(parts[2]) << 16 | parts[3];
}

} // namespace

QString tableKey(quint16 language, quint16 codePage)
{
    return QStringLiteral("%1%2")
        .arg(language, 4, 16, QLatin1Char('0'))
        .arg(codePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

QString fileVersion(const QByteArray &record)
{
    const Reader reader(record);
    const std::optional<Node> translation =
        reader.path({QStringLiteral("VarFileInfo"), QStringLiteral("Translation")});
    // Only the first entry counts: low word the language, high word the code page.
    if (!translation || translation->valueBytes < 4)
        return {};
    const std::optional<quint16> language = reader.word(translation->valueStart, translation->end);
    const std::optional<quint16> codePage = reader.word(translation->valueStart + 2, translation->end);
    if (!language || !codePage)
        return {};

    const std::optional<Node> version = reader.path(
        {QStringLiteral("StringFileInfo"), tableKey(*language, *codePage), QStringLiteral("FileVersion")});
    return version ? reader.text(*version) : QString();
}

QByteArray build(const Fields &fields)
{
    QByteArray fixed;
    appendDword(fixed, 0xFEEF04BD); // signature
    appendDword(fixed, 0x00010000); // structure version 1.0
    appendDword(fixed, high(fields.fileVersion));
    appendDword(fixed, low(fields.fileVersion));
    appendDword(fixed, high(fields.productVersion));
    appendDword(fixed, low(fields.productVersion));
    appendDword(fixed, fields.fileFlagsMask);
    appendDword(fixed, fields.fileFlags);
    appendDword(fixed, fields.fileOS);
    appendDword(fixed, fields.fileType);
    appendDword(fixed, fields.fileSubtype);
    appendDword(fixed, 0); // file date, unused
    appendDword(fixed, 0);

    QList<std::optional<QByteArray>> blocks;
    if (!fields.stringTables.isEmpty()) {
        QList<std::optional<QByteArray>> tables;
        for (const auto &table : fields.stringTables) {
            QList<std::optional<QByteArray>> strings;
            for (const auto &entry : table.second)
                strings.append(makeString(entry.first, entry.second));
            tables.append(makeNode(table.first, textType, {}, 0, strings));
        }
        blocks.append(makeNode(QStringLiteral("StringFileInfo"), textType, {}, 0, tables));
    }
    if (!fields.translations.isEmpty()) {
        QByteArray entries;
        for (const auto &translation : fields.translations)
            appendDword(entries, quint32(translation.second) << 16 | translation.first);
        if (entries.size() > 0xFFFF)
            return {};
        const std::optional<QByteArray> var =
            makeNode(QStringLiteral("Translation"), binaryType, entries, quint16(entries.size()), {});
        blocks.append(makeNode(QStringLiteral("VarFileInfo"), textType, {}, 0, {var}));
    }

    const std::optional<QByteArray> root =
        makeNode(QStringLiteral("VS_VERSION_INFO"), binaryType, fixed, quint16(fixed.size()), blocks);
    return root.value_or(QByteArray());
}

} // namespace VersionRecord
