// The conversion engine: the library pass, macro application, the
// Find-Replace pass and the replacement builder.
//
// A Find-Replace pass (one macro over one text, CFindReplacePass) goes
// through these steps:
//   Run                the common start: a literal Find takes a plain path,
//                      a wild one the wild path
//   SweepExact         the exact plain path of batch step 0: one sweep
//   PlainLoop          the plain path otherwise (exact, or caseless in a
//                      lower-case shadow), recording in batch step 1
//   WildSearch         the wild path's set-up: the manager's copy, the tab
//                      escapes, the pattern, the shadow, the template
//   WildLoop           match after match:
//     FindWildMatch      the next match (WildFind)
//     InsertReplacement  its replacement built and put in, tags expanded
//     RecordWildInstance the instance, in batch step 1: all that its
//                        replacement changed, also a fill in front of it
//   JoinKeptPieces     a sub-filter's result: the kept pieces alone
#include <algorithm>
#include <cstring>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "convert/DelimTokens.h"
#include "convert/PassOutput.h"
#include "model/Library.h"
#include "convert/ReplaceTags.h"
#include "convert/WildMatch.h"
#include "model/TextUtil.h"
#include "model/Trace.h"

namespace {
// Per pass: what the recording of instances carries from one to the next.
struct RecordState {
    int counter = 0;
    std::size_t prevPos = 0;
    int prevLine = 0;
};

int ImageFor(int stepNo, bool keepSteps) {
    if (stepNo == 0) return 6;
    if (keepSteps) return (stepNo % 2) ? 7 : 6;
    return (stepNo % 2) ? 9 : 8;
}

void RecordInstance(CFindRepPreview& preview, RecordState& st, const std::string& source,
                    const std::string& found, const std::string& replacement, std::size_t offset,
                    std::size_t sourcePos) {
    if (preview.NoInstances) return;
    CFindRepInstance inst;
    inst.FindText = found;
    if (!source.empty() && sourcePos < source.size()) {
        std::size_t endPos = std::min(source.size(), sourcePos + found.size());
        // The context reaches to the line's ends, but at most kMaxContext
        // characters each way, so that a huge line cannot make recording slow.
        const std::size_t kMaxContext = 240;
        std::size_t ls = sourcePos;
        const std::size_t lsFloor = sourcePos > kMaxContext ? sourcePos - kMaxContext : 0;
        while (ls > lsFloor && source[ls - 1] != '\r' && source[ls - 1] != '\n') --ls;
        std::size_t le = endPos;
        const std::size_t leCeil = std::min(source.size(), endPos + kMaxContext);
        while (le < leCeil && source[le] != '\r' && source[le] != '\n') ++le;
        std::string line;
        for (std::size_t i = ls; i < le; ++i) {
            char c = source[i];
            if (c == '\n') line += "\\n";
            else if (c == '\r') continue;
            else if (c == '\t') line += "\\t";
            else line += c;
        }
        inst.LineText = line;
    }
    inst.RepText = replacement;
    inst.RepLength = static_cast<int>(replacement.size());
    inst.InstanceNo = st.counter;
    // Lines are counted on from the previous instance of the pass.
    std::size_t from = st.prevPos, to = std::min(sourcePos, source.size());
    int line = st.prevLine;
    if (to < from) {
        from = 0;
        line = 0;
    }
    if (from < source.size() && to > from)
        line += static_cast<int>(std::count(source.begin() + from, source.begin() + to, '\r'));
    inst.LineNo = line;
    inst.Offset = static_cast<int>(offset);
    inst.Position = static_cast<int>(sourcePos);
    inst.PrevPosition = st.counter == 0 ? 0 : static_cast<int>(st.prevPos);
    inst.MacroIndex = preview.MacroIndex;
    inst.StepNo = preview.StepNo;
    inst.Start = static_cast<int>(sourcePos);
    inst.End = static_cast<int>(sourcePos + found.size());
    inst.KeepSteps = preview.KeepSteps;
    inst.ImageNo = ImageFor(preview.StepNo, preview.KeepSteps != 0);
    preview.Instances.push_back(std::move(inst));
    st.prevPos = sourcePos;
    st.prevLine = line;
    ++st.counter;
}

// Passes over texts up to this size keep a spare buffer on their thread.
constexpr std::size_t kSpareBufferLimit = 8u << 20;
thread_local std::string t_spareBuffer;

std::string TakeSpareBuffer() {
    std::string s;
    s.swap(t_spareBuffer);
    s.clear();
    return s;
}

void KeepSpareBuffer(std::string&& s) {
    if (s.capacity() <= kSpareBufferLimit && s.capacity() > t_spareBuffer.capacity())
        t_spareBuffer = std::move(s);
}

CFindRepPreview ScratchPreview() {
    CFindRepPreview p;
    p.Mode = "O";
    p.NoInstances = 1;
    return p;
}
}  // namespace

