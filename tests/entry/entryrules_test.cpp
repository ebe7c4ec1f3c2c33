#include "entry/entryrules.h"

#include "entry.h"
#include "messages.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace fenlowick {
namespace {

TEST(EntryRules, BoxKindFollowsTheTabIndex) {
    EXPECT_EQ(boxKindOfTab(0), BoxKind::Title);
    EXPECT_EQ(boxKindOfTab(1), BoxKind::Increment);
    EXPECT_EQ(boxKindOfTab(2), BoxKind::Tolerance);
    EXPECT_EQ(boxKindOfTab(3), BoxKind::IsotopeLabel);
    EXPECT_EQ(boxKindOfTab(7), BoxKind::IsotopeLabel);
    EXPECT_EQ(boxKindOfTab(8), BoxKind::Mixture);
    EXPECT_EQ(boxKindOfTab(12), BoxKind::Mixture);
    EXPECT_EQ(boxKindOfTab(13), BoxKind::SourceLabel);
    EXPECT_EQ(boxKindOfTab(22), BoxKind::SourceLabel);
    EXPECT_EQ(boxKindOfTab(23), BoxKind::Signature);
    EXPECT_EQ(boxKindOfTab(72), BoxKind::Signature);
    EXPECT_THROW(boxKindOfTab(-1), std::out_of_range);
    EXPECT_THROW(boxKindOfTab(73), std::out_of_range);
}

TEST(EntryRules, OnlyTheLabelsKeepTheirTextColourUnderFocus) {
    EXPECT_TRUE(focusColoursText(BoxKind::Title));
    EXPECT_TRUE(focusColoursText(BoxKind::Increment));
    EXPECT_TRUE(focusColoursText(BoxKind::Tolerance));
    EXPECT_TRUE(focusColoursText(BoxKind::Mixture));
    EXPECT_TRUE(focusColoursText(BoxKind::Signature));
    EXPECT_FALSE(focusColoursText(BoxKind::IsotopeLabel));
    EXPECT_FALSE(focusColoursText(BoxKind::SourceLabel));
}

TEST(EntryRules, IncrementAcceptsOneToHundredOrEmpty) {
    for (const char* text : {"", "1", "100", "50", "2.5", " 12 ", "1E2"}) {
        EXPECT_EQ(leaveCheckMessage(BoxKind::Increment, text), std::nullopt) << text;
    }
    for (const char* text : {"0", "0.99", "100.01", "-5", "1E3"}) {
        EXPECT_EQ(leaveCheckMessage(BoxKind::Increment, text),
                  std::string("Please enter values between 1 and 100"))
            << text;
    }
    for (const char* text : {"abc", "12,5", "5%", " "}) {
        EXPECT_EQ(leaveCheckMessage(BoxKind::Increment, text),
                  std::string("Please enter only numeric values between 1 and 100"))
            << text;
    }
}

TEST(EntryRules, ToleranceAcceptsAnyNumberOrEmpty) {
    for (const char* text : {"", "-3", "1E-3", "0", ".5"}) {
        EXPECT_EQ(leaveCheckMessage(BoxKind::Tolerance, text), std::nullopt) << text;
    }
    EXPECT_EQ(leaveCheckMessage(BoxKind::Tolerance, "x"),
              std::string("Please enter only numeric values"));
}

TEST(EntryRules, MixtureAndSignatureMessageEndsWithABlank) {
    for (BoxKind kind : {BoxKind::Mixture, BoxKind::Signature}) {
        EXPECT_EQ(leaveCheckMessage(kind, "12,5a"),
                  std::string("Please enter only numeric values "));
        EXPECT_EQ(leaveCheckMessage(kind, "n.d."),
                  std::string("Please enter only numeric values "));
        for (const char* text : {"", "-21.35", "1E-3", "1000"}) {
            EXPECT_EQ(leaveCheckMessage(kind, text), std::nullopt) << text;
        }
    }
}

TEST(EntryRules, TitleAndLabelsAreNeverChecked) {
    for (BoxKind kind : {BoxKind::Title, BoxKind::IsotopeLabel, BoxKind::SourceLabel}) {
        EXPECT_EQ(leaveCheckMessage(kind, "abc, \"x\" 12,5a"), std::nullopt);
    }
}

TEST(EntryRules, EnterMovesToTheNextTabIndexExceptFromTheLastBox) {
    EXPECT_EQ(enterTarget(0), 1);
    EXPECT_EQ(enterTarget(7), 8);
    EXPECT_EQ(enterTarget(22), 23);
    EXPECT_EQ(enterTarget(32), 33);
    EXPECT_EQ(enterTarget(71), 72);
    EXPECT_EQ(enterTarget(72), std::nullopt);
}

TEST(EntryRules, TopLetterLeadsToTitleAndTheOthersToTheLastBox) {
    EXPECT_EQ(letterTarget(0), 0);
    for (int letter = 1; letter < kLetterBoxCount; ++letter) {
        EXPECT_EQ(letterTarget(letter), 72);
    }
    EXPECT_THROW(letterTarget(7), std::out_of_range);
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
    EXPECT_EQ(boxObjectName(23), "Col0_0");
    EXPECT_EQ(boxObjectName(32), "Col0_9");
    EXPECT_EQ(boxObjectName(33), "Col1_0");
    EXPECT_EQ(boxObjectName(72), "Col4_9");
    EXPECT_EQ(boxObjectName(13), "Sources_0");
    EXPECT_EQ(fieldIndexOfTab(13), 13);
    EXPECT_EQ(fieldIndexOfTab(14), 19);
    EXPECT_EQ(fieldIndexOfTab(23), 14);
    EXPECT_EQ(fieldIndexOfTab(33), 15);
    EXPECT_EQ(fieldIndexOfTab(72), 72);
}

} // namespace
} // namespace fenlowick
