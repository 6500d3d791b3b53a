#include "recording_messenger.h"
#include "fbtest.h"

#include "app/application.h"

#include "grid/custom_data_grid.h"
#include "posting/receipt_posting.h"
#include "ui/status_panel.h"
#include "text/error_text.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void errorBoxText_data();
    void errorBoxText();
    void messageBoxes_data();
    void messageBoxes();
    void captionsAndFonts();
    void bandsAtStoredSize();
    void bandsFollowResize_data();
    void bandsFollowResize();
    void controlPlaces_data();
    void controlPlaces();
    void firstState();
    void passwordShowsStars();
    void tabOrder();
    void keys_data();
    void keys();
    void closePaths_data();
    void closePaths();
    void errorInHandlerLeavesWindowWorking();
    void companyExitOnlyForControlsOfTheWindow();
    void activationRunsOnce();
    void centredOnDesktop();
    void serverListFromRegistry_data();
    void serverListFromRegistry();
    void successfulRunPostsOnce_data();
    void successfulRunPostsOnce();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::init()
{
    // No registry: every window shows the missing-key notice and an empty server list.
    qputenv("LEDGARA_HKLM", QFile::encodeName(m_dir.filePath(QStringLiteral("absent.reg"))));
}

void TestMainWindow::cleanup()
{
    qunsetenv("LEDGARA_HKLM");
}

void TestMainWindow::errorBoxText_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("letter gets a full stop") << QByteArray("Range check error") << QByteArray("Range check error.");
    QTest::newRow("full stop stays") << QByteArray("Done.") << QByteArray("Done.");
    QTest::newRow("question mark gets one") << QByteArray("Why?") << QByteArray("Why?.");
    QTest::newRow("exclamation stays") << QByteArray("Stop!") << QByteArray("Stop!");
    QTest::newRow("closing parenthesis stays") << QByteArray("(x)") << QByteArray("(x)");
    QTest::newRow("digit gets one") << QByteArray("code 15") << QByteArray("code 15.");
    QTest::newRow("colon gets one") << QByteArray("Error:") << QByteArray("Error:.");
    QTest::newRow("accented letter gets one") << QByteArray("Compa\xF1\xED") << QByteArray("Compa\xF1\xED.");
    QTest::newRow("line break stays") << QByteArray("one\n") << QByteArray("one\n");
    QTest::newRow("blank stays") << QByteArray("one ") << QByteArray("one ");
    QTest::newRow("empty stays empty") << QByteArray() << QByteArray();
}

void TestMainWindow::errorBoxText()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(::errorBoxText(message.toStdString())), shown);
}

// The two forms in which messages reach the user on the screen: a modal box
// captioned with the application's title, the program's single-byte text
// read as the characters it holds, one "OK"; the error with the stop icon.
void TestMainWindow::messageBoxes_data()
{
    QTest::addColumn<bool>("error");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("information message")
        << false << QByteArray("No se encontr\xF3 la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio")
        << QStringLiteral("No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio")
        << int(QMessageBox::NoIcon);
    QTest::newRow("error message") << true << QByteArray("Range check error") << QStringLiteral("Range check error.")
                                   << int(QMessageBox::Critical);
}

