#pragma once

#include <functional>
#include <string>

namespace fenlowick {

/// The date and the time of day as the texts written into result files and messages.
struct DateTimeTexts {
    std::string date;
    std::string time;
};

using Clock = std::function<DateTimeTexts()>;

/// Now, in the short date and long time formats of the C library's current locale.
DateTimeTexts currentDateTime();

} // namespace fenlowick
