// The panes on the window: the radio's status and title, and the clock pane with its fallback.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "platform/platform.h"
#include "service/browserpane.h"
#include "service/requests.h"

void TOndavoForm1::ClockSheetShow()
{
    if (!m_browser2) {
        // The clock pane costs a renderer; it is made on the first visit of its tab.
        m_browser2 = createPane(PaneRole::Clock, ui->Browser2);
        connect(m_browser2, &BrowserPane::navigateError, this, &TOndavoForm1::Browser2NavigateError);
    }
    if (!m_browser2->navigate(Requests::clockPage(m_env.endpoints)))
        showErrorBox(m_browser2->errorString());
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

void TOndavoForm1::Browser2NavigateError(const QUrl &url, bool *cancel)
{
    if (Endpoints::isOnHost(url, m_env.endpoints.serviceHost))
        LoadLocalClockPage();
    else
        *cancel = true;
}

void TOndavoForm1::LoadLocalClockPage()
{
    const QUrl page = m_env.platform->fileBesideExecutable(QStringLiteral("clock/default/index.htm"));
    if (page.isEmpty())
        showMessageBox(QStringLiteral("Ошибка загрузки часов"),
                       QStringLiteral("Не найден локальный шаблон часов!\r\nПереустановите программу."));
    else if (!m_browser2->navigate(page))
        showErrorBox(m_browser2->errorString());
}
