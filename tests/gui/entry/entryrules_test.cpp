#include "gui/entry/entryrules.h"

#include "core/entry/entry.h"
#include "core/entry/messages.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace fenlowick {
namespace {

TEST(EntryRules, BoxKindFollowsTheTabIndexAndOnlyLabelsKeepTheirTextColourUnderFocus) {
    const struct {
        int firstTab, lastTab;
        BoxKind kind;
        bool focusColoursText;
    } ranges[] = {{0, 0, BoxKind::Title, true},      {1, 1, BoxKind::Increment, true},
                  {2, 2, BoxKind::Tolerance, true},  {3, 7, BoxKind::IsotopeLabel, false},
                  {8, 12, BoxKind::Mixture, true},   {13, 22, BoxKind::SourceLabel, false},
                  {23, 72, BoxKind::Signature, true}};
    for (const auto& r : ranges) {
        EXPECT_EQ(boxKindOfTab(r.firstTab), r.kind) << r.firstTab;
        EXPECT_EQ(boxKindOfTab(r.lastTab), r.kind) << r.lastTab;
        EXPECT_EQ(focusColoursText(r.kind), r.focusColoursText) << r.firstTab;
    }
    EXPECT_THROW(boxKindOfTab(-1), std::out_of_range);
    EXPECT_THROW(boxKindOfTab(73), std::out_of_range);
    // Where Enter and the letter boxes lead is checked by MainWindowTest.
    EXPECT_THROW(letterTarget(7), std::out_of_range);
}

TEST(EntryRules, LeaveCheckMessages) {
    const std::string range = "Please enter values between 1 and 100";
    const std::string numericRange = "Please enter only numeric values between 1 and 100";
    const std::string numeric = "Please enter only numeric values";
    const std::string numericBlank = "Please enter only numeric values ";
    const struct {
        std::vector<BoxKind> kinds;
        std::vector<const char*> texts;
        std::optional<std::string> message;
    } cases[] = {
        {{BoxKind::Increment}, {"", "1", "100", "50", "2.5", " 12 ", "1E2"}, std::nullopt},
        {{BoxKind::Increment}, {"0", "0.99", "100.01", "-5", "1E3"}, range},
        {{BoxKind::Increment}, {"abc", "12,5", "5%", " "}, numericRange},
        {{BoxKind::Tolerance}, {"", "-3", "1E-3", "0", ".5"}, std::nullopt},
        {{BoxKind::Tolerance}, {"x"}, numeric},
        // The message of mixtures and signatures ends with a blank.
        {{BoxKind::Mixture, BoxKind::Signature}, {"12,5a", "n.d."}, numericBlank},
        {{BoxKind::Mixture, BoxKind::Signature}, {"", "-21.35", "1E-3", "1000"}, std::nullopt},
        // Title and labels are never checked.
        {{BoxKind::Title, BoxKind::IsotopeLabel, BoxKind::SourceLabel},
         {"abc, \"x\" 12,5a"},
         std::nullopt},
    };
    for (const auto& c : cases) {
        for (BoxKind kind : c.kinds) {
            for (const char* text : c.texts) {
                EXPECT_EQ(leaveCheckMessage(kind, text), c.message)
                    << static_cast<int>(kind) << " [" << text << "]";
            }
        }
    }
}

TEST(EntryRules, TabIndexesMapOneToOneOntoTheDataFileFields) {
    std::set<int> seen;
    for (int tab = 0; tab < kEntryBoxCount; ++tab) {
        const int field = fieldIndexOfTab(tab);
        ASSERT_GE(field, 0);
        ASSERT_LT(field, kEntryFieldCount);
        seen.insert(field);
        // The object name is the box's name with the index after an underscore.
        std::string name = boxName(field);
        if (const auto open = name.find('('); open != std::string::npos) {
            name = name.substr(0, open) + "_" + name.substr(open + 1, name.size() - open - 2);
        }
        EXPECT_EQ(boxObjectName(tab), name) << tab;
    }
    EXPECT_EQ(seen.size(), 73u);
    for (const auto& [tab, field] : {std::pair{13, 13}, {14, 19}, {23, 14}, {33, 15}, {72, 72}}) {
        EXPECT_EQ(fieldIndexOfTab(tab), field) << tab;
    }
}

} // namespace
} // namespace fenlowick
