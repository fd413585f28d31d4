#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "app/closingstate.h"
#include "core/clock.h"
#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"
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

QTimer *makeTimer(QObject *owner, const char *name, int intervalMs)
{
    auto *t = new QTimer(owner);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    return t;
}
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

    // The action list keeps its hint text but never shows it.
    ui->TimerActionComboBox->installEventFilter(this);

    m_autoOpenTabTimer = makeTimer(this, "AutoOpenTabTimer", 200);
    m_closing = new ClosingState(this);
    // The closing tick, or the service never let the closing sequence finish: ask again.
    connect(m_closing, &ClosingState::closeDue, this, &QWidget::close);
    setupTimerPage();

    m_trayPopupMenu = new QMenu(this);
    m_trayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
    m_snoozeItem = m_trayPopupMenu->addAction(QStringLiteral("Отложить на 10 минут"));
    m_snoozeItem->setObjectName(QStringLiteral("SnoozeItem"));
    m_snoozeItem->setVisible(false);
    m_autostartItem = m_trayPopupMenu->addAction(QStringLiteral("Запускать при входе в систему"));
    m_autostartItem->setObjectName(QStringLiteral("AutostartItem"));
    m_autostartItem->setCheckable(true);
    m_trayPopupMenu->addAction(ui->Close1);
    addAction(ui->Close1); // F10 works while the window has the focus
    connect(ui->Close1, &QAction::triggered, this, &TOndavoForm1::Close1Click);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_trayPopupMenu->popup(mapToGlobal(pos)); });

    m_myTrayIcon = new TrayIcon(
        {QIcon(QStringLiteral(":/icons/player.svg")), QIcon(QStringLiteral(":/icons/player-dark.svg"))},
        [platform = m_env.platform] { return platform->isSystemTrayAvailable(); }, this);
    m_myTrayIcon->setToolTip(appTitle());
    m_myTrayIcon->setContextMenu(m_trayPopupMenu);
    connect(m_myTrayIcon, &TrayIcon::clicked, this, &TOndavoForm1::myTrayIconClick);
    connect(m_myTrayIcon, &TrayIcon::doubleClicked, this, &TOndavoForm1::myTrayIconDblClick);
    connect(m_myTrayIcon, &TrayIcon::balloonClicked, this, &TOndavoForm1::myTrayIconBalloonClick);
    m_myTrayIcon->show();

    // Tabs open when the pointer rests on them; the strip around the tabs counts as leaving them.
    connect(m_autoOpenTabTimer, &QTimer::timeout, this, &TOndavoForm1::AutoOpenTabTimerTimer);
    for (QWidget *w :
         {static_cast<QWidget *>(ui->PageControl1), static_cast<QWidget *>(ui->PageControl1->tabBar())}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    ui->HomePageLabel->installEventFilter(this);
    ui->UpdatePageLabel->installEventFilter(this);

    m_browser1 = createPane(PaneRole::Radio, ui->Browser1);
    connect(m_browser1, &BrowserPane::statusTextChange, this, &TOndavoForm1::Browser1StatusTextChange);
    connect(m_browser1, &BrowserPane::titleChange, this, &TOndavoForm1::Browser1TitleChange);
    connect(m_browser1, &BrowserPane::navigateComplete2, this, &TOndavoForm1::Browser1NavigateComplete2);
    connect(m_browser1, &BrowserPane::navigateError, this, &TOndavoForm1::Browser1NavigateError);
    connect(m_browser1, &BrowserPane::audibleChanged, m_timer, &TimerModel::setRadioAudible);

    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TOndavoForm1::pageShown);
    setupDesktop();
}

BrowserPane *TOndavoForm1::createPane(PaneRole role, QWidget *placeholder)
{
    BrowserPane *pane = m_env.paneFactory(role, placeholder);
    auto *layout = new QVBoxLayout(placeholder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane->widget());
    return pane;
}

// --- Creation -------------------------------------------------------------------------------

void TOndavoForm1::FormCreate()
{
    InitMainWindow();
    Login();
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
    if (m_closing->isClosed()) {
        event->accept();
        return;
    }
    if (!m_closing->isForced() && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TOndavoForm1::FormCloseQuery()
{
    const bool canClose = m_closing->query(Logoff());
    if (m_closing->reportLogoffFailure())
        showErrorBox(m_browser1->errorString());
    return canClose;
}

void TOndavoForm1::FormClose()
{
    m_closing->setClosed();
    // An armed timer ends with the program: nothing may fire while the last box is up, and the
    // program's hold on the system ends too.
    m_timer->stop();
    const bool saved = m_closing->settingsWritten() || SaveSettings();
    m_browser1->stop();
    if (m_browser2)
        m_browser2->stop();
    m_myTrayIcon->hide();
    if (!saved && !m_closing->isSessionEnding()) {
        reportWriteFailureThenClose();
        return;
    }
    emit closed();
}

// The program ends when the box is answered, or after a while when nobody is there to answer it.
void TOndavoForm1::reportWriteFailureThenClose()
{
    auto *box =
        new QMessageBox(QMessageBox::Critical, appTitle(),
                        QStringLiteral("Unable to write to %1").arg(m_state.SettingsFile), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("WriteFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto *bound = new QTimer(box);
    bound->setObjectName(QStringLiteral("WriteFailureBoxBound"));
    bound->setSingleShot(true);
    connect(bound, &QTimer::timeout, box, &QDialog::reject);
    connect(box, &QDialog::finished, this, &TOndavoForm1::closed);
    box->open();
    bound->start(WriteFailureBoxMs);
}

void TOndavoForm1::Browser1NavigateComplete2(const QUrl &url)
{
    if (m_closing->pageLoaded(Requests::isLogoff(url)))
        close();
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
            PageControl1MouseLeave();
        }
    }
    // A link opens when the button comes up over it; dragging off first is a change of mind.
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
        (watched == ui->HomePageLabel || watched == ui->UpdatePageLabel) &&
        static_cast<QWidget *>(watched)->rect().contains(
            static_cast<QMouseEvent *>(event)->position().toPoint())) {
        if (watched == ui->HomePageLabel)
            HomePageLabelClick();
        else if (watched == ui->UpdatePageLabel)
            UpdatePageLabelClick();
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
