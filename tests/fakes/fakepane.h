#pragma once

#include "service/browserpane.h"

#include <QList>
#include <QPointer>
#include <QWidget>

// A pane that only remembers where it was sent; tests play the engine's part by raising events.
class FakePane final : public BrowserPane
{
    Q_OBJECT
public:
    FakePane(PaneRole role, QWidget *parent);

    QWidget *widget() override { return m_widget; }
    bool navigate(const QUrl &url) override;
    QString errorString() const override { return m_error; }
    void stop() override { ++stops; }
    void setAudioMuted(bool muted) override
    {
        if (muted != m_muted)
            emit audioMutedChanged(m_muted = muted);
    }
    bool isAudioMuted() const override { return m_muted; }

    // The engine's side.
    void complete(const QUrl &url) { emit navigateComplete2(url); }
    bool fail(const QUrl &url)
    {
        bool cancel = false;
        emit navigateError(url, &cancel);
        return cancel;
    }

    QUrl lastUrl() const { return navigations.isEmpty() ? QUrl() : navigations.last(); }

    PaneRole role;
    QList<QUrl> navigations;
    bool refuseNavigation = false; // the pane cannot start any navigation
    int stops = 0;

private:
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
