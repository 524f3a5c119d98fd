#include "convert_ui/LibraryEditing.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "model/Globals.h"

std::string EscapeMacroForRow(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> MacroRowTexts(const CMacro& m) {
    std::vector<std::string> t(7);
    t[0] = EscapeMacroForRow(m.Find);
    t[1] = CMacro::FlagText(m.IsMatchCase);
    t[2] = CMacro::FlagText(m.IsFindWild);
    t[3] = EscapeMacroForRow(m.Replace);
    if (!m.IsFindWild) {
        t[4] = t[5] = "---";
    } else {
        t[4] = CMacro::FlagText(m.IsRepWild);
        t[5] = std::string(m.IsPerLine ? "P" : "x") + "-" + (m.IsCompConst ? "C" : "x") + "-" +
               (m.IsSubFilter ? "F" : "x") + "-" + (m.IsDelimParse ? "D" : "x");
    }
    t[6] = CMacro::FlagText(m.IsActive);
    return t;
}

int MacroRowImage(const CMacro& m) { return (m.IsFindWild ? 2 : 0) + (m.IsActive ? 1 : 0); }

std::string MacroColumnHelp(int column) {
    const std::string tail = "\r\n(Sorting by this field is not allowed.)";
    switch (column) {
        case 1:
            return "Match case:\r\nIndicates whether the search is case sensitive or not." + tail;
        case 2:
            return "Use wild-card (for Find):\r\n"
                   "Indicates whether the search should enter wild-card mode for this macro.\r\n"
                   "If so, all subsequent macro attributes are enabled. They remain inactive otherwise." +
                   tail;
        case 4:
            return "Use wild-card (for Replace):\r\n"
                   "Indicates whether the search should use wild-card to resolve \"Replace\" text." +
                   tail;
        case 5:
            return "Knobs:\r\n"
                   "Indicates whether the search should use any of the following knobs:\r\n"
                   "   P - Per-line search: Constructed \"Find\" shall not have line-breaks.\r\n"
                   "   C - Compact construct: Constructed \"Find\" will be of minimal span.\r\n"
                   "   F - Filter text: Keep processed text and discard the rest.\r\n"
                   "   D - Delimiter parse: Grab a block of text marked by a pair-delimiter." +
                   tail;
        default:
            return {};
    }
}

std::vector<CMacro>* ActiveMacroList(CLibraryList& libs) {
    if (!libs.IsValidIndex(g_nLibIndex)) return nullptr;
    return &libs[g_nLibIndex].MacroList;
}

CLibrary& CurrentLibraryWithFallback(CLibraryList& libs) {
    if (!libs.IsValidIndex(libs.CurrentLibrary)) {
        libs.Append(CLibrary());
        libs.CurrentLibrary = 0;
    }
    return libs[libs.CurrentLibrary];
}

void SetActiveLibraryIndex(CLibraryList& libs, int i) {
    if (i < 0) return;
    g_nLibIndex = i;
    libs.CurrentLibrary = i;
}

namespace {
std::vector<int> Valid(const std::vector<int>& selected, std::size_t n) {
    std::set<int> s;
    for (int i : selected)
        if (i >= 0 && static_cast<std::size_t>(i) < n) s.insert(i);
    return {s.begin(), s.end()};
}
}  // namespace

std::vector<int> DuplicateMacros(std::vector<CMacro>& list, const std::vector<int>& selected) {
    std::vector<int> copies;
    int shift = 0;
    for (int i : Valid(selected, list.size())) {
        const int src = i + shift;
        CMacro copy = list[src];
        copy.Find += "~";
        list.insert(list.begin() + src + 1, copy);
        copies.push_back(src + 1);
        ++shift;
    }
    return copies;
}

int DeleteMacros(std::vector<CMacro>& list, const std::vector<int>& selected) {
    const std::vector<int> v = Valid(selected, list.size());
    if (v.empty()) return list.empty() ? -1 : 0;
    for (auto it = v.rbegin(); it != v.rend(); ++it) list.erase(list.begin() + *it);
    if (list.empty()) return -1;
    // The last deleted index, counted in the shrunken list.
    const int last = v.back() - static_cast<int>(v.size()) + 1;
    return std::min(last, static_cast<int>(list.size()) - 1);
}

std::vector<int> MoveMacrosUp(std::vector<CMacro>& list, const std::vector<int>& selected) {
    const std::vector<int> v = Valid(selected, list.size());
    std::vector<int> result;
    int blocked = -1;  // the highest index that stays where it is
    for (int i : v) {
        if (i == 0 || i - 1 == blocked) {
            blocked = i;
            result.push_back(i);
            continue;
        }
        std::swap(list[i], list[i - 1]);
        result.push_back(i - 1);
    }
    return result;
}

std::vector<int> MoveMacrosDown(std::vector<CMacro>& list, const std::vector<int>& selected) {
    const std::vector<int> v = Valid(selected, list.size());
    const int n = static_cast<int>(list.size());
    std::vector<int> result;
    int blocked = n;
    for (auto it = v.rbegin(); it != v.rend(); ++it) {
        const int i = *it;
        if (i == n - 1 || i + 1 == blocked) {
            blocked = i;
            result.push_back(i);
            continue;
        }
        std::swap(list[i], list[i + 1]);
        result.push_back(i + 1);
    }
    std::sort(result.begin(), result.end());
    return result;
}

void SetMacrosActive(std::vector<CMacro>& list, const std::vector<int>& selected, bool active) {
    for (int i : Valid(selected, list.size())) list[i].IsActive = active ? 1 : 0;
}

void CopyMacroAttributes(const CMacro& from, CMacro& to) {
    to.IsMatchCase = from.IsMatchCase;
    to.IsFindWild = from.IsFindWild;
    to.IsRepWild = from.IsRepWild;
    to.IsPerLine = from.IsPerLine;
    to.IsCompConst = from.IsCompConst;
    to.IsSubFilter = from.IsSubFilter;
    to.IsDelimParse = from.IsDelimParse;
}

int NewLibraryPosition(const std::vector<int>& selectedRows, int count) {
    for (int r : selectedRows)
        if (r >= 0 && r < count) return r + 1;
    return count;
}

int RowAfterDelete(int deleted, int count) {
    if (count <= 0) return -1;
    return std::clamp(deleted, 0, count - 1);
}

std::string EscapeWhites(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case ' ': out += "\\b"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string UnescapeWhites(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char n = text[i + 1];
            const char w = n == 'b' ? ' ' : n == 'r' ? '\r' : n == 'n' ? '\n' : n == 't' ? '\t' : 0;
            if (w) {
                out += w;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

CMacroTokenDelim MakeDelimiter(bool single, const std::string& singleText, const std::string& begin,
                               const std::string& end) {
    // A row holds what its display reads back as.
    if (single) return CMacroTokenDelim(1, UnescapeWhites(EscapeWhites(singleText)), "");
    return CMacroTokenDelim(0, UnescapeWhites(EscapeWhites(begin)), UnescapeWhites(EscapeWhites(end)));
}

DelimCheck CheckDelimiter(const std::vector<CMacroTokenDelim>& rows, bool single,
                          const std::string& singleText, const std::string& begin,
                          const std::string& end, int skipRow) {
    if (single) {
        if (singleText.empty()) return {"Empty delimeter.", DelimField::Single};
    } else {
        if (begin.empty()) return {"Empty \"Begin\" delimeter.", DelimField::Begin};
        if (end.empty()) return {"Empty \"End\" delimeter.", DelimField::End};
    }
    const std::string key = MakeDelimiter(single, singleText, begin, end).BeginDelim;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (static_cast<int>(r) == skipRow) continue;
        if (rows[r].BeginDelim == key) return {"Already listed.", DelimField::None};
    }
    return {};
}

int DeleteDelimiters(std::vector<CMacroTokenDelim>& rows, const std::vector<int>& selected) {
    const std::vector<int> v = Valid(selected, rows.size());
    if (v.empty()) return rows.empty() ? -1 : 0;
    for (auto it = v.rbegin(); it != v.rend(); ++it) rows.erase(rows.begin() + *it);
    if (rows.empty()) return -1;
    const int last = v.back() - static_cast<int>(v.size()) + 1;
    return std::min(last, static_cast<int>(rows.size()) - 1);
}

std::vector<std::string> TypeCardNames(const CWildTypeManager& store) {
    std::vector<std::string> names;
    for (const CTypeCard& c : store.TypeCards) names.push_back(c.Name);
    return names;
}

CardCheck CheckTypeCard(const CWildTypeManager& store, const std::string& name,
                        const std::string& primaryText, int skipRow) {
    if (name.size() < 2 || name[0] != '^')
        return {"Type card must be of length 2, and begin with \"^\".", CardField::Name};
    for (std::size_t r = 0; r < store.TypeCards.size(); ++r) {
        if (static_cast<int>(r) == skipRow) continue;
        if (store.TypeCards[r].Name == name) return {"Type card already listed.", CardField::Name};
    }
    if (primaryText.empty()) return {"Empty character set.", CardField::Primary};
    return {};
}

void ModifyTypeCard(CWildTypeManager& store, int r, const std::string& name, std::string& primary,
                    std::string& aux, const std::string& comment) {
    if (r < 0 || r >= static_cast<int>(store.TypeCards.size())) return;
    // Both sets start afresh: the auxiliary set must not keep old characters.
    store.TypeCards[r].Define(name, primary, aux, comment);
}

void SwapTypeCards(CWildTypeManager& store, int a, int b) {
    const int n = static_cast<int>(store.TypeCards.size());
    if (a >= 0 && a < n && b >= 0 && b < n) std::swap(store.TypeCards[a], store.TypeCards[b]);
}

int DeleteTypeCards(CWildTypeManager& store, const std::vector<int>& selected) {
    auto& cards = store.TypeCards;
    const std::vector<int> v = Valid(selected, cards.size());
    if (v.empty()) return cards.empty() ? -1 : 0;
    for (auto it = v.rbegin(); it != v.rend(); ++it) cards.erase(cards.begin() + *it);
    if (cards.empty()) return -1;
    const int last = v.back() - static_cast<int>(v.size()) + 1;
    return std::min(last, static_cast<int>(cards.size()) - 1);
}

void ToggleSkipped(CWildTypeManager& store, const std::vector<int>& selected) {
    for (int i : Valid(selected, store.TypeCards.size()))
        store.TypeCards[i].IsSkipped = store.TypeCards[i].IsSkipped ? 0 : 1;
}

void InsertImportedLibraries(CLibraryList& target, int position, const CLibraryList& source,
                             const std::vector<int>& selection) {
    if (position < -1 || position >= target.GetCount()) position = target.GetCount() - 1;
    int at = position + 1;
    for (int e : selection) {
        if (!source.IsValidIndex(e)) continue;
        CLibrary copy = source[e];
        copy.LibName = "(i) " + copy.LibName;
        target.Libraries.insert(target.Libraries.begin() + at, std::move(copy));
        ++at;
    }
}

std::vector<std::string> SplitOutputTextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t cr = text.find('\r', from);
        if (cr == std::string::npos) {
            lines.push_back(text.substr(from));
            return lines;
        }
        lines.push_back(text.substr(from, cr - from));
        from = std::min(text.size(), cr + 2);
    }
}

bool IsReservedLibraryPath(const std::string& path, const std::string& reserved) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(path, ec) && fs::exists(reserved, ec)) return fs::equivalent(path, reserved, ec);
    return fs::path(path).lexically_normal() == fs::path(reserved).lexically_normal();
}
