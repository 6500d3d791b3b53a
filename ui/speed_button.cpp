#include "ui/speed_button.h"

#include <QEnterEvent>
#include <QPainter>

SpeedButton::SpeedButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

static QImage transparentCopy(const QImage& picture)
{
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    if (out.isNull())
        return out;
    const QRgb key = out.pixel(0, out.height() - 1) | 0xFF000000u;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] | 0xFF000000u) == key)
                line[x] = 0;
    }
    return out;
}

void SpeedButton::setGlyph(const QImage& picture)
{
    const QImage clear = transparentCopy(picture);
    m_glyph = QPixmap::fromImage(clear);
    // Greyed picture for the disabled state: shapes embossed in the light and shadow colours.
    QImage grey(clear.size(), QImage::Format_ARGB32);
    grey.fill(0);
    const QRgb light = palette().color(QPalette::Active, QPalette::Light).rgb();
    const QRgb shadow = palette().color(QPalette::Active, QPalette::Dark).rgb();
    for (int y = 0; y < clear.height(); ++y)
        for (int x = 0; x < clear.width(); ++x)
            if (qAlpha(clear.pixel(x, y)) != 0 && qGray(clear.pixel(x, y)) < 200) {
                if (x + 1 < grey.width() && y + 1 < grey.height())
                    grey.setPixel(x + 1, y + 1, light);
            }
    for (int y = 0; y < clear.height(); ++y)
        for (int x = 0; x < clear.width(); ++x)
            if (qAlpha(clear.pixel(x, y)) != 0 && qGray(clear.pixel(x, y)) < 200)
                grey.setPixel(x, y, shadow);
    m_disabledGlyph = QPixmap::fromImage(grey);
    update();
}

QSize SpeedButton::sizeHint() const
{
    return {65, 50};
}

void SpeedButton::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SpeedButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    const bool enabled = isEnabled();
    if (enabled && (isDown() || m_hover)) {
        const QColor light = pal.color(QPalette::Active, QPalette::Light);
        const QColor dark = pal.color(QPalette::Active, QPalette::Dark);
        p.setPen(isDown() ? dark : light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(isDown() ? light : dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
    const QFontMetrics fm(font());
    const QSize textSize = fm.size(Qt::TextSingleLine, text());
    const QSize glyphSize = m_glyph.isNull() ? QSize() : m_glyph.size();
    const int total = glyphSize.height() + textSize.height();
    const int offset = enabled && isDown() ? 1 : 0;
    const int top = (r.height() - total + 1) / 2 + offset;
    if (!m_glyph.isNull())
        p.drawPixmap((r.width() - glyphSize.width() + 1) / 2 + offset, top, enabled ? m_glyph : m_disabledGlyph);
    const QRect textRect((r.width() - textSize.width() + 1) / 2 + offset, top + glyphSize.height(), textSize.width(),
                         textSize.height());
    if (enabled) {
        p.setPen(pal.color(QPalette::Active, QPalette::WindowText));
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    } else {
        p.setPen(pal.color(QPalette::Active, QPalette::Light));
        p.drawText(textRect.translated(1, 1), Qt::AlignCenter | Qt::TextSingleLine, text());
        p.setPen(pal.color(QPalette::Active, QPalette::Dark));
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    }
}
