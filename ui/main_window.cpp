#include "ui/main_window.h"

#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "grid/custom_data_grid.h"
#include "posting/receipt_posting.h"
#include "ui/accessibility.h"
#include "ui/bevel_panel.h"
#include "ui/button_art.h"
#include "text/qt_text.h"
#include "ui/date_picker.h"
#include "ui/fonts.h"
#include "ui/group_box.h"
#include "ui/messages.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"
#include "ui/status_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QProxyStyle>
#include <QScreen>
#include <QWindow>

namespace {

// The client area the window was designed for.
constexpr int kClientWidth = 358;
constexpr int kClientHeight = 371;
// Band heights.
constexpr int kPanel2Height = 57;
constexpr int kGroupBox1Height = 105;
constexpr int kPanel3Height = 83;
constexpr int kPanel1Height = 52;

// The password box shows one "*" per character.
class PasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, QRect geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(geometry);
    return edit;
}

// The flat one-pixel frames of the edit boxes and the drop-down list.
const char* const kFlatFrames =
    "QLineEdit { border: 1px solid palette(dark); background: palette(base); padding: 0px 1px; }"
    "QComboBox { border: 1px solid palette(dark); background: palette(base); padding: 0px 2px; }";

} // namespace

Tfcontardc::Tfcontardc(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent), m_posting(std::make_unique<ReceiptPosting>()), m_arguments(std::move(arguments))
{
    buildControls();
    // Every key passes the window first, whichever control has the focus.
    qApp->installEventFilter(this);
    try {
        FormCreate(this);
    } catch (const std::exception& e) {
        reportError(e.what());
    }
}

Tfcontardc::~Tfcontardc()
{
    qApp->removeEventFilter(this);
    // Destroying the window moves the focus; that is not leaving the company box.
    disconnect(m_focusWatch);
    // The grid follows CRepArticulos until it goes; the data objects go first.
    delete DBGrid1;
    DBGrid1 = nullptr;
}

