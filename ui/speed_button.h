#pragma once
#include <QAbstractButton>
#include <QPixmap>

// A flat push button that never takes the keyboard focus: no border until the
// mouse is over it, raised while it is, sunken while pressed; a picture above
// the caption, the two centred together.
class SpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SpeedButton(QWidget* parent = nullptr);

    // The picture's lower-left pixel gives the colour drawn transparent.
    void setGlyph(const QImage& picture);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap m_glyph;
    QPixmap m_disabledGlyph;
    bool m_hover = false;
};
