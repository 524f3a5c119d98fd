#include "model/Library.h"

#include <algorithm>
#include <cstdio>

#include "model/Globals.h"
#include "model/Trace.h"

CMacro::CMacro() : Find("Key/Find"), Replace("Definition/Replace") {}

CMacro::CMacro(const std::string& find, const std::string& replace) : Find(find), Replace(replace) {}

CMacro::CMacro(const std::string& find, const std::string& replace, unsigned char isMatchCase,
               unsigned char isFindWild, unsigned char isRepWild, unsigned char isPerLine,
               unsigned char isCompConst, unsigned char isSubFilter, unsigned char isDelimParse,
               unsigned char isActive)
    : Find(find),
      Replace(replace),
      IsMatchCase(isMatchCase),
      IsFindWild(isFindWild),
      IsRepWild(isRepWild),
      IsPerLine(isPerLine),
      IsCompConst(isCompConst),
      IsSubFilter(isSubFilter),
      IsDelimParse(isDelimParse),
      IsActive(isActive) {}

void CTypeCard::AddChars(const std::string& primaryText, const std::string& auxText) {
    PrimarySet.clear();
    for (char c : primaryText)
        if (PrimarySet.find(c) == std::string::npos) PrimarySet += c;
    for (char c : auxText)
        if (AuxSet.find(c) == std::string::npos) AuxSet += c;
}

void CTypeCard::Define(const std::string& name, std::string& primaryText, std::string& auxText,
                       const std::string& comment) {
    Name = name;
    AuxSet.clear();
    AddChars(primaryText, auxText);
    PrimaryCharSet = PrimarySet;
    AuxCharSet = AuxSet;
    TypeComment = comment;
    primaryText = PrimaryCharSet;
    auxText = AuxCharSet;
}

bool CTypeCard::IsPrimary(unsigned char c) const {
    return PrimarySet.find(static_cast<char>(c)) != std::string::npos;
}

bool CTypeCard::IsAux(unsigned char c) const {
    return AuxSet.find(static_cast<char>(c)) != std::string::npos;
}

CWildTypeManager::CWildTypeManager(const CWildTypeManager& other)
    : WildCard(other.WildCard), TypeCards(other.TypeCards) {}

void CWildTypeManager::SetDefaultTypeCards() {
    TypeCards.clear();
    WildCard.assign(1, '*');
    struct Def {
        const char* name;
        const char* primary;
        const char* aux;
        const char* comment;
    };
    static const Def defs[] = {
        {"^b", " ", "", "Grab one or more blank(s)."},
        {"^n", "\r\n", " \t", "Grab one or more return(s), ignoring whites."},
        {"^a", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", "",
         "Grab one or more Alpha character(s)."},
        {"^d", "0123456789", "", "Grab one or more digit(s)."},
        {"^m", "+-*/<>{}[]()=", "", "Grab one or more math operator(s)."},
        {"^p", "-,.:;\"'", "", "Grab one or more punctuation character(s)."},
    };
    for (const Def& d : defs) {
        std::string p = d.primary, a = d.aux;
        AddTypeCard(d.name, p, a, d.comment);
    }
}

void CWildTypeManager::AddTypeCard(const std::string& name, std::string& primaryText,
                                   std::string& auxText, const std::string& comment) {
    CTypeCard card;
    card.Define(name, primaryText, auxText, comment);
    TypeCards.push_back(std::move(card));
}

namespace {
void ReverseOne(std::string& s) {
    std::reverse(s.begin(), s.end());
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == '\n' && s[i + 1] == '\r') {
            s[i] = '\r';
            s[i + 1] = '\n';
            ++i;
        }
}
}  // namespace

void CWildTypeManager::ReverseCaptures() {
    std::reverse(WildCaptures.begin(), WildCaptures.end());
    for (std::string& s : WildCaptures) ReverseOne(s);
    for (CTypeCard& card : TypeCards) {
        std::reverse(card.Captures.begin(), card.Captures.end());
        for (std::string& s : card.Captures) ReverseOne(s);
    }
}