void TestMainWindow::messageBoxes()
{
    QFETCH(bool, error);
    QFETCH(QByteArray, message);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QString shownTitle;
    QString shownText;
    QStringList buttons;
    int shownIcon = -1;
    bool modal = false;
    // The box waits for the user: it is read, then answered, from the event
    // loop it runs.
    QTimer look;
    look.setInterval(20);
    QDeadlineTimer deadline(10000);
    connect(&look, &QTimer::timeout, this, [&] {
        QWidget* active = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(active);
        if (!box) {
            if (active && deadline.hasExpired())
                active->close();
            return;
        }
        look.stop();
        shownTitle = box->windowTitle();
        shownText = box->text();
        shownIcon = int(box->icon());
        modal = box->isModal();
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    look.start();
    if (error)
        reportError(message.toStdString());
    else
        messenger().information(message.toStdString());
    QVERIFY2(!look.isActive(), "no message box was shown");
    QCOMPARE(shownTitle, QStringLiteral("Contabilización ventas POS"));
    QCOMPARE(shownText, text);
    QCOMPARE(shownIcon, icon);
    QVERIFY(modal);
    QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
}

void TestMainWindow::captionsAndFonts()
{
    RecordingMessenger messages;
    Tfcontardc w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Contabilizar recibos"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Contabilización ventas POS"));
    // The title names the program; the window's own caption stays as it is,
    // with nothing of the title added by the toolkit.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowHandle()->title(), QStringLiteral("Contabilizar recibos"));
    QCOMPARE(TDataGrid::textHeight(w.font()), 13);
    QCOMPARE(w.Label2->text(), QStringLiteral("Este programa genera la contabilización de los recibos de caja sin "
                                              "contabilizar de la fecha indicada"));
    QCOMPARE(w.GroupBox1->title(), QStringLiteral("Origen:"));
    QCOMPARE(w.GroupBox2->title(), QStringLiteral("Parámetros "));
    QCOMPARE(w.Label5->text(), QStringLiteral("Servidor : "));
    QCOMPARE(w.Label8->text(), QStringLiteral("Usuario : "));
    QCOMPARE(w.Label9->text(), QStringLiteral("Clave : "));
    QCOMPARE(w.Label6->text(), QStringLiteral("Compañía:"));
    QCOMPARE(w.Label4->text(), QStringLiteral("Fecha:"));
    QCOMPARE(w.ckNiif->text(), QStringLiteral("NIIF"));
    QCOMPARE(w.SpeedButton3->text(), QStringLiteral("F2: Ejecutar"));
    QCOMPARE(w.SpeedButton2->text(), QStringLiteral("Esc: Cancelar"));
    QCOMPARE(w.Label11->text(), QStringLiteral("Rev:2026/05/25"));
    QCOMPARE(w.Panel5->caption(), QStringLiteral("Contabilizando facturas. espere un momento..."));
    // On Windows the designed faces first; elsewhere only the stand-ins,
    // which are what is drawn there.
#ifdef _WIN32
    const QStringList window{QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                             QStringLiteral("Liberation Sans")};
    const QStringList narrow{QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")};
#else
    const QStringList window{QStringLiteral("Liberation Sans")};
    const QStringList narrow{QStringLiteral("Liberation Sans Narrow")};
#endif
    QCOMPARE(w.font().families(), window);
    QCOMPARE(w.Panel5->font().families(), window);
    QCOMPARE(w.SpeedButton3->font().families(), narrow);
    QCOMPARE(w.Label11->font().families(), narrow);
    QCOMPARE(QFontInfo(w.font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(w.SpeedButton3->font()).family(), QStringLiteral("Liberation Sans Narrow"));
    QCOMPARE(w.Panel5->font().pixelSize(), 13);
    QCOMPARE(w.windowIcon().availableSizes().value(0), QSize(48, 48));
}

void TestMainWindow::bandsAtStoredSize()
{
    RecordingMessenger messages;
    Tfcontardc w;
    QCOMPARE(w.size(), QSize(358, 371));
    QCOMPARE(w.Panel2->geometry(), QRect(0, 0, 358, 57));
    QCOMPARE(w.GroupBox1->geometry(), QRect(0, 57, 358, 105));
    QCOMPARE(w.GroupBox2->geometry(), QRect(0, 162, 358, 74));
    QCOMPARE(w.Panel3->geometry(), QRect(0, 236, 358, 83));
    QCOMPARE(w.Panel1->geometry(), QRect(0, 319, 358, 52));
    QCOMPARE(w.DBGrid1->geometry(), QRect(1, 1, 356, 81));
    QCOMPARE(w.Panel5->geometry(), QRect(8, 188, 337, 41));
}

void TestMainWindow::bandsFollowResize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("taller") << QSize(358, 500);
    QTest::newRow("wider") << QSize(600, 371);
    QTest::newRow("maximised-like") << QSize(1024, 740);
}

void TestMainWindow::bandsFollowResize()
{
    QFETCH(QSize, size);
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(size);
    const int width = size.width();
    const int height = size.height();
    QCOMPARE(w.Panel2->geometry(), QRect(0, 0, width, 57));
    QCOMPARE(w.GroupBox1->geometry(), QRect(0, 57, width, 105));
    // Only the parameters band takes the extra height.
    QCOMPARE(w.GroupBox2->geometry(), QRect(0, 162, width, height - 162 - 83 - 52));
    QCOMPARE(w.Panel3->geometry(), QRect(0, height - 52 - 83, width, 83));
    QCOMPARE(w.Panel1->geometry(), QRect(0, height - 52, width, 52));
    QCOMPARE(w.DBGrid1->geometry(), QRect(1, 1, width - 2, 81));
    // Nothing else moves or stretches.
    QCOMPARE(w.Panel5->geometry(), QRect(8, 188, 337, 41));
    QCOMPARE(w.Cia->geometry(), QRect(76, 80, 45, 21));
    QCOMPARE(w.SpeedButton2->geometry(), QRect(213, 1, 65, 50));
}

void TestMainWindow::controlPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Label2") << "Label2" << "Panel2" << QRect(16, 6, 333, 49);
    QTest::newRow("Servidor") << "Servidor" << "GroupBox1" << QRect(76, 8, 141, 21);
    QTest::newRow("Tusua") << "Tusua" << "GroupBox1" << QRect(76, 32, 97, 21);
    QTest::newRow("TClave") << "TClave" << "GroupBox1" << QRect(76, 56, 97, 21);
    QTest::newRow("Cia") << "Cia" << "GroupBox1" << QRect(76, 80, 45, 21);
    QTest::newRow("EFecIni") << "EFecIni" << "GroupBox2" << QRect(48, 16, 89, 21);
    QTest::newRow("ckNiif") << "ckNiif" << "GroupBox2" << QRect(168, 20, 97, 17);
    QTest::newRow("SpeedButton3") << "SpeedButton3" << "Panel1" << QRect(37, 1, 65, 50);
    QTest::newRow("SpeedButton2") << "SpeedButton2" << "Panel1" << QRect(213, 1, 65, 50);
}

