#pragma once

#include "core/engine/engine.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace fenlowick::test {

/// Keeps the records a search writes and counts the writes and the lines. Can count without
/// keeping (for searches whose records would not fit in memory), refuse every write, or set
/// a cancel flag at each write instead of keeping it.
class RecordingSink : public RecordSink {
public:
    bool write(std::string_view records) override;

    std::string text;
    int writes = 0;
    std::uint64_t lines = 0;
    bool keep = true;
    bool refuse = false;
    std::atomic<bool>* cancelAtWrite = nullptr;
};

} // namespace fenlowick::test
