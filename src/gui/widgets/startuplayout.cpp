#include "gui/widgets/startuplayout.h"

#include <cmath>

namespace fenlowick {

namespace {

TwipsSize scaled(double widthFactor, int width, double heightFactor, int height) {
    return {static_cast<int>(std::lround(widthFactor * width)),
            static_cast<int>(std::lround(heightFactor * height))};
}

} // namespace

StartupSizes startupSizes(int screenWidthTwips, int screenHeightTwips) {
    int w = screenWidthTwips;
    int h = screenHeightTwips;
    if (h > kLargestLayoutHeightTwips) {
        w = kLargestLayoutWidthTwips;
        h = kLargestLayoutHeightTwips;
    }
    StartupSizes sizes;
    sizes.graphWindow = scaled(1.0, w, 0.95, h);
    sizes.graphPathLabel = scaled(0.75, w, 0.02, h);
    sizes.graphChart = scaled(0.9, w, 0.85, h);
    sizes.statsViewer = scaled(0.95, w, 0.95, h);
    sizes.statsGrid = scaled(0.92, w, 0.85, h);
    return sizes;
}

} // namespace fenlowick