void TestMainWindow::controlPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    RecordingMessenger messages;
    Tfcontardc w;
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->geometry(), geometry);
}

void TestMainWindow::firstState()
{
    RecordingMessenger messages;
    Tfcontardc w;
    QVERIFY(!w.EFecIni->isEnabled());
    QCOMPARE(w.EFecIni->date(), QDate(2003, 1, 20));
    QVERIFY(!w.SpeedButton3->isEnabled());
    QVERIFY(w.SpeedButton2->isEnabled());
    QVERIFY(!w.DBGrid1->isEnabled());
    QVERIFY(!w.ckNiif->isChecked());
    QVERIFY(w.Panel5->isHidden());
    QVERIFY(w.Tusua->text().isEmpty() && w.TClave->text().isEmpty() && w.Cia->text().isEmpty());
    // No registry: the notice was shown once, and the list is empty with nothing selected.
    QCOMPARE(messages.informations.size(), std::size_t(1));
    QCOMPARE(messages.informations[0],
             std::string("No se encontr\xF3 la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio"));
    QCOMPARE(w.Servidor->count(), 0);
    QCOMPARE(w.Servidor->currentIndex(), -1);
    QVERIFY(w.Servidor->serverText().isEmpty());
    QVERIFY(!w.Servidor->isEditable());
    // The status panel lies above the parameters band.
    QVERIFY(w.children().indexOf(w.Panel5) > w.children().indexOf(w.GroupBox2));
    QCOMPARE(w.SpeedButton3->focusPolicy(), Qt::NoFocus);
    QCOMPARE(w.SpeedButton2->focusPolicy(), Qt::NoFocus);
}

void TestMainWindow::passwordShowsStars()
{
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.TClave->setText(QStringLiteral("secret"));
    QCOMPARE(w.TClave->displayText(), QStringLiteral("******"));
    QCOMPARE(w.TClave->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, w.TClave), int('*'));
}

