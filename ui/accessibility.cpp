#include "ui/accessibility.h"

#include "ui/status_panel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>

namespace {

// The program's window is a plain widget, which the toolkit would present
// as a nameless filler; a screen reader looks for a window (a frame).
class WindowAccessible final : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}
};

// The status panel: a status element named by its caption.
class StatusPanelAccessible final : public QAccessibleWidget {
public:
    explicit StatusPanelAccessible(StatusPanel* panel) : QAccessibleWidget(panel, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const StatusPanel*>(widget())->caption();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* windowFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("Tfcontardc"))
        return new WindowAccessible(static_cast<QWidget*>(object));
    if (className == QLatin1String("StatusPanel"))
        return new StatusPanelAccessible(static_cast<StatusPanel*>(object));
    return nullptr;
}

bool hidesItsText(QObject* object)
{
    const auto* edit = qobject_cast<QLineEdit*>(object);
    return edit && edit->echoMode() != QLineEdit::Normal;
}

QAccessible::UpdateHandler g_nextHandler = nullptr;

// Every accessibility event of the process passes here while assistive
// technology listens. A line edit's text events carry the characters
// inserted and removed, a password box's included, and the desktop's
// accessibility bus hands them to whoever listens: the password box's go no
// further. The box itself answers every question about its text with
// nothing, and its role says it is a password.
void withoutSecrets(QAccessibleEvent* event)
{
    switch (event->type()) {
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        if (hidesItsText(event->object()))
            return;
        break;
    case QAccessible::TableModelChanged:
        // Its work is done: the table took it before this handler was
        // called, and no platform bridge does more with it. Passed on below,
        // the table would take it a second time.
        return;
    default:
        break;
    }
    if (g_nextHandler) {
        g_nextHandler(event);
        return;
    }
    // With no handler installed, the toolkit hands the event to the platform.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(&withoutSecrets);
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&windowFactory);
        g_nextHandler = QAccessible::installUpdateHandler(&withoutSecrets);
        return true;
    }();
    (void)installed;
}

void nameAfterCaption(QWidget* control, QLabel* caption)
{
    QString name = caption->text();
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u':'))
        name.chop(1);
    control->setAccessibleName(name);
    caption->setBuddy(control);
}
