#include "platform/autostart.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// One Exec argument by the desktop-entry quoting rules; the value's own escapes come after.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString quoted = argument;
    if (quote) {
        quoted.clear();
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    // A lone % would start a field code.
    return quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

// The string-value escapes of a desktop entry, which a reader undoes before the Exec quoting.
QString escapeValue(QString value)
{
    return value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"))
        .replace(QLatin1Char('\r'), QStringLiteral("\\r"));
}

bool fail(QString *error, const QString &reason)
{
    *error = reason;
    qCWarning(lcPlatform) << "Could not change the start at login:" << reason;
    return false;
}

} // namespace

QString Autostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + DesktopId + QStringLiteral(".desktop");
}

bool Autostart::isOn()
{
    return QFileInfo(entryPath()).isFile();
}

bool Autostart::set(bool on, const QString &executable, QString *error)
{
    const QString path = entryPath();
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        return fail(error, QStringLiteral("не удалось удалить %1: %2").arg(path, file.errorString()));
    }

    const QFileInfo program(executable);
    if (!program.isFile() || !program.isExecutable())
        return fail(error, QStringLiteral("программа %1 не найдена").arg(executable));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(error, QStringLiteral("не удалось создать папку %1").arg(folder));

    const QString exec = execArgument(executable) + QLatin1Char(' ') + Argument;
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Ondavo\n"
                                            "Comment=Интернет-радио и часы с будильником\n"
                                            "Exec=%1\n"
                                            "Icon=ondavo\n"
                                            "Terminal=false\n"
                                            "StartupNotify=false\n")
                                 .arg(escapeValue(exec))
                                 .toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        return fail(error, QStringLiteral("не удалось записать %1: %2").arg(path, file.errorString()));
    return true;
}
