#include "support/recordingsink.h"

#include <algorithm>

namespace fenlowick::test {

bool RecordingSink::write(std::string_view records) {
    ++writes;
    lines += static_cast<std::uint64_t>(std::count(records.begin(), records.end(), '\n'));
    if (cancelAtWrite != nullptr) {
        cancelAtWrite->store(true);
    } else if (keep) {
        text.append(records);
    }
    return !refuse;
}

} // namespace fenlowick::test