static QStringList tabCycle(int steps)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        names << QApplication::focusWidget()->objectName();
    }
    return names;
}

void TestMainWindow::tabOrder()
{
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Servidor));
    // Leaving the company box tries a connection; with empty fields it does nothing.
    QCOMPARE(tabCycle(5), (QStringList{"Tusua", "TClave", "Cia", "ckNiif", "Servidor"}));
    w.EFecIni->setEnabled(true);
    QCOMPARE(tabCycle(6), (QStringList{"Tusua", "TClave", "Cia", "EFecIni", "ckNiif", "Servidor"}));
    QVERIFY(messages.errors.empty());
}

void TestMainWindow::keys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("posts");
    QTest::addColumn<bool>("closes");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("F2 in server list") << "Servidor" << int(Qt::Key_F2) << int(none) << true << false;
    QTest::newRow("F2 in company box") << "Cia" << int(Qt::Key_F2) << int(none) << true << false;
    QTest::newRow("F2 in NIIF box") << "ckNiif" << int(Qt::Key_F2) << int(none) << true << false;
    QTest::newRow("Shift+F2") << "Cia" << int(Qt::Key_F2) << int(Qt::ShiftModifier) << false << false;
    QTest::newRow("Ctrl+F2") << "Tusua" << int(Qt::Key_F2) << int(Qt::ControlModifier) << false << false;
    QTest::newRow("Alt+F2") << "Tusua" << int(Qt::Key_F2) << int(Qt::AltModifier) << false << false;
    QTest::newRow("Esc in server list") << "Servidor" << int(Qt::Key_Escape) << int(none) << false << true;
    QTest::newRow("Esc in password box") << "TClave" << int(Qt::Key_Escape) << int(none) << false << true;
    QTest::newRow("Esc in NIIF box") << "ckNiif" << int(Qt::Key_Escape) << int(none) << false << true;
    QTest::newRow("Shift+Esc") << "Cia" << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << false << false;
    QTest::newRow("Ctrl+Esc") << "Cia" << int(Qt::Key_Escape) << int(Qt::ControlModifier) << false << false;
    QTest::newRow("Alt+Esc") << "Cia" << int(Qt::Key_Escape) << int(Qt::AltModifier) << false << false;
    QTest::newRow("other key") << "Tusua" << int(Qt::Key_A) << int(none) << false << false;
}

void TestMainWindow::keys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, posts);
    QFETCH(bool, closes);
    RecordingMessenger messages;
    messages.informations.clear();
    Tfcontardc w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* target = w.findChild<QWidget*>(focus);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    // A posting run before any connection uses the stored database, which is
    // not there: its failure shows, with the status panel left up.
    QCOMPARE(!messages.errors.empty(), posts);
    QCOMPARE(w.Panel5->isVisible(), posts);
    QCOMPARE(w.closed(), closes);
    QCOMPARE(w.isVisible(), !closes);
    if (posts) // F2 does not move the focus, so the company box is not left.
        QCOMPARE(QApplication::focusWidget(), target);
}

void TestMainWindow::closePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Esc") << "esc";
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("window frame") << "frame";
}

void TestMainWindow::closePaths()
{
    QFETCH(QString, path);
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (path == QLatin1String("esc")) {
        w.Tusua->setFocus();
        QTest::keyClick(w.Tusua, Qt::Key_Escape);
    }
    else if (path == QLatin1String("cancel"))
        QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
    else
        w.close();
    QVERIFY(w.closed());
    QVERIFY(!w.isVisible());
    QVERIFY(!w.posting().receipts().dataSet()->active());
    QVERIFY(!w.posting().pointsOfSale().active());
    QVERIFY(messages.errors.empty());
}

