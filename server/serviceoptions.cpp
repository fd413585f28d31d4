#include "serviceoptions.h"

#include <QCommandLineParser>
#include <QDir>

ArgumentsResult parseServiceArguments(const QStringList &arguments, ServiceOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Ondavo's reference web service: the station, goodbye, sleep and clock pages, the "
                       "partner player page and the program's site."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                           QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Port to listen on (default 8470; 0 picks a free one)."),
        QStringLiteral("port"), QStringLiteral("8470"));
    const QCommandLineOption failOption(
        QStringLiteral("fail"),
        QStringLiteral("Answer PATH with the HTTP error STATUS (400-599), whatever the query. Repeatable."),
        QStringLiteral("PATH=STATUS"));
    const QCommandLineOption refuseOption(
        QStringLiteral("refuse"),
        QStringLiteral("Do not listen: connections to the port are refused, as with a host that is down."));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Append one line per request (method, blank, path and raw query with passwords "
                       "masked; a line longer than 1024 bytes is cut and ends in \"...\"). A new file is "
                       "readable by its owner only."),
        QStringLiteral("file"));
    const QCommandLineOption stateOption(
        QStringLiteral("state"),
        QStringLiteral("Keep the password bindings and pending wake-ups in this SQLite file (default "
                       "$XDG_DATA_HOME/ondavo-service/state.db), made readable by its owner only."),
        QStringLiteral("file"));
    parser.addOptions(
        {helpOption, addressOption, portOption, failOption, refuseOption, logOption, stateOption});

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ArgumentsResult::Error;
    }
    if (parser.isSet(helpOption)) {
        *message = parser.helpText();
        return ArgumentsResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return ArgumentsResult::Error;
    }

    ServiceOptions result;
    const QString address = parser.value(addressOption);
    if (address == QLatin1String("localhost"))
        result.address = QHostAddress(QHostAddress::LocalHost);
    else if (!result.address.setAddress(address)) {
        *message = QStringLiteral("Not an IP address: %1").arg(address);
        return ArgumentsResult::Error;
    }

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        *message = QStringLiteral("Not a port number: %1").arg(parser.value(portOption));
        return ArgumentsResult::Error;
    }
    result.port = static_cast<quint16>(port);

    for (const QString &fail : parser.values(failOption)) {
        const qsizetype eq = fail.lastIndexOf(QLatin1Char('='));
        const QString path = fail.left(eq);
        const int status = eq < 0 ? 0 : fail.mid(eq + 1).toInt(&ok);
        if (eq < 0 || !ok || !path.startsWith(QLatin1Char('/')) || status < 400 || status > 599) {
            *message = QStringLiteral("--fail wants PATH=STATUS with a path starting with / and a status "
                                      "from 400 to 599, not: %1")
                           .arg(fail);
            return ArgumentsResult::Error;
        }
        result.failures.append({path, status});
    }

    result.refuse = parser.isSet(refuseOption);
    result.logFile = parser.value(logOption);
    if (parser.isSet(logOption) && result.logFile.isEmpty()) {
        *message = QStringLiteral("--log wants a file name");
        return ArgumentsResult::Error;
    }
    if (parser.isSet(stateOption)) {
        if (parser.value(stateOption).isEmpty()) {
            *message = QStringLiteral("--state wants a file name");
            return ArgumentsResult::Error;
        }
        // SQLite takes some names, such as ":memory:", for no file at all, and Qt a leading ':' for
        // its resources; a path from the root is a file to both.
        const QString state = parser.value(stateOption);
        result.stateFile = QDir::cleanPath(
            state.startsWith(QLatin1Char('/')) ? state : QDir::currentPath() + QLatin1Char('/') + state);
    }
    *options = result;
    return ArgumentsResult::Run;
}
