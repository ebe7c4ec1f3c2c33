#pragma once

class QPrinter;

namespace fenlowick {

/// Sets the printer's margins to at least half an inch, and never below the least the
/// printer can print, for every printout of the program's windows.
void keepPrintableMargins(QPrinter& printer);

} // namespace fenlowick
