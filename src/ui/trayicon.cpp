#include "ui/trayicon.h"

#include <QTimer>
#include <QWheelEvent>

TrayIcon::TrayIcon(const QList<QIcon> &images, std::function<bool()> trayAvailable, QObject *parent)
    : QObject(parent), m_images(images), m_trayAvailable(std::move(trayAvailable)),
      m_icon(new QSystemTrayIcon(this)), m_animation(new QTimer(this)), m_retry(new QTimer(this))
{
    Q_ASSERT(!m_images.isEmpty());
    if (!m_trayAvailable)
        m_trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
    m_icon->setObjectName(QStringLiteral("myTrayIcon"));
    m_icon->setIcon(m_images.first());
    m_animation->setObjectName(QStringLiteral("TrayAnimationTimer"));
    m_animation->setInterval(AnimationStepMs);
    connect(m_animation, &QTimer::timeout, this, &TrayIcon::stepAnimation);
    m_retry->setObjectName(QStringLiteral("TrayRetryTimer"));
    m_retry->setInterval(TrayRetryMs);
    connect(m_retry, &QTimer::timeout, this, &TrayIcon::retryShow);

    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            emit clicked();
            break;
        // A middle click restores like a double-click: trays report no middle double-click.
        case QSystemTrayIcon::DoubleClick:
        case QSystemTrayIcon::MiddleClick:
            emit doubleClicked();
            break;
        default:
            break; // the context menu opens by itself
        }
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::balloonClicked);
    // The tray's own window hands the icon its wheel events (trays that speak D-Bus keep them).
    m_icon->installEventFilter(this);
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_icon || event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    m_wheelRest += static_cast<QWheelEvent *>(event)->angleDelta().y();
    const int notches = m_wheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRest %= QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        emit wheeled(notches);
    return true;
}

void TrayIcon::setToolTip(const QString &text)
{
    m_icon->setToolTip(text);
}

QString TrayIcon::toolTip() const
{
    return m_icon->toolTip();
}

void TrayIcon::setContextMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}

void TrayIcon::show()
{
    m_wanted = true;
    retryShow();
}

void TrayIcon::hide()
{
    m_wanted = false;
    m_retry->stop();
    m_icon->hide();
}

bool TrayIcon::isShownInTray()
{
    // A tray that went away is looked for again, so the icon comes back with it.
    retryShow();
    return m_icon->isVisible() && m_trayAvailable();
}

void TrayIcon::retryShow()
{
    if (!m_wanted)
        return;
    if (!m_trayAvailable()) {
        m_retry->start();
        return;
    }
    m_retry->stop();
    if (m_icon->isVisible())
        return;
    m_icon->show();
    emit shownInTray();
}

void TrayIcon::setIconIndex(int index)
{
    m_index = (index >= 0 && index < m_images.size()) ? index : 0;
    m_icon->setIcon(m_images.at(m_index));
}

bool TrayIcon::isAnimating() const
{
    return m_animation->isActive();
}

void TrayIcon::setAnimate(bool on)
{
    if (on && !m_animation->isActive())
        m_animation->start();
    else if (!on)
        m_animation->stop();
}

void TrayIcon::stepAnimation()
{
    setIconIndex((m_index + 1) % m_images.size());
}

void TrayIcon::showBalloon(const QString &title, const QString &text, bool warning)
{
    m_icon->showMessage(title, text, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
                        BalloonTimeoutMs);
    emit balloonShown(title, text, warning);
}