bool IsLineConfinedMacro(const CMacro& macro, const CWildTypeManager* manager) {
    if (!macro.IsActive) return true;  // not applied at all
    if (macro.IsSubFilter || macro.IsDelimParse) return false;
    if (macro.Find.empty()) return true;
    auto hasBreak = [](const std::string& t) { return t.find_first_of("\r\n") != std::string::npos; };
    if (!macro.IsFindWild) return !hasBreak(macro.Find);
    CWildTypeManager mgr = manager ? *manager : CWildTypeManager();
    if (!manager) mgr.SetDefaultTypeCards();
    const std::string find = ReplaceAll(ReplaceAll(macro.Find, "\\t", "\t"), "^t", "\t");
    const WildPattern p = CompileWildPattern(find, mgr);
    if (p.doubleSymbol || p.onlySymbols || p.leading || p.trailing || p.pieces.size() != 1)
        return false;
    for (const WildToken& t : p.pieces[0]) {
        if (t.card < 0) {
            if (t.lit.empty() || hasBreak(t.lit)) return false;
            continue;
        }
        const WildCardTable& c = p.cards[t.card];
        for (unsigned char b : {'\r', '\n'})
            if (c.primary[b] || c.aux[b]) return false;
    }
    return true;
}

bool IsWideStreamableMacro(const CMacro& macro, const CWildTypeManager* manager) {
    if (!macro.IsActive || !macro.IsFindWild || macro.IsSubFilter || macro.IsDelimParse ||
        macro.Find.empty())
        return false;
    CWildTypeManager mgr = manager ? *manager : CWildTypeManager();
    if (!manager) mgr.SetDefaultTypeCards();
    const std::string find = ReplaceAll(ReplaceAll(macro.Find, "\\t", "\t"), "^t", "\t");
    const WildPattern p = CompileWildPattern(find, mgr);
    if (p.doubleSymbol || p.onlySymbols || p.leading || p.trailing || p.pieces.size() < 2)
        return false;
    for (const std::vector<WildToken>& piece : p.pieces)
        for (const WildToken& t : piece) {
            if (t.card < 0) {
                if (t.lit.empty() || t.lit.find_first_of("\r\n") != std::string::npos) return false;
                continue;
            }
            const WildCardTable& c = p.cards[t.card];
            for (unsigned char b : {'\r', '\n'})
                if (c.primary[b] || c.aux[b]) return false;
        }
    return true;
}

std::size_t CConversionEngine::FindFirstPiece(const CMacro& macro, const std::string& text,
                                              std::size_t from) const {
    const CLibrary* lib = m_List.GetCurrentLibraryPtr();
    CWildTypeManager mgr = lib ? CWildTypeManager(lib->WildTypeManager) : CWildTypeManager();
    if (!lib) mgr.SetDefaultTypeCards();
    CMacro m = macro;
    m.Find = ReplaceAll(ReplaceAll(m.Find, "\\t", "\t"), "^t", "\t");
    WildPattern pattern = CompileWildPattern(m.Find, mgr);
    if (pattern.pieces.empty()) return std::string::npos;
    pattern.pieces.resize(1);
    pattern.leading = pattern.trailing = false;
    const std::string shadow = m.IsMatchCase ? std::string() : ToLowerText(text);
    m.IsPerLine = 0;
    std::size_t pos = from;
    WildContext ctx = WildContextAt(text, from);
    if (!MatchWildPattern(pattern, mgr, m, text, shadow, pos, ctx)) return std::string::npos;
    return pos;
}

