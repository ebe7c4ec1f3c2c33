#include "cli/interruption.h"

#include <csignal>

namespace fenlowick {

namespace {

std::atomic<bool> g_interrupted{false};
volatile std::sig_atomic_t g_signal = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};

extern "C" void onInterrupt(int signal) {
    if (g_signal == 0) {
        g_signal = signal;
    }
    g_interrupted.store(true);
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

void restoreDefaultSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

const std::atomic<bool>& interruptFlag() {
    return g_interrupted;
}

int interruptSignal() {
    return g_signal;
}

int interruptExitCode() {
    return 128 + g_signal;
}

std::string interruptReason() {
    switch (g_signal) {
    case SIGINT:
        return "interrupted by Ctrl+C";
    case SIGTERM:
        return "stopped by SIGTERM";
    case SIGHUP:
        return "the terminal or session was closed (SIGHUP)";
    case SIGPIPE:
        return "the output pipe was closed (SIGPIPE)";
    case SIGXFSZ:
        return "the file-size limit was reached (SIGXFSZ)";
    default:
        return "interrupted";
    }
}

} // namespace fenlowick
