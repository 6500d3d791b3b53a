#include "ui/status_panel.h"

#include <QAccessible>
#include <QShowEvent>

void StatusPanel::captionChanged()
{
    // A caption set while hidden is told when it appears.
    if (isVisible())
        announce();
}

void StatusPanel::showEvent(QShowEvent* event)
{
    BevelPanel::showEvent(event);
    // Not when the window comes back from being minimised.
    if (!event->spontaneous())
        announce();
}

void StatusPanel::announce()
{
    // Told also when the caption is the same again: each time it is set, the
    // program has started that step anew.
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
