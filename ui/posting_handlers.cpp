// The connection step and the posting run: the two handlers that talk to the
// ERP database. Both block the window while the server works, so each shows
// the status panel and repaints first; the steps themselves are the use
// case's (posting/receipt_posting.h).

#include "ui/main_window.h"

#include "posting/messages.h"
#include "posting/receipt_posting.h"
#include "text/qt_text.h"
#include "ui/status_panel.h"
#include "ui/messages.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>

namespace {

// The window's part in the steps: the status panel, the date picker, the
// focus, the Execute button.
class WindowFront final : public PostingFront {
public:
    explicit WindowFront(Tfcontardc& window) : w(window) {}

    void connecting() override
    {
        w.Panel5->setCaption(ansiToQString(connectingCaption(qStringToAnsi(w.Cia->text()))));
        w.Panel5->show();
        w.repaint();
    }
    void connected() override
    {
        w.EFecIni->setEnabled(true);
        w.EFecIni->setDate(QDate::currentDate());
    }
    void readyToPost() override
    {
        w.Panel5->hide();
        w.EFecIni->setFocus();
        w.SpeedButton3->setEnabled(true);
    }
    void posting() override
    {
        w.Panel5->show();
        w.repaint();
    }
    void posted(const ClientDataSet&) override
    {
        w.Panel5->hide();
        w.repaint();
    }

private:
    Tfcontardc& w;
};

} // namespace

void Tfcontardc::CiaExit(QObject*)
{
    // The client's bytes, as the run without a window passes them on.
    ConnectionRequest request{qStringToClient(Servidor->serverText()), qStringToClient(Cia->text()),
                              qStringToClient(Tusua->text()), qStringToClient(TClave->text())};
    request.passwordFromEnvironment = m_passwordFromEnvironment && request.password == "-";
    WindowFront front(*this);
    m_posting->connectStep(request, front);
}

void Tfcontardc::SpeedButton3Click(QObject*)
{
    const QDate date = EFecIni->date();
    WindowFront front(*this);
    m_posting->postStep(dateText({date.year(), date.month(), date.day()}), ckNiif->isChecked(), front);
    if (m_posting->nothingPosted())
        messenger().information(std::string(msg::kNoReceipts));
    close();
}
