// How late the timer's action starts: the real window on the real wall clock and event loop,
// armed through its pickers and button for "run a command" a few seconds ahead, again and again.
// Prints each lateness and the median and worst. Not a test: it judges nothing.
#include "app/ondavoform1.h"
#include "core/clock.h"
#include "platform/platform.h"
#include "service/browserpane.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The system's platform, except that a started command is only written down, with the moment.
class RecordingPlatform final : public Platform
{
public:
    explicit RecordingPlatform(std::unique_ptr<Platform> real) : m_real(std::move(real))
    {
        connect(m_real.get(), &Platform::systemResumed, this, &Platform::systemResumed);
        connect(m_real.get(), &Platform::wallClockChanged, this, &Platform::wallClockChanged);
        monotonic.start();
    }

    QString appDataFolder() const override { return m_real->appDataFolder(); }
    QUrl fileBesideExecutable(const QString &path) const override
    {
        return m_real->fileBesideExecutable(path);
    }
    void bringWindowToFront(QWindow *window) override { m_real->bringWindowToFront(window); }
    bool openUrl(const QUrl &url) override { return m_real->openUrl(url); }
    bool startDetached(const QString &, const QStringList &, QString *) override
    {
        startedWall = QDateTime::currentDateTime();
        startedMonoNs = monotonic.nsecsElapsed();
        if (onStart)
            onStart();
        return true;
    }
    // Only "run a command" is armed here; a bench must never put the machine down by mistake.
    void requestPowerOff() override {}
    void requestSuspend() override {}
    void inhibitIdle(const QString &why) override { m_real->inhibitIdle(why); }
    void releaseIdle() override { m_real->releaseIdle(); }
    QString fileVersionText() const override { return m_real->fileVersionText(); }

    QElapsedTimer monotonic;
    QDateTime startedWall;
    qint64 startedMonoNs = 0;
    std::function<void()> onStart;

private:
    std::unique_ptr<Platform> m_real;
};

// A pane with nothing behind it: the figure is about the timer, not the engine.
class BlankPane final : public BrowserPane
{
public:
    BlankPane(QWidget *parent) : BrowserPane(parent), m_widget(new QWidget(parent)) {}
    QWidget *widget() override { return m_widget; }
    bool navigate(const QUrl &) override { return true; }
    QString errorString() const override { return {}; }
    void stop() override {}
    void setAudioMuted(bool) override {}
    bool isAudioMuted() const override { return false; }
    void setVolume(double) override {}

private:
    QWidget *m_widget;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // Settings and the instance lock go to a folder of our own, never the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int armings = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;

    SystemClock clock;
    RecordingPlatform platform(createSystemPlatform());
    Environment env;
    env.clock = &clock;
    env.platform = &platform;
    env.paneFactory = [](PaneRole, QWidget *parent) { return new BlankPane(parent); };
    // Nothing listens on port 1 of the loopback.
    env.endpoints = {QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1"),
                     QStringLiteral("http://127.0.0.1:1")};

    TOndavoForm1 window(env);
    window.show();
    auto find = [&window](const char *name) { return window.findChild<QWidget *>(QLatin1String(name)); };
    auto *tabs = static_cast<QTabWidget *>(find("PageControl1"));
    tabs->setCurrentWidget(find("TimersTabSheet"));
    auto *actions = static_cast<QComboBox *>(find("TimerActionComboBox"));
    auto *datePicker = static_cast<QDateEdit *>(find("TimerDatePicker"));
    auto *timePicker = static_cast<QTimeEdit *>(find("TimerTimePicker"));
    auto *setBtn = static_cast<QPushButton *>(find("TimerSetBtn"));
    actions->setCurrentIndex(3);
    static_cast<QLineEdit *>(find("TimerCommandEdit"))->setText(QStringLiteral("true"));
    if (auto *closeAfter = window.findChild<QAbstractButton *>(QStringLiteral("CloseMeOnExecChBox")))
        closeAfter->setChecked(false);

    std::vector<double> wallLate, monoLate;
    for (int i = 0; i < armings; ++i) {
        // 2 to 4 s ahead, landing on milliseconds spread over the whole second.
        const QDateTime wanted = QDateTime::currentDateTime().addMSecs(2000 + (i * 733) % 2000);
        datePicker->setDate(wanted.date());
        timePicker->setTime(wanted.time());
        // The moment as armed is what the pickers hold, read back the way the window reads it.
        const QDateTime armed(datePicker->date(), timePicker->time());
        QEventLoop loop;
        platform.onStart = [&loop] { loop.quit(); };
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        // The wall clock read to the nanosecond beside the monotonic one, so the moment can be
        // placed on the monotonic clock without QDateTime's millisecond steps.
        const qint64 armWallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        const qint64 armMonoNs = platform.monotonic.nsecsElapsed();
        platform.startedWall = QDateTime();
        setBtn->click();
        loop.exec();
        if (!platform.startedWall.isValid()) {
            std::printf("arming %d: the action did not start within 10 s\n", i + 1);
            return 1;
        }
        const double wall = armed.msecsTo(platform.startedWall);
        // On the monotonic clock: the armed moment is as far from the press as the wall clock said.
        const qint64 momentMonoNs = armMonoNs + (armed.toMSecsSinceEpoch() * 1000000 - armWallNs);
        const double mono = (platform.startedMonoNs - momentMonoNs) / 1e6;
        wallLate.push_back(wall);
        monoLate.push_back(mono);
        std::printf("arming %2d: moment %s  late %6.0f ms (wall)  %8.3f ms (monotonic)\n", i + 1,
                    qPrintable(armed.toString(QStringLiteral("hh:mm:ss.zzz"))), wall, mono);
        std::fflush(stdout);
    }
    std::printf(
        "firing_late_ms armings=%d median=%.3f worst=%.3f (monotonic); median=%.0f worst=%.0f (wall)\n",
        armings, median(monoLate), *std::max_element(monoLate.begin(), monoLate.end()), median(wallLate),
        *std::max_element(wallLate.begin(), wallLate.end()));
    return 0;
}