void Tfcontardc::buildControls()
{
    installAccessibility();
    setObjectName(QStringLiteral("fcontardc"));
    setWindowTitle(QStringLiteral("Contabilizar recibos"));
    setWindowIcon(QIcon(QPixmap::fromImage(applicationIconImage())));
    setFont(windowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    resize(kClientWidth, kClientHeight);

    buildHeader();
    buildOrigin();
    buildParameters();
    buildReceiptList();
    buildButtons();
    buildStatusPanel();
    setUpFocus();
    describeForAssistiveTechnology();
    connect(SpeedButton3, &SpeedButton::clicked, this, [this] { SpeedButton3Click(SpeedButton3); });
    connect(SpeedButton2, &SpeedButton::clicked, this, [this] { SpeedButton2Click(SpeedButton2); });

    layoutBands();
    DBGrid1->loaded();
}

void Tfcontardc::buildHeader()
{
    Panel2 = new BevelPanel(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Label2 = new QLabel(QStringLiteral("Este programa genera la contabilización de los recibos de caja sin "
                                       "contabilizar de la fecha indicada"),
                        Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setGeometry(16, 6, 333, 49);
}

void Tfcontardc::buildOrigin()
{
    GroupBox1 = new GroupBox(QStringLiteral("Origen:"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFlat(false);
    Label5 = makeLabel(GroupBox1, "Label5", QStringLiteral("Servidor : "), 16, 16);
    Servidor = new ServerComboBox(GroupBox1);
    Servidor->setObjectName(QStringLiteral("Servidor"));
    Servidor->setGeometry(76, 8, 141, 21);
    Label8 = makeLabel(GroupBox1, "Label8", QStringLiteral("Usuario : "), 16, 40);
    Tusua = makeEdit(GroupBox1, "Tusua", {76, 32, 97, 21});
    Label9 = makeLabel(GroupBox1, "Label9", QStringLiteral("Clave : "), 17, 64);
    TClave = makeEdit(GroupBox1, "TClave", {76, 56, 97, 21});
    TClave->setEchoMode(QLineEdit::Password);
    auto* passwordStyle = new PasswordStyle;
    passwordStyle->setParent(TClave);
    TClave->setStyle(passwordStyle);
    Label6 = makeLabel(GroupBox1, "Label6", QStringLiteral("Compañía:"), 17, 88);
    Cia = makeEdit(GroupBox1, "Cia", {76, 80, 45, 21});
    GroupBox1->setStyleSheet(QLatin1String(kFlatFrames));
}

void Tfcontardc::buildParameters()
{
    GroupBox2 = new GroupBox(QStringLiteral("Parámetros "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    Label4 = makeLabel(GroupBox2, "Label4", QStringLiteral("Fecha:"), 8, 24);
    EFecIni = new DatePicker(QDate(2003, 1, 20), GroupBox2);
    EFecIni->setObjectName(QStringLiteral("EFecIni"));
    EFecIni->setCalendarPopup(true);
    EFecIni->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    EFecIni->setGeometry(48, 16, 89, 21);
    EFecIni->setEnabled(false);
    ckNiif = new QCheckBox(QStringLiteral("NIIF"), GroupBox2);
    ckNiif->setObjectName(QStringLiteral("ckNiif"));
    ckNiif->setGeometry(168, 20, 97, 17);
}

void Tfcontardc::buildReceiptList()
{
    Panel3 = new BevelPanel(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    DBGrid1 = new TDataGrid(Panel3);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setFlat(true);
    DBGrid1->setAutoFitColWidths(true);
    DBGrid1->columns().add("PREF", 35);
    DBGrid1->columns().add("NUMERO", 74);
    DBGrid1->columns().add("ESTADO", 102);
    DBGrid1->setDataSource(&m_posting->receipts());
    DBGrid1->setEnabled(false);
    DBGrid1->setGeometry(1, 1, 356, 81);
}

void Tfcontardc::buildButtons()
{
    Panel1 = new BevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    SpeedButton3 = new SpeedButton(Panel1);
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
    SpeedButton3->setText(QStringLiteral("F2: Ejecutar"));
    SpeedButton3->setFont(narrowFont());
    SpeedButton3->setGlyph(executePicture());
    SpeedButton3->setGeometry(37, 1, 65, 50);
    SpeedButton3->setEnabled(false);
    SpeedButton2 = new SpeedButton(Panel1);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setText(QStringLiteral("Esc: Cancelar"));
    SpeedButton2->setFont(narrowFont());
    SpeedButton2->setGlyph(cancelPicture());
    SpeedButton2->setGeometry(213, 1, 65, 50);
    Label11 = makeLabel(Panel1, "Label11", QStringLiteral("Rev:2026/05/25"), 288, 2);
    Label11->setFont(narrowFont());
    Label11->adjustSize();
}

void Tfcontardc::buildStatusPanel()
{
    Panel5 = new StatusPanel(this);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setBevels(BevelPanel::Bevel::Raised, BevelPanel::Bevel::Lowered);
    Panel5->setFont(statusFont());
    Panel5->setCaptionColor(QColor(0, 0, 128));
    Panel5->setCaption(QStringLiteral("Contabilizando facturas. espere un momento..."));
    Panel5->setGeometry(8, 188, 337, 41);
    Panel5->hide();
    Panel5->raise();
}

void Tfcontardc::setUpFocus()
{
    for (QWidget* w : {static_cast<QWidget*>(Panel2), static_cast<QWidget*>(GroupBox1),
                       static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(Panel3),
                       static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Panel5)})
        w->setFocusPolicy(Qt::NoFocus);
    for (QLabel* l : {Label2, Label5, Label8, Label9, Label6, Label4, Label11})
        l->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(Servidor, Tusua);
    QWidget::setTabOrder(Tusua, TClave);
    QWidget::setTabOrder(TClave, Cia);
    QWidget::setTabOrder(Cia, EFecIni);
    QWidget::setTabOrder(EFecIni, ckNiif);
    QWidget::setTabOrder(ckNiif, DBGrid1);
    Servidor->setFocus();

    // Leaving the company box for another control of this window runs the
    // connection step; losing the focus to a message box or another
    // application does not.
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == Cia && now && now != Cia && now->window() == this)
            CiaExit(Cia);
    });
}

void Tfcontardc::describeForAssistiveTechnology()
{
    // The window's own explanation of what it does.
    setAccessibleDescription(Label2->text());
    nameAfterCaption(Servidor, Label5);
    nameAfterCaption(Tusua, Label8);
    nameAfterCaption(TClave, Label9);
    nameAfterCaption(Cia, Label6);
    nameAfterCaption(EFecIni, Label4);
}

void Tfcontardc::layoutBands()
{
    const int w = width();
    const int h = height();
    Panel2->setGeometry(0, 0, w, kPanel2Height);
    GroupBox1->setGeometry(0, kPanel2Height, w, kGroupBox1Height);
    const int top = kPanel2Height + kGroupBox1Height;
    Panel1->setGeometry(0, h - kPanel1Height, w, kPanel1Height);
    Panel3->setGeometry(0, h - kPanel1Height - kPanel3Height, w, kPanel3Height);
    GroupBox2->setGeometry(0, top, w, std::max(0, h - kPanel1Height - kPanel3Height - top));
    DBGrid1->setGeometry(1, 1, w - 2, kPanel3Height - 2);
}

void Tfcontardc::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutBands();
}

void Tfcontardc::centreOnDesktop()
{
    QRect desktop;
    for (QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    const QPoint origin = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry().topLeft()
                                                           : QPoint();
    // The frame is not known before the window is shown; take the one it was
    // designed with (374 x 410 outside for 358 x 371 inside).
    QSize outer = frameGeometry().size();
    if (!isVisible() || outer == size())
        outer = size() + QSize(374 - kClientWidth, 410 - kClientHeight);
    const int x = std::max(0, (desktop.width() - outer.width()) / 2);
    const int y = std::max(0, (desktop.height() - outer.height()) / 2);
    move(origin + QPoint(x, y));
}

std::string Tfcontardc::argument(std::size_t n) const
{
    return n >= 1 && n <= m_arguments.size() ? m_arguments[n - 1] : std::string();
}

void Tfcontardc::FormCreate(QObject*)
{
    const std::string directory = diraplicacion();
    m_listaservidores = readServerList(serverListPath(directory));
    Servidor->clear();
    for (const std::string& entry : m_listaservidores)
        Servidor->addItem(fileTextToQString(entry));
    if (Servidor->count() > 0 && Servidor->currentIndex() != 0)
        Servidor->setCurrentIndex(0);
}

std::string Tfcontardc::diraplicacion()
{
    std::unique_ptr<Registry> registry = systemRegistry();
    return lookupInstallDir(*registry, [](const std::string& text) { messenger().information(text); });
}

void Tfcontardc::FormKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift)
{
    if (shift & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier))
        return;
    if (key == Qt::Key_F2) {
        key = 0;
        SpeedButton3Click(this);
    } else if (key == Qt::Key_Escape) {
        key = 0;
        close();
    }
}

void Tfcontardc::SpeedButton2Click(QObject*)
{
    close();
}

void Tfcontardc::FormClose(QObject*, CloseAction& action)
{
    m_posting->closeSets();
    action = CloseAction::Free;
}

bool Tfcontardc::event(QEvent* event)
{
    // The first activation, and only that one, runs FormActivate: focus
    // coming back from a message box or another application does not.
    if (event->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        const bool handled = QWidget::event(event);
        FormActivate(this);
        return handled;
    }
    return QWidget::event(event);
}

bool Tfcontardc::eventFilter(QObject* watched, QEvent* event)
{
    // A window manager activates a new window when it maps it. On an X
    // display that none serves (a bare Xvfb that a scheduler points DISPLAY
    // at) nothing would, and FormActivate, with it an unattended run, would
    // wait for a click forever. So once shown and exposed the window asks for
    // its first activation itself: a window manager grants it as it would
    // anyway, and without one the toolkit gives the window the input focus
    // directly, which is that activation.
    if (!m_activated && !m_activationAsked && event->type() == QEvent::Expose &&
        watched == static_cast<QObject*>(windowHandle()) && windowHandle()->isExposed() &&
        QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_activationAsked = true;
        activateWindow();
    }
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A key is seen once, at the control that has the focus (a key that
        // the control does not take travels on to its parents).
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
        if (widget && widget == target && widget->window() == this) {
            auto* keyEvent = static_cast<QKeyEvent*>(event);
            int key = keyEvent->key();
            FormKeyDown(this, key, keyEvent->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier));
            // A key the window acted on ends here. Once F2 or Esc has closed
            // the window there is no focus left, and the same event, passed
            // on to the parents, would reach the window as a key of its own
            // and run the handler a second time.
            if (key == 0)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Tfcontardc::closeEvent(QCloseEvent* event)
{
    // Stays open unless FormClose gets through.
    event->ignore();
    CloseAction action = CloseAction::Free;
    FormClose(this, action);
    if (action == CloseAction::None) {
        return;
    }
    event->accept();
    m_closed = true;
}
