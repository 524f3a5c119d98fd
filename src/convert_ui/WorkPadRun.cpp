#include "convert_ui/WorkPadRun.h"

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"

namespace {
// A list prepared for the interactive steps: the macro as the current one,
// nothing that a stop flag of a worker could interrupt.
CLibraryList InteractiveList(const CLibraryList& libraries, int libraryIndex, const CMacro& macro) {
    CLibraryList list = libraries;
    list.CurrentLibrary = libraryIndex;
    list.RunKind = 0;
    list.m_Run = CConversionRun();
    list.m_Run.currentMacro = macro;
    list.m_Run.pConversionBreak = nullptr;
    list.m_Run.pBatchBreak = nullptr;
    return list;
}

// UTF-16 units of the character that starts with byte c (0 for a
// continuation byte).
int Units(unsigned char c) {
    if ((c & 0xC0) == 0x80) return 0;
    return c >= 0xF0 ? 2 : 1;
}
}  // namespace

WorkPadSnapshot TakeWorkPadSnapshot(const CLibraryList& libraries, const CMacro& macro,
                                    int libraryIndex, int source) {
    WorkPadSnapshot s;
    s.libraries.Libraries = libraries.Libraries;
    s.macro = macro;
    s.libraryIndex = libraryIndex;
    s.source = source;
    return s;
}

bool RunWorkPadConversion(WorkPadSnapshot& snapshot, const std::string& text, std::string& output,
                          std::string& marker, const std::atomic<bool>* stop) {
    CLibraryList& list = snapshot.libraries;
    list.CurrentLibrary = snapshot.libraryIndex;
    list.RunKind = snapshot.source == 1 ? 1 : 0;
    list.m_Run = CConversionRun();
    list.m_Run.nBatchStep = 0;
    list.m_Run.currentMacro = snapshot.macro;
    list.m_Run.pConversionBreak = stop;
    list.m_Run.pBatchBreak = nullptr;
    CConversionEngine engine(list);
    try {
        if (snapshot.source == 1) {
            output = engine.ConvertText(text);
        } else {
            CFindRepPreview preview;
            preview.Mode = "O";
            preview.NoInstances = 1;
            std::string t = text;
            engine.CheckAbort();
            engine.RunMacro("", t, snapshot.macro, preview);
            engine.CheckAbort();
            output = std::move(t);
        }
        return true;
    } catch (const CConversionAbort& a) {
        marker = a.Marker();
        return false;
    }
}

std::string InteractiveStatusLine(const std::string& text) { return "--- Itr cvt " + text + " ---"; }

bool FindNextMatch(const CLibraryList& libraries, int libraryIndex, const CMacro& macro,
                   const std::string& text, std::size_t from, std::size_t& start, std::size_t& end) {
    CLibraryList list = InteractiveList(libraries, libraryIndex, macro);
    return CConversionEngine(list).FindNextWithCurrentMacro(text, start, end, from);
}

bool ReplaceSelectedMatch(const CLibraryList& libraries, int libraryIndex, const CMacro& macro,
                          std::string& text, std::size_t selStart, std::size_t selEnd,
                          std::size_t& replaced, std::size_t& replacedEnd) {
    if (selStart >= selEnd) return false;
    CLibraryList list = InteractiveList(libraries, libraryIndex, macro);
    CConversionEngine engine(list);
    std::size_t s = 0, e = 0;
    if (!engine.FindNextWithCurrentMacro(text, s, e, selStart) || s != selStart || e != selEnd)
        return false;
    return engine.ReplaceWithCurrentMacro(text, selStart, replaced, replacedEnd);
}

bool IsMacroNewToLibrary(const CLibraryList& libraries, int libraryIndex, const CMacro& m) {
    if (!libraries.IsValidIndex(libraryIndex)) return false;
    for (const CMacro& x : libraries[libraryIndex].MacroList)
        if (x.Find == m.Find && x.Replace == m.Replace && x.IsMatchCase == m.IsMatchCase &&
            x.IsFindWild == m.IsFindWild && x.IsRepWild == m.IsRepWild && x.IsPerLine == m.IsPerLine &&
            x.IsCompConst == m.IsCompConst && x.IsSubFilter == m.IsSubFilter &&
            x.IsDelimParse == m.IsDelimParse)
            return false;
    return true;
}

int BoxPositionOfOffset(const std::string& crlfText, std::size_t offset) {
    if (offset > crlfText.size()) offset = crlfText.size();
    int pos = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        const unsigned char c = static_cast<unsigned char>(crlfText[i]);
        // The CR of a CR LF pair is not in the box.
        if (c == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') continue;
        pos += Units(c);
    }
    return pos;
}

std::size_t OffsetOfBoxPosition(const std::string& crlfText, int position) {
    int pos = 0;
    std::size_t i = 0;
    while (i < crlfText.size() && pos < position) {
        const unsigned char c = static_cast<unsigned char>(crlfText[i]);
        if (c == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') {
            ++i;
            continue;
        }
        pos += Units(c);
        ++i;
        while (i < crlfText.size() && Units(static_cast<unsigned char>(crlfText[i])) == 0) ++i;
    }
    return i;
}
