#include "ui/group_box.h"

#include <QPainter>

void GroupBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const QFontMetrics fm(font());
    const int top = fm.height() / 2;
    const QRect frame(0, top, width() - 1, height() - top - 1);
    p.setPen(pal.color(QPalette::Active, QPalette::Light));
    p.drawRect(frame.adjusted(1, 1, 0, 0));
    p.setPen(pal.color(QPalette::Active, QPalette::Dark));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    if (title().isEmpty())
        return;
    const QRect caption(8, 0, fm.horizontalAdvance(title()) + 2, fm.height());
    p.fillRect(caption, pal.color(QPalette::Active, QPalette::Window));
    p.setPen(pal.color(QPalette::Active, QPalette::WindowText));
    p.drawText(caption.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
}
