// Weeks of nights in minutes: the real window with real web panes, against two real
// ondavo-service processes, armed again and again for quiet sleep with its alarm through the timer
// page, the moment and the wake-up a few seconds apart. The clock stands still but for the bench's
// steps to the moment and to the wake-up, where it fires the timer's tick by hand, so a night
// costs what its pages and sounds take. Prints the memory of the process tree as the nights go
// by. Not a test: it judges nothing.
#include "app/ondavoform1.h"
#include "core/clock.h"
#include "fakes/soundserver.h"
#include "platform/platform.h"
#include "service/webenginepane.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <unistd.h>

namespace {

constexpr int StepTimeoutMs = 30000;
// Short, so a night is not a person's 20 s; long enough for the signal to be heard first.
constexpr int AlarmWatchMs = 5000;
// Moment and wake-up are this far apart on the bench's clock.
constexpr int GapMs = 3000;
// Before each reading, so the last page's work is done.
constexpr int SettleMs = 2000;

// Stands still between the bench's steps, so no moment comes unless the bench brings it.
class StepClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void jumpTo(qint64 epochMs)
    {
        m_now = QDateTime::fromMSecsSinceEpoch(qMax(epochMs, m_now.toMSecsSinceEpoch()));
    }

private:
    QDateTime m_now = QDateTime::currentDateTime();
};

// Folders of this run; nothing is asked of the system, so the bench needs no logind and never puts
// the machine down.
class BenchPlatform final : public Platform
{
public:
    QString appData;

    QString appDataFolder() const override { return appData; }
    QUrl fileBesideExecutable(const QString &relativePath) const override
    {
        return fileUrlIn(QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/')),
                         relativePath);
    }
    void bringWindowToFront(QWindow *) override {}
    bool openUrl(const QUrl &) override { return false; }
    bool startDetached(const QString &, const QStringList &, QString *error) override
    {
        *error = QStringLiteral("not in a bench");
        return false;
    }
    void requestPowerOff() override {}
    void requestSuspend() override {}
    void inhibitIdle(const QString &) override {}
    void releaseIdle() override {}
};

// Runs the event loop until predicate holds; false when ms pass first.
bool waitUntil(const std::function<bool()> &predicate, int ms = StepTimeoutMs)
{
    QDeadlineTimer deadline(ms);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void pause(int ms)
{
    waitUntil([] { return false; }, ms);
}

// One ondavo-service on a free port of the loopback, with its request log.
class Service
{
public:
    bool start(const QString &program, const QString &logPath)
    {
        m_logPath = logPath;
        m_process.setProgram(program);
        m_process.setArguments(
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"), logPath});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dieWithParent(m_process);
        m_process.start();
        if (!m_process.waitForStarted(StepTimeoutMs) || !m_process.waitForReadyRead(StepTimeoutMs))
            return false;
        static const QRegularExpression line(QStringLiteral("^listening on http://127\\.0\\.0\\.1:(\\d+)$"));
        const auto m = line.match(QString::fromUtf8(m_process.readLine().trimmed()));
        port = m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
        return port != 0;
    }
    ~Service()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    qint64 pid() const { return m_process.processId(); }
    int count(const QString &start) const
    {
        QFile f(m_logPath);
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        int n = 0;
        for (const QByteArray &l : f.readAll().split('\n'))
            n += l.startsWith(start.toUtf8());
        return n;
    }
    qint64 logBytes() const { return QFileInfo(m_logPath).size(); }

    quint16 port = 0;

private:
    QProcess m_process;
    QString m_logPath;
};

QByteArray readProc(qint64 pid, const char *file)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Proportional set size from smaps_rollup, in kB: all of it, and its anonymous, file and shared
// memory parts.
struct Pss
{
    qint64 all = 0, anon = 0, file = 0, shmem = 0;
    Pss &operator+=(const Pss &o)
    {
        all += o.all, anon += o.anon, file += o.file, shmem += o.shmem;
        return *this;
    }
};

Pss pssOf(qint64 pid)
{
    Pss p;
    for (const QByteArray &line : readProc(pid, "smaps_rollup").split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 2)
            continue;
        const qint64 kb = f[1].toLongLong();
        if (f[0] == "Pss:")
            p.all = kb;
        else if (f[0] == "Pss_Anon:")
            p.anon = kb;
        else if (f[0] == "Pss_File:")
            p.file = kb;
        else if (f[0] == "Pss_Shmem:")
            p.shmem = kb;
    }
    return p;
}

QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> children;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task) + QStringLiteral("/children"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &c : f.readAll().simplified().split(' '))
                if (!c.isEmpty())
                    children << c.toLongLong();
    }
    return children;
}

