// The topics of the Text Conversion Rules viewer and the worked example each
// leaf topic shows: a macro, an input text and the output the engine gives.
#pragma once

#include <string>
#include <vector>

#include "model/Library.h"

struct RuleTopic {
    int code;
    const char* text;
    int parent;        // -1 for the root
    const char* page;  // the text of an inner topic; nullptr for a leaf
    int picture;       // the page id of a leaf (1250-1270); 0 for an inner topic
};

// The topic tree in insertion order.
const std::vector<RuleTopic>& RuleTopics();

struct RuleExample {
    int code = 0;             // the leaf topic
    std::string title;
    std::string note;         // one sentence on what the example shows
    CMacro macro;
    std::string input;
    std::string output;       // the engine's result
    std::string knob;         // a knob example: the knob's name
    std::string outputWithout;  // ... and the result with the knob off
};

// Every leaf's example, with outputs computed by the engine (on a default
// library of the given wild-card symbol).
std::vector<RuleExample> BuildRuleExamples();
