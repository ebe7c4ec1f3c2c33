#pragma once

#include <Rcpp.h>

#include <atomic>
#include <chrono>
#include <future>
#include <utility>

namespace fenlowick::rpackage {

/// True when the user has asked R to stop (Ctrl+C, Esc). The request is taken: the caller
/// must end the call with an interrupt of its own. Only on R's main thread.
bool interruptRequested();

/// Runs `work` on a thread of its own while R's main thread looks for an interrupt ten times
/// a second. On one it sets `cancel` (which the work polls), waits for the work to stop and
/// throws Rcpp's interrupt, which hands control back to R as an interrupt condition. An
/// exception of the work is thrown again here, where Rcpp turns it into an R error.
template <typename Work>
auto runInterruptibly(Work work, std::atomic<bool>& cancel) -> decltype(work()) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (interruptRequested()) {
            cancel.store(true);
            result.wait();
            throw Rcpp::internal::InterruptedException();
        }
    }
    return result.get();
}

} // namespace fenlowick::rpackage
