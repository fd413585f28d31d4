#pragma once

#include "app/ondavoform1.h"
#include "fakes/testclock.h"
#include "fakes/fakepane.h"
#include "fakes/fakeplatform.h"
#include "fakes/testhome.h"

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

    // A timer's tick, without waiting for it.
    void tick(const char *timerName) const
    {
        QTimer *t = find<QTimer>(timerName);
        Q_ASSERT(t);
        QMetaObject::invokeMethod(t, "timeout");
    }

    TestHome home;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(16, 30, 0))};
    FakePlatform platform;
    FakePaneFactory panes;
    Environment env;
    std::unique_ptr<TOndavoForm1> window;
};

// Answers the next application-modal box (one that runs its own loop) and keeps its text.
class ModalBoxCloser : public QObject
{
public:
    ModalBoxCloser()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
            }
        });
        m_poll.start(10);
    }
    QStringList texts;

private:
    QTimer m_poll;
};

// The window-modal boxes that are open now (they do not block the event loop).
inline QList<QMessageBox *> openBoxes(QWidget *window)
{
    QList<QMessageBox *> boxes;
    for (QMessageBox *b : window->findChildren<QMessageBox *>())
        if (b->isVisible())
            boxes << b;
    return boxes;
}