void TestMainWindow::errorInHandlerLeavesWindowWorking()
{
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // The execute button is disabled, but F2 runs the posting run all the same;
    // the stored database cannot be opened here.
    QTest::keyClick(w.Servidor, Qt::Key_F2);
    QCOMPARE(messages.errors.size(), std::size_t(1));
    QVERIFY(!messages.errors[0].empty());
    QVERIFY(w.isVisible());
    QVERIFY(!w.posting().receipts().dataSet()->active());
    // The window still answers: a second run fails the same way, Esc closes.
    QTest::keyClick(w.Servidor, Qt::Key_F2);
    QCOMPARE(messages.errors.size(), std::size_t(2));
    QTest::keyClick(w.Servidor, Qt::Key_Escape);
    QVERIFY(w.closed());
}

void TestMainWindow::companyExitOnlyForControlsOfTheWindow()
{
    RecordingMessenger messages;
    Tfcontardc w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Servidor->setServerText(m_dir.filePath(QStringLiteral("nowhere")));
    w.Tusua->setText(QStringLiteral("SYSDBA"));
    w.TClave->setText(QStringLiteral("secreto"));
    w.Cia->setText(QStringLiteral("01"));
    w.Cia->setFocus();

    // Another top-level window taking the focus is not leaving the company box.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(messages.errors.empty());
    QVERIFY(w.Panel5->isHidden());

    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Cia));
    QTest::keyClick(w.Cia, Qt::Key_Tab);
    // The connection step ran: its caption is up, and its failure was shown.
    QVERIFY(w.Panel5->isVisible());
    QCOMPARE(w.Panel5->caption(), QStringLiteral("Conectando a la base de datos 01 ..."));
    QCOMPARE(messages.errors.size(), std::size_t(1));
    QVERIFY(messages.errors[0].find("secreto") == std::string::npos);
    QVERIFY(!w.EFecIni->isEnabled());
    QVERIFY(!w.SpeedButton3->isEnabled());
}

void TestMainWindow::activationRunsOnce()
{
    RecordingMessenger messages;
    // Five arguments that cannot connect: the unattended run fails once and is not tried again.
    Tfcontardc w({m_dir.filePath(QStringLiteral("nowhere")).toStdString(), "SYSDBA", "clave", "01", "S"});
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_COMPARE(messages.errors.size(), std::size_t(1));
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(messages.errors.size(), std::size_t(1));
    QVERIFY(w.isVisible());
}

void TestMainWindow::centredOnDesktop()
{
    RecordingMessenger messages;
    Tfcontardc w;
    w.centreOnDesktop();
    QRect desktop;
    for (QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    QCOMPARE(w.pos(), QPoint(std::max(0, (desktop.width() - 374) / 2), std::max(0, (desktop.height() - 410) / 2)));
}

void TestMainWindow::serverListFromRegistry_data()
{
    QTest::addColumn<QByteArray>("value");     // the "Directorio" line; "" for none
    QTest::addColumn<QByteArray>("file");      // SERVIDORES.cfg, absent when null
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("error");
    const QByteArray dir = "\"%DIR%\"";
    QTest::newRow("two servers, first selected") << dir << QByteArray("srv1\r\nsrv2\r\n") << QStringList{"srv1", "srv2"} << "";
    QTest::newRow("last line without end dropped") << dir << QByteArray("srv1\r\nsrv2") << QStringList{"srv1"} << "";
    QTest::newRow("no file") << dir << QByteArray() << QStringList{} << "";
    QTest::newRow("line too long") << dir << QByteArray("srv1\r\n" + QByteArray(300, 'x') + "\r\n") << QStringList{}
                                   << "Range check error.";
    QTest::newRow("value of the wrong type") << QByteArray("dword:00000001") << QByteArray("srv1\r\n") << QStringList{}
                                             << "Invalid data type for 'Directorio'";  // a quote takes no full stop
    QTest::newRow("no value") << QByteArray() << QByteArray("srv1\r\n") << QStringList{} << "";
    // The ERP's code page, the same one the grid reads its rows in.
    QTest::newRow("Windows-1252 bytes") << dir << QByteArray("\x80 srv\r\nsrv\x96\xF1\r\n")
                                        << QStringList{"\u20AC srv", "srv\u2013\u00F1"} << "";
}

void TestMainWindow::serverListFromRegistry()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entries);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QByteArray install = dir.filePath("erp").toUtf8();
    QDir().mkpath(QString::fromUtf8(install));
    if (!file.isNull()) {
        QFile list(QString::fromUtf8(install) + "/SERVIDORES.cfg");
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(file);
    }
    QFile reg(dir.filePath("hklm.reg"));
    QVERIFY(reg.open(QIODevice::WriteOnly));
    reg.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n");
    if (!value.isEmpty())
        reg.write("\"Directorio\"=" + QByteArray(value).replace("%DIR%", install) + "\r\n");
    reg.close();
    qputenv("LEDGARA_HKLM", QFile::encodeName(dir.filePath("hklm.reg")));

    RecordingMessenger messages;
    Tfcontardc w;
    QStringList items;
    for (int i = 0; i < w.Servidor->count(); ++i)
        items << w.Servidor->itemText(i);
    QCOMPARE(items, entries);
    QCOMPARE(w.Servidor->currentIndex(), entries.isEmpty() ? -1 : 0);
    QCOMPARE(w.Servidor->serverText(), entries.value(0));
    QCOMPARE(messages.errors.size(), error.isEmpty() ? std::size_t(0) : std::size_t(1));
    if (!error.isEmpty())
        QCOMPARE(QString::fromStdString(messages.errors[0]), error);
    QVERIFY(messages.informations.empty());
}

