#include "platform/autostart.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

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

// The person reads the reason; the paths and the system's words go to the journal.
bool fail(QString *error, const char *reason, const QString &detail)
{
    *error = QCoreApplication::translate("Autostart", reason);
    qCWarning(lcPlatform).noquote() << "Could not change the start at login:" << *error << "(" + detail + ")";
    return false;
}

QString entryName()
{
    return QStringLiteral("/autostart/") + Autostart::DesktopId + QStringLiteral(".desktop");
}

// A dangling link counts: it hides the system-wide entries as the user's entry.
bool present(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Whether the session starts the entry at path, by the keys of its [Desktop Entry] group. Anything
// that is not a regular file of an entry's size is never opened: a FIFO would block the read.
bool starts(const QString &path)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly))
        return false;
    QHash<QByteArray, QByteArray> keys;
    bool inEntry = false;
    bool sawEntry = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QByteArray text = line.trimmed();
        const qsizetype equals = text.indexOf('=');
        if (text.startsWith('[')) {
            inEntry = text == "[Desktop Entry]";
            sawEntry = sawEntry || inEntry;
        } else if (inEntry && equals > 0 && !text.startsWith('#')) {
            keys.insert(text.left(equals).trimmed(), text.mid(equals + 1).trimmed());
        }
    }
    const QList<QByteArray> desktops = qgetenv("XDG_CURRENT_DESKTOP").split(':');
    const auto listed = [&](const char *key) {
        const QList<QByteArray> names = keys.value(key).split(';');
        return std::any_of(desktops.begin(), desktops.end(),
                           [&](const QByteArray &d) { return !d.isEmpty() && names.contains(d); });
    };
    return sawEntry && keys.value("Hidden") != "true" && keys.value("X-GNOME-Autostart-enabled") != "false" &&
           (!keys.contains("OnlyShowIn") || listed("OnlyShowIn")) && !listed("NotShowIn");
}

// The link itself goes first: QSaveFile would replace what it points to, as root even /dev/null.
bool writeEntry(const QString &path, const QByteArray &entry, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(error, QT_TRANSLATE_NOOP("Autostart", "не удалось создать папку автозапуска"), folder);
    QFile link(path);
    if (QFileInfo(path).isSymLink() && !link.remove())
        return fail(error, QT_TRANSLATE_NOOP("Autostart", "не удалось заменить ссылку автозапуска"),
                    path + QStringLiteral(": ") + link.errorString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        return fail(error, QT_TRANSLATE_NOOP("Autostart", "не удалось записать файл автозапуска"),
                    path + QStringLiteral(": ") + file.errorString());
    return true;
}

} // namespace

QString Autostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + entryName();
}

bool Autostart::isOn()
{
    // The user's folder first, then $XDG_CONFIG_DIRS: the first entry found decides.
    for (const QString &folder : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        const QString path = folder + entryName();
        if (QDir::isAbsolutePath(folder) && present(path))
            return starts(path);
    }
    return false;
}

bool Autostart::set(bool on, const QString &executable, QString *error)
{
    const QString path = entryPath();
    if (!on) {
        QFile file(path);
        if (present(path) && !file.remove())
            return fail(error, QT_TRANSLATE_NOOP("Autostart", "не удалось удалить файл автозапуска"),
                        path + QStringLiteral(": ") + file.errorString());
        if (!isOn())
            return true;
        // A system-wide entry would still start: the user's hiding entry overrides it.
        const QByteArray hidden = QStringLiteral("[Desktop Entry]\n"
                                                 "Type=Application\n"
                                                 "Name=Ondavo\n"
                                                 "Exec=%1 %2\n"
                                                 "Hidden=true\n")
                                      .arg(DesktopId, Argument)
                                      .toUtf8();
        return writeEntry(path, hidden, error);
    }

    const QFileInfo program(executable);
    if (!program.isFile() || !program.isExecutable())
        return fail(error, QT_TRANSLATE_NOOP("Autostart", "не найден исполняемый файл программы"),
                    executable);

    const QString exec = execArgument(executable) + QLatin1Char(' ') + Argument;
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Ondavo\n"
                                            "Comment=Internet radio and clock with an alarm\n"
                                            "Comment[ru]=Интернет-радио и часы с будильником\n"
                                            "Exec=%1\n"
                                            "Icon=ondavo\n"
                                            "Terminal=false\n"
                                            "StartupNotify=false\n")
                                 .arg(escapeValue(exec))
                                 .toUtf8();
    return writeEntry(path, entry, error);
}
