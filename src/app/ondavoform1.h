#pragma once

#include "app/closingstate.h"
#include "app/environment.h"
#include "app/mainwindowstate.h"
#include "timer/timermodel.h"

#include <QRandomGenerator>
#include <QWidget>
#include <memory>

namespace Ui {
class TOndavoForm1;
}
class BrowserPane;
class QAction;
class QColor;
class QDateEdit;
class QTimeEdit;
class QMenu;
class QTimer;
class TrayIcon;

// The program's one window: the switchboard of control, pane and timer events.
class TOndavoForm1 : public QWidget
{
    Q_OBJECT
public:
    // How long a failed write of the settings is shown at the close before the program ends anyway.
    static constexpr int WriteFailureBoxMs = 30000;
    // The application title: caption, tray hint and the caption of the error boxes.
    static QString appTitle() { return QStringLiteral("Ondavo"); }

    explicit TOndavoForm1(const Environment &env, QWidget *parent = nullptr);
    ~TOndavoForm1() override;

    const MainWindowState &state() const { return m_state; }
    BrowserPane *radioPane() const { return m_browser1; }
    BrowserPane *clockPane() const { return m_browser2; }
    TrayIcon *trayIcon() const { return m_myTrayIcon; }
    TimerModel *timer() const { return m_timer; }
    const ClosingState *closingState() const { return m_closing; }
    QMenu *trayPopupMenu() const { return m_trayPopupMenu; }

public slots:
    // A second start of the program asks this window to come forward.
    void bringToFront();
    // The desktop session or the system is ending: tell the service, keep the settings, never block.
    void endSession();

signals:
    // The window has passed its closing sequence; the program may end.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Creation and closing sequences
    void FormCreate();
    void InitMainWindow();
    bool FormCloseQuery();
    void FormClose();
    void reportWriteFailureThenClose();

    // Settings file
    void resolvePaths();
    void LoadSettings();
    bool SaveSettings();

    // Service requests and panes
    void Login();
    bool Logoff();
    void ClockSheetShow();
    void Browser1StatusTextChange(const QString &text);
    void Browser1TitleChange(const QString &text);
    void Browser1NavigateComplete2(const QUrl &url);
    void Browser1NavigateError(const QUrl &url, bool *cancel);
    void Browser2NavigateError(const QUrl &url, bool *cancel);
    void LoadPartnerPlayer();
    QUrl localRadioPage() const;
    bool LoadLocalRadioPage(const QUrl &page);
    void LoadLocalClockPage();
    BrowserPane *createPane(PaneRole role, QWidget *placeholder);
    bool navigateOrReport(BrowserPane *pane, const QUrl &url);

    // Window, tray and tabs
    void MinimizeToTray();
    void RestoreFromTray();
    void StopTrayAnimation();
    void myTrayIconClick();
    void myTrayIconDblClick();
    void myTrayIconBalloonClick();
    void Close1Click();
    void PageControl1MouseMove(const QPoint &pos);
    void PageControl1MouseLeave();
    void AutoOpenTabTimerTimer();
    void pageShown(int index);

    // Timer page and arming: adapters between the page and the timer model
    void setupTimerPage();
    void anchorTimerStatusEdit();
    DateTime CombineDateTime(const QDateEdit *datePicker, const QTimeEdit *timePicker) const;
    void SetPickers(QDateEdit *datePicker, QTimeEdit *timePicker, const DateTime &moment);
    void FillActionList();
    void TimerActionComboBoxChange();
    void UpdateActionFields();
    void SetTimerControlsArmed(bool armed);
    void TimerSetBtnClick();
    void TimerResetBtnClick();
    void DisarmTimer();
    void TimersTabSheetShow();
    void TimersTabSheetHide();

    // Countdown and notifications
    void ShowCountdown(const QString &text);
    void UpdateCountdownStyle(bool lastMinute);
    void ShowTimerBalloon(const QString &title, const QString &text, bool warning);
    void ClearCountdownPanel();
    void setTimerStatusStyle(const QColor &color, bool bold);
    void showTimerFailure(const QString &text);

    // Actions that need the panes
    void runTimerAction(TimerModel::Action action);
    void SuspendComputer();
    void EnterQuietSleep(const QString &wakeUpText);
    void RingLocalAlarm();
    void WakeUpLogin(TimerModel::LoginReason reason);

    // The desktop: player controls and media keys, snooze after the alarm
    void setupDesktop();
    void updateMediaStatus();
    void SnoozeItemClick();
    void snoozeOfferChanged(bool offered);
    void AutostartItemClick(bool on);

    // About page
    void HelpTabSheetShow();
    void HomePageLabelClick();
    void UpdatePageLabelClick();

    void setupComponents();
    void showErrorBox(const QString &text);
    void showMessageBox(const QString &caption, const QString &text);

    std::unique_ptr<Ui::TOndavoForm1> ui;
    Environment m_env;
    MainWindowState m_state;
    QRandomGenerator m_random;

    BrowserPane *m_browser1 = nullptr;
    BrowserPane *m_browser2 = nullptr; // created when the clock tab is first shown

    TrayIcon *m_myTrayIcon = nullptr;
    QMenu *m_trayPopupMenu = nullptr;
    QTimer *m_autoOpenTabTimer = nullptr;
    QAction *m_snoozeItem = nullptr;
    QAction *m_autostartItem = nullptr;
    QObject *m_touchWatcher = nullptr; // while the snooze is offered
    TimerModel *m_timer = nullptr;
    ClosingState *m_closing = nullptr;
    int m_shownPage = 0;
    bool m_radioAudible = false;
};
