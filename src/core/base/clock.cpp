#include "core/base/clock.h"

#include <array>
#include <ctime>

namespace fenlowick {

DateTimeTexts currentDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 128> date{};
    std::array<char, 128> time{};
    const std::size_t dateLength = std::strftime(date.data(), date.size(), "%x", &local);
    const std::size_t timeLength = std::strftime(time.data(), time.size(), "%X", &local);
    return {std::string(date.data(), dateLength), std::string(time.data(), timeLength)};
}

} // namespace fenlowick