void CWildTypeManager::ClearCaptures() {
    WildCaptures.clear();
    for (CTypeCard& card : TypeCards) card.Captures.clear();
}

void CWildTypeManager::TraceCaptures(const std::string& title) const {
    WriteTraceString(title);
    WriteTraceString("----------(wild-cards)----------");
    char num[32];
    for (std::size_t i = 0; i < WildCaptures.size(); ++i) {
        std::snprintf(num, sizeof num, "%d. ", static_cast<int>(i + 1));
        WriteTraceString(num + WildCaptures[i]);
    }
    WriteTraceString("----------(type-cards)----------");
    for (std::size_t i = 0; i < TypeCards.size(); ++i) {
        const CTypeCard& card = TypeCards[i];
        if (card.Captures.empty()) continue;
        std::snprintf(num, sizeof num, "%d. ", static_cast<int>(i + 1));
        std::string line = num;
        line += "(" + card.Name + ")";
        for (const std::string& c : card.Captures) line += "{" + c + "}";
        WriteTraceString(line);
    }
}

CTypeCard* CWildTypeManager::FindTypeCard(const std::string& name) {
    for (CTypeCard& card : TypeCards)
        if (card.Name == name) return &card;
    return nullptr;
}

const CTypeCard* CWildTypeManager::FindTypeCard(const std::string& name) const {
    for (const CTypeCard& card : TypeCards)
        if (card.Name == name) return &card;
    return nullptr;
}

std::vector<CMacroTokenDelim> DefaultDelimList() {
    return {
        {1, ",", ""}, {1, "|", ""},  {1, ":", ""},  {1, "#", ""},  {1, " ", ""},
        {0, "{", "}"}, {0, "(", ")"}, {0, "[", "]"}, {0, "<", ">"}, {0, "/", "\\"},
    };
}

CLibrary::CLibrary() : DelimList(DefaultDelimList()) { WildTypeManager.SetDefaultTypeCards(); }

CLibrary::CLibrary(const std::string& name) : CLibrary() { LibName = name; }

std::string CLibraryList::GetLibName(int i) const {
    return IsValidIndex(i) ? Libraries[i].LibName : std::string();
}

void CLibraryList::SetLibName(int i, const std::string& name) {
    if (IsValidIndex(i)) Libraries[i].LibName = name;
}

std::vector<std::string> CLibraryList::GetLibNames() const {
    std::vector<std::string> names;
    names.reserve(Libraries.size());
    for (const CLibrary& lib : Libraries) names.push_back(lib.LibName);
    return names;
}

void CLibraryList::InsertLibrary(int i, const std::string& name) {
    i = std::clamp(i, 0, GetCount());
    Libraries.insert(Libraries.begin() + i, CLibrary(name));
}

void CLibraryList::CreateDefaultLibraryMacros(int i, const std::string& name,
                                              const std::vector<std::string>& lines) {
    CLibrary lib(name);
    for (std::size_t k = 0; k < lines.size(); k += 2)
        lib.MacroList.emplace_back(lines[k], k + 1 < lines.size() ? lines[k + 1] : std::string());
    i = std::clamp(i, 0, GetCount());
    Libraries.insert(Libraries.begin() + i, std::move(lib));
}

void CLibraryList::DeleteLibrary(int i) {
    if (IsValidIndex(i)) Libraries.erase(Libraries.begin() + i);
}

void CLibraryList::MergeLibraries(int i, const std::vector<int>& indices) {
    if (!IsValidIndex(i)) return;
    for (int k : indices) {
        if (k == i || !IsValidIndex(k)) continue;
        std::vector<CMacro> copy = Libraries[k].MacroList;
        auto& target = Libraries[i].MacroList;
        target.insert(target.end(), copy.begin(), copy.end());
    }
}

void CLibraryList::SwapLibraries(int a, int b) {
    if (IsValidIndex(a) && IsValidIndex(b)) std::swap(Libraries[a], Libraries[b]);
}

