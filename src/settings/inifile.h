#pragma once

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

// Settings files kept aside (too large to be settings) are reported here.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

// A Windows-style profile (INI) file held as its lines, so that a save keeps every section, key,
// comment and blank line it does not change. Names match case-insensitively; values read back are
// trimmed, lose one pair of matching quotes and are cut to MaxValueLength characters.
//
// Lines are kept as the bytes they were read as, so lines the program does not change come back
// byte for byte whatever their encoding (an 8-bit code page, stray bytes). Only the lines setValue
// writes are encoded anew. A file with a UTF-16 byte order mark stays UTF-16, with its marks: turning
// it into UTF-8 would lose lone surrogates and the exact bytes of every other line.
class IniFile
{
public:
    static constexpr int MaxValueLength = 2047;
    // A larger file is no settings file: read, it would take many times its size in memory.
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    // What load() found at its path.
    enum class Source
    {
        None,      // nothing there (also a document that never came from a file)
        File,      // a regular file, read in full
        NotAFile,  // a FIFO, device, socket or directory: never opened for reading
        Unreadable // there, but it could not be read or is over MaxFileSize: never replaced
    };

    // Only regular files are read, so a FIFO at the path cannot hang the caller. Anything that is
    // not read gives an empty document: settings then take their defaults.
    static IniFile load(const QString &path);
    // UTF-8 (or any 8-bit encoding) by default; a UTF-16 byte order mark selects that encoding.
    // Every byte order mark at the start is kept aside and written back as it was.
    static IniFile fromData(const QByteArray &data);
    // The file's encoding, with the line ends the document was read with ("\r\n" or "\n").
    QByteArray toData() const;

    Source source() const { return m_source; }

    bool contains(const QString &section, const QString &key) const;
    QString value(const QString &section, const QString &key, const QString &defaultValue = QString()) const;
    // Line breaks in the names or the value become blanks, so a value can never add lines. A section
    // name ends at its first ']', as it does when read. A value that reading would trim or unquote is
    // written inside one more pair of quotes, so it reads back as given. A value equal to the one
    // read leaves its line as it was, byte for byte.
    void setValue(const QString &section, const QString &key, const QString &value);

    // Replaces the whole file atomically; false, with errorString(), on any failure. Never replaces
    // what is not a regular file, a read-only file, or a file that could not be read or is too large.
    bool save(const QString &path);
    QString errorString() const { return m_error; }

private:
    enum class Encoding
    {
        Utf8, // also any other 8-bit encoding: bytes are kept, text is decoded as UTF-8
        Utf16LE,
        Utf16BE
    };
    struct Line
    {
        QByteArray bytes; // as in the file, without the line end
        QString text;     // decoded, for parsing
    };
    struct Position
    {
        int section = -1;  // line of the section header
        int key = -1;      // line of the key
        int insertAt = -1; // where a missing key of the section goes
    };
    Position find(QStringView section, QStringView key) const;
    QString decode(const QByteArray &bytes) const;
    QByteArray encode(const QString &text) const;
    Line makeLine(const QString &text) const { return {encode(text), text}; }

    Encoding m_encoding = Encoding::Utf8;
    QByteArray m_marks; // the byte order marks the file starts with
    QByteArray m_tail;  // an odd last byte of a UTF-16 file
    QList<Line> m_lines;
    bool m_crLf = false;
    bool m_endsWithLineEnd = true;
    Source m_source = Source::None;
    QString m_error;
};