void CConversionEngine::CheckAbort() const {
    if (m_List.RunKind == 2) {
        if (m_List.m_Run.pBatchBreak && m_List.m_Run.pBatchBreak->load()) throw CConversionAbort("-f-aborted");
    } else {
        if (m_List.m_Run.pConversionBreak && m_List.m_Run.pConversionBreak->load())
            throw CConversionAbort("-i-aborted");
    }
}

std::string CConversionEngine::RunLibraryPass(std::string text, CFindRepPreview& preview) {
    int applied = 0;
    for (int i = 0;; ++i) {
        const CLibrary* lib = m_List.GetCurrentLibraryPtr();
        if (!lib || i >= static_cast<int>(lib->MacroList.size())) break;
        CheckAbort();
        preview.MacroIndex = i;
        preview.StepNo = applied;
        CMacro macro = lib->MacroList[i];
        if (!macro.IsActive) continue;
        if (m_List.m_Run.nBatchStep == 1 && m_List.m_Run.bKeepSteps) preview.KeepSteps = 1;
        std::string source;
        if ((applied == 0 && m_List.m_Run.nBatchStep == 1) || (applied > 0 && preview.KeepSteps)) {
            preview.StepTexts.push_back(text);
            source = text;
        }
        RunMacro(source, text, macro, preview);
        ++applied;
    }
    return text;
}

std::string CConversionEngine::ConvertText(const std::string& text) {
    CFindRepPreview scratch = ScratchPreview();
    int step = m_List.m_Run.nBatchStep;
    // A scratch conversion keeps no steps, whatever batch step is set.
    m_List.m_Run.nBatchStep = 0;
    try {
        std::string out = RunLibraryPass(text, scratch);
        m_List.m_Run.nBatchStep = step;
        return out;
    } catch (...) {
        m_List.m_Run.nBatchStep = step;
        throw;
    }
}

std::string CConversionEngine::ApplyOneMacroToText(std::string text, CMacro macro,
                                                   CFindRepPreview& preview) {
    preview.MacroIndex = 0;
    preview.StepNo = 0;
    std::string source;
    if (m_List.m_Run.nBatchStep == 1) {
        if (m_List.m_Run.bKeepSteps) preview.KeepSteps = 1;
        preview.StepTexts.push_back(text);
        source = text;
    }
    CheckAbort();
    RunMacro(source, text, macro, preview);
    return text;
}

void CConversionEngine::RunMacro(const std::string& source, std::string& text, CMacro macro,
                                 CFindRepPreview& preview) {
    if (!macro.IsDelimParse) {
        FindReplacePass(source, text, macro, preview);
        return;
    }
    const CLibrary* lib = m_List.GetCurrentLibraryPtr();
    std::vector<CMacroTokenDelim> delims = lib ? lib->DelimList : DefaultDelimList();
    std::vector<CFindRepRecord> tokens;
    TokenizeByDelimiters(text, delims, tokens, true, true);
    if (tokens.empty()) return;
    const CMacro saved = macro;
    CFindRepPreview scratch = ScratchPreview();
    RecordState st;
    std::string out;
    out.reserve(text.size());
    std::size_t ip = 0;  // text before ip is already in out
    long shift = 0;
    for (const CFindRepRecord& tok : tokens) {
        CMacro m = saved;
        std::size_t at = text.find(tok.Text, ip);
        if (at == std::string::npos) break;
        std::string piece = tok.Text;
        // The token is converted on its own; the scratch record takes no instance.
        FindReplacePass("", piece, m, scratch);
        out.append(text, ip, at - ip);
        std::size_t offset = out.size();
        out += piece;
        if (m_List.m_Run.nBatchStep == 1)
            RecordInstance(preview, st, source, tok.Text, piece, offset,
                           static_cast<std::size_t>(static_cast<long>(offset) + shift));
        shift += static_cast<long>(tok.Text.size()) - static_cast<long>(piece.size());
        ip = at + tok.Text.size();
    }
    out.append(text, ip, std::string::npos);
    text.swap(out);
}

namespace {
// What the wild path works with for one pass: a copy of the library's
// wild-card manager (its captures are the pass's own), the pattern as
// written (tab escapes turned into TABs), its reverse for the minimal span,
// the lower-case shadow of the text, and the replacement template cut once.
struct WildSearch {
    CWildTypeManager mgr;
    CMacro written;
    WildPattern pattern;
    WildPattern reversed;
    std::string shadow;
    CReplaceTemplate compiled;

