#pragma once

#include <QWidget>

// The focus frame of a control that draws none of its own (a web pane: the page may show where it
// is inside, but not that the pane has the focus). It lies over the control's edge, lets the mouse
// through, and shows while the focus is in the control, as the style shows a focus frame.
class FocusRing : public QWidget
{
public:
    explicit FocusRing(QWidget *target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void follow();
    QWidget *m_target;
};