// What an engine process is, from its command line: zygote, gpu-process, the utility's service
// (audio, network...), and renderer for what a zygote forked (it keeps the zygote's command line).
QString kindOf(qint64 pid, const QString &parentKind)
{
    if (pid == ::getpid())
        return QStringLiteral("browser");
    if (parentKind == QLatin1String("zygote"))
        return QStringLiteral("renderer");
    QString type = QStringLiteral("other");
    QString sub;
    for (const QByteArray &arg : readProc(pid, "cmdline").split('\0')) {
        if (arg.startsWith("--type="))
            type = QString::fromLatin1(arg.mid(7));
        else if (arg.startsWith("--utility-sub-type="))
            sub = QString::fromLatin1(arg.mid(19)).section(QLatin1Char('.'), 0, 0);
    }
    return sub.isEmpty() ? type : type + QLatin1Char(':') + sub;
}

struct TreeMemory
{
    Pss total;
    QList<qint64> pids;
    QMap<QString, QPair<int, Pss>> byKind; // kind: processes, their memory
};

// The bench process and its descendants, less the helpers that stand in for the outside world.
TreeMemory treeMemory(const std::set<qint64> &helpers)
{
    TreeMemory t;
    QList<QPair<qint64, QString>> todo{{::getpid(), QString()}};
    while (!todo.isEmpty()) {
        const auto [pid, parentKind] = todo.takeFirst();
        if (helpers.count(pid))
            continue;
        const QString kind = kindOf(pid, parentKind);
        for (qint64 child : childrenOf(pid))
            todo.append({child, kind});
        const Pss p = pssOf(pid);
        t.total += p;
        t.pids << pid;
        auto &k = t.byKind[kind];
        ++k.first;
        k.second += p;
    }
    return t;
}

// Processes outside the tree that map the engine's library: they take their share of its pages,
// so the tree's file-backed PSS falls while they run and rises when they end.
int foreignEngineMappers(const QList<qint64> &tree)
{
    int n = 0;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && !tree.contains(pid) && readProc(pid, "maps").contains("libQt6WebEngineCore"))
            ++n;
    }
    return n;
}

QWebEnginePage *pageOf(BrowserPane *pane)
{
    auto *view = pane ? qobject_cast<QWebEngineView *>(pane->widget()) : nullptr;
    return view ? view->page() : nullptr;
}

// The radio page's renderer: its JavaScript heap in kB, or -1 when the engine does not say.
qint64 jsHeapKb(BrowserPane *pane)
{
    QWebEnginePage *page = pageOf(pane);
    if (!page)
        return -1;
    auto result = std::make_shared<qint64>(-2);
    page->runJavaScript(QStringLiteral("performance.memory ? performance.memory.usedJSHeapSize : -1"),
                        QWebEngineScript::ApplicationWorld,
                        [result](const QVariant &v) { *result = v.isValid() ? v.toLongLong() : -1; });
    if (!waitUntil([result] { return *result != -2; }, 5000))
        return -1;
    return *result < 0 ? -1 : *result / 1024;
}

} // namespace

