#include "settings/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcSettings, "ondavo.settings", QtInfoMsg)

namespace {

enum class LineKind
{
    Other,
    Section,
    Key
};

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    QStringView name;
    QStringView value;
};

constexpr char16_t byteOrderMark = 0xFEFF;

// Blanks and byte order marks: a mark where a line starts (files joined together, or a mark the
// start of the file did not account for) must not hide a header or a key.
QStringView withoutLeadingBlanks(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text.at(i).isSpace() || text.at(i) == QChar(byteOrderMark)))
        ++i;
    return text.mid(i);
}

// A line is a section header "[Name]" (the name ends at its first ']', so "[S] ; see [x]" is the
// section S), a key line "Key=Value" or anything else, which is kept as it is. A line opening with '['
// but without ']' is neither a header nor a key: it stays in the section it sits in and is never read.
ParsedLine parseLine(QStringView line)
{
    const QStringView text = withoutLeadingBlanks(line).trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return {};
        return {LineKind::Section, text.mid(1, close - 1).trimmed(), {}};
    }
    if (text.startsWith(u';'))
        return {};
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return {};
    const QStringView key = text.left(equals).trimmed();
    if (key.isEmpty())
        return {};
    return {LineKind::Key, key, text.mid(equals + 1).trimmed()};
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString oneLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString keyName(const QString &text)
{
    return oneLine(text).trimmed();
}

// What a header written with this name reads back as.
QString sectionName(const QString &text)
{
    QString name = oneLine(text);
    const qsizetype close = name.indexOf(u']');
    if (close >= 0)
        name.truncate(close);
    return name.trimmed();
}

// What a key line's value reads as: one pair of matching enclosing quotes goes, and the rest is cut
// to the longest value without splitting a surrogate pair.
QString readValue(QStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > IniFile::MaxValueLength) {
        value = value.left(IniFile::MaxValueLength);
        // Never hand out half of a surrogate pair.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value.toString();
}

// A value that reading would change (blanks at its ends trimmed, a pair of enclosing quotes
// dropped) gets one more pair of quotes, so a command such as "/opt/a b/rec" --out "x" keeps its
// own. Either kind reads back exactly; the other kind than the value's own is plainer to the eye.
QString writtenValue(const QString &value)
{
    if (value.isEmpty())
        return value;
    const QChar first = value.front();
    const QChar last = value.back();
    const bool quoted = value.size() >= 2 && (first == u'"' || first == u'\'') && last == first;
    if (!quoted && !first.isSpace() && !last.isSpace())
        return value;
    const QChar quote = first == u'"' || last == u'"' ? u'\'' : u'"';
    return quote + value + quote;
}

// One code unit of the file at offset: a byte, or a 16-bit word in the given order.
char16_t unitAt(const QByteArray &data, qsizetype offset, int unitSize, bool bigEndian)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + offset);
    if (unitSize == 1)
        return p[0];
    return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}

// What save() must know about the file it would replace.
enum class Target
{
    Replaceable, // a readable, writable regular file, or nothing yet
    NotAFile,
    ReadOnly,
    Unreadable
};

// Told from the file's size alone: reading it would be the harm.
bool tooLarge(const QString &path, qint64 size)
{
    if (size <= IniFile::MaxFileSize)
        return false;
    qCWarning(lcSettings,
              "The settings file %s has %lld bytes, more than settings ever take: the defaults are used "
              "and the file is left as it is",
              qUtf8Printable(path), static_cast<long long>(size));
    return true;
}

#ifdef Q_OS_UNIX
// The kind is checked before the file is opened, and again on what was opened: opening a FIFO
// for reading waits for a writer for good, and opening a device may do something.
IniFile::Source readRegularFile(const QString &path, QByteArray *data)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? IniFile::Source::None : IniFile::Source::Unreadable;
    if (!S_ISREG(info.st_mode))
        return IniFile::Source::NotAFile;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? IniFile::Source::None : IniFile::Source::Unreadable;
    IniFile::Source source = IniFile::Source::File;
    if (::fstat(fd, &info) != 0)
        source = IniFile::Source::Unreadable;
    else if (!S_ISREG(info.st_mode))
        source = IniFile::Source::NotAFile;
    else if (tooLarge(path, info.st_size))
        source = IniFile::Source::Unreadable;
    char buffer[64 * 1024];
    while (source == IniFile::Source::File) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            data->append(buffer, qsizetype(n));
        else if (n == 0)
            break;
        else if (errno != EINTR)
            source = IniFile::Source::Unreadable;
        if (tooLarge(path, data->size())) // grown since the check
            source = IniFile::Source::Unreadable;
    }
    ::close(fd);
    return source;
}

