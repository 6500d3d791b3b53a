// Stand-ins for the window module, built as it is built
// (contardc_window_module), one per kind:
//   CONTARDC_STUB_WINDOW    the entry writes "window" and the arguments it was
//                           given, one a line, and returns kStubExitCode;
//   CONTARDC_STUB_NO_ENTRY  no entry, another function exported instead;
//   CONTARDC_STUB_UNBOUND   the entry calls a function no library defines.

#include "app/window_main.h"

#include <cstdio>

namespace {

constexpr int kStubExitCode = 42; // tst_window_loader.cpp

} // namespace

#ifdef CONTARDC_STUB_UNBOUND
extern "C" __attribute__((visibility("default"))) void contardcNoSuchFunction();
#endif

#ifdef CONTARDC_STUB_NO_ENTRY
extern "C" CONTARDC_WINDOW_EXPORT int contardcWindowMainElsewhere()
{
    return kStubExitCode;
}
#else
int contardcWindowMain(int argc, char** argv)
{
#ifdef CONTARDC_STUB_UNBOUND
    contardcNoSuchFunction();
#endif
    std::printf("window\n");
    for (int i = 1; i < argc; ++i)
        std::printf("%s\n", argv[i]);
    return kStubExitCode;
}
#endif
