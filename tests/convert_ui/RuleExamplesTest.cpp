// The rules viewer's topics and the examples its pages show.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "convert_ui/RuleExamples.h"

TEST(RuleExamples, EveryLeafHasAnExampleThatChangesItsInput) {
    std::set<int> leaves, pictures;
    for (const RuleTopic& t : RuleTopics()) {
        if (t.page) {
            EXPECT_EQ(t.picture, 0) << t.code;
            continue;
        }
        leaves.insert(t.code);
        EXPECT_TRUE(pictures.insert(t.picture).second) << "picture used twice: " << t.picture;
    }
    EXPECT_EQ(RuleTopics().size(), 27u);
    EXPECT_EQ(leaves.size(), 21u);
    std::set<int> shown;
    for (const RuleExample& e : BuildRuleExamples()) {
        EXPECT_TRUE(leaves.count(e.code)) << e.code;
        EXPECT_TRUE(shown.insert(e.code).second) << e.code;
        EXPECT_NE(e.output, e.input) << e.title;
        // A knob's page shows what the knob changes.
        if (!e.knob.empty()) EXPECT_NE(e.output, e.outputWithout) << e.title;
    }
    EXPECT_EQ(shown, leaves);
}

TEST(RuleExamples, PagesShowWhatTheEngineDoes) {
    std::map<int, std::string> out;
    for (const RuleExample& e : BuildRuleExamples()) out[e.code] = e.output;
    EXPECT_EQ(out[101], "The color of colors.");
    EXPECT_EQ(out[1031], "a [b] c [dd]");
    EXPECT_EQ(out[1041], "Room #, floor #");
    EXPECT_EQ(out[1043], "John Doe");
    EXPECT_EQ(out[202], "Mixed case;");
    EXPECT_EQ(out[206], "item1 item2 item3");
}
