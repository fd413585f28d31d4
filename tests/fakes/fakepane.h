#pragma once

#include "service/browserpane.h"

#include <QList>
#include <QPointer>
#include <QUrlQuery>
#include <QWidget>
#include <functional>

// A pane that only remembers where it was sent; tests play the engine's part by raising events.
// Its widget is made only when asked for, so a pane without a window needs no display.
class FakePane final : public BrowserPane
{
    Q_OBJECT
public:
    explicit FakePane(PaneRole role = PaneRole::Radio, QWidget *parent = nullptr);

    QWidget *widget() override;
    bool navigate(const QUrl &url) override;
    QString errorString() const override { return m_error; }
    void stop() override
    {
        ++stops;
        if (log)
            *log << QStringLiteral("stop");
    }
    void setAudioMuted(bool muted) override
    {
        if (muted != m_muted)
            emit audioMutedChanged(m_muted = muted);
    }
    bool isAudioMuted() const override { return m_muted; }
    void setVolume(double v) override { volume = v; }

    // The engine's side.
    void complete(const QUrl &url) { emit navigateComplete2(url); }
    void setAudible(bool audible) { emit audibleChanged(audible); }
    void media(MediaEvent event) { emit mediaEvent(event); }
    bool fail(const QUrl &url, const QString &why = QString())
    {
        m_error = why;
        bool cancel = false;
        emit navigateError(url, &cancel);
        return cancel;
    }

    QUrl lastUrl() const { return navigations.isEmpty() ? QUrl() : navigations.last(); }

    // A navigation in a word, for logs of what was asked in which order: the service request's
    // action ("login", "sleep", "logoff"), "partner", "local" or "alarm" (the local radio page), "clock".
    static QString shortName(const QUrl &url)
    {
        const QString action = QUrlQuery(url).queryItemValue(QStringLiteral("action"));
        if (!action.isEmpty())
            return action;
        if (url.isLocalFile())
            return url.query() == QLatin1String("alarm") ? QStringLiteral("alarm") : QStringLiteral("local");
        if (url.path().endsWith(QLatin1String("radio_player.html")))
            return QStringLiteral("partner");
        return url.path().startsWith(QLatin1String("/clock/")) ? QStringLiteral("clock") : url.toString();
    }

    PaneRole role;
    QList<QUrl> navigations;
    QStringList *log = nullptr;    // gets the short name of every navigation, and "stop"
    bool refuseNavigation = false; // the pane cannot start any navigation
    int stops = 0;
    double volume = 1.0;

private:
    QWidget *m_parent;
    QPointer<QWidget> m_widget;
    QString m_error;
    bool m_muted = false;
};

// Makes FakePanes and keeps them, so a test can reach the pane behind each tab.
class FakePaneFactory
{
public:
    BrowserPaneFactory factory()
    {
        return [this](PaneRole role, QWidget *parent) {
            auto *pane = new FakePane(role, parent);
            panes << pane;
            return pane;
        };
    }
    FakePane *pane(PaneRole role) const
    {
        for (FakePane *p : panes)
            if (p->role == role)
                return p;
        return nullptr;
    }
    QList<FakePane *> panes;
};
