#include "ui/bevel_panel.h"

#include <QPainter>

BevelPanel::BevelPanel(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void BevelPanel::setBevels(Bevel outer, Bevel inner)
{
    m_outer = outer;
    m_inner = inner;
    update();
}

void BevelPanel::setCaption(const QString& caption)
{
    m_caption = caption;
    update();
    captionChanged();
}

void BevelPanel::setCaptionColor(const QColor& color)
{
    m_captionColor = color;
    update();
}

static void drawBevel(QPainter& p, QRect r, BevelPanel::Bevel bevel, const QPalette& pal)
{
    if (bevel == BevelPanel::Bevel::None)
        return;
    const QColor light = pal.color(QPalette::Active, QPalette::Light);
    const QColor dark = pal.color(QPalette::Active, QPalette::Dark);
    const QColor topLeft = bevel == BevelPanel::Bevel::Raised ? light : dark;
    const QColor bottomRight = bevel == BevelPanel::Bevel::Raised ? dark : light;
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

void BevelPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    drawBevel(p, r, m_outer, palette());
    if (m_outer != Bevel::None)
        r.adjust(1, 1, -1, -1);
    drawBevel(p, r, m_inner, palette());
    if (m_inner != Bevel::None)
        r.adjust(1, 1, -1, -1);
    if (!m_caption.isEmpty()) {
        p.setPen(m_captionColor.isValid() ? m_captionColor : palette().color(QPalette::Active, QPalette::WindowText));
        p.setFont(font());
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, m_caption);
    }
}
