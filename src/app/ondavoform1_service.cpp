// The panes on the window: the radio's status and title, and the clock pane made on first sight.
#include "app/ondavoform1.h"
#include "ui_ondavoform1.h"

#include "radio/radiosession.h"
#include "service/browserpane.h"

void TOndavoForm1::ClockSheetShow()
{
    // The clock pane costs a renderer; it is made on the first visit of its tab.
    if (!m_browser2)
        m_browser2 = createPane(PaneRole::Clock, ui->Browser2);
    m_radio->showClock(m_browser2);
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
