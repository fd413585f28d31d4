#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// What the timer's command text names, and so how it is started: a folder or document opens
// with the desktop's handler, an address in the browser, an executable file runs (each path also
// when it is the whole text in double quotes), and anything else is a command line split into a
// program and its arguments as a shell would, then started without a shell.
struct TimerCommand
{
    enum Kind
    {
        Nothing,
        Open,
        Start
    };

    Kind kind = Nothing; // Nothing only for a blank text
    QUrl url;            // Open: a file: URL or a web address
    QString program;     // Start
    QStringList arguments;

    // text is the command field as typed; blanks and control characters around it are dropped.
    static TimerCommand resolve(const QString &text);
};
