#pragma once

namespace fenlowick {

/// The sizes of the help browser that follow its window, in twips.
struct BrowserSizes {
    int addressWidth = 0; ///< the address box
    int paneWidth = 0;    ///< the page pane
    int paneHeight = 0;   ///< the page pane

    bool operator==(const BrowserSizes&) const = default;
};

/// The resize rule for an inner window size of `innerWidth` × `innerHeight` twips: when the
/// width exceeds 200, the address box and the pane become innerWidth − 100 wide; when the
/// height exceeds 2000, the pane becomes innerHeight − addressBarBottom − 100 high, where
/// addressBarBottom is the address bar's top plus its height. A size at or below its
/// threshold keeps the current values.
BrowserSizes followWindowSize(BrowserSizes current, int innerWidth, int innerHeight,
                              int addressBarBottom);

} // namespace fenlowick
