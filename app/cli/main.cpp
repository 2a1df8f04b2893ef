// plovik-report: see plovik/cli.h. This file only adapts the process to RunReportCli:
// arguments as UTF-8, standard input and output as raw bytes, which streams are
// terminals, and the signals that end a run.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "console.h"
#include "plovik/avi_parser.h"
#include "plovik/cli.h"
#include "plovik/trace.h"
#include "plovik/trace_sink.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

// The analyser's diagnostics go to the trace channel, where a receiver may listen.
void SendTraceToReceiver(const char* text) { plovik::TraceOut("%s", text); }

// Records for a file or pipe leave in large writes; a terminal keeps its own buffering.
void BufferOutputUnlessTerminal() {
    static char buffer[64 * 1024];
    if (!plovik::IsTerminal(stdout)) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::atomic<bool> g_interrupted = false;
volatile std::sig_atomic_t g_signal = 0;

// The first SIGINT or SIGTERM asks the run to end after the record it is writing; a
// second one ends the process at once.
extern "C" void OnStopSignal(int signal) {
    if (g_interrupted.exchange(true)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
}

// A signal the process was started ignoring (a background job's SIGINT) stays ignored.
#ifdef _WIN32
void CatchStopSignals() {
    for (const int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnStopSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
}
#else
// Without SA_RESTART: a read of a name list or a write to a stalled pipe is interrupted
// instead of waiting on.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        ::sigaction(signal, nullptr, &old);
        if (old.sa_handler != SIG_IGN) ::sigaction(signal, &action, nullptr);
    }
}
#endif

// After a stop signal the process ends as that signal ends it, so that the shell knows.
int EndAsSignalled(int status) {
    if (g_signal == 0) return status;
    std::fflush(stdout);
    std::signal(g_signal, SIG_DFL);
    std::raise(g_signal);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    plovik::SetTraceSink(SendTraceToReceiver);
    plovik::UseBinaryStandardStreams();
    BufferOutputUnlessTerminal();
    plovik::StdioOutput out(stdout);
    plovik::StdioOutput err(stderr);
    plovik::StdioInput in(stdin);
    const plovik::CliStreams streams{.out = out,
                                     .err = err,
                                     .in = &in,
                                     .errIsTerminal = plovik::IsTerminal(stderr),
                                     .outIsTerminal = plovik::IsTerminal(stdout),
                                     .interrupted = &g_interrupted};
    CatchStopSignals();
    plovik::FailWritesPastFileSizeLimit();
    return EndAsSignalled(plovik::RunReportCli(plovik::Utf8Arguments(argc, argv), streams));
}
