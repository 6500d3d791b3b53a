#pragma once
#include <QDateEdit>

// A date picker with a drop-down calendar. Tab and Shift+Tab leave it for the
// next control instead of stepping through its day, month and year.
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    using QDateEdit::QDateEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};