    WildSearch(const CLibrary* lib, CMacro& macro, const std::string& text)
        : mgr(lib ? CWildTypeManager(lib->WildTypeManager) : CWildTypeManager()) {
        if (!lib) mgr.SetDefaultTypeCards();
        mgr.ClearCaptures();
        macro.Find = ReplaceAll(ReplaceAll(macro.Find, "\\t", "\t"), "^t", "\t");
        macro.Replace = ReplaceAll(ReplaceAll(macro.Replace, "\\t", "\t"), "^t", "\t");
        written = macro;
        pattern = CompileWildPattern(written.Find, mgr);
        reversed = ReverseWildPattern(pattern);
        if (!macro.IsMatchCase) shadow = ToLowerText(text);
        // A plain template is cut once here instead of being parsed per match.
        if (written.IsRepWild) compiled.Compile(written.Replace, WildSymbol(mgr), mgr.TypeCards);
    }
};

// One Find-Replace pass of one macro over one text, in the steps the file's
// head comment lists. The result is built in the thread's spare buffer; what
// it replaces becomes the next spare, so that a run of passes over parts of
// a file does not ask the system for fresh memory each time.
class CFindReplacePass {
public:
    CFindReplacePass(CConversionEngine& engine, const std::string& source, std::string& text,
                     CMacro& macro, CFindRepPreview& preview, const std::string& lead)
        : m_Engine(engine), m_Source(source), m_Text(text), m_In(text), m_N(text.size()),
          m_Macro(macro), m_Preview(preview), m_PassFirst(preview.Instances.size()),
          m_Step(engine.List().m_Run.nBatchStep), m_Lead(lead), m_Out(TakeSpareBuffer()) {}
    ~CFindReplacePass() { KeepSpareBuffer(m_Out.Take()); }
    CFindReplacePass(const CFindReplacePass&) = delete;
    CFindReplacePass& operator=(const CFindReplacePass&) = delete;

    void Run();

private:
    void SweepExact(const std::string& find, const std::string& rep);
    void PlainLoop(const std::string& find, const std::string& rep);
    void WildLoop(WildSearch& w);
    bool FindWildMatch(WildSearch& w, CMacro& m, std::size_t ip, std::size_t& pos);
    std::size_t InsertReplacement(WildSearch& w, CMacro& m, std::string& rep, long matchNo,
                                  std::size_t ip, std::size_t pos, std::size_t& changedFrom);
    void RecordWildInstance(const std::string& found, std::size_t pos, std::size_t pieceStart,
                            std::size_t changedFrom);
    void JoinKeptPieces(const std::vector<std::string>& kept);
    void TakeResult();

    CConversionEngine& m_Engine;
    const std::string& m_Source;
    std::string& m_Text;
    const std::string& m_In;  // the text as given; the result replaces it at the end
    const std::size_t m_N;
    CMacro& m_Macro;
    CFindRepPreview& m_Preview;
    const std::size_t m_PassFirst;  // the first instance this pass records
    const int m_Step;
    const std::string& m_Lead;  // the result's line in front of the text
    RecordState m_Record;
    CPassOutput m_Out;
    AlignLineState m_Align;  // the alignment tags' line in m_Out
};

void CFindReplacePass::Run() {
    if (m_Macro.IsFindWild) {
        WildSearch w(m_Engine.List().GetCurrentLibraryPtr(), m_Macro, m_In);
        WildLoop(w);
        return;
    }
    const std::string find = m_Macro.Find;
    const std::string& rep = m_Macro.Replace;
    if (m_Macro.IsMatchCase && m_Step == 0)
        SweepExact(find, rep);
    else
        PlainLoop(find, rep);
    if (!m_Lead.empty()) m_Text.insert(0, m_Lead);
}

// The result built in m_Out becomes the text; the text's buffer is kept
// for the next result.
void CFindReplacePass::TakeResult() {
    std::string result = m_Out.Take();
    m_Text.swap(result);
    m_Out = CPassOutput(std::move(result));
}

// The exact plain path of batch step 0: one sweep, left to right, without
// per-match work.
void CFindReplacePass::SweepExact(const std::string& find, const std::string& rep) {
    const std::string& in = m_In;
    const std::size_t n = m_N;
    auto next = [&](std::size_t from) -> std::size_t {
        if (from >= n) return std::string::npos;
        const void* hit = ::memmem(in.data() + from, n - from, find.data(), find.size());
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - in.data())
                   : std::string::npos;
    };
    std::size_t pos = next(0);
    if (pos == std::string::npos) return;
    m_Out.reserve(n + n / 8);
    std::size_t ip = 0;
    while (pos != std::string::npos) {
        m_Out.append(in, ip, pos - ip);
        m_Out.append(rep);
        ip = pos + find.size();
        pos = next(ip);
    }
    m_Out.append(in, ip, std::string::npos);
    TakeResult();
}

