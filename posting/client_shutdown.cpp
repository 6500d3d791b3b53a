#include "posting/client_shutdown.h"

#ifndef _WIN32
#include <csignal>
#include <initializer_list>
#include <unistd.h>

namespace {

extern "C" void onStopSignal(int)
{
    ::_exit(kStopExitCode);
}

} // namespace
#endif

void endOnStopRequest()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
#endif
}