void CLibraryList::SwapMacros(std::vector<CMacro>& list, int a, int b) {
    int n = static_cast<int>(list.size());
    if (a >= 0 && a < n && b >= 0 && b < n) std::swap(list[a], list[b]);
}

void CLibraryList::SortMacrosByColumn(std::vector<CMacro>& macroList,
                                      const std::vector<int>& selected, int column) {
    if (column != 0 && column != 3) return;
    auto key = [column](const CMacro& m) -> const std::string& {
        return column == 0 ? m.Find : m.Replace;
    };
    auto less = [&](const CMacro& a, const CMacro& b) {
        // std::string compares as unsigned bytes through char_traits<char>::compare.
        return key(a).compare(key(b)) < 0;
    };
    if (selected.size() == macroList.size()) {
        std::stable_sort(macroList.begin(), macroList.end(), less);
        return;
    }
    std::vector<CMacro> picked;
    std::vector<int> positions;
    for (int p : selected)
        if (p >= 0 && p < static_cast<int>(macroList.size())) {
            picked.push_back(macroList[p]);
            positions.push_back(p);
        }
    std::stable_sort(picked.begin(), picked.end(), less);
    for (std::size_t k = 0; k < positions.size(); ++k) macroList[positions[k]] = picked[k];
}

CWildTypeManager CLibraryList::GetCurrentWildTypeManager() {
    if (!IsValidIndex(CurrentLibrary)) {
        Libraries.emplace_back();
        CurrentLibrary = 0;
    }
    return CWildTypeManager(Libraries[CurrentLibrary].WildTypeManager);
}

void CLibraryList::SelectCurrentLibrary() { CurrentLibrary = g_nLibIndex; }

bool CLibraryList::CreateSampleLibrary() {
    if (!Libraries.empty()) {
        // The selected index comes from the library file: a bad one is refused.
        if (!IsValidIndex(g_nLibIndex)) {
            WriteTrace("The library index " + std::to_string(g_nLibIndex) +
                       " of the library file names no library; the first library is selected.");
            g_nLibIndex = 0;
        }
        SelectCurrentLibrary();
        return false;
    }
    CLibrary lib("Find Rep library (sample)");
    lib.MacroList.emplace_back("x", "---x---");
    Libraries.push_back(std::move(lib));
    CurrentLibrary = 0;
    g_nLibIndex = 0;
    return true;
}

bool CreateSampleLibrary(CLibraryList& list) { return list.CreateSampleLibrary(); }

int CLibraryList::GetPreviewInstanceCount(int i) const {
    if (i < 0 || i >= static_cast<int>(Previews.size())) return 0;
    return static_cast<int>(Previews[i].Instances.size());
}

bool CLibraryList::GetPreviewInstance(int i, int j, CFindRepInstance& out) const {
    if (j < 0 || j >= GetPreviewInstanceCount(i)) return false;
    out = Previews[i].Instances[j];
    return true;
}

bool CLibraryList::GetInstanceSkip(int i, int j, unsigned char& flag) const {
    if (j < 0 || j >= GetPreviewInstanceCount(i)) return false;
    flag = Previews[i].Instances[j].Skip;
    return true;
}

bool CLibraryList::SetInstanceSkip(int i, int j, unsigned char flag) {
    if (j < 0 || j >= GetPreviewInstanceCount(i)) return false;
    Previews[i].Instances[j].Skip = flag;
    return true;
}

bool CLibraryList::SaveInstance(int i, int j, const std::string& text) {
    if (j < 0 || j >= GetPreviewInstanceCount(i)) return false;
    CFindRepInstance& inst = Previews[i].Instances[j];
    inst.RepText = text;  // RepLength keeps the recorded length for the commit
    inst.Changed = 1;
    return true;
}

const CLibrary* CLibraryList::GetCurrentLibraryPtr() const {
    return IsValidIndex(CurrentLibrary) ? &Libraries[CurrentLibrary] : nullptr;
}
