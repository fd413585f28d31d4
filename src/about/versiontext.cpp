#include "about/versionrecord.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace VersionRecord {

QString getFileVersionText()
{
    return getFileVersionText(QCoreApplication::applicationFilePath());
}

QString getFileVersionText(const QString &executablePath)
{
    if (executablePath.isEmpty())
        return {};
#ifdef Q_OS_WIN
    // The record is the executable's VERSIONINFO resource; the system hands over its bytes.
    const std::wstring path = executablePath.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return {};
    QByteArray block(qsizetype(size), '\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    return fileVersion(block);
#else
    return fileVersion(readElfSection(executablePath, sectionName));
#endif
}

} // namespace VersionRecord