// The plain loop, exact or caseless (in a lower-case shadow): a search
// before each replacement, with an abort check, and each instance recorded
// in batch step 1.
void CFindReplacePass::PlainLoop(const std::string& find, const std::string& rep) {
    const std::string& in = m_In;
    const std::size_t n = m_N;
    std::string shadow, key = find;
    if (!m_Macro.IsMatchCase) {
        shadow = ToLowerText(in);
        key = ToLowerText(find);
    }
    const std::string& hay = m_Macro.IsMatchCase ? in : shadow;
    std::size_t ip = 0;
    bool any = false;
    while (ip < n) {
        m_Engine.CheckAbort();
        std::size_t pos = hay.find(key, ip);
        if (pos == std::string::npos) break;
        if (!any) {
            m_Out.reserve(n + n / 8);
            any = true;
        }
        m_Out.append(in, ip, pos - ip);
        if (m_Step == 1)
            RecordInstance(m_Preview, m_Record, m_Source, in.substr(pos, find.size()), rep,
                           m_Out.size(), pos);
        m_Out.append(rep);
        ip = pos + find.size();
    }
    if (!any) return;
    m_Out.append(in, ip, std::string::npos);
    TakeResult();
}

// The wild loop: match after match from where the last replacement ended.
void CFindReplacePass::WildLoop(WildSearch& w) {
    const std::string& in = m_In;
    const std::size_t n = m_N;
    std::string rep;
    std::vector<std::string> kept;
    m_Out.reserve(m_Lead.size() + n + n / 8);
    m_Out.append(m_Lead);
    std::size_t ip = 0;
    long matchNo = 0;
    std::size_t emptyAt = std::string::npos;  // where the last empty match was
    CMacro m = w.written;
    while (ip < n) {
        m_Engine.CheckAbort();
        m.Find.assign(w.written.Find);  // the pattern as written, without a new allocation
        m.Replace.assign(w.written.Replace);
        const bool last = w.pattern.doubleSymbol;
        std::size_t pos = ip;
        if (!FindWildMatch(w, m, ip, pos)) break;
        const std::size_t len = m.Find.size();
        if (len == 0 && pos == emptyAt) {
            // The same empty match again: move on by one character.
            if (ip >= n) break;
            m_Out.push_back(in[ip++]);
            continue;
        }
        std::size_t changedFrom = 0;
        const std::size_t pieceStart = InsertReplacement(w, m, rep, matchNo, ip, pos, changedFrom);
        if (m_Step == 1) RecordWildInstance(m.Find, pos, pieceStart, changedFrom);
        if (m_Macro.IsSubFilter) kept.push_back(m_Out.Substr(pieceStart));
        ip = pos + len;
        emptyAt = len == 0 ? pos : std::string::npos;
        if (last) break;
        ++matchNo;
    }
    m_Engine.LastSearchEnd = std::min(ip, n);
    m_Out.append(in, std::min(ip, n), std::string::npos);
    if (m_Macro.IsSubFilter) {
        JoinKeptPieces(kept);
        return;
    }
    TakeResult();
}

// The next wild match at or after ip (WildFind); false when there is none.
bool CFindReplacePass::FindWildMatch(WildSearch& w, CMacro& m, std::size_t ip, std::size_t& pos) {
    WildContext ctx;
    ctx.floor = ip;
    // Only the first search starts at the text's start; a text whose
    // front was replaced by nothing does not start over.
    ctx.atTextStart = ip == 0;
    ctx.lfBefore = !m_Out.empty() && m_Out.back() == '\n';
    ctx.pattern = &w.pattern;
    ctx.reversed = &w.reversed;
    return m_Engine.WildFind(w.mgr, m, m_In, w.shadow, pos, ctx) && pos >= ip;
}

