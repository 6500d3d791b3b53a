#pragma once
#include "ui/bevel_panel.h"

// The floating panel that says what the program is doing while it blocks on
// the database. To assistive technology it is the window's status element,
// named by its caption; a caption that appears, or is set while the panel
// shows, is told at once (the name-changed event the toolkit's own status bar
// raises for its messages), so that a screen reader says "Conectando ..."
// while the window waits for the server.
class StatusPanel : public BevelPanel {
    Q_OBJECT
public:
    using BevelPanel::BevelPanel;

protected:
    void captionChanged() override;
    void showEvent(QShowEvent* event) override;

private:
    void announce();
};
