#include "filelist/BasketComparison.h"

#include <algorithm>

#include "compare/DiffOptions.h"
#include "compare/TextAccess.h"
#include "compare/TextDiff.h"
#include "filelist/FileListing.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SessionReport.h"
#include "model/Trace.h"

namespace {

const char* const kCrLf = "\r\n";

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

int CompareBytes(const std::string& a, const std::string& b) {
    // std::string compares char_traits<char>, which compares as unsigned.
    return a.compare(b);
}

int CompareKeys(const ReportFileEntry& a, const ReportFileEntry& b, bool ignoreCase) {
    if (ignoreCase) {
        const int d = CompareBytes(Lower(a.Dir), Lower(b.Dir));
        return d != 0 ? d : CompareBytes(Lower(a.Name), Lower(b.Name));
    }
    const int d = CompareBytes(a.Dir, b.Dir);
    return d != 0 ? d : CompareBytes(a.Name, b.Name);
}

// A sortable key computed once per entry.
struct Keyed {
    std::string dir, name;
    const ReportFileEntry* entry;
};

bool KeyedLess(const Keyed& a, const Keyed& b) {
    const int d = a.dir.compare(b.dir);
    return d != 0 ? d < 0 : a.name < b.name;
}
bool KeyedEqual(const Keyed& a, const Keyed& b) { return a.dir == b.dir && a.name == b.name; }

Keyed KeyOf(const ReportFileEntry& e, bool ignoreCase) {
    return ignoreCase ? Keyed{Lower(e.Dir), Lower(e.Name), &e} : Keyed{e.Dir, e.Name, &e};
}

std::string Bits(const std::vector<bool>& presence, const std::string& separator) {
    std::string s;
    for (bool b : presence) s += (b ? "1" : "0") + separator;
    return s;
}

std::string TotalLine(std::size_t count, const char* word) {
    return "Total " + std::to_string(count) + " " + word + (count > 1 ? "s" : "") + "." + kCrLf + kCrLf;
}

void TraceDegenerate(const std::string& label) {
    std::string rule;
    for (int i = 0; i < 30; ++i) rule += "+=";
    rule += "+";
    WriteTraceString(rule);
    WriteTraceString("Degenerate basket: " + label);
    WriteTraceString("Files in the basket do not belong to a common root directory.");
    WriteTraceString(rule);
}

}  // namespace

bool ReportEntryLess(const ReportFileEntry& a, const ReportFileEntry& b) {
    return CompareKeys(a, b, g_bDiffIgnoreCase) < 0;
}

ReportBasketEntry& CBasketComparison::AddBasket(const std::string& label) {
    BasketEntries.push_back({label, {}});
    return BasketEntries.back();
}

void CBasketComparison::AddEntry(ReportBasketEntry& basket, const std::string& dir, const std::string& name) {
    ReportFileEntry e;
    e.Dir = dir;
    e.Name = name;
    e.Origins.push_back(dir == "ttt" ? "ttt" : dir + name);
    basket.Files.push_back(std::move(e));
}

bool FindBasketRoot(const std::vector<ReportFileEntry>& files, std::string& root, bool& vms) {
    root.clear();
    vms = false;
    if (files.empty()) return true;
    root = files.front().Dir;
    // A UNIX folder's name may hold "[": a folder with "/" is never VMS.
    const auto vmsForm = [](const std::string& d) {
        return d.find('[') != std::string::npos && d.find('/') == std::string::npos;
    };
    vms = vmsForm(root) || vmsForm(files.back().Dir);
    if (vms && !root.empty()) root.pop_back();  // "[USER.A]" -> "[USER.A"
    for (const ReportFileEntry& e : files) {
        if (e.Dir.compare(0, root.size(), root) != 0) return false;
        if (root.empty() || e.Dir.size() == root.size()) continue;
        const char last = root.back();
        const char next = e.Dir[root.size()];
        const bool boundary = vms ? (next == '.' || next == ']') : (last == '/' || next == '/');
        if (!boundary) return false;
    }
    return true;
}

