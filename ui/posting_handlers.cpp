// The connection step and the posting run: the two handlers that talk to the
// ERP database. Both block the window while the server works, so each shows
// the status panel and repaints first.

#include "ui/main_window.h"

#include "posting/ledgara_data.h"
#include "posting/messages.h"
#include "ui/ansi_text.h"
#include "ui/bevel_panel.h"
#include "ui/date_conventions.h"
#include "ui/messages.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>

void Tfcontardc::CiaExit(QObject*)
{
    const std::string company = qStringToAnsi(Cia->text());
    if (company.empty())
        return;
    const std::string user = qStringToAnsi(Tusua->text());
    if (user.empty())
        return;
    const std::string password = qStringToAnsi(TClave->text());
    if (password.empty())
        return;

    Panel5->setCaption(ansiToQString(connectingCaption(company)));
    Panel5->show();
    repaint();

    m_data->reconnect(databasePath(qStringToAnsi(Servidor->serverText()), company), user, password);

    EFecIni->setEnabled(true);
    EFecIni->setDate(QDate::currentDate());
    m_data->readPuntos();
    Panel5->hide();
    EFecIni->setFocus();
    SpeedButton3->setEnabled(true);
}

void Tfcontardc::SpeedButton3Click(QObject*)
{
    Panel5->show();
    repaint();

    m_data->runPosting(qStringToAnsi(dateToStr(EFecIni->date())), ckNiif->isChecked());
    const ClientDataSet& receipts = m_data->CRepArticulos;

    Panel5->hide();
    repaint();
    messenger().receiptsPosted(receipts);
    if (receipts.isEmpty())
        messenger().information(std::string(msg::kNoReceipts));
    close();
}
