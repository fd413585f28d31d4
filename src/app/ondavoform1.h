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
class RadioSession;
class TrayIcon;
struct TimerSettings;

// The program's one window: a view of the radio session, the timer model and the closing
// sequence. Its handlers take what the person did to a model and draw what the models say.
class TOndavoForm1 : public QWidget
{
    Q_OBJECT
public:
    // The application title: caption, tray hint and the caption of the error boxes.
    static QString appTitle() { return QStringLiteral("Ondavo"); }

    explicit TOndavoForm1(const Environment &env, QWidget *parent = nullptr);
    ~TOndavoForm1() override;

    const MainWindowState &state() const { return m_state; }
    RadioSession *radio() const { return m_radio; }
    BrowserPane *radioPane() const { return m_browser1; }
    BrowserPane *clockPane() const { return m_browser2; }
    TrayIcon *trayIcon() const { return m_myTrayIcon; }
    TimerModel *timer() const { return m_timer; }
    ClosingState *closingState() const { return m_closing; }
    QMenu *trayPopupMenu() const { return m_trayPopupMenu; }

public slots:
    // Back from the tray, in front of the other windows: also when a second start of the program
    // or the desktop's player controls ask for the window.
    void RestoreFromTray();
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
    void setupComponents();
    void FormCreate();
    void InitMainWindow();
    bool FormCloseQuery();
    void FormClose();
    void showWriteFailure();

    // Settings file
    void resolvePaths();
    void LoadSettings();
    bool SaveSettings();

    // Service pages
    BrowserPane *createPane(PaneRole role, QWidget *placeholder);
    void ClockSheetShow();
    void Browser1StatusTextChange(const QString &text);
    void Browser1TitleChange(const QString &text);

    // Window, tray and tabs
    void MinimizeToTray();
    void StopTrayAnimation();
    void myTrayIconClick();
    void myTrayIconBalloonClick();
    void PageControl1MouseMove(const QPoint &pos);
    void AutoOpenTabTimerTimer();
    void pageShown(int index);

    // Timer page: a view of the timer model
    void setupTimerPage();
    void anchorTimerStatusEdit();
    DateTime CombineDateTime(const QDateEdit *datePicker, const QTimeEdit *timePicker) const;
    void SetPickers(QDateEdit *datePicker, QTimeEdit *timePicker, const DateTime &moment);
    TimerSettings timerDraft() const;
    void FillActionList();
    void UpdateActionFields();
    void SetTimerControlsArmed(bool armed);
    void TimerSetBtnClick();
    void TimerResetBtnClick();
    void DisarmTimer();
    void TimersTabSheetShow();

    // Countdown and notifications
    void Timer1Timer(const QString &countdown, bool lastMinute);
    void ShowCountdown(const QString &text);
    void ShowTimerBalloon(const QString &title, const QString &text, bool warning);
    void setTimerStatusStyle(const QColor &color, bool bold);
    void showTimerFailure(const QString &text);
    void showWarning(const QString &text);
    void SuspendComputer(TimerModel::Action action);

    // The desktop: start at login, snooze after the alarm
    void setupDesktop();
    void AutostartItemClick(bool on);
    void snoozeOfferChanged(bool offered);

    // About page
    void HelpTabSheetShow();
    void openSitePage(const QString &path);

    void showErrorBox(const QString &text);
    void showMessageBox(const QString &caption, const QString &text);

    std::unique_ptr<Ui::TOndavoForm1> ui;
    Environment m_env;
    MainWindowState m_state;
    QRandomGenerator m_random;

    BrowserPane *m_browser1 = nullptr;
    BrowserPane *m_browser2 = nullptr; // created when the clock tab is first shown
    RadioSession *m_radio = nullptr;
    TimerModel *m_timer = nullptr;
    ClosingState *m_closing = nullptr;

    TrayIcon *m_myTrayIcon = nullptr;
    QMenu *m_trayPopupMenu = nullptr;
    QTimer *m_autoOpenTabTimer = nullptr;
    QAction *m_snoozeItem = nullptr;
    QAction *m_autostartItem = nullptr;
    QObject *m_touchWatcher = nullptr; // while the snooze is offered
    int m_shownPage = 0;
};
