// Golden cases of the text tools: each folder of tests/data/convert_ui holds
// input.txt (the Input text), action.txt (the tool and its options, one
// "key=value" per word) and expected.txt (the Output text). Files are kept
// with LF; the windows hand the tools CR LF texts, so both are turned into
// CR LF here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../support/TempDir.h"
#include "compare/TextAccess.h"
#include "model/Library.h"
#include "convert/Tabulate.h"
#include "convert/TextBuffer.h"
#include "convert/TextTools.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "model/WorkArea.h"

namespace fs = std::filesystem;

namespace {
std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<int> Ints(const std::string& list) {
    std::vector<int> out;
    std::stringstream s(list);
    for (std::string x; std::getline(s, x, ',');)
        if (!x.empty()) out.push_back(std::stoi(x));
    return out;
}

std::vector<std::string> Words(const std::string& list) {
    std::vector<std::string> out;
    std::stringstream s(list);
    for (std::string x; std::getline(s, x, ',');) out.push_back(x);
    return out;
}

// Runs the tool an action names on the Input text.
std::string RunAction(const std::string& action, const std::string& input) {
    std::stringstream words(action);
    std::string tool;
    words >> tool;
    std::map<std::string, std::string> opt;
    for (std::string w; words >> w;) {
        const auto eq = w.find('=');
        opt[w.substr(0, eq)] = eq == std::string::npos ? "1" : w.substr(eq + 1);
    }
    auto flag = [&](const char* k) { return opt.count(k) && opt[k] != "0"; };
    if (tool == "sort") return SortTextLines(input, flag("ascend"), flag("case"), flag("dups"));
    if (tool == "dups") return ClearDuplicateLines(input);
    if (tool == "frequency") return CountFrequency(input);
    if (tool == "lower" || tool == "upper") return ChangeCaseOfRange(input, 0, 0, tool == "upper");
    if (tool == "linebreaks") return ViewLineBreaks(input);
    if (tool == "multibreaks") {
        CLibraryList libs;
        libs.Append(CLibrary());
        return ClearMultiLineBreaks(libs, input);
    }
    if (tool == "tabs") {
        std::string t = input;
        ExpandTabs(t, std::stoi(opt["width"]));
        return t;
    }
    if (tool == "tabulate" || tool == "sql") {
        TabulateParams p;
        std::vector<int> starts;
        p.delimiter = opt.count("delim") ? opt["delim"] : GuessDelimiter(input.substr(0, input.find('\r')), "|", starts);
        p.columnStarts = starts;
        p.selectedColumns = Ints(opt["sel"]);
        p.whereColumns = Ints(opt["where"]);
        p.gutter = opt.count("gutter") ? std::stoi(opt["gutter"]) : 4;
        p.transpose = flag("transpose");
        p.columnNames = Words(opt["names"]);
        for (int q : Ints(opt["quote"])) p.quoteColumns.push_back(static_cast<unsigned char>(q));
        p.tableName = opt["table"];
        p.sqlMode = tool == "sql" ? std::stoi(opt["mode"]) : 0;
        return TabulateOrWriteSql(input, p);
    }
    if (tool == "buffer") {
        // The Input text into the buffer, dumped and loaded back.
        TempDir dir;
        const std::string old = g_strBufferTextDir;
        g_strBufferTextDir = dir.dir() + "BufferText/";
        g_TextBuffer.clear();
        TextBufferAdd(input);
        const std::string folder = DumpTextBufferToDisk(false);
        g_TextBuffer.clear();
        std::string written = ReadAll(fs::path(folder) / "Text-001.txt");
        LoadTextBufferFromDisk([](std::vector<std::string>& f) { return f; });
        const std::string back = g_TextBuffer.empty() ? std::string() : g_TextBuffer.front();
        g_TextBuffer.clear();
        g_nTextBufferIndex = -1;
        g_strBufferTextDir = old;
        // The file holds LF breaks; loading brings the CR LF text back.
        EXPECT_EQ(written.find('\r'), std::string::npos);
        return back;
    }
    ADD_FAILURE() << "unknown tool " << tool;
    return std::string();
}
}  // namespace

TEST(TextToolGolden, EveryCaseGivesItsExpectedOutput) {
    const fs::path root = fs::path(QVL_TEST_DATA) / "convert_ui";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (!entry.is_directory()) continue;
        const fs::path dir = entry.path();
        std::string action = ReadAll(dir / "action.txt");
        while (!action.empty() && (action.back() == '\n' || action.back() == '\r')) action.pop_back();
        const std::string input = ToCrLfText(ReadAll(dir / "input.txt"));
        const std::string expected = ToCrLfText(ReadAll(dir / "expected.txt"));
        EXPECT_EQ(RunAction(action, input), expected) << dir.filename() << ": " << action;
        ++cases;
    }
    EXPECT_GE(cases, 12);
}
