#include "platform/mediaplayer.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {

const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.ondavo");
const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// org.mpris.MediaPlayer2: the application itself.
class RootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)
public:
    explicit RootAdaptor(MediaPlayer *player) : QDBusAbstractAdaptor(player), m_player(player) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Ondavo"); }
    QString desktopEntry() const { return m_player->desktopEntry(); }
    QStringList none() const { return {}; }

public slots:
    void Raise() { emit m_player->raiseRequested(); }
    void Quit() { emit m_player->quitRequested(); }

private:
    MediaPlayer *m_player;
};

// org.mpris.MediaPlayer2.Player: a live stream, so nothing to seek, skip or speed up.
class PlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Rate READ one WRITE ignore)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanControl READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
public:
    explicit PlayerAdaptor(MediaPlayer *player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QString playbackStatus() const { return statusText(m_player->status()); }
    QVariantMap metadata() const { return metadataOf(m_player); }
    double one() const { return 1.0; }
    double volume() const { return m_player->volume(); }
    // Values below 0 are silence, as players read them; above 1 is as loud as the radio goes.
    void setVolume(double volume)
    {
        if (std::isfinite(volume))
            emit m_player->volumeRequested(std::clamp(volume, 0.0, 1.0));
    }
    void ignore(double) {}
    qlonglong position() const { return 0; }
    bool yes() const { return true; }
    bool no() const { return false; }

    static QString statusText(MediaPlayer::Status status)
    {
        switch (status) {
        case MediaPlayer::Status::Playing:
            return QStringLiteral("Playing");
        case MediaPlayer::Status::Paused:
            return QStringLiteral("Paused");
        case MediaPlayer::Status::Stopped:
            break;
        }
        return QStringLiteral("Stopped");
    }
    static QVariantMap metadataOf(const MediaPlayer *player)
    {
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/ondavo/Radio")))},
                {QStringLiteral("xesam:title"), player->title()},
                {QStringLiteral("mpris:artUrl"), player->artUrl().toString()}};
    }

public slots:
    void Play() { emit m_player->playRequested(); }
    void Pause() { emit m_player->pauseRequested(); }
    void Stop() { emit m_player->stopRequested(); }
    void PlayPause() { emit m_player->playPauseRequested(); }
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

signals:
    void Seeked(qlonglong position);

private:
    MediaPlayer *m_player;
};

} // namespace

MediaPlayer::MediaPlayer(const QString &desktopEntry, const QUrl &artUrl, QObject *parent)
    : QObject(parent), m_desktopEntry(desktopEntry), m_artUrl(artUrl)
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
}

MediaPlayer::~MediaPlayer()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(ServiceName);
    bus.unregisterObject(ObjectPath);
}

bool MediaPlayer::registerOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerObject(ObjectPath, this))
        return false;
    if (!bus.registerService(ServiceName)) {
        bus.unregisterObject(ObjectPath);
        return false;
    }
    m_registered = true;
    return true;
}

void MediaPlayer::setStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    announce(QStringLiteral("PlaybackStatus"), PlayerAdaptor::statusText(status));
}

void MediaPlayer::setVolume(double volume)
{
    if (volume == m_volume)
        return;
    m_volume = volume;
    announce(QStringLiteral("Volume"), volume);
}

void MediaPlayer::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    announce(QStringLiteral("Metadata"), PlayerAdaptor::metadataOf(this));
}

// Desktops follow a player through PropertiesChanged rather than by asking.
void MediaPlayer::announce(const QString &property, const QVariant &value)
{
    if (!m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << QVariantMap{{property, value}} << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "mediaplayer.moc"
