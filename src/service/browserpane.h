#pragma once

#include <QObject>
#include <QUrl>
#include <functional>

class QWidget;

// The program's view of an embedded web pane: it is told where to go, can be stopped, and
// reports what happened through its events.
class BrowserPane : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserPane() override;

    virtual QWidget *widget() = 0;

    // Starts loading and returns at once; the outcome arrives as events. Returns false, with
    // errorString() set, when the pane could not even start the navigation.
    [[nodiscard]] virtual bool navigate(const QUrl &url) = 0;
    // Why the last navigation could not start, or, during navigateError, why the load failed.
    virtual QString errorString() const = 0;

    // Cancels pending loads. Never fails: a caller that stops two panes always reaches the second.
    virtual void stop() = 0;

    // Silences the pane's sound without stopping it: a live stream has nothing to resume from,
    // and the station stays.
    virtual void setAudioMuted(bool muted) = 0;
    virtual bool isAudioMuted() const = 0;

    // The loudness of everything the pane plays, from 0 (silent) to 1 (as the page made it); it
    // holds for the pages loaded later too.
    virtual void setVolume(double volume) = 0;

    // What the page's players did, as the program sees them from outside the page.
    enum class MediaEvent
    {
        Playing,
        Paused,  // the listener's own pause, on the page
        Error,   // the stream failed
        Stalled, // no data is coming, or too little to play on
        Ended
    };
    Q_ENUM(MediaEvent)

signals:
    void statusTextChange(const QString &text);
    void titleChange(const QString &text);
    void navigateComplete2(const QUrl &url);
    // A failed load of the page or of a frame. Setting *cancel to true asks the pane to show
    // nothing of its own for the failure; left false, the engine's error page is shown.
    void navigateError(const QUrl &url, bool *cancel);
    // The page started or stopped making sound (it stays audible for a moment after the last).
    void audibleChanged(bool audible);
    void audioMutedChanged(bool muted);
    void mediaEvent(BrowserPane::MediaEvent event);
};

enum class PaneRole
{
    Radio,
    Clock
};

// Creates the pane for a tab; the pane's widget is placed into parent.
using BrowserPaneFactory = std::function<BrowserPane *(PaneRole role, QWidget *parent)>;
