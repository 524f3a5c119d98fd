#include "convert_ui/RuleExamples.h"

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"

namespace {
CMacro Plain(const std::string& f, const std::string& r) { return CMacro(f, r, 1, 0, 0, 0, 0, 0, 0, 1); }
CMacro Wild(const std::string& f, const std::string& r) { return CMacro(f, r, 1, 1, 1, 0, 0, 0, 0, 1); }

std::string Apply(const CMacro& macro, const std::string& input) {
    CLibraryList list;
    CLibrary lib("examples");
    list.Append(lib);
    list.CurrentLibrary = 0;
    list.RunKind = 0;
    list.m_Run.nBatchStep = 0;
    list.m_Run.pConversionBreak = nullptr;
    list.m_Run.pBatchBreak = nullptr;
    CFindRepPreview preview;
    preview.Mode = "O";
    preview.NoInstances = 1;
    return CConversionEngine(list).ApplyOneMacroToText(input, macro, preview);
}
}  // namespace

const std::vector<RuleTopic>& RuleTopics() {
    static const std::vector<RuleTopic> topics = {
        {0, "Text Conversion Rules", -1, "Slide show for conversion rules.\r\n\r\nSelect a sub category.", 0},
        {1, "Find Replacement", 0, "Slide show for Find-Replace conversion rules.\r\n\r\nSelect a sub category.", 0},
        {101, "Basic rule", 1, nullptr, 1250},
        {102, "Multiline definition", 1, nullptr, 1251},
        {103, "Wild-card", 0, "Slide show for wild-card used in Find-Replace conversion.\r\n\r\nSelect a sub category.", 0},
        {1031, "Basic rule", 103, nullptr, 1252},
        {1032, "With line-break", 103, nullptr, 1253},
        {1033, "Singleton", 103, nullptr, 1254},
        {104, "Type-card", 0, "Slide show for type-card used in Find-Replace conversion.\r\n\r\nSelect a sub category.", 0},
        {1041, "Default values", 104, nullptr, 1259},
        {1042, "Line break", 104, nullptr, 1260},
        {1043, "Rearrange", 104, nullptr, 1261},
        {1044, "With wild-card", 104, nullptr, 1262},
        {1045, "Using qualifiers", 104, nullptr, 1263},
        {105, "Knobs", 0, "Slide show for knobs used in Find-Replace conversion.\r\n\r\nSelect a sub category.", 0},
        {1051, "Per-line search", 105, nullptr, 1255},
        {1052, "Compact construct", 105, nullptr, 1256},
        {1053, "Filter processed text", 105, nullptr, 1257},
        {1054, "Delimiter parse", 105, nullptr, 1258},
        {2, "Qualifiers", 0, "Slide show for qualifiers which are used in all three conversion schemes.\r\n\r\nSelect a sub category.", 0},
        {201, "Trim argument", 2, nullptr, 1264},
        {202, "Case argument", 2, nullptr, 1265},
        {203, "Clean argument", 2, nullptr, 1266},
        {204, "Align argument", 2, nullptr, 1267},
        {205, "Align argument (more)", 2, nullptr, 1268},
        {206, "Increment argument", 2, nullptr, 1269},
        {207, "Increment argument (more)", 2, nullptr, 1270},
    };
    return topics;
}

