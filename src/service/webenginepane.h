#pragma once

#include "service/browserpane.h"

#include <QPointer>
#include <QString>

class Platform;
class QEvent;
class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

// One web-engine profile shared by every pane the factory makes. Make the factory before the engine
// starts: it sets the engine's switches. The profile is a child of
// profileParent; panes still alive when it goes lose their page first, so the engine never sees
// a page outlive its profile. The pages hear acceptLanguage (BCP 47) as the language to speak;
// empty, the engine's own.
BrowserPaneFactory makeWebEnginePaneFactory(Platform *platform, QObject *profileParent,
                                            const QString &acceptLanguage = QString());

// A browser pane over QWebEngineView. The engine shows no dialog of its own, Ctrl+N (without
// Shift) is swallowed, and requests for a new window open the address in the default browser.
// Nothing else leaves the program: the pane refuses navigations to schemes it does not load.
class WebEnginePane : public BrowserPane
{
    Q_OBJECT
public:
    // The view is created inside parent and the pane is a child of parent too. A null profile
    // gives a pane that refuses every navigation.
    WebEnginePane(QWebEngineProfile *profile, Platform *platform, QWidget *parent = nullptr);
    ~WebEnginePane() override;

    QWidget *widget() override;
    [[nodiscard]] bool navigate(const QUrl &url) override;
    QString errorString() const override;
    void stop() override;
    void setAudioMuted(bool muted) override;
    bool isAudioMuted() const override;
    void setVolume(double volume) override;

    // Drops the page, leaving an empty view; afterwards navigate() fails. Used before the shared
    // profile goes away.
    void releasePage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onTitleChanged(const QString &title);
    void onNewWindowRequested(QWebEngineNewWindowRequest &request);
    void setStatusText(const QString &text);
    void setAudible(bool audible);
    void showBlank();
    void updateMediaWatch();

    QPointer<QWebEngineView> m_view;
    QPointer<QWebEnginePage> m_page;
    Platform *m_platform = nullptr;
    QString m_errorString;
    QString m_statusText;
    // Bumped by every navigation that starts; a failure handler that started a new one must not
    // have its page blanked afterwards.
    quint64 m_loadSerial = 0;
    // The blank page shown for a cancelled failure is the pane's own: none of its events reach
    // the program.
    bool m_showingBlank = false;
    static constexpr int QuietHoldMs = 3000;
    QTimer *m_quietHold = nullptr;
    bool m_audible = false;
    QString m_mediaKey;
    double m_volume = 1.0;
    QTimer *m_volumeScriptUpdate = nullptr;
};
