// The program's start reduced to loading its window: tst_window_loader copies
// it into folders of its own beside stand-ins for the module and runs it.

#include "app/window_loader.h"

int main(int argc, char** argv)
{
    return runWindow(argc, argv);
}
