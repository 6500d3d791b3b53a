// The handlers that talk to the ERP database: the connection step, the
// posting run, and both as the unattended run. They block the window while
// the server works, so the status panel is shown and the window repainted
// first; the steps themselves are the use case's (posting/receipt_posting.h).

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

QDate toQDate(const CivilDate& date) { return QDate(date.year, date.month, date.day); }

// The window's part in the steps: the status panel, the date picker, the
// focus, the Execute button, the notice that there was nothing to post.
class WindowFront final : public PostingFront {
public:
    explicit WindowFront(Tfcontardc& window) : w(window) {}

    void connecting(const std::string& caption) override
    {
        w.Panel5->setCaption(ansiToQString(caption));
        w.Panel5->show();
        w.repaint();
    }
    void connected(const CivilDate& today) override
    {
        w.EFecIni->setEnabled(true);
        w.EFecIni->setDate(toQDate(today));
    }
    void readyToPost() override
    {
        w.Panel5->hide();
        w.EFecIni->setFocus();
        w.SpeedButton3->setEnabled(true);
    }
    void dayBegun(const CivilDate&) override
    {
        w.Panel5->show();
        w.repaint();
    }
    void posted(const ClientDataSet&) override { done(); }
    void nothingToPost() override
    {
        done();
        messenger().information(std::string(msg::kNoReceipts));
    }

private:
    void done()
    {
        w.Panel5->hide();
        w.repaint();
    }

    Tfcontardc& w;
};

} // namespace

ConnectionRequest Tfcontardc::connectionRequest() const
{
    // The client's bytes, as the run without a window passes them on.
    ConnectionRequest request{qStringToClient(Servidor->serverText()), qStringToClient(Cia->text()),
                              qStringToClient(Tusua->text()), qStringToClient(TClave->text())};
    request.passwordFromEnvironment = m_passwordFromEnvironment && request.password == "-";
    return request;
}

void Tfcontardc::FormActivate(QObject*)
{
    const std::string flag = argument(5);
    if (flag.empty())
        return;
    Servidor->setServerText(clientToQString(argument(1)));
    Tusua->setText(clientToQString(argument(2)));
    TClave->setText(clientToQString(argument(3)));
    // "-": the password is not on the command line; the program has put it
    // in ISC_PASSWORD, from where the client takes it.
    m_passwordFromEnvironment = argument(3) == "-";
    Cia->setText(clientToQString(argument(4)));
    ckNiif->setChecked(flag == "S");
    // The connection step, then the posting run for the date it set.
    WindowFront front(*this);
    m_posting->run({connectionRequest(), ckNiif->isChecked(), {}}, front);
    close();
}

void Tfcontardc::CiaExit(QObject*)
{
    WindowFront front(*this);
    m_posting->connectStep(connectionRequest(), front);
}

void Tfcontardc::SpeedButton3Click(QObject*)
{
    const QDate date = EFecIni->date();
    WindowFront front(*this);
    m_posting->postStep({date.year(), date.month(), date.day()}, ckNiif->isChecked(), front);
    close();
}
