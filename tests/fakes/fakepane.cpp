#include "fakes/fakepane.h"

FakePane::FakePane(PaneRole r, QWidget *parent) : BrowserPane(parent), role(r), m_parent(parent) {}

QWidget *FakePane::widget()
{
    if (!m_widget)
        m_widget = new QWidget(m_parent);
    return m_widget;
}

bool FakePane::navigate(const QUrl &url)
{
    if (refuseNavigation) {
        m_error = QStringLiteral("The pane is not ready");
        return false;
    }
    navigations << url;
    if (log)
        *log << shortName(url);
    return true;
}
