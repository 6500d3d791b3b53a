#pragma once
#include <QWidget>

// A panel with an outer and an optional inner bevel, 1 pixel each, and an
// optional caption centred in it.
class BevelPanel : public QWidget {
    Q_OBJECT
public:
    enum class Bevel { None, Raised, Lowered };

    explicit BevelPanel(QWidget* parent = nullptr);

    void setBevels(Bevel outer, Bevel inner);
    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }
    void setCaptionColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Called each time the caption is set, after it is stored.
    virtual void captionChanged() {}

private:
    Bevel m_outer = Bevel::Raised;
    Bevel m_inner = Bevel::None;
    QString m_caption;
    QColor m_captionColor;
};
