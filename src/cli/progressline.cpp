#include "cli/progressline.h"

#include <algorithm>
#include <cstdio>

namespace fenlowick {

double ProgressLine::secondsSinceStart() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void ProgressLine::observe(double fraction) {
    m_estimate.observe(fraction, secondsSinceStart());
}

std::string ProgressLine::timeLeft() const {
    return m_estimate.text(secondsSinceStart());
}

void ProgressLine::draw(const std::string& text, bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_last < std::chrono::milliseconds(100) && !force) {
        return;
    }
    m_last = now;
    // Padded to the longest line so far, so a shorter one leaves nothing behind.
    m_width = std::max(m_width, text.size());
    std::fprintf(stderr, "\r%-*s", static_cast<int>(m_width), text.c_str());
    std::fflush(stderr);
}

void ProgressLine::finish() {
    if (m_width > 0) {
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
        std::fflush(stderr);
    }
}

} // namespace fenlowick
