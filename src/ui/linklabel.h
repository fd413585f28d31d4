#pragma once

#include <QLabel>

// A label that is a link: it opens when the left button comes up over it (dragging off first is a
// change of mind), or with Return, Enter or Space once Tab has reached it.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(QWidget *parent = nullptr);

signals:
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A label draws no focus of its own; a link reached by Tab must show that it is.
    void paintEvent(QPaintEvent *event) override;
};
