#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

// The program as a media player of the desktop (MPRIS 2 on the session bus): the keyboard's media
// keys and the desktop's player controls reach the radio, and the desktop shows what plays. The
// program tells it its state and title and answers the requests it signals.
class MediaPlayer : public QObject
{
    Q_OBJECT
public:
    enum class Status
    {
        Playing,
        Paused,
        Stopped
    };
    Q_ENUM(Status)

    MediaPlayer(const QString &desktopEntry, const QUrl &artUrl, QObject *parent = nullptr);
    ~MediaPlayer() override;

    // Takes org.mpris.MediaPlayer2.ondavo; false without a session bus or when the name is taken.
    bool registerOnSessionBus();

    Status status() const { return m_status; }
    void setStatus(Status status);
    QString title() const { return m_title; }
    void setTitle(const QString &title);
    // The radio's own volume, 0 to 1, as the desktop shows it.
    double volume() const { return m_volume; }
    void setVolume(double volume);
    QString desktopEntry() const { return m_desktopEntry; }
    QUrl artUrl() const { return m_artUrl; }

signals:
    void raiseRequested();
    void quitRequested();
    // Pause and Stop ask for silence, Play for sound, PlayPause for the other one of the two.
    void playRequested();
    void pauseRequested();
    void playPauseRequested();
    void stopRequested();
    // The desktop set the volume (clamped to 0 to 1).
    void volumeRequested(double volume);

private:
    void announce(const QString &property, const QVariant &value);

    QString m_desktopEntry;
    QUrl m_artUrl;
    Status m_status = Status::Stopped;
    QString m_title;
    double m_volume = 1.0;
    bool m_registered = false;
};
