// The desktop around the window: start at login, the player controls' raise and quit, and the
// snooze that follows an alarm.
#include "app/ondavoform1.h"

#include "platform/mediaplayer.h"
#include "platform/platform.h"
#include "ui/touchwatcher.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

void TOndavoForm1::setupDesktop()
{
    m_snoozeItem = m_trayPopupMenu->addAction(TimerModel::snoozeText());
    m_snoozeItem->setObjectName(QStringLiteral("SnoozeItem"));
    m_snoozeItem->setVisible(false);
    connect(m_snoozeItem, &QAction::triggered, m_timer, &TimerModel::snooze);
    connect(m_timer, &TimerModel::snoozeOfferChanged, this, &TOndavoForm1::snoozeOfferChanged);

    m_autostartItem = m_trayPopupMenu->addAction(tr("Запускать при входе в систему"));
    m_autostartItem->setObjectName(QStringLiteral("AutostartItem"));
    m_autostartItem->setCheckable(true);
    // The entry itself is the state: it is looked at each time the menu opens.
    connect(m_trayPopupMenu, &QMenu::aboutToShow, this,
            [this] { m_autostartItem->setChecked(m_env.platform->startsAtLogin()); });
    connect(m_autostartItem, &QAction::triggered, this, &TOndavoForm1::AutostartItemClick);

    if (MediaPlayer *player = m_env.mediaPlayer) {
        connect(player, &MediaPlayer::raiseRequested, this, &TOndavoForm1::RestoreFromTray);
        connect(player, &MediaPlayer::quitRequested, this, &QWidget::close);
    }
}

void TOndavoForm1::AutostartItemClick(bool on)
{
    QString error;
    if (!m_env.platform->setStartsAtLogin(on, &error)) {
        m_autostartItem->setChecked(!on);
        showErrorBox(tr("Не удалось изменить запуск при входе в систему: %1").arg(error));
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
