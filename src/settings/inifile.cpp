#include "settings/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

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

// A line is a section header "[Name]" (up to its last ']', so names may hold brackets), a key line
// "Key=Value" or anything else, which is kept as it is. A line opening with '[' but without ']' is neither a
// header nor a key: it stays in the section it sits in and is never read.
ParsedLine parseLine(QStringView line)
{
    const QStringView text = line.trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.lastIndexOf(u']');
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

QString name(const QString &text)
{
    return oneLine(text).trimmed();
}

QString decode(const QByteArray &data)
{
    if (data.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE)(data.mid(2));
    if (data.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE)(data.mid(2));
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.mid(3));
    return QString::fromUtf8(data);
}

} // namespace

IniFile IniFile::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return IniFile();
    return fromData(file.readAll());
}

IniFile IniFile::fromData(const QByteArray &data)
{
    IniFile ini;
    const QString text = decode(data);
    bool crLf = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        ini.m_lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            crLf = true;
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size())
        ini.m_lines.append(text.mid(start));
    ini.m_endsWithLineEnd = start == text.size();
    if (crLf)
        ini.m_lineEnd = QStringLiteral("\r\n");
    return ini;
}

QByteArray IniFile::toData() const
{
    QString text = m_lines.join(m_lineEnd);
    if (m_endsWithLineEnd && !m_lines.isEmpty())
        text += m_lineEnd;
    return text.toUtf8();
}

// The first section of that name is the one read and written; within it, the first key.
IniFile::Position IniFile::find(QStringView section, QStringView key) const
{
    Position position;
    for (int i = 0; i < m_lines.size(); ++i) {
        const ParsedLine line = parseLine(m_lines.at(i));
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
    return find(name(section), name(key)).key >= 0;
}

QString IniFile::value(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Position position = find(name(section), name(key));
    if (position.key < 0)
        return defaultValue;
    QStringView value = parseLine(m_lines.at(position.key)).value;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > MaxValueLength) {
        value = value.left(MaxValueLength);
        // Never hand out half of a surrogate pair.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value.toString();
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString sectionName = name(section);
    const QString keyName = name(key);
    if (keyName.isEmpty())
        return;
    const QString text = oneLine(value);
    const Position position = find(sectionName, keyName);
    if (position.key >= 0) {
        const QString original = parseLine(m_lines.at(position.key)).name.toString();
        m_lines[position.key] = original + u'=' + text;
    } else if (position.section >= 0) {
        m_lines.insert(position.insertAt, keyName + u'=' + text);
        if (position.insertAt == m_lines.size() - 1)
            m_endsWithLineEnd = true;
    } else {
        m_lines.append(u'[' + sectionName + u']');
        m_lines.append(keyName + u'=' + text);
        m_endsWithLineEnd = true;
    }
}

bool IniFile::save(const QString &path)
{
    m_error.clear();
    // The owner's write bit, not an access check: root passes every access check, and a
    // read-only settings file must stay as the user left it.
    const QFileInfo info(path);
    if (info.exists() && !info.permission(QFile::WriteOwner)) {
        m_error = QStringLiteral("%1 is read-only").arg(path);
        return false;
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
