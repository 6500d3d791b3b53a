#pragma once
#include <QGroupBox>

// A group box drawn the classic way: an etched frame whose top edge runs
// through the middle of the caption, the caption written over it.
class GroupBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};