Target targetState(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    // Whatever stat cannot see, the save itself will find out about.
    if (::stat(native.constData(), &info) != 0)
        return Target::Replaceable;
    if (!S_ISREG(info.st_mode))
        return Target::NotAFile;
    // The owner's write bit, not an access check: root passes every access check, and a read-only
    // settings file must stay as the user left it.
    if (!(info.st_mode & S_IWUSR))
        return Target::ReadOnly;
    if (info.st_size > IniFile::MaxFileSize)
        return Target::Unreadable;
    // Opened, not access(): access() asks with the real user's rights.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Target::Replaceable : Target::Unreadable;
    ::close(fd);
    return Target::Replaceable;
}
#else
IniFile::Source readRegularFile(const QString &path, QByteArray *data)
{
    const QFileInfo info(path);
    if (!info.exists())
        return IniFile::Source::None;
    if (!info.isFile())
        return IniFile::Source::NotAFile;
    if (tooLarge(path, info.size()))
        return IniFile::Source::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IniFile::Source::Unreadable;
    *data = file.readAll();
    return file.error() == QFileDevice::NoError ? IniFile::Source::File : IniFile::Source::Unreadable;
}

Target targetState(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Target::Replaceable;
    if (!info.isFile())
        return Target::NotAFile;
    if (!info.permission(QFile::WriteOwner))
        return Target::ReadOnly;
    if (info.size() > IniFile::MaxFileSize)
        return Target::Unreadable;
    return info.isReadable() ? Target::Replaceable : Target::Unreadable;
}
#endif

} // namespace

IniFile IniFile::load(const QString &path)
{
    QByteArray data;
    const Source source = readRegularFile(path, &data);
    IniFile ini = source == Source::File ? fromData(data) : IniFile();
    ini.m_source = source;
    return ini;
}

IniFile IniFile::fromData(const QByteArray &data)
{
    IniFile ini;
    QByteArrayView mark("\xEF\xBB\xBF");
    if (data.startsWith("\xFF\xFE")) {
        ini.m_encoding = Encoding::Utf16LE;
        mark = QByteArrayView("\xFF\xFE");
    } else if (data.startsWith("\xFE\xFF")) {
        ini.m_encoding = Encoding::Utf16BE;
        mark = QByteArrayView("\xFE\xFF");
    }
    // Every mark, not just one: a file that starts with several must still show its first line.
    qsizetype start = 0;
    while (QByteArrayView(data).sliced(start).startsWith(mark))
        start += mark.size();
    ini.m_marks = data.left(start);

    const int unitSize = ini.m_encoding == Encoding::Utf8 ? 1 : 2;
    const bool bigEndian = ini.m_encoding == Encoding::Utf16BE;
    // An odd byte at the end of a UTF-16 file stays at the end: lines added before it must still
    // start on a code unit.
    qsizetype end = data.size();
    if ((end - start) % unitSize != 0) {
        --end;
        ini.m_tail = data.right(1);
    }
    for (qsizetype i = start; i + unitSize <= end; i += unitSize) {
        const char16_t c = unitAt(data, i, unitSize, bigEndian);
        if (c != u'\r' && c != u'\n')
            continue;
        const QByteArray bytes = data.mid(start, i - start);
        ini.m_lines.append({bytes, ini.decode(bytes)});
        if (c == u'\r' && i + 2 * unitSize <= end &&
            unitAt(data, i + unitSize, unitSize, bigEndian) == u'\n') {
            ini.m_crLf = true;
            i += unitSize;
        }
        start = i + unitSize;
    }
    if (start < end) {
        const QByteArray bytes = data.mid(start, end - start);
        ini.m_lines.append({bytes, ini.decode(bytes)});
    }
    ini.m_endsWithLineEnd = start == end;
    return ini;
}

