#pragma once

#include "app/ondavoform1.h"
#include "fakes/fakepane.h"
#include "fakes/fakeplatform.h"
#include "fakes/testclock.h"
#include "fakes/testhome.h"
#include "radio/radiosession.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <memory>

// One window built on fakes, with its own config folder; the pieces stay reachable for checks.
struct WindowFixture
{
    explicit WindowFixture(const QString &appData = QString())
    {
        platform.appData = appData.isNull() ? home.config() : appData;
        platform.exeFolder = home.path() + QStringLiteral("/exe/");
        env.clock = &clock;
        env.platform = &platform;
        env.paneFactory = panes.factory();
        env.trayAvailable = [this] { return trayAvailable; };
        env.endpoints = {QStringLiteral("svc.test:8470"), QStringLiteral("partner.test:8471"),
                         QStringLiteral("http://site.test")};
    }

    TOndavoForm1 *create()
    {
        window = std::make_unique<TOndavoForm1>(env);
        return window.get();
    }

    FakePane *radio() const { return panes.pane(PaneRole::Radio); }
    FakePane *clockPane() const { return panes.pane(PaneRole::Clock); }
    QString settingsPath() const { return home.config() + QStringLiteral("/Ondavo/settings.ini"); }

    template <typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    // A tick of one of the window's own timers (the tray's, the tabs'), without waiting for it.
    void tick(const char *timerName) const
    {
        QTimer *t = find<QTimer>(timerName);
        Q_ASSERT(t);
        QMetaObject::invokeMethod(t, "timeout");
    }

    // Closes the window through a completed logoff page and answers the box that reports the failed
    // write of the settings; its text, or a null string when no box came.
    QString closeAnsweringWriteFailure();

    TestHome home;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(16, 30, 0))};
    FakePlatform platform;
    FakePaneFactory panes;
    bool trayAvailable = true;
    Environment env;
    std::unique_ptr<TOndavoForm1> window;
};

// The box the close shows when the settings could not be written; it outlives the window.
inline QMessageBox *writeFailureBox()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("WriteFailureBox") && w->isVisible())
            return qobject_cast<QMessageBox *>(w);
    return nullptr;
}

// The window-modal boxes that are open now (they do not block the event loop).
inline QList<QMessageBox *> openBoxes(QWidget *window)
{
    QList<QMessageBox *> boxes;
    for (QMessageBox *b : window->findChildren<QMessageBox *>())
        if (b->isVisible())
            boxes << b;
    return boxes;
}

inline QString WindowFixture::closeAnsweringWriteFailure()
{
    window->close();
    radio()->complete(radio()->lastUrl());
    QMessageBox *box = writeFailureBox();
    if (!box)
        return QString();
    const QString text = box->text();
    box->button(QMessageBox::Ok)->click();
    return text;
}