// The text up to the match and the match's replacement (BuildReplacement,
// or the template cut once), its counter and alignment tags expanded, put
// into the result; returns where the replacement's piece starts there.
// changedFrom is where the result first differs from the text up to the
// match: the piece's start, or earlier where a right-aligning fill went in
// front of a word before it.
std::size_t CFindReplacePass::InsertReplacement(WildSearch& w, CMacro& m, std::string& rep,
                                                long matchNo, std::size_t ip, std::size_t pos,
                                                std::size_t& changedFrom) {
    if (!w.compiled.IsCompiled() || !w.compiled.Build(w.mgr.TypeCards, rep)) {
        m_Engine.BuildReplacement(w.mgr, m, matchNo);
        rep = m.Replace;
    }
    if (m_Macro.IsSubFilter) rep.insert(0, "\r\n");
    m_Out.append(m_In, ip, pos - ip);
    const std::size_t pieceStart = m_Out.size();
    changedFrom = pieceStart;
    // Running numbers and alignment are tags: a piece without "<" has none.
    // Running numbers look at nothing but the piece; alignment at its line.
    const bool tagged = std::memchr(rep.data(), '<', rep.size()) != nullptr;
    if (tagged) ExpandCounterTags(rep, matchNo, 0, rep.size());
    m_Out.append(rep);
    if (tagged) ExpandAlignTags(m_Out, pieceStart, m_Out.size(), m_Align, &changedFrom);
    return pieceStart;
}

// Records the instance of a match (batch step 1): the text it found and what
// stands in its place. A commit puts each instance's replacement over its
// found text and nothing else, so an instance must cover all that its
// replacement changed: where a fill went in front of the match, the instance
// starts there and finds the text from there on; where the fill went into
// the replacement of an earlier match of this pass, that instance and this
// one become one.
void CFindReplacePass::RecordWildInstance(const std::string& found, std::size_t pos,
                                          std::size_t pieceStart, std::size_t changedFrom) {
    // A pass that keeps no instances (a token of a delimiter parse, a piece
    // tag's substitution) has no earlier instance to merge with either.
    if (m_Preview.NoInstances) return;
    if (changedFrom >= pieceStart) {
        RecordInstance(m_Preview, m_Record, m_Source, found, m_Out.Substr(pieceStart), pieceStart, pos);
        return;
    }
    // Up to the piece, the result holds the text as it was since the last
    // recorded piece of this pass.
    std::size_t from = changedFrom;
    std::size_t sourceFrom = pos - (pieceStart - from);
    std::vector<CFindRepInstance>& list = m_Preview.Instances;
    while (list.size() > m_PassFirst) {
        const CFindRepInstance& prev = list.back();
        if (static_cast<std::size_t>(prev.Offset) + static_cast<std::size_t>(prev.RepLength) <= from) break;
        // The text between from and that piece is the text as it was in
        // front of the piece's found text.
        const std::size_t prevOffset = static_cast<std::size_t>(prev.Offset);
        from = std::min(from, prevOffset);
        sourceFrom = static_cast<std::size_t>(prev.Position) - (prevOffset - from);
        // The recording goes on as before that instance.
        m_Record.counter = prev.InstanceNo;
        m_Record.prevPos = static_cast<std::size_t>(prev.PrevPosition);
        const bool earlier = prev.InstanceNo > 0 && list.size() - 1 > m_PassFirst;
        m_Record.prevLine = earlier ? list[list.size() - 2].LineNo : 0;
        list.pop_back();
    }
    RecordInstance(m_Preview, m_Record, m_Source, m_In.substr(sourceFrom, pos + found.size() - sourceFrom),
                   m_Out.Substr(from), from, sourceFrom);
}

// A sub-filter keeps only the pieces, joined, without the first one's "\r\n".
void CFindReplacePass::JoinKeptPieces(const std::vector<std::string>& kept) {
    std::string joined;
    for (const std::string& k : kept) joined += k;
    if (joined.compare(0, 2, "\r\n") == 0) joined.erase(0, 2);
    joined.insert(0, m_Lead);
    m_Text.swap(joined);
}
}  // namespace

