// Reads every #include "..." of src/ and checks it against the rooms of the
// source and the directions they may include in. A new include that goes
// the wrong way (the model reaching into an engine, a dialog into app/)
// fails here, naming the file and the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The rooms, bottom up; a room includes its own and those below it:
//   platform <- model <- engines <- widgets <- ui <- app <- main
// platform: the system (processes, signals, locks, the prompter interface)
// model:    the stored data and its files
// engines:  convert, compare, remote, filelist, settings, convert_ui (no Qt)
// widgets:  the window pieces several dialogs share
// ui:       the dialogs of a subsystem, src/<engine>/ui/
// app:      the main window, menus and command groups
// main:     src/main.cpp, which picks the command-line road or the window
const std::vector<std::string> kRooms = {"platform", "model",  "engines", "widgets",
                                         "ui",       "app",    "main"};

const std::set<std::string> kEngines = {"convert",  "compare",  "remote",
                                        "filelist", "settings", "convert_ui"};

// Engines and the ui/ folders of engines do not include one another, except
// these (from, to). Adding files to the file list scans remote folders and
// checks the transfer rules.
const std::set<std::pair<std::string, std::string>> kSideways = {
    {"convert", "compare"},        {"convert", "remote"},         {"filelist", "compare"},
    {"filelist", "remote"},        {"convert_ui", "convert"},
    {"compare/ui", "convert_ui/ui"}, {"remote/ui", "filelist/ui"},
};

struct Place {
    std::string room;    // one of kRooms, "" when unknown
    std::string folder;  // the engine, or "<engine>/ui", for sideways checks
};

// Where a path below src/ ("remote/ui/SelectHostDlg.h") lives.
Place PlaceOf(const std::string& path) {
    if (path == "main.cpp") return {"main", "main"};
    const auto slash = path.find('/');
    if (slash == std::string::npos) return {};
    const std::string top = path.substr(0, slash);
    const std::string rest = path.substr(slash + 1);
    if (kEngines.count(top)) {
        if (rest.rfind("ui/", 0) == 0) return {"ui", top + "/ui"};
        return {"engines", top};
    }
    for (const auto& room : kRooms)
        if (room == top && room != "engines" && room != "ui") return {room, top};
    return {};
}

int Rank(const std::string& room) {
    for (size_t i = 0; i < kRooms.size(); ++i)
        if (kRooms[i] == room) return static_cast<int>(i);
    return -1;
}

// Empty when the include may stand, else why not.
std::string Judge(const std::string& file, const std::string& included) {
    const Place from = PlaceOf(file);
    const Place to = PlaceOf(included);
    if (from.room.empty()) return "the file lies in no room";
    if (to.room.empty()) return "the included file lies in no room";
    if (from.folder == to.folder) return "";
    const int rf = Rank(from.room), rt = Rank(to.room);
    if (rt < rf) return "";
    if (rt == rf && (from.room == "engines" || from.room == "ui")) {
        if (kSideways.count({from.folder, to.folder})) return "";
        return from.folder + " may not include " + to.folder;
    }
    if (rt == rf) return "";
    return from.room + " may not include " + to.room;
}

}  // namespace

TEST(IncludeDirections, TheTableJudgesAsDrawn) {
    EXPECT_EQ(Judge("model/ProgramData.h", "platform/Prompter.h"), "");
    EXPECT_NE(Judge("model/ProgramData.h", "convert/TextTools.h"), "");
    EXPECT_NE(Judge("platform/Spawn.cpp", "model/Trace.h"), "");
    EXPECT_EQ(Judge("remote/ui/SelectHostDlg.cpp", "widgets/Icons.h"), "");
    EXPECT_NE(Judge("widgets/Icons.cpp", "remote/ui/SelectHostDlg.h"), "");
    EXPECT_NE(Judge("filelist/ui/ReportDlg.cpp", "app/MainFrame.h"), "");
    EXPECT_EQ(Judge("main.cpp", "app/QuorvellianApp.h"), "");
    EXPECT_NE(Judge("compare/TextDiff.cpp", "convert/TextTools.h"), "");
    EXPECT_EQ(Judge("convert/Engine.cpp", "compare/TextDiff.h"), "");
    EXPECT_NE(Judge("settings/ui/ProgramOptionsDlg.cpp", "remote/ui/SelectHostDlg.h"), "");
    EXPECT_NE(Judge("newroom/Thing.cpp", "model/Trace.h"), "");
    EXPECT_NE(Judge("remote/TransferEngine.cpp", "filelist/AddFileItems.h"), "");
    // No two folders use each other sideways.
    for (const auto& [a, b] : kSideways)
        for (const auto& [c, d] : kSideways) EXPECT_FALSE(b == c && d == a) << a << " and " << b;
}

TEST(IncludeDirections, EveryIncludeOfTheSourceGoesDown) {
    const fs::path src = fs::path(QVL_SOURCE_DIR) / "src";
    const std::regex include(R"(^\s*#\s*include\s*\"([^\"]+)\")");
    int files = 0;
    std::vector<std::string> wrong;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        ++files;
        const std::string file = fs::relative(entry.path(), src).generic_string();
        std::ifstream in(entry.path());
        std::string line;
        int lineNo = 0;
        while (std::getline(in, line)) {
            ++lineNo;
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            std::string included = m[1];
            // A name without a folder is a neighbour in the same folder.
            if (included.find('/') == std::string::npos) {
                const auto dir = fs::path(file).parent_path().generic_string();
                included = dir.empty() ? included : dir + "/" + included;
            }
            const std::string why = Judge(file, included);
            if (!why.empty())
                wrong.push_back(file + ":" + std::to_string(lineNo) + ": " + m[1].str() + " (" +
                                why + ")");
        }
    }
    EXPECT_GT(files, 100);
    std::string report;
    for (const auto& w : wrong) report += w + "\n";
    EXPECT_TRUE(wrong.empty()) << report;
}
