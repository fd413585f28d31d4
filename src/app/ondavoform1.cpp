#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "app/closingstate.h"
#include "app/volumeitem.h"
#include "core/clock.h"
#include "platform/platform.h"
#include "radio/radiosession.h"
#include "ui/focusring.h"
#include "ui/keyboardnavigator.h"
#include "ui/trayicon.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The value all four date pickers are stored with.
const QDateTime StoredPickerValue(QDate(2009, 3, 16), QTime(23, 51, 6, 31));
} // namespace

TOndavoForm1::TOndavoForm1(const Environment &env, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TOndavoForm1>()), m_env(env)
{
    Q_ASSERT(m_env.clock && m_env.platform && m_env.paneFactory);
    ui->setupUi(this);
    setupComponents();
    FormCreate();
}

TOndavoForm1::~TOndavoForm1() = default;

void TOndavoForm1::setupComponents()
{
    // Tahoma is the window's face; where it is missing DejaVu Sans carries the Cyrillic text,
    // condensed first, since the labels are sized for Tahoma's narrower letters.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);

    for (QDateTimeEdit *picker : {static_cast<QDateTimeEdit *>(ui->TimerDatePicker),
                                  static_cast<QDateTimeEdit *>(ui->TimerTimePicker),
                                  static_cast<QDateTimeEdit *>(ui->WakeUpDatePicker),
                                  static_cast<QDateTimeEdit *>(ui->WakeUpTimePicker)})
        picker->setDateTime(StoredPickerValue);

    m_browser1 = createPane(PaneRole::Radio, ui->Browser1);
    m_radio = new RadioSession(m_browser1, m_env.platform, m_env.endpoints, this);
    m_radio->setAlarmWatchMs(m_env.alarmWatchMs);
    m_radio->setMediaPlayer(m_env.mediaPlayer);
    connect(m_radio, &RadioSession::message, ui->StatusPanel1, &QLabel::setText);
    connect(m_radio, &RadioSession::statusTextChange, this, &TOndavoForm1::Browser1StatusTextChange);
    connect(m_radio, &RadioSession::titleChange, this, &TOndavoForm1::Browser1TitleChange);
    connect(m_radio, &RadioSession::navigationFailed, this, &TOndavoForm1::showErrorBox);
    connect(m_radio, &RadioSession::soundUnheard, this, &TOndavoForm1::showWarning);
    connect(m_radio, &RadioSession::localPageMissing, this, &TOndavoForm1::showMessageBox);

    m_closing = new ClosingState(m_radio, this);
    connect(m_closing, &ClosingState::closeDue, this, &QWidget::close);
    connect(m_closing, &ClosingState::writeFailureDue, this, &TOndavoForm1::showWriteFailure);
    connect(m_closing, &ClosingState::finished, this, &TOndavoForm1::closed);

    m_trayPopupMenu = new QMenu(this);
    m_trayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    m_myTrayIcon = new TrayIcon(
        {QIcon(QStringLiteral(":/icons/player.svg")), QIcon(QStringLiteral(":/icons/player-dark.svg"))},
        m_env.trayAvailable, this);
    m_myTrayIcon->setToolTip(appTitle());
    m_myTrayIcon->setContextMenu(m_trayPopupMenu);
    connect(m_myTrayIcon, &TrayIcon::clicked, this, &TOndavoForm1::myTrayIconClick);
    connect(m_myTrayIcon, &TrayIcon::doubleClicked, this, &TOndavoForm1::myTrayIconClick);
    connect(m_myTrayIcon, &TrayIcon::balloonClicked, this, &TOndavoForm1::myTrayIconBalloonClick);

    setupTimerPage();
    setupDesktop();
    new VolumeItem(m_trayPopupMenu, m_myTrayIcon, m_radio, this);
    m_trayPopupMenu->addAction(ui->Close1);
    addAction(ui->Close1); // F10 works while the window has the focus
    connect(ui->Close1, &QAction::triggered, this, &QWidget::close);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_trayPopupMenu->popup(mapToGlobal(pos)); });
    m_myTrayIcon->show();

    // Tabs open when the pointer rests on them; the strip around the tabs counts as leaving them.
    m_autoOpenTabTimer = new QTimer(this);
    m_autoOpenTabTimer->setObjectName(QStringLiteral("AutoOpenTabTimer"));
    m_autoOpenTabTimer->setInterval(200);
    connect(m_autoOpenTabTimer, &QTimer::timeout, this, &TOndavoForm1::AutoOpenTabTimerTimer);
    for (QWidget *w :
         {static_cast<QWidget *>(ui->PageControl1), static_cast<QWidget *>(ui->PageControl1->tabBar())}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    connect(ui->HomePageLabel, &LinkLabel::activated, this,
            [this] { openSitePage(QStringLiteral("/index.php?action=ondavo")); });
    connect(ui->UpdatePageLabel, &LinkLabel::activated, this,
            [this] { openSitePage(QStringLiteral("/index.php?action=ondavo&subact=download")); });
    new KeyboardNavigator(ui->PageControl1);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TOndavoForm1::pageShown);
}

