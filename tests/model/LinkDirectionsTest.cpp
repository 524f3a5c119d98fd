// The include check sees only what a file includes; a function declared in
// a model header can still be defined in an engine, and the model then
// calls up into it at link time. Here the symbol tables of the core's
// objects are read with nm: what an object of model/ or platform/ leaves
// undefined must not be defined in an object of a room above it (model/
// may use platform/, platform/ only itself), and no member of a class of
// model/ or platform/ may be defined above them.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The folder below src/ of an object ("model" for
// ".../qvl_core.dir/src/model/Trace.cpp.o").
std::string FolderOf(const std::string& object) {
    const auto src = object.rfind("/src/");
    if (src == std::string::npos) return "";
    const auto slash = object.find('/', src + 5);
    return slash == std::string::npos ? "" : object.substr(src + 5, slash - src - 5);
}

// The class (or namespace) a mangled name belongs to: "CLibraryList" for
// "_ZNK12CLibraryList8GetCountEv"; "" for a free function or one of the
// standard library or of an unnamed namespace.
std::string OwnerOf(const std::string& symbol) {
    if (symbol.rfind("_ZN", 0) != 0) return "";
    std::size_t i = 3;
    while (i < symbol.size() && (symbol[i] == 'K' || symbol[i] == 'V' || symbol[i] == 'r')) ++i;
    std::size_t length = 0, digits = i;
    while (digits < symbol.size() && std::isdigit(static_cast<unsigned char>(symbol[digits])))
        length = length * 10 + static_cast<std::size_t>(symbol[digits++] - '0');
    if (digits == i || digits + length > symbol.size()) return "";
    const std::string name = symbol.substr(digits, length);
    return name.rfind("_GLOBAL__N", 0) == 0 ? "" : name;
}

bool MayUse(const std::string& from, const std::string& to) {
    if (from == to) return true;
    return from == "model" && to == "platform";
}

struct Symbols {
    std::set<std::string> undefined;
    std::set<std::string> defined;  // strong definitions only: code and data
};

// nm -P -A of the objects: "object: symbol type value size".
std::map<std::string, Symbols> ReadSymbols(const std::vector<std::string>& objects) {
    std::string command = "nm -P -A";
    for (const auto& o : objects) command += " '" + o + "'";
    command += " 2>/dev/null";
    std::map<std::string, Symbols> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        std::istringstream fields(line.substr(colon + 2));
        std::string symbol, type;
        if (!(fields >> symbol >> type)) continue;
        Symbols& s = out[line.substr(0, colon)];
        if (type == "U")
            s.undefined.insert(symbol);
        else if (type == "T" || type == "D" || type == "B" || type == "R")
            s.defined.insert(symbol);
    }
    return out;
}

}  // namespace

TEST(LinkDirections, ModelAndPlatformCallNothingAbove) {
    std::ifstream list(QVL_CORE_OBJECTS);
    ASSERT_TRUE(list) << QVL_CORE_OBJECTS;
    std::vector<std::string> objects;
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) objects.push_back(line);
    ASSERT_GT(objects.size(), 50u);
    const auto symbols = ReadSymbols(objects);
    ASSERT_EQ(symbols.size(), objects.size()) << "nm could not read every object of the core";

    std::map<std::string, std::string> definedIn;  // symbol -> folder
    for (const auto& [object, s] : symbols)
        for (const auto& symbol : s.defined) definedIn[symbol] = FolderOf(object);

    int checked = 0;
    std::string report;
    for (const auto& [object, s] : symbols) {
        const std::string from = FolderOf(object);
        if (from != "model" && from != "platform") continue;
        ++checked;
        for (const auto& symbol : s.undefined) {
            const auto where = definedIn.find(symbol);
            if (where != definedIn.end() && !MayUse(from, where->second))
                report += object.substr(object.rfind("/src/") + 1) + " uses " + symbol +
                          " of " + where->second + "/\n";
        }
    }
    EXPECT_GT(checked, 20);
    EXPECT_TRUE(report.empty()) << report;

    // A class of the model or the platform has its members there too: the
    // engines work on the model's types from classes of their own.
    std::map<std::string, std::string> ownerRoom;  // class -> model or platform
    for (const auto& [object, s] : symbols) {
        const std::string room = FolderOf(object);
        if (room != "model" && room != "platform") continue;
        for (const auto& symbol : s.defined)
            if (const std::string owner = OwnerOf(symbol); !owner.empty()) ownerRoom[owner] = room;
    }
    EXPECT_TRUE(ownerRoom.count("CLibraryList"));
    std::string above;
    for (const auto& [object, s] : symbols) {
        const std::string room = FolderOf(object);
        if (room == "model" || room == "platform") continue;
        for (const auto& symbol : s.defined) {
            const auto owner = ownerRoom.find(OwnerOf(symbol));
            if (owner != ownerRoom.end())
                above += object.substr(object.rfind("/src/") + 1) + " defines " + symbol + ", a member of " +
                         owner->second + "/'s " + owner->first + "\n";
        }
    }
    EXPECT_TRUE(above.empty()) << above;
}