void CConversionEngine::FindReplacePass(const std::string& source, std::string& text, CMacro& macro,
                                        CFindRepPreview& preview) {
    if (macro.Find.empty()) return;
    CFindReplacePass(*this, source, text, macro, preview, std::string()).Run();
}

void CConversionEngine::FindReplacePassAfter(const std::string& lead, std::string& text, CMacro& macro,
                                             CFindRepPreview& preview) {
    if (macro.Find.empty()) {
        text.insert(0, lead);
        return;
    }
    CFindReplacePass(*this, std::string(), text, macro, preview, lead).Run();
}

bool CConversionEngine::WildFind(CWildTypeManager& manager, CMacro& macro, const std::string& text,
                                 const std::string& shadow, std::size_t& position,
                                 const WildContext& context) {
    if (!macro.IsFindWild) {
        // The interactive find with a plain macro: a literal search.
        if (macro.Find.empty()) return false;
        std::size_t hit = macro.IsMatchCase ? text.find(macro.Find, position)
                                            : shadow.find(ToLowerText(macro.Find), position);
        if (hit == std::string::npos) return false;
        macro.Find = text.substr(hit, macro.Find.size());
        position = hit;
        return true;
    }
    WildPattern local;
    WildPattern* pattern = context.pattern;
    if (!pattern) {
        local = CompileWildPattern(macro.Find, manager);
        pattern = &local;
    }
    if (!MatchWildPattern(*pattern, manager, macro, text, shadow, position, context)) return false;
    if (g_bTrace) manager.TraceCaptures(std::string(39, '='));
    if (macro.IsCompConst) {
        WildPattern localRev;
        WildPattern* rev = context.reversed;
        if (!rev) {
            localRev = ReverseWildPattern(*pattern);
            rev = &localRev;
        }
        std::size_t start = position;
        if (FindMinimalSpan(*rev, manager, macro, text, start, position + macro.Find.size()))
            position = start;
    }
    return true;
}

namespace {
// True when the text holds "<" directly followed by name.
bool HasTagOpening(const std::string& text, const std::string& name) {
    if (name.empty()) return false;
    for (std::size_t k = text.find('<'); k != std::string::npos; k = text.find('<', k + 1))
        if (text.compare(k + 1, name.size(), name) == 0) return true;
    return false;
}
}  // namespace

void CConversionEngine::BuildReplacement(CWildTypeManager& manager, CMacro& macro, long /*matchNo*/) {
    if (!macro.IsRepWild || macro.Replace.empty()) return;
    // The substitutions of a piece tag run with the first five flags of the
    // macro being applied; sub-filter, delimiter parsing and active are clear.
    CMacro flags("", "", macro.IsMatchCase, macro.IsFindWild, macro.IsRepWild, macro.IsPerLine,
                 macro.IsCompConst, 0, 0, 0);
    MacroApplier apply = [this](std::string& t, const CMacro& m) {
        CFindRepPreview scratch = ScratchPreview();
        RunMacro("", t, m, scratch);
    };
    const std::string symbol(1, WildSymbol(manager));
    std::string& r = macro.Replace;
    // Wild-card pieces: tags when there is one, else the bare symbols in order.
    if (HasTagOpening(r, symbol))
        r = ApplyReplaceTags(r, symbol, manager.WildCaptures, flags, apply);
    else if (!manager.WildCaptures.empty() && r.find(symbol) != std::string::npos)
        r = FillWildSymbolsInOrder(r, symbol, manager.WildCaptures);
    // Type-card pieces, card by card; a card whose name does not occur changes nothing.
    bool tagged = false;
    for (const CTypeCard& card : manager.TypeCards)
        if (HasTagOpening(r, card.Name)) {
            tagged = true;
            break;
        }
    for (const CTypeCard& card : manager.TypeCards) {
        if (tagged) {
            if (HasTagOpening(r, card.Name))
                r = ApplyReplaceTags(r, card.Name, card.Captures, flags, apply);
        } else if (!card.Captures.empty() && !card.Name.empty() &&
                   r.find(card.Name) != std::string::npos) {
            r = FillWildSymbolsInOrder(r, card.Name, card.Captures);
        }
    }
}

