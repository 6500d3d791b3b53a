// The connection step and the posting run: the two handlers that talk to the
// ERP database. Both block the window while the server works, so each shows
// the status panel and repaints first.

#include "ui/main_window.h"

#include "posting/ledgara_data.h"
#include "posting/messages.h"
#include "posting/posting_run.h"
#include "text/qt_text.h"
#include "ui/bevel_panel.h"
#include "text/qt_text.h"
#include "ui/date_conventions.h"
#include "ui/messages.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>

void Tfcontardc::CiaExit(QObject*)
{
    // The client's bytes, as the run without a window passes them on.
    const std::string company = qStringToClient(Cia->text());
    const std::string user = qStringToClient(Tusua->text());
    const std::string password = qStringToClient(TClave->text());
    if (!PostingRun::canConnect(company, user, password))
        return;

    Panel5->setCaption(ansiToQString(connectingCaption(qStringToAnsi(Cia->text()))));
    Panel5->show();
    repaint();

    PostingRun run(*m_data);
    run.connect(qStringToClient(Servidor->serverText()), company, user, password);

    EFecIni->setEnabled(true);
    EFecIni->setDate(QDate::currentDate());
    run.readPointsOfSale();
    Panel5->hide();
    EFecIni->setFocus();
    SpeedButton3->setEnabled(true);
}

void Tfcontardc::SpeedButton3Click(QObject*)
{
    Panel5->show();
    repaint();

    PostingRun run(*m_data);
    run.post(qStringToAnsi(dateToStr(EFecIni->date())), ckNiif->isChecked());

    Panel5->hide();
    repaint();
    if (run.nothingPosted())
        messenger().information(std::string(msg::kNoReceipts));
    close();
}
