// The service requests, the panes' fallback chains, and the radio pane's status and title.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"

#include <QFileInfo>
#include <QMessageBox>

namespace {
const QString ConnectingText = QStringLiteral("Пожалуйста подождите. Производится подключение.");
const QString ClosingText = QStringLiteral("Пожалуйста подождите. Идет закрытие соединений.");

} // namespace

void TOndavoForm1::Login()
{
    ui->StatusPanel1->setText(ConnectingText);
    // A pane that cannot start the login is not worth a word: the status line says enough.
    (void)m_browser1->navigate(Requests::login(m_env.endpoints, m_state.UserName, m_state.Passw));
}

bool TOndavoForm1::Logoff()
{
    ui->StatusPanel1->setText(ClosingText);
    return m_browser1->navigate(Requests::logoff(m_env.endpoints, m_state.UserName, m_state.Passw));
}

bool TOndavoForm1::navigateOrReport(BrowserPane *pane, const QUrl &url)
{
    if (pane->navigate(url))
        return true;
    showErrorBox(pane->errorString());
    return false;
}

void TOndavoForm1::ClockSheetShow()
{
    if (!m_browser2) {
        // The clock pane costs a renderer; it is made on the first visit of its tab.
        m_browser2 = createPane(PaneRole::Clock, ui->Browser2);
        connect(m_browser2, &BrowserPane::navigateError, this, &TOndavoForm1::Browser2NavigateError);
    }
    navigateOrReport(m_browser2, Requests::clockPage(m_env.endpoints));
}

void TOndavoForm1::Browser1StatusTextChange(const QString &text)
{
    if (ui->PageControl1->currentIndex() != 0)
        return;
    ui->StatusPanel1->setText(text.contains(m_env.endpoints.serviceHost) ? QString() : text);
}

void TOndavoForm1::Browser1TitleChange(const QString &text)
{
    if (ui->PageControl1->currentIndex() != 0)
        return;
    QString caption = appTitle();
    if (!text.contains(m_env.endpoints.serviceHost))
        caption += QStringLiteral(" - ") + text;
    setWindowTitle(caption);
}

void TOndavoForm1::Browser1NavigateError(const QUrl &url, bool *cancel)
{
    // While closing, a fallback page would only undo the logoff and hold the window open: a
    // service that cannot be reached is told nothing more, and the next closing tick closes.
    if (m_closing->isClosing()) {
        *cancel = true;
        // The logoff failed outright: the service cannot be told, so there is nothing to wait for.
        if (Requests::isLogoff(url))
            close();
        return;
    }
    if (Endpoints::isOnHost(url, m_env.endpoints.serviceHost))
        LoadPartnerPlayer();
    else if (Endpoints::isOnHost(url, m_env.endpoints.partnerHost))
        LoadLocalRadioPage(localRadioPage());
    else
        *cancel = true;
}

void TOndavoForm1::Browser2NavigateError(const QUrl &url, bool *cancel)
{
    if (Endpoints::isOnHost(url, m_env.endpoints.serviceHost))
        LoadLocalClockPage();
    else
        *cancel = true;
}

void TOndavoForm1::LoadPartnerPlayer()
{
    navigateOrReport(m_browser1, Requests::partnerPlayer(m_env.endpoints));
}

QUrl TOndavoForm1::localRadioPage() const
{
    return QUrl::fromLocalFile(m_env.platform->executableFolder() +
                               QStringLiteral("radio/localhost/index.htm"));
}

bool TOndavoForm1::LoadLocalRadioPage(const QUrl &page)
{
    if (QFileInfo(page.toLocalFile()).isFile())
        return navigateOrReport(m_browser1, page);
    showMessageBox(QStringLiteral("Ошибка загрузки программы"),
                   QStringLiteral("Отсутствуют некоторые файлы программы!\r\nПереустановите программу."));
    return false;
}

void TOndavoForm1::LoadLocalClockPage()
{
    const QString path = m_env.platform->executableFolder() + QStringLiteral("clock/default/index.htm");
    if (QFileInfo(path).isFile())
        navigateOrReport(m_browser2, QUrl::fromLocalFile(path));
    else
        showMessageBox(QStringLiteral("Ошибка загрузки часов"),
                       QStringLiteral("Не найден локальный шаблон часов!\r\nПереустановите программу."));
}
