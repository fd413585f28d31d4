#include "service/webenginepane.h"

#include "platform/platform.h"

#include <QAuthenticator>
#include <QChildEvent>
#include <QFile>
#include <QKeyEvent>
#include <QList>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <optional>

namespace {

Q_LOGGING_CATEGORY(lcPane, "ondavo.pane", QtInfoMsg)

// Chromium's net::ERR_ABORTED: the load was replaced by another one or stopped.
constexpr int errAborted = -3;

// How long a blank popup may wait for the address it is going to before it is dropped.
constexpr int popupLifetimeMs = 30000;

QUrl blankUrl()
{
    return QUrl(QStringLiteral("about:blank"));
}

// A new window opened without an address starts on about:blank (about:blank#blocked in some
// engine versions) before a script sends it somewhere.
bool isAddress(const QUrl &url)
{
    return !url.isEmpty() && url.scheme() != QLatin1String("about");
}

// Only web pages go to the default browser: a page must not reach the desktop's other handlers.
bool isWebAddress(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

// What the pane loads itself. The engine hands any other scheme a page navigates to (mailto:, ssh:,
// whatever the desktop registered) to the desktop's handler for it; the pane refuses those instead.
bool isPaneScheme(const QUrl &url)
{
    static const QStringList schemes = {
        QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("file"), QStringLiteral("data"),
        QStringLiteral("about"), QStringLiteral("blob"),  QStringLiteral("qrc")};
    return schemes.contains(url.scheme());
}

void handOver(Platform *platform, const QUrl &url)
{
    if (!isWebAddress(url)) {
        qCInfo(lcPane) << "Dropped a new window for" << url.toDisplayString();
        return;
    }
    if (platform)
        platform->openUrl(url);
}

// Ctrl+N asks a browser for a new window; the pane keeps it from the engine and from the window
// alike. Alt is not looked at, and Ctrl+Shift+N is left to the engine.
bool isSwallowedKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_N && event->modifiers().testFlag(Qt::ControlModifier) &&
           !event->modifiers().testFlag(Qt::ShiftModifier);
}

const QString MediaWatchName = QStringLiteral("ondavo-media-watch");
// The pane's volume changes often while it fades; pages loaded later start at the newest value a
// moment after.
constexpr int VolumeScriptUpdateMs = 300;

// What the media watch reports, by the word it writes after its key.
std::optional<BrowserPane::MediaEvent> mediaEventOf(QStringView word)
{
    using E = BrowserPane::MediaEvent;
    static const std::pair<QLatin1String, E> words[] = {{QLatin1String("playing"), E::Playing},
                                                        {QLatin1String("paused"), E::Paused},
                                                        {QLatin1String("error"), E::Error},
                                                        {QLatin1String("stalled"), E::Stalled},
                                                        {QLatin1String("ended"), E::Ended}};
    for (const auto &[text, event] : words)
        if (word == text)
            return event;
    return std::nullopt;
}

// A page that never shows a dialog of its own and never opens a window of its own.
class SilentPage : public QWebEnginePage
{
public:
    // Every console line of the page and of the program's own world beside it.
    std::function<void(const QString &)> consoleMessage;

    SilentPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
    {
        // A null authenticator cancels the request instead of asking for credentials.
        connect(this, &QWebEnginePage::authenticationRequired, this,
                [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
                [](const QUrl &, QAuthenticator *authenticator, const QString &) {
                    *authenticator = QAuthenticator();
                });
        connect(this, &QWebEnginePage::featurePermissionRequested, this,
                [this](const QUrl &origin, QWebEnginePage::Feature feature) {
                    setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
                });
        connect(this, &QWebEnginePage::certificateError, this, [](const QWebEngineCertificateError &error) {
            QWebEngineCertificateError(error).rejectCertificate();
        });
        connect(this, &QWebEnginePage::selectClientCertificate, this,
                [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
        connect(this, &QWebEnginePage::fullScreenRequested, this,
                [](QWebEngineFullScreenRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
                [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
                [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    }

protected:
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override
    {
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int,
                                  const QString &) override
    {
        if (consoleMessage)
            consoleMessage(message);
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) override
    {
        return {};
    }
    // New windows are handled through newWindowRequested; nothing is opened here.
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        if (isPaneScheme(url))
            return true;
        qCInfo(lcPane) << "Refused to leave for" << url.toDisplayString();
        return false;
    }
};

// Stands in for a window opened without an address (window.open() followed by a script setting
// its location): the first real address it is sent to goes to the default browser instead.
class PopupCatcher : public SilentPage
{
public:
    PopupCatcher(QWebEngineProfile *profile, Platform *platform, QObject *parent)
        : SilentPage(profile, parent), m_platform(platform)
    {
        connect(this, &QWebEnginePage::windowCloseRequested, this, &QObject::deleteLater);
        QTimer::singleShot(popupLifetimeMs, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame || !isAddress(url))
            return SilentPage::acceptNavigationRequest(url, type, isMainFrame);
        if (!m_handedOver) {
            m_handedOver = true;
            handOver(m_platform, url);
            deleteLater();
        }
        return false;
    }

private:
    Platform *m_platform;
    bool m_handedOver = false;
};

// A page that plays for a while is offered to the desktop as a media player of the engine's own,
// whose keys would pause the page's player behind the program's back; the program's own player is
// the only one. The engine reads its switches from the environment when it starts, merged here
// into a list the user may have given.
void keepMediaKeysFromEngine()
{
    const char variable[] = "QTWEBENGINE_CHROMIUM_FLAGS";
    const QByteArray off = "--disable-features=";
    const QByteArray feature = "HardwareMediaKeyHandling";
    QByteArrayList flags = qgetenv(variable).split(' ');
    flags.removeAll(QByteArray());
    const auto it =
        std::find_if(flags.begin(), flags.end(), [&](const QByteArray &f) { return f.startsWith(off); });
    if (it == flags.end())
        flags << off + feature;
    else if (!it->mid(off.size()).split(',').contains(feature))
        *it += ',' + feature;
    qputenv(variable, flags.join(' '));
}

QWebEngineProfile *createProfile(QObject *parent, const QString &acceptLanguage)
{
    // A named profile keeps the service's cookies and local storage between runs, as a system
    // browser control would. Qt puts it in its usual per-application places (storage in the XDG
    // data folder, the HTTP cache in the XDG cache folder); only one instance of the program runs,
    // so no second process competes for it.
    auto *profile = new QWebEngineProfile(QStringLiteral("Ondavo"), parent);
    // The local pages speak the program's language; the service hears it in every request.
    if (!acceptLanguage.isEmpty())
        profile->setHttpAcceptLanguage(acceptLanguage);

    QWebEngineSettings *settings = profile->settings();
    // The wake-up login must start the radio without a click.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    // Lets window.open reach newWindowRequested, which hands the address to the default browser.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    // The local fallback pages shipped beside the executable may reach the service and the
    // partner player like the service's own pages do.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    return profile;
}

// Owns the shared profile. Before the profile goes, every pane still alive drops its page.
class ProfileHolder : public QObject
{
public:
    ProfileHolder(QObject *parent, const QString &acceptLanguage)
        : QObject(parent), m_acceptLanguage(acceptLanguage)
    {}
    ~ProfileHolder() override
    {
        for (const QPointer<WebEnginePane> &pane : std::as_const(m_panes)) {
            if (pane)
                pane->releasePage();
        }
    }

    // Created with the first pane, so building the factory costs nothing.
    QWebEngineProfile *profile()
    {
        if (!m_profile)
            m_profile = createProfile(this, m_acceptLanguage);
        return m_profile;
    }

    void track(WebEnginePane *pane)
    {
        m_panes.removeAll(QPointer<WebEnginePane>());
        m_panes.append(pane);
    }

private:
    QWebEngineProfile *m_profile = nullptr;
    QString m_acceptLanguage;
    QList<QPointer<WebEnginePane>> m_panes;
};

} // namespace

BrowserPaneFactory makeWebEnginePaneFactory(Platform *platform, QObject *profileParent,
                                            const QString &acceptLanguage)
{
    keepMediaKeysFromEngine();
    QPointer<ProfileHolder> holder = new ProfileHolder(profileParent, acceptLanguage);
    return [holder, platform](PaneRole, QWidget *parent) -> BrowserPane * {
        auto *pane = new WebEnginePane(holder ? holder->profile() : nullptr, platform, parent);
        if (holder)
            holder->track(pane);
        return pane;
    };
}

WebEnginePane::WebEnginePane(QWebEngineProfile *profile, Platform *platform, QWidget *parent)
    : BrowserPane(parent), m_platform(platform)
{
    m_view = new QWebEngineView(parent);
    // Keys reach the engine through a child widget created with the first page; the filter
    // follows every child the view gets.
    m_view->installEventFilter(this);
    if (!profile)
        return;

    m_page = new SilentPage(profile, this);
    m_view->setPage(m_page);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEnginePane::onLoadingChanged);
    connect(m_page, &QWebEnginePage::titleChanged, this, &WebEnginePane::onTitleChanged);
    connect(m_page, &QWebEnginePage::linkHovered, this, &WebEnginePane::setStatusText);
    connect(m_page, &QWebEnginePage::newWindowRequested, this, &WebEnginePane::onNewWindowRequested);
    // The engine's own hold is shorter than the rests of a beeping signal or a pause in speech:
    // the pane stays audible until it has been quiet for a while.
    m_quietHold = new QTimer(this);
    m_quietHold->setSingleShot(true);
    m_quietHold->setInterval(QuietHoldMs);
    connect(m_quietHold, &QTimer::timeout, this, [this] { setAudible(false); });
    connect(m_page, &QWebEnginePage::recentlyAudibleChanged, this, [this](bool audible) {
        if (audible) {
            m_quietHold->stop();
            setAudible(true);
        } else {
            m_quietHold->start();
        }
    });
    connect(m_page, &QWebEnginePage::audioMutedChanged, this, &BrowserPane::audioMutedChanged);

    // The key the media watch signs its lines with: a page cannot write them for it.
    m_mediaKey = QStringLiteral("ondavo-media-%1:")
                     .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
    static_cast<SilentPage *>(m_page.data())->consoleMessage = [this](const QString &message) {
        if (!message.startsWith(m_mediaKey))
            return;
        if (const auto event = mediaEventOf(QStringView(message).mid(m_mediaKey.size())))
            emit mediaEvent(*event);
    };
    m_volumeScriptUpdate = new QTimer(this);
    m_volumeScriptUpdate->setSingleShot(true);
    m_volumeScriptUpdate->setInterval(VolumeScriptUpdateMs);
    connect(m_volumeScriptUpdate, &QTimer::timeout, this, &WebEnginePane::updateMediaWatch);
    updateMediaWatch();
}

WebEnginePane::~WebEnginePane()
{
    delete m_view;
    delete m_page;
}

QWidget *WebEnginePane::widget()
{
    return m_view;
}

bool WebEnginePane::navigate(const QUrl &url)
{
    if (!m_page || !m_view) {
        m_errorString = tr("Браузер недоступен");
        return false;
    }
    if (!url.isValid() || url.isEmpty() || url.isRelative()) {
        m_errorString = tr("Неверный адрес: %1").arg(url.toString());
        return false;
    }
    m_errorString.clear();
    ++m_loadSerial;
    m_showingBlank = false;
    if (m_volumeScriptUpdate->isActive()) {
        m_volumeScriptUpdate->stop();
        updateMediaWatch();
    }
    m_page->load(url);
    return true;
}

QString WebEnginePane::errorString() const
{
    return m_errorString;
}

void WebEnginePane::stop()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEnginePane::releasePage()
{
    if (m_view)
        m_view->setPage(nullptr);
    delete m_page;
}

bool WebEnginePane::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (watched == m_view)
            static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
        break;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        // Accepting the override keeps the window's shortcuts away; eating the press keeps the
        // engine away.
        if (isSwallowedKey(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return BrowserPane::eventFilter(watched, event);
}

void WebEnginePane::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    // The failure itself arrives flagged as an error page; any other report about the engine's
    // own error page is not a navigation of the program's.
    if (info.isErrorPage() && info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return;
    if (m_showingBlank && info.url() == blankUrl())
        return;

    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ++m_loadSerial;
        m_showingBlank = false;
        setStatusText(info.url().toString());
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        setStatusText(QString());
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        setStatusText(QString());
        emit navigateComplete2(info.url());
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        setStatusText(QString());
        // A load replaced by a newer one or stopped has not failed.
        if (info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain &&
            info.errorCode() == errAborted)
            break;
        const QPointer<WebEnginePane> alive(this);
        const quint64 serial = m_loadSerial;
        m_errorString = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                            ? tr("ответ %1").arg(info.errorCode())
                            : info.errorString();
        bool cancel = false;
        emit navigateError(info.url(), &cancel);
        // The handler may have sent the pane elsewhere (that navigation wins) or closed it.
        if (alive && cancel && serial == m_loadSerial)
            showBlank();
        break;
    }
    }
}

void WebEnginePane::onTitleChanged(const QString &title)
{
    if (!m_showingBlank)
        emit titleChange(title);
}

void WebEnginePane::onNewWindowRequested(QWebEngineNewWindowRequest &request)
{
    const QUrl url = request.requestedUrl();
    // A page that opens windows as it loads, with no click, gets nothing.
    if (!request.isUserInitiated()) {
        qCInfo(lcPane) << "Dropped a new window nobody clicked for:" << url.toDisplayString();
        return;
    }
    if (isAddress(url)) {
        handOver(m_platform, url);
        return;
    }
    // No address yet: a script will set one. Catch it without showing anything.
    if (m_page)
        request.openIn(new PopupCatcher(m_page->profile(), m_platform, m_page));
}

void WebEnginePane::setAudible(bool audible)
{
    if (audible == m_audible)
        return;
    m_audible = audible;
    emit audibleChanged(audible);
}

void WebEnginePane::setAudioMuted(bool muted)
{
    if (m_page)
        m_page->setAudioMuted(muted);
}

bool WebEnginePane::isAudioMuted() const
{
    return m_page && m_page->isAudioMuted();
}

void WebEnginePane::setVolume(double volume)
{
    volume = std::clamp(volume, 0.0, 1.0);
    if (!m_page || volume == m_volume)
        return;
    m_volume = volume;
    m_page->runJavaScript(
        QStringLiteral("window.ondavoSetVolume && window.ondavoSetVolume(%1)").arg(volume, 0, 'g', 6),
        QWebEngineScript::ApplicationWorld);
    if (!m_volumeScriptUpdate->isActive())
        m_volumeScriptUpdate->start();
}

void WebEnginePane::updateMediaWatch()
{
    static const QString source = [] {
        QFile file(QStringLiteral(":/pane/mediawatch.js"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    QWebEngineScriptCollection &scripts = m_page->scripts();
    for (const QWebEngineScript &old : scripts.find(MediaWatchName))
        scripts.remove(old);
    QWebEngineScript script;
    script.setName(MediaWatchName);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString(source)
                             .replace(QLatin1String("@KEY@"), m_mediaKey)
                             .replace(QLatin1String("@VOLUME@"), QString::number(m_volume, 'g', 6)));
    scripts.insert(script);
}

void WebEnginePane::setStatusText(const QString &text)
{
    if (m_showingBlank || text == m_statusText)
        return;
    m_statusText = text;
    emit statusTextChange(text);
}

void WebEnginePane::showBlank()
{
    if (!m_page)
        return;
    m_showingBlank = true;
    m_page->load(blankUrl());
}
