#include "ui/touchwatcher.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {
bool isTouch(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        return static_cast<QMouseEvent *>(event)->button() != Qt::RightButton;
    if (event->type() == QEvent::KeyPress)
        return static_cast<QKeyEvent *>(event)->key() != Qt::Key_Menu;
    return false;
}
} // namespace

TouchWatcher::TouchWatcher(QWidget *window, std::function<void()> touched)
    : QObject(window), m_window(window), m_touched(std::move(touched))
{}

bool TouchWatcher::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (widget && widget->window() == m_window && isTouch(event))
        m_touched();
    return false;
}
