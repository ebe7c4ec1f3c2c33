#include "gui/help/browsersizes.h"

namespace fenlowick {

BrowserSizes followWindowSize(BrowserSizes current, int innerWidth, int innerHeight,
                              int addressBarBottom) {
    BrowserSizes sizes = current;
    if (innerWidth > 200) {
        sizes.addressWidth = innerWidth - 100;
        sizes.paneWidth = innerWidth - 100;
    }
    if (innerHeight > 2000) {
        sizes.paneHeight = innerHeight - addressBarBottom - 100;
    }
    return sizes;
}

} // namespace fenlowick
