// The window in the tray, the tray icon's events, the tabs that open by themselves, and the
// about page.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "platform/platform.h"
#include "ui/trayicon.h"

#include <QTabBar>
#include <QTimer>

void TOndavoForm1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible())
        MinimizeToTray();
}

void TOndavoForm1::MinimizeToTray()
{
    // Hidden only while the icon is really in a tray: on a desktop without one the window stays
    // minimised with its taskbar entry, so it can never be lost.
    if (!m_myTrayIcon->isShownInTray())
        return;
    // After the window manager has finished minimising, or it may map the window again.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

void TOndavoForm1::RestoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    // In front of other windows, as an ordinary (not topmost) window with its taskbar entry.
    m_env.platform->bringWindowToFront(windowHandle());
}

void TOndavoForm1::StopTrayAnimation()
{
    m_myTrayIcon->setIconIndex(0);
    m_myTrayIcon->setAnimate(false);
    m_timer->balloonSeen();
}

// Also myTrayIconDblClick: a double-click restores as one click does.
void TOndavoForm1::myTrayIconClick()
{
    m_timer->endSnoozeOffer();
    StopTrayAnimation();
    RestoreFromTray();
}

void TOndavoForm1::myTrayIconBalloonClick()
{
    StopTrayAnimation();
    RestoreFromTray();
    ui->PageControl1->setCurrentWidget(ui->TimersTabSheet);
}

void TOndavoForm1::PageControl1MouseMove(const QPoint &pos)
{
    m_autoOpenTabTimer->stop();
    const QTabBar *bar = ui->PageControl1->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        // QRect::contains keeps left <= x < left + width and top <= y < top + height.
        if (bar->tabRect(i).contains(pos)) {
            m_state.HoverTabIndex = i;
            m_autoOpenTabTimer->start();
            return;
        }
    }
}

void TOndavoForm1::AutoOpenTabTimerTimer()
{
    if (ui->PageControl1->currentIndex() != m_state.HoverTabIndex)
        ui->PageControl1->setCurrentIndex(m_state.HoverTabIndex);
    m_autoOpenTabTimer->stop();
}

void TOndavoForm1::pageShown(int index)
{
    // TimersTabSheetHide: while armed the next countdown tick writes the status line again.
    if (ui->PageControl1->widget(m_shownPage) == ui->TimersTabSheet && index != m_shownPage)
        ui->TimerStatusEdit->clear();
    m_shownPage = index;
    QWidget *page = ui->PageControl1->widget(index);
    if (page == ui->TimersTabSheet)
        TimersTabSheetShow();
    else if (page == ui->ClockSheet)
        ClockSheetShow();
    else if (page == ui->HelpTabSheet)
        HelpTabSheetShow();
}

void TOndavoForm1::HelpTabSheetShow()
{
    // Read anew at every show: nothing is cached.
    ui->VersionLabel->setText(tr("Ver. ") + m_env.platform->fileVersionText());
}

// HomePageLabelClick and UpdatePageLabelClick (on a click, or Return once Tab has reached the link).
void TOndavoForm1::openSitePage(const QString &path)
{
    m_env.platform->openUrl(QUrl(m_env.endpoints.siteUrl + path));
}
