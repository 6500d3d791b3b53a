#pragma once
// Settings and state of a grid's vertical scroll bar (VertScrollBar). The bar
// is drawn by the grid inside its frame and takes its width from the client
// area; it shows only when its page does not cover its range.

#include <functional>

class QStyle;

class TGridScrollBar {
public:
    // The setting: a bar that is not Visible never shows.
    bool visible() const { return m_visible; }
    void setVisible(bool visible);
    // Called when the setting changes, so the owner can lay itself out again.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // Range and page as the grid sets them: minimum .. maximum is the whole
    // range, the page the part in view. Returns true when that shows or hides the bar.
    bool setParams(int minimum, int maximum, int page, int position);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int page() const { return m_page; }
    int position() const { return m_position; }
    bool isShown() const;

    // The system's scroll bar width: the one place every grid takes it from.
    static int systemWidth(const QStyle* style);

private:
    std::function<void()> m_onChange;
    bool m_visible = true;
    int m_minimum = 0;
    int m_maximum = 1;
    int m_page = 2;
    int m_position = 0;
};
