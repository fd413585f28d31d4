#include "timer/timercommand.h"

#include "timer/timeractions.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// "~/x" is what people type for their home folder; no shell is there to expand it.
QString expandHome(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

// A web address or another URL a desktop handler knows (mailto:, file:). A scheme of one letter
// would be a drive letter, and a blank means a command line.
bool looksLikeUrl(const QString &text, QUrl *url)
{
    if (text.contains(QLatin1Char(' ')))
        return false;
    const QUrl u(text, QUrl::StrictMode);
    if (!u.isValid() || u.scheme().size() < 2 || u.isRelative())
        return false;
    *url = u;
    return true;
}

} // namespace

TimerCommand TimerCommand::resolve(const QString &text)
{
    TimerCommand c;
    const QString trimmed = TimerActions::trimControls(text);
    if (trimmed.isEmpty())
        return c;

    const QFileInfo file(expandHome(trimmed));
    if (file.exists() && file.isAbsolute()) {
        if (file.isFile() && file.isExecutable()) {
            c.kind = Start;
            c.program = file.absoluteFilePath();
        } else {
            c.kind = Open;
            c.url = QUrl::fromLocalFile(file.absoluteFilePath());
        }
        return c;
    }
    if (looksLikeUrl(trimmed, &c.url)) {
        c.kind = Open;
        return c;
    }
    // Something was asked for, even when it names no program (a pair of quotes): the start then
    // fails, as a missing program does.
    QStringList parts = QProcess::splitCommand(trimmed);
    c.kind = Start;
    if (!parts.isEmpty())
        c.program = expandHome(parts.takeFirst());
    c.arguments = parts;
    return c;
}
