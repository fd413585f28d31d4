#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A Windows-style profile (INI) file held as its lines, so that a save keeps every section, key,
// comment and blank line it does not change. Names match case-insensitively; values read back are
// trimmed, lose one pair of matching quotes and are cut to MaxValueLength characters.
class IniFile
{
public:
    static constexpr int MaxValueLength = 2047;

    // A missing or unreadable file gives an empty document: settings then take their defaults.
    static IniFile load(const QString &path);
    // UTF-8 by default; a UTF-8 or UTF-16 byte order mark selects that encoding.
    static IniFile fromData(const QByteArray &data);
    // UTF-8, with the line ends the document was read with ("\r\n" or "\n").
    QByteArray toData() const;

    bool contains(const QString &section, const QString &key) const;
    QString value(const QString &section, const QString &key, const QString &defaultValue = QString()) const;
    // Line breaks in the names or the value become blanks, so a value can never add lines.
    void setValue(const QString &section, const QString &key, const QString &value);

    // Replaces the whole file atomically; false, with errorString(), on any failure.
    bool save(const QString &path);
    QString errorString() const { return m_error; }

private:
    struct Position
    {
        int section = -1;  // line of the section header
        int key = -1;      // line of the key
        int insertAt = -1; // where a missing key of the section goes
    };
    Position find(QStringView section, QStringView key) const;

    QStringList m_lines;
    QString m_lineEnd = QStringLiteral("\n");
    bool m_endsWithLineEnd = true;
    QString m_error;
};