bool CConversionEngine::FindNextWithCurrentMacro(const std::string& text, std::size_t& matchStart,
                                                 std::size_t& matchEnd, std::size_t start) {
    if (start >= text.size()) return false;
    CMacro macro = m_List.m_Run.currentMacro;
    if (macro.Find.empty()) return false;
    const CLibrary* lib = m_List.GetCurrentLibraryPtr();
    CWildTypeManager mgr = lib ? CWildTypeManager(lib->WildTypeManager) : CWildTypeManager();
    if (!lib) mgr.SetDefaultTypeCards();
    if (macro.IsFindWild)
        macro.Find = ReplaceAll(ReplaceAll(macro.Find, "\\t", "\t"), "^t", "\t");
    auto findIn = [&](const std::string& t, std::size_t from, std::size_t& s, std::size_t& e) {
        std::string shadow = macro.IsMatchCase ? std::string() : ToLowerText(t);
        CMacro m = macro;
        WildContext ctx = WildContextAt(t, from);
        std::size_t pos = from;
        if (!WildFind(mgr, m, t, shadow, pos, ctx)) return false;
        s = pos;
        e = pos + m.Find.size();
        return true;
    };
    if (!macro.IsDelimParse) return findIn(text, start, matchStart, matchEnd);
    std::vector<CFindRepRecord> tokens;
    TokenizeByDelimiters(text, lib ? lib->DelimList : DefaultDelimList(), tokens, true, true);
    std::size_t from = start;
    for (const CFindRepRecord& tok : tokens) {
        std::size_t at = text.find(tok.Text, from);
        if (at == std::string::npos) return false;
        std::size_t s, e;
        if (findIn(tok.Text, 0, s, e)) {
            matchStart = at + s;
            matchEnd = at + e;
            return true;
        }
        from = at + tok.Text.size();
    }
    return false;
}

bool CConversionEngine::ReplaceWithCurrentMacro(std::string& text, std::size_t start,
                                                std::size_t& matchStart, std::size_t& replacementEnd) {
    CMacro macro = m_List.m_Run.currentMacro;
    if (!macro.IsDelimParse) {
        std::size_t s, e;
        if (!FindNextWithCurrentMacro(text, s, e, start)) return false;
        // Replace only this match: run the pass over the match alone.
        const CLibrary* lib = m_List.GetCurrentLibraryPtr();
        CWildTypeManager mgr = lib ? CWildTypeManager(lib->WildTypeManager) : CWildTypeManager();
        if (!lib) mgr.SetDefaultTypeCards();
        CMacro m = macro;
        if (m.IsFindWild) {
            m.Find = ReplaceAll(ReplaceAll(m.Find, "\\t", "\t"), "^t", "\t");
            m.Replace = ReplaceAll(ReplaceAll(m.Replace, "\\t", "\t"), "^t", "\t");
            std::string shadow = m.IsMatchCase ? std::string() : ToLowerText(text);
            WildContext ctx = WildContextAt(text, start);
            std::size_t pos = start;
            if (!WildFind(mgr, m, text, shadow, pos, ctx)) return false;
            s = pos;
            e = pos + m.Find.size();
            BuildReplacement(mgr, m, 0);
        }
        std::string rep = m.Replace;
        if (text.compare(s, e - s, rep) != 0) text.replace(s, e - s, rep);
        matchStart = s;
        replacementEnd = s + rep.size();
        return true;
    }
    const CLibrary* lib = m_List.GetCurrentLibraryPtr();
    std::vector<CFindRepRecord> tokens;
    TokenizeByDelimiters(text, lib ? lib->DelimList : DefaultDelimList(), tokens, true, true);
    std::size_t from = start;
    for (const CFindRepRecord& tok : tokens) {
        std::size_t at = text.find(tok.Text, from);
        if (at == std::string::npos) return false;
        CLibraryList probe = m_List;
        probe.m_Run.currentMacro = macro;
        probe.m_Run.currentMacro.IsDelimParse = 0;
        std::size_t s, e;
        if (CConversionEngine(probe).FindNextWithCurrentMacro(tok.Text, s, e, 0)) {
            std::string piece = tok.Text;
            CMacro m = macro;
            CFindRepPreview scratch = ScratchPreview();
            FindReplacePass("", piece, m, scratch);
            if (piece != tok.Text) text.replace(at, tok.Text.size(), piece);
            matchStart = at;
            replacementEnd = at + piece.size();
            return true;
        }
        from = at + tok.Text.size();
    }
    return false;
}
