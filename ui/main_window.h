#pragma once
// The program's only window: it gathers the connection details, the posting
// date and the IFRS choice, runs the connection step and the posting run, and
// shows what the posting procedure gave back.

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class BevelPanel;
class ServerComboBox;
class SpeedButton;
class StatusPanel;
class TCustomDataGrid;
using TDataGrid = TCustomDataGrid;
class ReceiptPosting;
struct ConnectionRequest;

class Tfcontardc : public QWidget {
    Q_OBJECT
public:
    // arguments: the program's command-line arguments 1.. (without the program itself).
    explicit Tfcontardc(std::vector<std::string> arguments = {}, QWidget* parent = nullptr);
    ~Tfcontardc() override;

    // Places the window at the centre of the whole desktop; done once, before it is first shown.
    void centreOnDesktop();
    // True once a close request has gone through (the program is ending).
    bool closed() const { return m_closed; }

    // Handlers, named after their control and event.
    void FormCreate(QObject* sender);
    void FormActivate(QObject* sender);
    void FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);
    enum class CloseAction { None, Free };
    void FormClose(QObject* sender, CloseAction& action);
    void CiaExit(QObject* sender);
    void SpeedButton3Click(QObject* sender);
    void SpeedButton2Click(QObject* sender);
    std::string diraplicacion();

    // The use case behind the window, for what the window does not show (whether it is connected).
    const ReceiptPosting& posting() const { return *m_posting; }

    // Controls, under the names the rest of the program knows them by.
    BevelPanel* Panel2 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label5 = nullptr;
    ServerComboBox* Servidor = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* Tusua = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* TClave = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Cia = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label4 = nullptr;
    QDateEdit* EFecIni = nullptr;
    QCheckBox* ckNiif = nullptr;
    BevelPanel* Panel3 = nullptr;
    TDataGrid* DBGrid1 = nullptr;
    BevelPanel* Panel1 = nullptr;
    SpeedButton* SpeedButton3 = nullptr;
    SpeedButton* SpeedButton2 = nullptr;
    QLabel* Label11 = nullptr;
    StatusPanel* Panel5 = nullptr;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The bands of the window, top to bottom, and the status panel over them.
    void buildControls();
    void buildHeader();
    void buildOrigin();
    void buildParameters();
    void buildReceiptList();
    void buildButtons();
    void buildStatusPanel();
    void setUpFocus();
    // Names, captions and the description that a screen reader reads.
    void describeForAssistiveTechnology();
    void layoutBands();
    std::string argument(std::size_t n) const;
    // What the connection step is given: the fields as they stand.
    ConnectionRequest connectionRequest() const;

    std::unique_ptr<ReceiptPosting> m_posting;
    std::vector<std::string> m_arguments;
    std::vector<std::string> m_listaservidores;
    QMetaObject::Connection m_focusWatch;
    bool m_activated = false;
    bool m_activationAsked = false;
    bool m_closed = false;
    bool m_passwordFromEnvironment = false;
};
