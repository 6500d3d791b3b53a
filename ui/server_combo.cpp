#include "ui/server_combo.h"

ServerComboBox::ServerComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    // A named server that is not in the list reads like any other entry.
    QPalette pal = palette();
    pal.setColor(QPalette::PlaceholderText, pal.color(QPalette::Text));
    setPalette(pal);
}

QString ServerComboBox::serverText() const
{
    return currentIndex() >= 0 ? currentText() : placeholderText();
}

void ServerComboBox::setServerText(const QString& text)
{
    const int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    setPlaceholderText(index >= 0 ? QString() : text);
    setCurrentIndex(index);
}
