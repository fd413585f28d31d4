#include "ui/touchwatcher.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {
bool isTouch(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        return static_cast<QMouseEvent *>(event)->button() != Qt::RightButton;
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Menu:
            return false;
        // Pressed on the way to a combination: the combination tells.
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
            return false;
        // Shift+F10 is the Menu key of a keyboard without one.
        case Qt::Key_F10:
            return static_cast<QKeyEvent *>(event)->modifiers() != Qt::ShiftModifier;
        default:
            return true;
        }
    }
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