int main(int argc, char *argv[])
{
    // The engine's profile, the settings and the instance lock stay in folders of this run.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = home.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(path);
        qputenv(var, path.toLocal8Bit());
    }
    QFile::setPermissions(home.filePath(QStringLiteral("xdg_runtime_dir")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // performance.memory rounds to 10 MB and lags without this; it changes nothing else.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + QByteArrayLiteral(" --enable-precise-memory-info"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int cycles = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    const bool verbose = qEnvironmentVariableIntValue("VERBOSE") != 0;
    const int every = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;
    if (cycles < 1 || every < 1) {
        std::fprintf(stderr, "usage: ondavo-bench-nights [cycles (200)] [print every N cycles (10)]\n");
        return 2;
    }

    SoundServer sound;
    QDir().mkpath(home.filePath(QStringLiteral("pulse")));
    if (!sound.start(home.filePath(QStringLiteral("pulse")), QStringLiteral("nights")))
        std::printf("no pulseaudio: the engine plays to no sound server, so the radio is never heard\n");

    const QString serviceProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/ondavo-service");
    Service service;
    Service partner;
    if (!service.start(serviceProgram, home.filePath(QStringLiteral("service.log"))) ||
        !partner.start(serviceProgram, home.filePath(QStringLiteral("partner.log")))) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(serviceProgram));
        return 1;
    }
    const std::set<qint64> helpers{service.pid(), partner.pid(), sound.pid()};

    BenchPlatform platform;
    platform.appData = home.filePath(QStringLiteral("xdg_config_home"));
    // A settings file without an identity: the window makes one up, as for anyone after a first run.
    QDir().mkpath(platform.appData + QStringLiteral("/Ondavo"));
    {
        QFile ini(platform.appData + QStringLiteral("/Ondavo/settings.ini"));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Settings]\n") < 0)
            return 1;
    }

    auto profileOwner = std::make_unique<QObject>();
    StepClock clock;
    Environment env;
    env.clock = &clock;
    env.platform = &platform;
    env.paneFactory = makeWebEnginePaneFactory(&platform, profileOwner.get());
    env.endpoints = {QStringLiteral("127.0.0.1:%1").arg(service.port),
                     QStringLiteral("localhost:%1").arg(partner.port), QStringLiteral("http://127.0.0.1:1")};
    env.alarmWatchMs = AlarmWatchMs;

    auto window = std::make_unique<TOndavoForm1>(env);
    window->show();
    BrowserPane *radio = window->radioPane();
    QUrl completed;
    bool audible = false;
    QObject::connect(radio, &BrowserPane::navigateComplete2,
                     [&completed](const QUrl &url) { completed = url; });
    // When the station was first heard after the wake-up, on the wake-up's own stopwatch.
    QElapsedTimer sinceWake;
    qint64 heardAfterMs = -1;
    QObject::connect(radio, &BrowserPane::audibleChanged, [&](bool on) {
        audible = on;
        if (on && heardAfterMs < 0 && sinceWake.isValid())
            heardAfterMs = sinceWake.elapsed();
    });
    auto loaded = [&completed](const char *action) {
        return completed.query().contains(QLatin1String("action=") + QLatin1String(action));
    };
    if (!waitUntil([&] { return loaded("login"); })) {
        std::fprintf(stderr, "the first login page did not load\n");
        return 1;
    }

    auto find = [&window](const char *name) { return window->findChild<QWidget *>(QLatin1String(name)); };
    static_cast<QTabWidget *>(find("PageControl1"))->setCurrentWidget(find("TimersTabSheet"));
    auto *actions = static_cast<QComboBox *>(find("TimerActionComboBox"));
    auto *datePicker = static_cast<QDateEdit *>(find("TimerDatePicker"));
    auto *timePicker = static_cast<QTimeEdit *>(find("TimerTimePicker"));
    auto *wakeDatePicker = static_cast<QDateEdit *>(find("WakeUpDatePicker"));
    auto *wakeTimePicker = static_cast<QTimeEdit *>(find("WakeUpTimePicker"));
    auto *setBtn = static_cast<QPushButton *>(find("TimerSetBtn"));
    auto *status = static_cast<QLineEdit *>(find("TimerStatusEdit"));

    std::printf(
        "nights: service 127.0.0.1:%u, partner localhost:%u, alarm watch %d ms, moments %d ms apart\n",
        service.port, partner.port, AlarmWatchMs, GapMs);
    QElapsedTimer run;
    run.start();
    qint64 busyMs = 0; // the cycles themselves, without the pauses before readings
    int heard = 0;
    int rang = 0;
    QMap<int, Pss> marks;
    const std::set<int> checkpoints{20, 100, 200};

    for (int cycle = 1; cycle <= cycles; ++cycle) {
        QElapsedTimer night;
        night.start();
        // Arm through the page, as a person does: action, moment, wake-up, "Установить".
        const QDateTime now = clock.now();
        QDateTime moment = now.addMSecs(GapMs);
        moment.setTime(QTime(moment.time().hour(), moment.time().minute(), moment.time().second()));
        const QDateTime wake = moment.addMSecs(GapMs);
        actions->setCurrentIndex(4);
        datePicker->setDate(moment.date());
        timePicker->setTime(moment.time());
        wakeDatePicker->setDate(wake.date());
        wakeTimePicker->setTime(wake.time());
        setBtn->click();
        if (window->timer()->phase() != TimerModel::Phase::Armed) {
            std::fprintf(stderr, "cycle %d: not armed: %s\n", cycle, qPrintable(status->text()));
            return 1;
        }
        const int playedBefore = service.count(QStringLiteral("GET /played?"));

        // The moment comes: the sleep request loads.
        completed.clear();
        clock.jumpTo(window->timer()->timerTime().toEpochMSecs());
        window->timer()->tick();
        if (!waitUntil([&] { return loaded("sleep"); })) {
            std::fprintf(stderr, "cycle %d: the sleep page did not load (at %s)\n", cycle,
                         qPrintable(completed.toString()));
            return 1;
        }

        // A night is long: the pane goes quiet, so the wake-up is heard afresh rather than riding
        // on the last station's echo.
        QElapsedTimer sinceSleep;
        sinceSleep.start();
        if (!waitUntil([&] { return !audible; })) {
            std::fprintf(stderr, "cycle %d: the radio did not go quiet in quiet sleep\n", cycle);
            return 1;
        }

        const qint64 quietAfterMs = sinceSleep.elapsed();

        // The wake-up: the login loads and its page starts the station.
        completed.clear();
        clock.jumpTo(window->timer()->wakeUpTime().toEpochMSecs());
        heardAfterMs = -1;
        sinceWake.start();
        window->timer()->onWakeUpTick();
        if (!waitUntil([&] { return loaded("login"); }) ||
            !waitUntil([&] { return service.count(QStringLiteral("GET /played?")) > playedBefore; })) {
            std::fprintf(stderr, "cycle %d: the wake-up page did not play (at %s)\n", cycle,
                         qPrintable(completed.toString()));
            return 1;
        }
        // The station is heard, or the alarm watch gives up on it and the program rings its own.
        if (!waitUntil([&] { return heardAfterMs >= 0 && !window->radio()->isAlarmWatched(); })) {
            std::fprintf(stderr, "cycle %d: neither the station nor the program's alarm was heard\n", cycle);
            return 1;
        }
        const bool rangNow = pageOf(radio) && pageOf(radio)->url().query() == QLatin1String("alarm");
        heard += heardAfterMs >= 0;
        rang += rangNow;
        if (verbose)
            std::printf("cycle %3d: %5lld ms; quiet %4lld ms after the sleep page, heard %4lld ms after the "
                        "wake-up, rang %d\n",
                        cycle, static_cast<long long>(night.elapsed()), static_cast<long long>(quietAfterMs),
                        static_cast<long long>(heardAfterMs), rangNow);
        busyMs += night.elapsed();

        if (cycle % every != 0 && !checkpoints.count(cycle) && cycle != cycles)
            continue;
        pause(SettleMs);
        const TreeMemory mem = treeMemory(helpers);
        marks[cycle] = mem.total;
        QStringList kinds;
        for (auto k = mem.byKind.cbegin(); k != mem.byKind.cend(); ++k)
            kinds << QStringLiteral("%1=%2x%3/%4")
                         .arg(k.key())
                         .arg(k.value().first)
                         .arg(k.value().second.all)
                         .arg(k.value().second.anon);
        QWebEnginePage *page = pageOf(radio);
        std::printf(
            "cycle %3d%s t=%llds cycle_ms=%lld tree_pss_kB=%lld anon=%lld file=%lld shmem=%lld "
            "procs=%lld engine_elsewhere=%d\n"
            "    by kind, pss/anon kB: %s\n"
            "    window_qobjects=%lld top_levels=%lld radio_renderer=%lld js_heap_kB=%lld heard=%d/%d "
            "rang=%d profile_qobjects=%lld\n"
            "    service_pss_kB=%lld partner_pss_kB=%lld pulse_pss_kB=%lld service_log_B=%lld\n",
            cycle, checkpoints.count(cycle) ? "*" : " ", static_cast<long long>(run.elapsed() / 1000),
            static_cast<long long>(busyMs / cycle), static_cast<long long>(mem.total.all),
            static_cast<long long>(mem.total.anon), static_cast<long long>(mem.total.file),
            static_cast<long long>(mem.total.shmem), static_cast<long long>(mem.pids.size()),
            foreignEngineMappers(mem.pids), qPrintable(kinds.join(QLatin1Char(' '))),
            static_cast<long long>(window->findChildren<QObject *>().size()),
            static_cast<long long>(QApplication::topLevelWidgets().size()),
            static_cast<long long>(page ? page->renderProcessPid() : 0),
            static_cast<long long>(jsHeapKb(radio)), heard, cycle, rang,
            static_cast<long long>(profileOwner->findChildren<QObject *>().size()),
            static_cast<long long>(pssOf(service.pid()).all),
            static_cast<long long>(pssOf(partner.pid()).all),
            static_cast<long long>(sound.pid() ? pssOf(sound.pid()).all : 0),
            static_cast<long long>(service.logBytes()));
        std::fflush(stdout);
    }

    // Growth from cycle 20, the first reading past the start-up, to the last.
    const auto growth = [](qint64 from, qint64 to) {
        return QStringLiteral("%1%2%").arg(to >= from ? "+" : "").arg(100.0 * (to - from) / from, 0, 'f', 1);
    };
    QString summary =
        QStringLiteral("nights cycles=%1 heard=%2 rang=%3 tree_pss_kB").arg(cycles).arg(heard).arg(rang);
    for (int c : checkpoints)
        if (marks.contains(c))
            summary += QStringLiteral(" @%1=%2").arg(c).arg(marks[c].all);
    if (marks.contains(20) && cycles > 20) {
        const Pss &first = marks[20];
        const Pss &last = marks[cycles];
        summary += QStringLiteral(" growth_20_%1: pss %2 anon %3 file %4")
                       .arg(cycles)
                       .arg(growth(first.all, last.all), growth(first.anon, last.anon),
                            growth(first.file, last.file));
    }
    std::printf("%s\n", qPrintable(summary));

    window.reset();
    profileOwner.reset();
    return 0;
}