QString IniFile::decode(const QByteArray &bytes) const
{
    if (m_encoding == Encoding::Utf8)
        return QString::fromUtf8(bytes);
    // Code unit by code unit, so a lone surrogate is still there to be written back.
    const bool bigEndian = m_encoding == Encoding::Utf16BE;
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(unitAt(bytes, 2 * i, 2, bigEndian));
    return text;
}

QByteArray IniFile::encode(const QString &text) const
{
    if (m_encoding == Encoding::Utf8)
        return text.toUtf8();
    QByteArray bytes(2 * text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (m_encoding == Encoding::Utf16BE)
            qToBigEndian<quint16>(text.at(i).unicode(), bytes.data() + 2 * i);
        else
            qToLittleEndian<quint16>(text.at(i).unicode(), bytes.data() + 2 * i);
    }
    return bytes;
}

QByteArray IniFile::toData() const
{
    const QByteArray lineEnd = encode(m_crLf ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    QByteArray data = m_marks;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (i > 0)
            data += lineEnd;
        data += m_lines.at(i).bytes;
    }
    if (m_endsWithLineEnd && !m_lines.isEmpty())
        data += lineEnd;
    return data + m_tail;
}

// The first section of that name is the one read and written; within it, the first key.
IniFile::Position IniFile::find(QStringView section, QStringView key) const
{
    Position position;
    for (int i = 0; i < m_lines.size(); ++i) {
        const ParsedLine line = parseLine(m_lines.at(i).text);
        if (line.kind == LineKind::Section) {
            if (position.section >= 0)
                break;
            if (sameName(line.name, section)) {
                position.section = i;
                position.insertAt = i + 1;
            }
        } else if (line.kind == LineKind::Key && position.section >= 0) {
            if (sameName(line.name, key)) {
                position.key = i;
                break;
            }
            position.insertAt = i + 1;
        }
    }
    return position;
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    return find(sectionName(section), keyName(key)).key >= 0;
}

QString IniFile::value(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Position position = find(sectionName(section), keyName(key));
    if (position.key < 0)
        return defaultValue;
    return readValue(parseLine(m_lines.at(position.key).text).value);
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString section1 = sectionName(section);
    const QString key1 = keyName(key);
    if (key1.isEmpty())
        return;
    const QString text = oneLine(value);
    const Position position = find(section1, key1);
    if (position.key >= 0) {
        const ParsedLine line = parseLine(m_lines.at(position.key).text);
        // Saving what was read must not re-encode it: bytes that are not UTF-8 (a path in a code
        // page) would become U+FFFD.
        if (readValue(line.value) == text)
            return;
        m_lines[position.key] = makeLine(line.name.toString() + u'=' + writtenValue(text));
    } else if (position.section >= 0) {
        m_lines.insert(position.insertAt, makeLine(key1 + u'=' + writtenValue(text)));
        if (position.insertAt == m_lines.size() - 1)
            m_endsWithLineEnd = true;
    } else {
        m_lines.append(makeLine(u'[' + section1 + u']'));
        m_lines.append(makeLine(key1 + u'=' + writtenValue(text)));
        m_endsWithLineEnd = true;
    }
}

bool IniFile::save(const QString &path)
{
    m_error.clear();
    // What could not be read is not in this document; writing it would wipe it.
    if (m_source == Source::Unreadable) {
        m_error = QStringLiteral("The settings could not be read, so %1 is not replaced").arg(path);
        return false;
    }
    switch (targetState(path)) {
    case Target::NotAFile:
        m_error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    case Target::ReadOnly:
        m_error = QStringLiteral("%1 is read-only").arg(path);
        return false;
    case Target::Unreadable:
        m_error = QStringLiteral("%1 cannot be read, so it is not replaced").arg(path);
        return false;
    case Target::Replaceable:
        break;
    }
    // Written to a temporary file and renamed over the old one only when complete.
    QSaveFile file(path);
    const QByteArray data = toData();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush() ||
        !file.commit()) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
