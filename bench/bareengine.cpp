// The smallest web-engine program that loads one address: what the real program's start-up,
// memory and playing are set against.
#include <QApplication>
#include <QUrl>
#include <QWebEngineSettings>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    // As the real program does, so both start the engine the same way.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QWebEngineView view;
    // As the program's panes: a page may start its station without a click.
    view.settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(640, 480);
    view.load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    view.show();
    return QApplication::exec();
}
