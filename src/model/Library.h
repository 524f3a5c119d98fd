// The conversion library model: macros, type-cards, delimiters, libraries
// and the engine's list of libraries with its previews.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "model/FindRepPreview.h"
#include "model/Globals.h"

class IProgressSink;

// One Find-Replace macro.
class CMacro {
public:
    std::string Find;
    std::string Replace;
    unsigned char IsMatchCase = 1;
    unsigned char IsFindWild = 0;
    unsigned char IsRepWild = 0;
    unsigned char IsPerLine = 0;
    unsigned char IsCompConst = 0;
    unsigned char IsSubFilter = 0;
    unsigned char IsDelimParse = 0;
    unsigned char IsActive = 1;

    // The placeholder macro the library manager and the file reader start from.
    CMacro();
    CMacro(const std::string& find, const std::string& replace);
    CMacro(const std::string& find, const std::string& replace, unsigned char isMatchCase,
           unsigned char isFindWild, unsigned char isRepWild, unsigned char isPerLine,
           unsigned char isCompConst, unsigned char isSubFilter, unsigned char isDelimParse,
           unsigned char isActive);

    std::string GetFind() const { return Find; }
    std::string GetReplace() const { return Replace; }
    void SetFind(const std::string& text) { Find = text; }
    void SetReplace(const std::string& text) { Replace = text; }

    unsigned char GetIsMatchCase() const { return IsMatchCase; }
    unsigned char GetIsFindWild() const { return IsFindWild; }
    unsigned char GetIsRepWild() const { return IsRepWild; }
    unsigned char GetIsPerLine() const { return IsPerLine; }
    unsigned char GetIsCompConst() const { return IsCompConst; }
    unsigned char GetIsSubFilter() const { return IsSubFilter; }
    unsigned char GetIsDelimParse() const { return IsDelimParse; }
    unsigned char GetIsActive() const { return IsActive; }

    // Text forms: only the exact text "Yes" sets a flag; the getters give "Yes" or "No".
    void SetIsMatchCaseText(const std::string& t) { IsMatchCase = FlagFromText(t); }
    void SetIsFindWildText(const std::string& t) { IsFindWild = FlagFromText(t); }
    void SetIsRepWildText(const std::string& t) { IsRepWild = FlagFromText(t); }
    void SetIsPerLineText(const std::string& t) { IsPerLine = FlagFromText(t); }
    void SetIsCompConstText(const std::string& t) { IsCompConst = FlagFromText(t); }
    void SetIsSubFilterText(const std::string& t) { IsSubFilter = FlagFromText(t); }
    void SetIsDelimParseText(const std::string& t) { IsDelimParse = FlagFromText(t); }
    void SetIsActiveText(const std::string& t) { IsActive = FlagFromText(t); }
    std::string GetIsMatchCaseText() const { return FlagText(IsMatchCase); }
    std::string GetIsFindWildText() const { return FlagText(IsFindWild); }
    std::string GetIsRepWildText() const { return FlagText(IsRepWild); }
    std::string GetIsPerLineText() const { return FlagText(IsPerLine); }
    std::string GetIsCompConstText() const { return FlagText(IsCompConst); }
    std::string GetIsSubFilterText() const { return FlagText(IsSubFilter); }
    std::string GetIsDelimParseText() const { return FlagText(IsDelimParse); }
    std::string GetIsActiveText() const { return FlagText(IsActive); }

    static unsigned char FlagFromText(const std::string& t) { return t == "Yes" ? 1 : 0; }
    static std::string FlagText(unsigned char f) { return f ? "Yes" : "No"; }
};

// One entry of a library's delimiter list: a single delimiter or a pair.
class CMacroTokenDelim {
public:
    unsigned char IsSingle = 0;
    std::string BeginDelim;
    std::string EndDelim;

    CMacroTokenDelim() = default;
    CMacroTokenDelim(unsigned char isSingle, const std::string& begin, const std::string& end)
        : IsSingle(isSingle), BeginDelim(begin), EndDelim(end) {}
};

// A named character class that a wild Find pattern may use ("^d", ...).
class CTypeCard {
public:
    std::string Name;
    unsigned char IsSkipped = 0;
    std::string PrimarySet;   // distinct characters, in order of first occurrence
    std::string AuxSet;       // characters grabbed only before a primary character
    std::string PrimaryCharSet;
    std::string AuxCharSet;
    std::string TypeComment;
    std::vector<std::string> Captures;  // texts matched in the current wild match

    // Empties the primary set and fills it from primaryText; adds the new
    // characters of auxText to the auxiliary set (which is not emptied).
    void AddChars(const std::string& primaryText, const std::string& auxText);
    // Gives the card its name, comment and both sets afresh from the texts;
    // the texts are given back as the card keeps them (each character once).
    void Define(const std::string& name, std::string& primaryText, std::string& auxText,
                const std::string& comment);
    bool IsPrimary(unsigned char c) const;
    bool IsAux(unsigned char c) const;
};

// A library's wild-card symbol and type-cards.
class CWildTypeManager {
public:
    std::string WildCard;
    std::vector<std::string> WildCaptures;
    std::vector<CTypeCard> TypeCards;

