// The desktop around the window: start at login, the player controls' raise and quit, and the
// snooze that follows an alarm.
#include "app/ondavoform1.h"

#include "platform/mediaplayer.h"
#include "platform/platform.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <functional>

namespace {
// Sees every event of the application while it is installed and says when the window is touched:
// a click or a key in it shows the alarm was noticed. The right button and the menu key only open
// the menu that offers the snooze.
class TouchWatcher : public QObject
{
public:
    TouchWatcher(QWidget *window, std::function<void()> touched)
        : QObject(window), m_window(window), m_touched(std::move(touched))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == m_window && isTouch(event))
            m_touched();
        return false;
    }

private:
    static bool isTouch(QEvent *event)
    {
        if (event->type() == QEvent::MouseButtonPress)
            return static_cast<QMouseEvent *>(event)->button() != Qt::RightButton;
        if (event->type() == QEvent::KeyPress)
            return static_cast<QKeyEvent *>(event)->key() != Qt::Key_Menu;
        return false;
    }

    QWidget *m_window;
    std::function<void()> m_touched;
};
} // namespace

void TOndavoForm1::setupDesktop()
{
    m_snoozeItem = m_trayPopupMenu->addAction(TimerModel::snoozeText());
    m_snoozeItem->setObjectName(QStringLiteral("SnoozeItem"));
    m_snoozeItem->setVisible(false);
    connect(m_snoozeItem, &QAction::triggered, m_timer, &TimerModel::snooze);
    connect(m_timer, &TimerModel::snoozeOfferChanged, this, &TOndavoForm1::snoozeOfferChanged);

    m_autostartItem = m_trayPopupMenu->addAction(QStringLiteral("Запускать при входе в систему"));
    m_autostartItem->setObjectName(QStringLiteral("AutostartItem"));
    m_autostartItem->setCheckable(true);
    // The entry itself is the state: it is looked at each time the menu opens.
    connect(m_trayPopupMenu, &QMenu::aboutToShow, this,
            [this] { m_autostartItem->setChecked(m_env.platform->startsAtLogin()); });
    connect(m_autostartItem, &QAction::triggered, this, &TOndavoForm1::AutostartItemClick);

    if (MediaPlayer *player = m_env.mediaPlayer) {
        connect(player, &MediaPlayer::raiseRequested, this, &TOndavoForm1::bringToFront);
        connect(player, &MediaPlayer::quitRequested, this, &QWidget::close);
    }
}

void TOndavoForm1::AutostartItemClick(bool on)
{
    QString error;
    if (!m_env.platform->setStartsAtLogin(on, &error)) {
        m_autostartItem->setChecked(!on);
        showErrorBox(QStringLiteral("Не удалось изменить запуск при входе в систему: %1").arg(error));
    }
}

void TOndavoForm1::snoozeOfferChanged(bool offered)
{
    m_snoozeItem->setVisible(offered);
    if (m_touchWatcher) {
        // Possibly from inside its own filter: it goes once the event is done with.
        qApp->removeEventFilter(m_touchWatcher);
        m_touchWatcher->deleteLater();
        m_touchWatcher = nullptr;
    }
    if (offered) {
        m_touchWatcher = new TouchWatcher(this, [this] { m_timer->endSnoozeOffer(); });
        qApp->installEventFilter(m_touchWatcher);
    }
}
