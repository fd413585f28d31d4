#include "ui/focusring.h"

#include <QApplication>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {
// As wide as the band the ring covers; the control keeps the rest to itself.
constexpr int RingWidth = 2;
} // namespace

FocusRing::FocusRing(QWidget *target) : QWidget(target->parentWidget()), m_target(target)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    target->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        const bool inside = now && (now == m_target || m_target->isAncestorOf(now));
        setVisible(inside && m_target->isVisible());
        if (inside)
            raise();
    });
    follow();
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        follow();
    return QWidget::eventFilter(watched, event);
}

void FocusRing::follow()
{
    setGeometry(m_target->geometry());
    const QRect all = rect();
    setMask(QRegion(all).subtracted(all.adjusted(RingWidth, RingWidth, -RingWidth, -RingWidth)));
}

void FocusRing::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.state |= QStyle::State_HasFocus;
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}