std::vector<RuleExample> BuildRuleExamples() {
    std::vector<RuleExample> ex;
    auto add = [&ex](int code, const std::string& title, const std::string& note, const CMacro& m,
                     const std::string& input) {
        RuleExample e;
        e.code = code;
        e.title = title;
        e.note = note;
        e.macro = m;
        e.input = input;
        e.output = Apply(m, input);
        ex.push_back(std::move(e));
    };
    auto knob = [&ex, &add](int code, const std::string& title, const std::string& note, CMacro m,
                            const std::string& input, unsigned char CMacro::*flag) {
        add(code, title, note, m, input);
        CMacro off = m;
        off.*flag = 0;
        ex.back().knob = title;
        ex.back().outputWithout = Apply(off, input);
    };
    add(101, "Basic rule", "Every instance of the Find text is replaced, left to right.",
        Plain("colour", "color"), "The colour of colours.");
    add(102, "Multiline definition", "A Find text may hold line breaks.",
        Plain("Dear Sir,\r\n", "Hello,\r\n"), "Dear Sir,\r\nThank you.");
    add(1031, "Wild-card", "The wild-card \"*\" stands for any text; \"*\" in Replace puts it back.",
        Wild("<*>", "[*]"), "a <b> c <dd>");
    add(1032, "Wild-card with line-break", "A wild-card also takes line breaks.",
        Wild("(*)", "(...)"), "call(a,\r\n  b);");
    add(1033, "Singleton", "A pattern of one literal piece and one wild-card.",
        Wild("x=*;", "x=0;"), "x=12; y=3;");
    add(1041, "Type-card: default values", "\"^d\" grabs one or more digits.",
        Wild("^d", "#"), "Room 101, floor 3");
    add(1042, "Type-card: line break", "\"^n\" grabs one or more line breaks, blanks and tabs between them.",
        Wild("^n", "\r\n"), "one\r\n\r\n  \r\ntwo");
    add(1043, "Type-card: rearrange", "Tags of type-card pieces put them in a new order.",
        Wild("^a, ^a", "<^a2> <^a1>"), "Doe, John");
    add(1044, "Type-card with wild-card", "Type-cards and wild-cards work together.",
        Wild("^d: *;", "<*1> (<^d1>);"), "12: apples; 7: pears;");
    add(1045, "Type-card using qualifiers", "A tag may change its piece, here to upper case.",
        Wild("^a=^d", "<^a1u>=<^d1>"), "width=80 height=25");
    knob(1051, "Per-line search", "With the knob, a wild-card never reaches over a line break.",
         CMacro("a*b", "X", 1, 1, 1, 1, 0, 0, 0, 1), "a1\r\nb2 a3b", &CMacro::IsPerLine);
    knob(1052, "Compact construct", "With the knob, every match shrinks to its shortest span.",
         CMacro("a*c", "X", 1, 1, 1, 0, 1, 0, 0, 1), "a a c", &CMacro::IsCompConst);
    knob(1053, "Filter processed text", "With the knob, only the replacements are kept, one a line.",
         CMacro("id=*;", "*", 1, 1, 1, 0, 0, 1, 0, 1), "x id=7; y id=9; z", &CMacro::IsSubFilter);
    knob(1054, "Delimiter parse", "With the knob, the text is searched token by token between the delimiters.",
         CMacro("a*b", "X", 1, 1, 1, 0, 0, 0, 1, 1), "a1 \"a2b\" b", &CMacro::IsDelimParse);
    add(201, "Trim argument", "A range after the piece number cuts the piece: \":2\" keeps two characters.",
        Wild("[*]", "<*1:2>"), "[hello] [world]");
    add(202, "Case argument", "\"u\" upper case, \"l\" lower case, \"p\" proper case.",
        Wild("name=*;", "<*1p>;"), "name=mixed CASE;");
    add(203, "Clean argument", "\"?a=b\" replaces a by b inside the piece.",
        Wild("date=*;", "<*1?-=/>;"), "date=2024-03-05;");
    add(204, "Align argument", "\"<a=10>\" pads with blanks up to column 10.",
        Wild("^a=^d", "<^a1><a=10>= <^d1>"), "x=1\r\nlonger=2");
    add(205, "Align argument (more)", "A fill character after \"?\" pads with it instead of blanks.",
        Wild("^a=^d", "<^a1><a=12?.><^d1>"), "pages=12\r\nindex=3");
    add(206, "Increment argument", "\"<i=1>\" numbers the matches from 1.",
        Wild("item", "item<i=1>"), "item item item");
    add(207, "Increment argument (more)", "\"?\" sets the step and \"#\" the width of the number.",
        Wild("row", "row<i=10?5#4>"), "row row row");
    return ex;
}
