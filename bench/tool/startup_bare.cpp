// The smallest Qt Widgets program to compare the tool's start-up with: one
// empty window, shown. It ends only through the start-up probe preloaded into
// it (startup_probe), exactly as the tool does in the same measurement.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    return app.exec();
}