// A company database where every receipt can be posted: after one run there
// is nothing left, so a second call of the procedure would say so.
void TestMainWindow::successfulRunPostsOnce_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("F2 in the date picker") << "f2";
    QTest::newRow("F2 in the company box") << "f2-in-company";
    QTest::newRow("execute button") << "button";
}

void TestMainWindow::successfulRunPostsOnce()
{
    QFETCH(QString, start);
    // The program's text is single-byte: a folder named in plain ASCII, not
    // after the test's application name.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/contardc-ui-XXXXXX"));
    // The engine's lock folder is FIREBIRD_LOCK as the test process started
    // with it (ctest gives one of the build's own): the engine keeps the folder
    // it found when the process first loaded it, so one set here would not
    // reach it. The isql runs inherit the same.
    const QString password = QStringLiteral("ui-pw");
    const fbtest::Company company = fbtest::makeCompany(dir.filePath("posts-" + start), password);
    QCOMPARE(company.error, QString());
    const QString server = company.server;
    const QString database = company.database;
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and "
                                 "COMP_ID is null";
    QVERIFY(fbtest::scalar(database.toStdString(), password.toStdString(), unposted) != "0");

    RecordingMessenger messages;
    Tfcontardc w;
    messages.informations.clear();  // the registry key is absent here
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Servidor->setServerText(server);
    w.Tusua->setText(QStringLiteral("SYSDBA"));
    w.TClave->setText(password);
    w.Cia->setText(QStringLiteral("01"));
    w.Cia->setFocus();
    QTest::keyClick(w.Cia, Qt::Key_Tab);  // leaving the company box connects
    QVERIFY2(messages.errors.empty(), messages.errors.empty() ? "" : messages.errors[0].c_str());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.EFecIni));
    QVERIFY(w.SpeedButton3->isEnabled());
    if (start == QLatin1String("f2")) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    } else if (start == QLatin1String("f2-in-company")) {
        w.Cia->setFocus();
        QTest::keyClick(w.Cia, Qt::Key_F2);
    } else {
        QTest::mouseClick(w.SpeedButton3, Qt::LeftButton);
    }
    QVERIFY(w.closed());
    QVERIFY(messages.errors.empty());
    // Called twice, the procedure would have found nothing left the second
    // time, and said so.
    QCOMPARE(messages.informations, std::vector<std::string>{});
    QCOMPARE(fbtest::scalar(database.toStdString(), password.toStdString(), unposted), QStringLiteral("0"));
}

int main(int argc, char** argv)
{
    // The program's own application object: errors escaping a handler are shown by it.
    ContardcApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_main_window.moc"
