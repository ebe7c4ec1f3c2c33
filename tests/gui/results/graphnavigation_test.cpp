#include "gui/results/graphnavigation.h"

#include <gtest/gtest.h>

namespace fenlowick {
namespace {

TEST(GraphNavigation, NextAndPreviousStopAtTheEndsAndFollowThePosition) {
    using State = std::tuple<int, bool, bool, bool>; // current, Next, Previous, Print
    GraphNavigation nav;
    const auto state = [&] {
        return State{nav.current(), nav.nextEnabled(), nav.previousEnabled(), nav.printEnabled()};
    };
    EXPECT_EQ(state(), State(0, false, false, false));
    EXPECT_FALSE(nav.next());

    nav.loaded(3);
    EXPECT_EQ(state(), State(1, true, false, true));
    EXPECT_FALSE(nav.previous());
    EXPECT_TRUE(nav.next());
    EXPECT_EQ(state(), State(2, true, true, true));
    EXPECT_TRUE(nav.next());
    EXPECT_EQ(state(), State(3, false, true, true));
    EXPECT_FALSE(nav.next());
    EXPECT_EQ(state(), State(3, false, true, true));
    EXPECT_TRUE(nav.previous());
    EXPECT_TRUE(nav.previous());
    EXPECT_EQ(state(), State(1, true, false, true));

    // A failed Open: the enabled states stay, but nothing moves.
    EXPECT_TRUE(nav.next());
    nav.clear();
    EXPECT_EQ(state(), State(0, true, true, true));
    EXPECT_FALSE(nav.next());
    EXPECT_FALSE(nav.previous());
    EXPECT_EQ(nav.current(), 0);

    // Opening again always starts at the first source.
    nav.loaded(3);
    EXPECT_EQ(state(), State(1, true, false, true));
    nav.resetCommands();
    EXPECT_FALSE(nav.nextEnabled());
    EXPECT_FALSE(nav.printEnabled());
}

} // namespace
} // namespace fenlowick
