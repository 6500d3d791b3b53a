// The application icon's files (packaging/icon): the Windows program's icon
// resource, the .deb's menu icon. They hold the picture the window draws for
// itself, and are checked against it here so that the two never part.
// CONTARDC_WRITE_ICON=1 writes them anew from the picture instead.
#include "ui/button_art.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QtTest>

namespace {

QString iconFolder()
{
    return qEnvironmentVariable("CONTARDC_SOURCE_DIR", QStringLiteral(CONTARDC_SOURCE_DIR_FALLBACK)) +
           QStringLiteral("/packaging/icon/");
}

bool samePixels(const QImage& a, const QImage& b)
{
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestAppIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("CONTARDC_WRITE_ICON") != QLatin1String("1"))
            return;
        const QImage icon = applicationIconImage();
        for (const char* format : {"png", "ico"}) {
            QImageWriter writer(iconFolder() + QStringLiteral("contardc.") + QLatin1String(format), format);
            QVERIFY2(writer.write(icon), qPrintable(writer.errorString()));
        }
    }

    void filesHoldTheWindowsIcon_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("png") << QStringLiteral("contardc.png");
        QTest::newRow("ico") << QStringLiteral("contardc.ico");
    }

    void filesHoldTheWindowsIcon()
    {
        QFETCH(QString, file);
        QImageReader reader(iconFolder() + file);
        const QImage stored = reader.read();
        QVERIFY2(!stored.isNull(), qPrintable(iconFolder() + file + QStringLiteral(": ") + reader.errorString()));
        QCOMPARE(stored.size(), QSize(48, 48));
        QVERIFY2(stored.hasAlphaChannel(), "the icon's corners must stay transparent");
        QVERIFY2(samePixels(stored, applicationIconImage()),
                 "the file differs from the picture the window draws; run the test with CONTARDC_WRITE_ICON=1");
    }
};

QTEST_MAIN(TestAppIcon)
#include "tst_app_icon.moc"
