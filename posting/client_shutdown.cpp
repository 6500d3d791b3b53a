#include "posting/client_shutdown.h"

#include "posting/firebird.h"

#include <atomic>

#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <ibase.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> g_stopped{false};

#ifndef _WIN32
int g_pipe[2] = {-1, -1};
bool g_registered = false;

// Runs on the client library's own shutdown thread. A posting commits only
// after its last row is read, so ending the process here, before the library
// waits on the running statement, leaves nothing half-posted: the server or
// the engine rolls the open transaction back. Waiting instead lets an
// embedded run finish its posting and the program go on as if no stop had
// been asked for.
int onClientShutdown(const int reason, const int, void*)
{
    if (reason == fb_shutrsn_signal && !g_stopped.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
        ::_exit(kStopExitCode);
    }
    return 0;
}
bool ensurePipe()
{
    return g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
}
#endif

} // namespace

void watchClientStopSignal()
{
#ifndef _WIN32
    if (g_registered)
        return;
    // The library the connections were made with; it is already loaded.
    void* library = dlopen(clientLibraryName().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return;
    using Register = ISC_STATUS (*)(ISC_STATUS*, FB_SHUTDOWN_CALLBACK, int, void*);
    const auto registerCallback = reinterpret_cast<Register>(dlsym(library, "fb_shutdown_callback"));
    dlclose(library);  // the attachment's own reference keeps it loaded
    if (!registerCallback)
        return;
    if (!ensurePipe())
        return;
    ISC_STATUS_ARRAY status{};
    // Before the connections are shut down, so that whatever fails because
    // of it already finds the stop known.
    registerCallback(status, onClientShutdown, fb_shut_preproviders, nullptr);
    g_registered = status[0] != 1 || status[1] == 0;
#endif
}

bool stopRequested()
{
    return g_stopped.load();
}

int stopNotifier()
{
#ifndef _WIN32
    return ensurePipe() ? g_pipe[0] : -1;
#else
    return -1;
#endif
}