std::string CBasketComparison::BuildComparisonReport(bool compFiles) {
    const bool ignoreCase = g_bDiffIgnoreCase;
    const std::size_t n = BasketEntries.size();
    // Sorting, then the root of each basket off its folders.
    for (ReportBasketEntry& be : BasketEntries) {
        std::vector<Keyed> keys;
        keys.reserve(be.Files.size());
        for (const ReportFileEntry& e : be.Files) keys.push_back(KeyOf(e, ignoreCase));
        std::stable_sort(keys.begin(), keys.end(), KeyedLess);
        std::vector<ReportFileEntry> sorted;
        sorted.reserve(keys.size());
        for (const Keyed& k : keys) sorted.push_back(*k.entry);
        be.Files = std::move(sorted);
        if (be.Files.empty()) continue;
        std::string root;
        bool vms = false;
        if (!FindBasketRoot(be.Files, root, vms)) {
            TraceDegenerate(be.Label);
            continue;
        }
        for (ReportFileEntry& e : be.Files) e.Dir = (vms ? "[." : "") + e.Dir.substr(root.size());
    }

    // The master list: every key once, the first basket's entry kept.
    std::vector<Keyed> all;
    for (const ReportBasketEntry& be : BasketEntries)
        for (const ReportFileEntry& e : be.Files) all.push_back(KeyOf(e, ignoreCase));
    std::stable_sort(all.begin(), all.end(), KeyedLess);
    std::vector<Keyed> masterKeys;
    MasterList.clear();
    for (const Keyed& k : all) {
        if (!masterKeys.empty() && KeyedEqual(masterKeys.back(), k)) continue;
        masterKeys.push_back(k);
        ReportFileEntry m = *k.entry;
        m.IsCommon = false;
        m.Origins.assign(n, std::string());
        m.Presence.assign(n, false);
        MasterList.push_back(std::move(m));
    }
    // Presence: one merge-like pass per basket. The search goes on past the
    // entry found, so a key a basket holds twice is not found the second time.
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t h = 0;
        for (const ReportFileEntry& e : BasketEntries[i].Files) {
            const Keyed k = KeyOf(e, ignoreCase);
            std::size_t j = h;
            while (j < masterKeys.size() && KeyedLess(masterKeys[j], k)) ++j;
            if (j < masterKeys.size() && KeyedEqual(masterKeys[j], k)) {
                MasterList[j].Presence[i] = true;
                MasterList[j].Origins[i] = e.Origins.empty() ? std::string() : e.Origins.front();
                h = j + 1;
            } else {
                if (g_bTrace) WriteTraceString("-|-Not expected.");
                h = 0;
            }
        }
    }
    if (g_bTrace) {
        std::string t = std::string("Constructed Master vec:") + kCrLf + std::string(40, '-') + kCrLf;
        for (const ReportFileEntry& m : MasterList) {
            std::string key = m.Dir + m.Name;
            if (key.size() < 60) key.resize(60, ' ');
            t += key + Bits(m.Presence, "") + kCrLf;
            for (const std::string& o : m.Origins)
                if (!o.empty()) t += "      " + o + kCrLf;
        }
        WriteTraceString(t);
    }

    auto onlyIn = [](const ReportFileEntry& m, std::size_t i) {
        for (std::size_t j = 0; j < m.Presence.size(); ++j)
            if (m.Presence[j] != (j == i)) return false;
        return true;
    };
    auto inAll = [](const ReportFileEntry& m) {
        return std::all_of(m.Presence.begin(), m.Presence.end(), [](bool b) { return b; });
    };

    std::string text;
    bool anyExclusive = false;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<const ReportFileEntry*> only;
        for (const ReportFileEntry& m : MasterList)
            if (onlyIn(m, i)) only.push_back(&m);
        if (only.empty()) continue;
        anyExclusive = true;
        const std::string heading =
            "Files found exclusively in Basket-" + std::to_string(i + 1) + ": " + BasketEntries[i].Label;
        text += heading + " (" + std::to_string(only.size()) + ")" + kCrLf;
        text += std::string(heading.size(), '-') + kCrLf;
        for (const ReportFileEntry* m : only) text += "    " + m->Dir + m->Name + kCrLf;
        text += TotalLine(only.size(), "item");
    }
    if (!anyExclusive) {
        text += std::string(64, '-') + kCrLf;
        text += n == 2 ? std::string("Both ") : "All " + std::to_string(n) + " ";
        text += std::string("baskets are identical. They contain exactly the same files.") + kCrLf;
        if (!compFiles)
            text += std::string(kCrLf) + "However contents inside file may vary, for which you want to" + kCrLf +
                    "check \"Compare files common to Baskets\" checkbox to obtain a" + kCrLf +
                    "a report on file differences, if any." + kCrLf;
        text += std::string(64, '-') + kCrLf + kCrLf;
    } else if (g_bDiffReportInter) {
        std::vector<const ReportFileEntry*> rows;
        std::size_t longest = 0;
        for (const ReportFileEntry& m : MasterList)
            if (!inAll(m)) {
                rows.push_back(&m);
                longest = std::max(longest, m.Dir.size() + m.Name.size());
            }
        if (!rows.empty()) {
            const std::size_t w = longest + 8;
            text += std::string(kCrLf) + "Tracing addition and deletion of files:" + kCrLf + std::string(39, '-') +
                    kCrLf + "0: Absent,   1: Present " + kCrLf;
            text += std::string(w, ' ');
            for (std::size_t k = 1; k <= n; ++k) text += "B" + std::to_string(k) + "   ";
            text += kCrLf;
            text += std::string(w, ' ');
            for (std::size_t k = 1; k < n; ++k) text += "-----";
            text += std::string("--") + kCrLf;
            for (const ReportFileEntry* m : rows) {
                std::string row = "    " + m->Dir + m->Name;
                if (row.size() < w) row.resize(w, ' ');
                text += row + Bits(m->Presence, "    ") + kCrLf;
            }
            text += std::string(kCrLf) + kCrLf;
        }
    }
    std::vector<const ReportFileEntry*> common;
    for (ReportFileEntry& m : MasterList)
        if (n > 0 && inAll(m)) {
            m.IsCommon = true;
            common.push_back(&m);
        }
    const std::string commonHeading = "Files common to all selected baskets: ";
    text += commonHeading + " (" + std::to_string(common.size()) + ")" + kCrLf;
    text += std::string(commonHeading.size(), '-') + kCrLf;
    for (const ReportFileEntry* m : common) text += "    " + m->Dir + m->Name + kCrLf;
    text += TotalLine(common.size(), "item");
    return text;
}

