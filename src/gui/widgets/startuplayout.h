#pragma once

namespace fenlowick {

/// A window or control size in twips.
struct TwipsSize {
    int width = 0;
    int height = 0;
    bool operator==(const TwipsSize&) const = default;
};

/// The sizes the main window gives the graph window and the statistics viewer at start-up.
struct StartupSizes {
    TwipsSize graphWindow;
    TwipsSize graphPathLabel; ///< the graph window's path label, Label2
    TwipsSize graphChart;
    TwipsSize statsViewer;
    TwipsSize statsGrid;
    bool operator==(const StartupSizes&) const = default;
};

/// The largest screen the sizes follow: 1024 x 768 pixels at 15 twips per pixel. A screen
/// taller than this is treated as exactly this size, whatever its real width.
inline constexpr int kLargestLayoutWidthTwips = 15360;
inline constexpr int kLargestLayoutHeightTwips = 11520;

/// The start-up sizes for a screen of the given size in twips; fractions of a twip are
/// rounded to the nearest twip. The windows are centred on the real screen afterwards.
StartupSizes startupSizes(int screenWidthTwips, int screenHeightTwips);

} // namespace fenlowick
