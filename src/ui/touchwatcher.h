#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Sees every event of the application while it is installed and says when the window is touched:
// a click or a key in it shows that the person is there. The right button and the Menu key (or
// Shift+F10) only open a menu, so they do not count.
class TouchWatcher : public QObject
{
public:
    TouchWatcher(QWidget *window, std::function<void()> touched);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<void()> m_touched;
};
