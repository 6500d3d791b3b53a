// Where the program looks for its window module: beside itself, or nowhere
// when it cannot tell where it is; and what it does with what it finds.

#include "app/window_loader.h"
#include "app/window_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kStubExitCode = 42; // loader_stub.cpp

// Copies `from` to `to`, executable.
bool place(const QString& from, const QString& to)
{
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestWindowLoader : public QObject {
    Q_OBJECT

private slots:
    void windowModuleLocation_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("failure");
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QByteArray>("refusal");

        const QByteArray refused = "contardc: cannot load the window: the program's own folder is unknown (";
        const QByteArray refusedEnd = "), and the window module is loaded from that folder only";
        const QByteArray beside;
        const QByteArray none;

        QTest::newRow("a folder") << beside << QByteArray("/opt/contardc/contardc") << none
                                  << QByteArray("/opt/contardc/libcontardc_window.so") << none;
        QTest::newRow("the root") << beside << QByteArray("/contardc") << none
                                  << QByteArray("/libcontardc_window.so") << none;
        QTest::newRow("a folder named with blanks and UTF-8")
            << beside << QByteArray("/home/ana/mis programas/contabilizaci\xC3\xB3n/contardc") << none
            << QByteArray("/home/ana/mis programas/contabilizaci\xC3\xB3n/libcontardc_window.so") << none;
        // A backslash is part of a name here, not a separator.
        QTest::newRow("a folder named with a backslash")
            << beside << QByteArray("/opt/a\\b/contardc") << none << QByteArray("/opt/a\\b/libcontardc_window.so")
            << none;
        // The program's file was replaced while it ran: the system names the
        // old one, in the same folder.
        QTest::newRow("the program replaced while it runs")
            << beside << QByteArray("/opt/contardc/contardc (deleted)") << none
            << QByteArray("/opt/contardc/libcontardc_window.so") << none;
        // The installed package's layout: /usr/bin and the library folder.
        QTest::newRow("a folder relative to the program's")
            << QByteArray("../lib/x86_64-linux-gnu/contardc") << QByteArray("/usr/bin/contardc") << none
            << QByteArray("/usr/bin/../lib/x86_64-linux-gnu/contardc/libcontardc_window.so") << none;
        QTest::newRow("a relative folder ending in a separator")
            << QByteArray("modules/") << QByteArray("/opt/contardc/contardc") << none
            << QByteArray("/opt/contardc/modules/libcontardc_window.so") << none;
        QTest::newRow("an absolute folder") << QByteArray("/usr/lib/contardc") << QByteArray("/usr/bin/contardc")
                                            << none << QByteArray("/usr/lib/contardc/libcontardc_window.so") << none;

        QTest::newRow("the system cannot tell")
            << beside << none << QByteArray("readlink /proc/self/exe: No such file or directory") << none
            << refused + "readlink /proc/self/exe: No such file or directory" + refusedEnd;
        QTest::newRow("a path longer than the bound")
            << beside << none << QByteArray("readlink /proc/self/exe: the path is longer than 65536 bytes")
            << none << refused + "readlink /proc/self/exe: the path is longer than 65536 bytes" + refusedEnd;
        // A name without a folder would be looked up by the library search,
        // and a relative one in the current folder: neither is the program's,
        // whatever folder the build names for the module.
        QTest::newRow("a bare file name") << beside << QByteArray("contardc") << none << none
                                          << refused + "the system names the program \"contardc\"" + refusedEnd;
        QTest::newRow("a relative path") << beside << QByteArray("bin/contardc") << none << none
                                         << refused + "the system names the program \"bin/contardc\"" + refusedEnd;
        QTest::newRow("a relative path, the module in a folder of its own")
            << QByteArray("../lib/contardc") << QByteArray("bin/contardc") << none << none
            << refused + "the system names the program \"bin/contardc\"" + refusedEnd;
        QTest::newRow("an empty path and no reason")
            << beside << none << none << none << refused + "the system names the program \"\"" + refusedEnd;
    }

    void windowModuleLocation()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, failure);
        QFETCH(QByteArray, module);
        QFETCH(QByteArray, refusal);
        const WindowModuleLocation location = ::windowModuleLocation({path.toStdString(), failure.toStdString()}, folder.toStdString());
        QCOMPARE(QByteArray::fromStdString(location.module), module);
        QCOMPARE(QByteArray::fromStdString(location.refusal), refusal);
    }

    // The loader in a program of its own, copied into a folder with a
    // stand-in as its module (or none). A module that would run is also in
    // the current folder and in LD_LIBRARY_PATH: only the one beside the
    // program may be taken.
    void runWindow_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("stub");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("reason");

        QTest::newRow("the module beside the program gets the arguments")
            << "programa" << LOADER_STUB_WINDOW << QStringList{"srv", "SYSDBA", "mi clave", "01"}
            << kStubExitCode << QByteArray("window\nsrv\nSYSDBA\nmi clave\n01\n") << QByteArray();
        QTest::newRow("a folder named with blanks and UTF-8")
            << QString::fromUtf8("mis programas contabilizaci\xC3\xB3n") << LOADER_STUB_WINDOW << QStringList()
            << kStubExitCode << QByteArray("window\n") << QByteArray();
        QTest::newRow("no module beside the program") << "programa" << QString() << QStringList() << 1
                                                      << QByteArray() << QByteArray("No such file or directory");
        QTest::newRow("a module without the entry") << "programa" << LOADER_STUB_NO_ENTRY << QStringList() << 1
                                                    << QByteArray() << QByteArray("undefined symbol: contardcWindowMain");
        // Bound whole as it loads: refused before its entry is called.
        QTest::newRow("a module whose own references cannot be bound")
            << "programa" << LOADER_STUB_UNBOUND << QStringList() << 1 << QByteArray()
            << QByteArray("undefined symbol: contardcNoSuchFunction");
    }

    void runWindow()
    {
        QFETCH(QString, folder);
        QFETCH(QString, stub);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, reason);

        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QDir root(scratch.path());
        QVERIFY(root.mkpath(folder) && root.mkpath(QStringLiteral("elsewhere")));
        const QString programFolder = root.filePath(folder);
        const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
        const QString moduleName = QString::fromLatin1(kWindowModuleName);
        const QString program = programFolder + QStringLiteral("/contardc");
        const QString module = programFolder + QLatin1Char('/') + moduleName;
        QVERIFY(place(QStringLiteral(LOADER_PROBE), program));
        if (!stub.isEmpty())
            QVERIFY(place(stub, module));
        QVERIFY(place(QStringLiteral(LOADER_STUB_WINDOW), elsewhere + QLatin1Char('/') + moduleName));

        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"), elsewhere);
        run.setProcessEnvironment(environment);
        run.setWorkingDirectory(elsewhere);
        run.start(program, arguments);
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        const QByteArray error = run.readAllStandardError();
        QCOMPARE(run.readAllStandardOutput(), output);
        QCOMPARE(run.exitCode(), exitCode);
        if (reason.isEmpty()) {
            QCOMPARE(error, QByteArray());
        } else {
            const QByteArray said = "contardc: cannot load the window from " + module.toUtf8() + ": ";
            QVERIFY2(error.startsWith(said) && error.endsWith('\n') && error.count('\n') == 1, error.constData());
            QVERIFY2(error.contains(reason), error.constData());
        }
    }

    // The running program's own path, whole and with its links resolved,
    // as the test was started with it.
    void programPathIsThisProgram()
    {
        const ProgramPath self = programPath();
        QCOMPARE(QByteArray::fromStdString(self.failure), QByteArray());
        const QString started = QFileInfo(QCoreApplication::arguments().constFirst()).canonicalFilePath();
        QVERIFY(!started.isEmpty());
        QCOMPARE(QString::fromStdString(self.path), started);
    }
};

QTEST_GUILESS_MAIN(TestWindowLoader)
#include "tst_window_loader.moc"
