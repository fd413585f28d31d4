#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The executable's version record in the Windows VS_VERSIONINFO layout. On Windows it is the
// VERSIONINFO resource; on Linux the same bytes sit in an ELF section of the executable. The about
// page reads its FileVersion string back from the running file.
namespace VersionRecord {

// The ELF section that carries the record on Linux.
inline constexpr char sectionName[] = ".ondavo_version";

// The FileVersion string of the first translation of a VS_VERSIONINFO block, or empty on any failure.
QString fileVersion(const QByteArray &record);

// The bytes of a named section of an ELF file (64- and 32-bit, little- and big-endian), or empty.
QByteArray readElfSection(const QString &path, const QByteArray &sectionName);

// The running executable's version text: its record's FileVersion; empty on failure.
QString getFileVersionText();
QString getFileVersionText(const QString &executablePath);

// A string table's key: the language then the code page, as eight upper-case hex digits.
QString tableKey(quint16 language, quint16 codePage);

struct Fields
{
    quint16 fileVersion[4] = {};
    quint16 productVersion[4] = {};
    QList<QPair<quint16, quint16>> translations; // language, code page
    QList<QPair<QString /*table key*/, QList<QPair<QString, QString>>>> stringTables;
    // VS_FIXEDFILEINFO's remaining words.
    quint32 fileFlagsMask = 0x3F;
    quint32 fileFlags = 0;
    quint32 fileOS = 0x4;   // VOS__WINDOWS32
    quint32 fileType = 0x1; // VFT_APP
    quint32 fileSubtype = 0;
};

// Builds a record from fields; empty when a block would outgrow the format's 16-bit lengths.
QByteArray build(const Fields &fields);

} // namespace VersionRecord
