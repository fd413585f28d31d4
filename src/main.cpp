#include "app/language.h"
#include "app/ondavoform1.h"
#include "app/singleinstance.h"
#include "core/clock.h"
#include "platform/autostart.h"
#include "platform/mediaplayer.h"
#include "platform/platform.h"
#include "service/webenginepane.h"
#include "ui/accessibility.h"
#include "ui/hintstyle.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSessionManager>
#include <QStandardPaths>
#include <QSystemTrayIcon>

namespace {
// The program's icon as a file the desktop can show: the installed one, else a copy of the built-in.
QUrl iconFileUrl()
{
    const QString name = QStringLiteral("icons/hicolor/scalable/apps/ondavo.svg");
    QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation, name);
    if (path.isEmpty()) {
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        path = cache + QStringLiteral("/ondavo.svg");
        if (!QFile::exists(path) &&
            (!QDir().mkpath(cache) || !QFile::copy(QStringLiteral(":/icons/ondavo.svg"), path)))
            return QUrl();
    }
    return QUrl::fromLocalFile(path);
}

} // namespace

int main(int argc, char *argv[])
{
    // The web panes need contexts shared before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(TOndavoForm1::appTitle());
    QApplication::setDesktopFileName(Autostart::DesktopId);
    // The window closes only through its closing sequence, and it may be hidden in the tray then.
    QApplication::setQuitOnLastWindowClosed(false);
    // Only the login entry passes it.
    const bool atLogin = QApplication::arguments().mid(1).contains(Autostart::Argument);

    SingleInstance instance;
    if (!instance.tryBecomePrimary()) {
        // A login start finds the program already running: nothing to bring forward.
        if (!atLogin)
            instance.activatePrimary();
        return 0;
    }

    const QLocale language = Language::install(&app);

    // Before any web pane exists: the engine's processes inherit the environment.
    nameSoundStreams(QStringLiteral("ondavo"));

    QApplication::setStyle(new HintStyle);
    Accessibility::install();

    SystemClock clock;
    const std::unique_ptr<Platform> platform = createSystemPlatform();
    Environment env;
    env.clock = &clock;
    env.platform = platform.get();
    env.paneFactory = makeWebEnginePaneFactory(platform.get(), &app, language.bcp47Name());
    env.endpoints = Endpoints::builtIn();
    // Media keys and the desktop's player controls, where there is a session bus.
    MediaPlayer mediaPlayer(Autostart::DesktopId, iconFileUrl());
    if (mediaPlayer.registerOnSessionBus())
        env.mediaPlayer = &mediaPlayer;

    TOndavoForm1 window(env);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     &TOndavoForm1::RestoreFromTray);
    QObject::connect(&window, &TOndavoForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // The end of the session never waits for us: the logoff goes out, the settings are kept.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.endSession(); });
    QObject::connect(platform.get(), &Platform::terminationRequested, &window, &TOndavoForm1::endSession);
    platform->watchTermination();

    // From the login entry the window waits in the tray; without a tray it must not be lost.
    if (!atLogin || !QSystemTrayIcon::isSystemTrayAvailable())
        window.show();
    return QApplication::exec();
}