    CWildTypeManager() = default;
    // A copy starts without wild-card captures; assignment copies them.
    CWildTypeManager(const CWildTypeManager& other);
    CWildTypeManager& operator=(const CWildTypeManager& other) = default;
    CWildTypeManager(CWildTypeManager&&) = default;
    CWildTypeManager& operator=(CWildTypeManager&&) = default;

    void SetDefaultTypeCards();
    // Appends a card; the de-duplicated texts are written back to the caller's.
    void AddTypeCard(const std::string& name, std::string& primaryText, std::string& auxText,
                     const std::string& comment);
    void ReverseCaptures();
    void ClearCaptures();
    void TraceCaptures(const std::string& title) const;
    // The card of that name, or null.
    CTypeCard* FindTypeCard(const std::string& name);
    const CTypeCard* FindTypeCard(const std::string& name) const;
};

// The ten default delimiters, in order.
std::vector<CMacroTokenDelim> DefaultDelimList();

// One conversion library.
class CLibrary {
public:
    std::string LibName = "test-library";
    std::string NothingYetStr;
    int NothingYetInt = 0;
    std::vector<CMacroTokenDelim> DelimList;
    CWildTypeManager WildTypeManager;
    std::vector<CMacro> MacroList;

    CLibrary();
    explicit CLibrary(const std::string& name);
};

// What one run needs besides its libraries. A starter fills it from the
// globals (MakeConversionRun) when it takes its snapshot of the libraries.
class CConversionRun {
public:
    int nBatchStep = 0;
    // In batch step 1: keep the text before every active macro, so that an
    // instance of any step can be shown in its source. Off, only the text
    // before the first active macro is kept.
    bool bKeepSteps = true;
    bool bUseCurrentMacro = false;
    CMacro currentMacro;
    // Stop requests: the conversion family (run kinds 0 and 1) and the batch family (2).
    const std::atomic<bool>* pConversionBreak = &g_bConversionBreak;
    const std::atomic<bool>* pBatchBreak = &g_bBatchBreak;
    // The library that runs: -1 takes g_nSelectedLibraryIndex when the run starts.
    int nLibraryIndex = -1;
    IProgressSink* pProgress = nullptr;  // one step per file of a batch
    // The batch dialog's row hooks (select and show a row; set a row's image).
    std::function<void(int row)> selectRow;
    std::function<void(int row, int image)> setRowImage;
};

// The list of libraries with the engine's run state and previews.
class CLibraryList {
public:
    std::vector<CLibrary> Libraries;
    std::vector<CFindRepPreview> Previews;
    int CurrentLibrary = 0;
    int RunKind = 0;
    unsigned char RestartSearch = 0;

    // The ordered list of libraries.
    int GetCount() const { return static_cast<int>(Libraries.size()); }
    std::size_t size() const { return Libraries.size(); }
    bool empty() const { return Libraries.empty(); }
    void Append(const CLibrary& lib) { Libraries.push_back(lib); }
    void Clear() { Libraries.clear(); }
    CLibrary& operator[](std::size_t i) { return Libraries[i]; }
    const CLibrary& operator[](std::size_t i) const { return Libraries[i]; }
    std::vector<CLibrary>::iterator begin() { return Libraries.begin(); }
    std::vector<CLibrary>::iterator end() { return Libraries.end(); }
    std::vector<CLibrary>::const_iterator begin() const { return Libraries.begin(); }
    std::vector<CLibrary>::const_iterator end() const { return Libraries.end(); }

    bool IsValidIndex(int i) const { return i >= 0 && i < GetCount(); }
    std::string GetLibName(int i) const;
    void SetLibName(int i, const std::string& name);
    std::vector<std::string> GetLibNames() const;
    void InsertLibrary(int i, const std::string& name);
    void CreateDefaultLibraryMacros(int i, const std::string& name,
                                    const std::vector<std::string>& lines);
    void DeleteLibrary(int i);
    void MergeLibraries(int i, const std::vector<int>& indices);
    void SwapLibraries(int a, int b);
    static void SwapMacros(std::vector<CMacro>& list, int a, int b);
    static void SortMacrosByColumn(std::vector<CMacro>& macroList, const std::vector<int>& selected,
                                   int column);
    CWildTypeManager GetCurrentWildTypeManager();
    void SelectCurrentLibrary();
    bool CreateSampleLibrary();

    // The preview records.
    int GetPreviewInstanceCount(int i) const;
    bool GetPreviewInstance(int i, int j, CFindRepInstance& out) const;
    bool GetInstanceSkip(int i, int j, unsigned char& flag) const;
    bool SetInstanceSkip(int i, int j, unsigned char flag);
    bool SaveInstance(int i, int j, const std::string& text);

    // What the run that works on this list needs besides its libraries
    // (the conversion engine works on a run's own copy of the list).
    CConversionRun m_Run;

    // The library that runs, or null when CurrentLibrary is not a valid index.
    const CLibrary* GetCurrentLibraryPtr() const;
};

// Appends the sample library when the list is empty (see CLibraryList::CreateSampleLibrary).
bool CreateSampleLibrary(CLibraryList& list);
