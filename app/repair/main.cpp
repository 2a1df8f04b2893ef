// plovik-repair: see plovik/repair_cli.h. This file only adapts the process to
// RunRepairCli: arguments as UTF-8, standard output as raw bytes, and the signals that
// stop a repair.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "console.h"
#include "plovik/avi_parser.h"
#include "plovik/repair_cli.h"
#include "plovik/trace.h"
#include "plovik/trace_sink.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

std::atomic<bool> g_stop = false;
std::atomic<bool> g_finished = false;

#ifdef _WIN32

// Ctrl+C, Ctrl+Break and closing the console ask the repair to stop; a second event ends
// the process at once. Windows ends the process when the handler of a close, log-off or
// shut-down returns, so that one waits a little for the repair to remove its temporary file.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (g_stop.exchange(true)) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int waited = 0; waited < 40 && !g_finished; ++waited) Sleep(100);
    }
    return TRUE;
}

void CatchStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else

// The first signal asks the repair to stop (it removes its temporary file); a second one
// ends the process at once.
extern "C" void OnStopSignal(int signal) {
    if (g_stop.exchange(true)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

// With SA_RESTART: a read or write the signal interrupts goes on, and the repair sees the
// flag at its next step, instead of taking the interruption for an I/O error. A signal
// the process was started ignoring (a background job's SIGINT) stays ignored.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        ::sigaction(signal, nullptr, &old);
        if (old.sa_handler != SIG_IGN) ::sigaction(signal, &action, nullptr);
    }
    // The repair fails cleanly, instead of the process being killed with its temporary file
    // left behind.
    plovik::FailWritesPastFileSizeLimit();
}
#endif

// The analyser's diagnostics go to the trace channel, where a receiver may listen.
void SendTraceToReceiver(const char* text) { plovik::TraceOut("%s", text); }

}  // namespace

int main(int argc, char** argv) {
    plovik::SetTraceSink(SendTraceToReceiver);
    plovik::UseBinaryStandardStreams();
    plovik::StdioOutput out(stdout);
    plovik::StdioOutput err(stderr);
    CatchStopSignals();
    const int status = plovik::RunRepairCli(
        plovik::Utf8Arguments(argc, argv),
        {.out = out, .err = err, .errIsTerminal = plovik::IsTerminal(stderr), .stop = &g_stop});
    g_finished = true;
    return status;
}
