#pragma once

#include <QObject>

class QTabWidget;

// The keys that work wherever the focus is in the window of a tab control, before any control
// takes them: a web pane or a date picker would keep Ctrl+Tab to itself, and Shift+F10 is a
// shortcut of nothing.
// - Ctrl+Tab and Ctrl+Shift+Tab turn to the next and the previous tab, and the focus goes to the
//   tab strip, so that a screen reader says which tab is now selected.
// - Shift+F10 opens the menu the Menu key opens: the focused control's own, else the window's.
// - A date picker reached from the keyboard starts on its day, whatever order the locale writes a
//   date in: Up moves the date a day.
class KeyboardNavigator : public QObject
{
public:
    // Watches the whole application from now on, for the window of tabs; goes with tabs.
    explicit KeyboardNavigator(QTabWidget *tabs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTabWidget *m_tabs;
};