std::string CBasketComparison::DiffCommonFiles(bool detail) const {
    const CDiffOptions options = CDiffOptions::FromProgramOptions();
    std::string text;
    std::size_t differing = 0, failed = 0;
    for (const ReportFileEntry& m : MasterList) {
        if (!m.IsCommon) continue;
        for (std::size_t k = 0; k + 1 < m.Origins.size(); ++k) {
            const std::string& a = m.Origins[k];
            const std::string& b = m.Origins[k + 1];
            std::vector<CDiffLine> left, right;
            const bool readA = LoadFileLines(a, left);
            const bool readB = LoadFileLines(b, right);
            if (!readA || !readB) {
                ++failed;
                text += std::string(80, '-') + kCrLf + "Failed to load the files:" + kCrLf + "Basket (" +
                        std::to_string(k + 1) + "): " + a + kCrLf + "Basket (" + std::to_string(k + 2) +
                        "): " + b + kCrLf + kCrLf;
                continue;
            }
            CTextDiff diff(options);
            diff.Compare(std::move(left), std::move(right));
            std::string listing;
            if (!diff.ListChanges(detail, listing)) continue;
            ++differing;
            text += std::string(80, '-') + kCrLf + "Basket (" + std::to_string(k + 1) + "): " + a + kCrLf +
                    "Basket (" + std::to_string(k + 2) + "): " + b + kCrLf + kCrLf;
            if (detail) text += listing;
        }
    }
    if (differing == 0 && failed == 0) text += std::string("No difference found.") + kCrLf + kCrLf;
    else if (differing > 0) text += TotalLine(differing, "file");
    if (failed > 0)
        text += "Not compared: " + std::to_string(failed) + " pair" + (failed > 1 ? "s" : "") + "." + kCrLf + kCrLf;
    return text;
}

std::string CompareSelectedBaskets(const CProgramData& data, const CSessionReport& report,
                                   CBasketComparison& work, int p, int s, const std::vector<int>& baskets) {
    work = CBasketComparison();
    for (int b : baskets) {
        ReportBasketEntry& be = work.AddBasket(data.GetBasketName(p, s, b));
        for (const CFileItem& it : data.GetBasketItems(p, s, b)) {
            ReportFileEntry e;
            e.Dir = report.ReportUseLocalDir ? it.LocalDir : it.RemoteDir;
            e.Name = it.FileName;
            // The text comparison reads local files.
            e.Origins.push_back(it.LocalDir + it.FileName);
            be.Files.push_back(std::move(e));
        }
    }
    return work.BuildComparisonReport(report.ReportCompFiles);
}

std::string CrossListSelectedFiles(const CProgramData& data, CBasketComparison& work, int p, int s, int b,
                                   const std::vector<int>& items) {
    work = CBasketComparison();
    for (int f : items) {
        const CFileItem it = data.GetFileItem(p, s, b, f);
        const std::string path = it.LocalDir + it.FileName;
        std::vector<std::string> lines;
        ReadFileLines(path, lines);
        ReportBasketEntry& be = work.AddBasket(GetParentAndFileName(path));
        for (const std::string& line : lines) CBasketComparison::AddEntry(be, "ttt", line);
    }
    return work.BuildComparisonReport(data.m_SessionReport.ReportCompFiles);
}

std::string CrossListInputOutput(CBasketComparison& work, const std::string& inputText,
                                 const std::string& outputText, bool compFiles) {
    work = CBasketComparison();
    ReportBasketEntry& in = work.AddBasket("Input Window");
    for (const std::string& line : SplitTextIntoLines(inputText)) CBasketComparison::AddEntry(in, "ttt", line);
    ReportBasketEntry& out = work.AddBasket("Output Window");
    for (const std::string& line : SplitTextIntoLines(outputText)) CBasketComparison::AddEntry(out, "ttt", line);
    return work.BuildComparisonReport(compFiles);
}
