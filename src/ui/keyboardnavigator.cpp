#include "ui/keyboardnavigator.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QKeyEvent>
#include <QTabBar>
#include <QTabWidget>

namespace {
bool turnsTabs(const QKeyEvent *key)
{
    return (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
           key->modifiers().testFlag(Qt::ControlModifier) && !key->modifiers().testFlag(Qt::AltModifier);
}

bool opensMenu(const QKeyEvent *key)
{
    return key->key() == Qt::Key_F10 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
}

// Where the Menu key opens it: at the control's text cursor, if it has one.
void openMenu(QWidget *widget, Qt::KeyboardModifiers modifiers)
{
    const QPoint pos = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, widget->mapToGlobal(pos), modifiers);
    QCoreApplication::sendEvent(widget, &menu);
}
} // namespace

KeyboardNavigator::KeyboardNavigator(QTabWidget *tabs) : QObject(tabs), m_tabs(tabs)
{
    qApp->installEventFilter(this);
}

bool KeyboardNavigator::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::FocusIn)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget == m_tabs || widget->window() != m_tabs->window())
        return false;

    if (type == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        auto *date = qobject_cast<QDateEdit *>(widget);
        // Once the picker has selected the section it starts on by itself.
        if (date && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                     reason == Qt::ShortcutFocusReason))
            QMetaObject::invokeMethod(
                date, [date] { date->setSelectedSection(QDateTimeEdit::DaySection); }, Qt::QueuedConnection);
        return false;
    }

    auto *key = static_cast<QKeyEvent *>(event);
    const bool tabKeys = turnsTabs(key);
    if (!tabKeys && !opensMenu(key))
        return false;
    // Taken here: no shortcut answers the override, and the control never sees the press.
    event->accept();
    if (type == QEvent::KeyPress && tabKeys) {
        // A key moved the focus, so the style draws where it is, as after Tab.
        m_tabs->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        m_tabs->tabBar()->setFocus(Qt::ShortcutFocusReason);
        // The tab widget's own turn, which passes disabled tabs by.
        QCoreApplication::sendEvent(m_tabs, key);
    } else if (type == QEvent::KeyPress) {
        openMenu(widget, key->modifiers());
    }
    return true;
}
