#pragma once
#include <QComboBox>

// The pick-only server list. The user can only choose one of its entries, but
// the unattended run may name a server that is not one of them: that text is
// then shown with no entry selected, and it is the server the connection uses.
class ServerComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ServerComboBox(QWidget* parent = nullptr);

    QString serverText() const;
    void setServerText(const QString& text);
};
