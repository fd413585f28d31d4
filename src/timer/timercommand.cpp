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

// An existing absolute path (after ~): an executable file is started, anything else opened.
bool resolvePath(const QString &path, TimerCommand *c)
{
    const QFileInfo file(expandHome(path));
    if (!file.exists() || !file.isAbsolute())
        return false;
    if (file.isFile() && file.isExecutable()) {
        c->kind = TimerCommand::Start;
        c->program = file.absoluteFilePath();
    } else {
        c->kind = TimerCommand::Open;
        c->url = QUrl::fromLocalFile(file.absoluteFilePath());
    }
    return true;
}

} // namespace

TimerCommand TimerCommand::resolve(const QString &text)
{
    TimerCommand c;
    const QString trimmed = TimerActions::trimControls(text);
    if (trimmed.isEmpty())
        return c;

    if (resolvePath(trimmed, &c))
        return c;
    if (looksLikeUrl(trimmed, &c.url)) {
        c.kind = Open;
        return c;
    }
    QStringList parts = QProcess::splitCommand(trimmed);
    // A path with blanks is often typed in quotes: "/home/u/My Music" is a folder to open, not a
    // program.
    if (parts.size() == 1 && resolvePath(parts.first(), &c))
        return c;
    // Something was asked for, even when it names no program (a pair of quotes): the start then
    // fails, as a missing program does.
    c.kind = Start;
    if (!parts.isEmpty())
        c.program = expandHome(parts.takeFirst());
    c.arguments = parts;
    return c;
}
