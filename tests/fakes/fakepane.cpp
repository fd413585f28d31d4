#include "fakes/fakepane.h"

FakePane::FakePane(PaneRole r, QWidget *parent) : BrowserPane(parent), role(r), m_widget(new QWidget(parent))
{}

bool FakePane::navigate(const QUrl &url)
{
    if (refuseNavigation) {
        m_error = QStringLiteral("The pane is not ready");
        return false;
    }
    navigations << url;
    return true;
}
