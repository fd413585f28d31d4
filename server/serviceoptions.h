#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// How one run of the service was asked to behave.
struct ServiceOptions
{
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 8470;                 // 0: pick a free port
    QList<QPair<QString, int>> failures; // path, HTTP status (400..599)
    bool refuse = false;                 // keep the port closed
    QString logFile;                     // empty: no request log
    QString stateFile;                   // absolute; empty: the user's data folder
};

enum class ArgumentsResult
{
    Run,
    Help,
    Error
};

// arguments starts with the program name, as QCoreApplication::arguments() gives it. message gets
// the help text or the error.
ArgumentsResult parseServiceArguments(const QStringList &arguments, ServiceOptions *options,
                                      QString *message);
