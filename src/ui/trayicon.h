#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QMenu;
class QTimer;

// The tray icon: a list of images, an animation that steps through them, balloons, and the
// click events the window reacts to. When the desktop has no tray yet, it keeps looking for
// one and shows itself once a tray appears.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    static constexpr int AnimationStepMs = 500;
    static constexpr int BalloonTimeoutMs = 3000;
    static constexpr int TrayRetryMs = 3000;

    // Without trayAvailable, the desktop is asked.
    TrayIcon(const QList<QIcon> &images, std::function<bool()> trayAvailable, QObject *parent = nullptr);

    void setToolTip(const QString &text);
    QString toolTip() const;
    void setContextMenu(QMenu *menu);

    // Shows the icon now if a tray exists, otherwise as soon as one appears.
    void show();
    void hide();
    // True only while the icon is really in a tray, so hiding the window cannot lose it.
    bool isShownInTray();

    int iconIndex() const { return m_index; }
    void setIconIndex(int index);
    bool isAnimating() const;
    void setAnimate(bool on);

    void showBalloon(const QString &title, const QString &text, bool warning);

    QSystemTrayIcon *systemTrayIcon() const { return m_icon; }

signals:
    void clicked();
    void doubleClicked();
    void balloonClicked();
    void balloonShown(const QString &title, const QString &text, bool warning);
    // The icon has just appeared in a tray that was not there before.
    void shownInTray();
    // The mouse wheel turned over the icon: notches away from the user (up) are positive.
    void wheeled(int notches);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stepAnimation();
    void retryShow();

    QList<QIcon> m_images;
    std::function<bool()> m_trayAvailable;
    QSystemTrayIcon *m_icon;
    QTimer *m_animation;
    QTimer *m_retry;
    int m_index = 0;
    int m_wheelRest = 0; // a touchpad turns in parts of a notch
    bool m_wanted = false;
};