BrowserPane *TOndavoForm1::createPane(PaneRole role, QWidget *placeholder)
{
    BrowserPane *pane = m_env.paneFactory(role, placeholder);
    auto *layout = new QVBoxLayout(placeholder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane->widget());
    new FocusRing(pane->widget());
    return pane;
}

// --- Creation -------------------------------------------------------------------------------

void TOndavoForm1::FormCreate()
{
    InitMainWindow();
    m_radio->login();
    m_timer->resumeRepeat();
}

void TOndavoForm1::InitMainWindow()
{
    // One generator per run, seeded by the system: a password must not follow from the start time.
    m_random = QRandomGenerator::securelySeeded();
    m_state.HoverTabIndex = 0;
    m_state.LastActionId = 0;
    resolvePaths();
    LoadSettings();
    FillActionList();
    UpdateActionFields();
}

// --- Closing --------------------------------------------------------------------------------

void TOndavoForm1::closeEvent(QCloseEvent *event)
{
    if (!m_closing->isClosed() && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TOndavoForm1::FormCloseQuery()
{
    const bool canClose = m_closing->query();
    if (m_closing->reportLogoffRefused())
        showErrorBox(m_radio->errorString());
    return canClose;
}

void TOndavoForm1::FormClose()
{
    if (m_closing->isClosed())
        return;
    // An armed timer ends with the program: nothing may fire while the last box is up, and the
    // program's hold on the system ends too.
    m_timer->stop();
    const bool saved = m_closing->settingsWritten() || SaveSettings();
    m_radio->stopLoading();
    if (m_browser2)
        m_browser2->stop();
    m_myTrayIcon->hide();
    m_closing->closed(saved);
}

// The program ends when the box is answered, or after a while when nobody is there to answer it.
void TOndavoForm1::showWriteFailure()
{
    auto *box = new QMessageBox(QMessageBox::Critical, appTitle(),
                                tr("Unable to write to %1").arg(m_state.SettingsFile), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("WriteFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_closing, &ClosingState::writeFailureTimedOut, box, &QDialog::reject);
    connect(box, &QDialog::finished, m_closing, &ClosingState::writeFailureAnswered);
    box->open();
}

void TOndavoForm1::endSession()
{
    if (m_closing->isClosed())
        return;
    m_closing->setSessionEnding();
    close();
    if (m_closing->isClosed())
        return;
    // Refused while the logoff request goes out: keep the settings now, since the session may
    // end before the closing sequence does; the closing sequence still ends the program.
    SaveSettings();
    m_closing->setSettingsWritten();
}

// --- Window, tray and menus -----------------------------------------------------------------

bool TOndavoForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->TimerActionComboBox && event->type() == QEvent::ToolTip)
        return true;
    if (watched == ui->ProgTimerGroupBox && event->type() == QEvent::Resize)
        anchorTimerStatusEdit();
    if (watched == ui->PageControl1 || watched == ui->PageControl1->tabBar()) {
        if (event->type() == QEvent::MouseMove) {
            const QPoint global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
            PageControl1MouseMove(ui->PageControl1->tabBar()->mapFromGlobal(global));
        } else if (event->type() == QEvent::Leave) {
            m_autoOpenTabTimer->stop(); // PageControl1MouseLeave
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TOndavoForm1::showErrorBox(const QString &text)
{
    showMessageBox(appTitle(), text);
}

// Modal for the window, but the event loop goes on: timers and pane events still arrive.
void TOndavoForm1::showMessageBox(const QString &caption, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
