#include "model/LibraryFile.h"

#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/TextUtil.h"

namespace {

// A marker matches anywhere in the line, without its trailing blank.
bool HoldsMarker(const std::string& line, const std::string& marker) {
    std::string m = marker;
    while (!m.empty() && m.back() == ' ') m.pop_back();
    return line.find(m) != std::string::npos;
}

// A comment is written with its commas as they are (only a lone "," is
// coded), so it runs up to the ",IsSkipped=" that follows it; its line
// breaks and marker colons are coded (EncodeRawText).
std::string ReadTypeComment(const std::string& line) {
    const std::string key = "TypeComment=";
    std::size_t at = line.find("," + key);
    at = at == std::string::npos ? (line.compare(0, key.size(), key) == 0 ? 0 : std::string::npos)
                                 : at + 1;
    if (at == std::string::npos) return "";
    std::size_t from = at + key.size();
    std::size_t end = line.rfind(",IsSkipped=");
    std::string value = end != std::string::npos && end >= from
                            ? line.substr(from, end - from)
                            : GetKeyValue(line, key);
    return value == kCommaCode ? std::string(",") : DecodeLineText(value);
}

// Counts a record line whose keys are not the ones its writer writes and
// notes what is wrong with it.
void CheckKeys(const std::string& line, std::initializer_list<std::string_view> keys,
               const std::string& record, size_t* skipped, CReadProblems* problems) {
    if (!skipped) return;
    const std::string problem = CheckRecordKeys(line, 0, keys);
    if (problem.empty()) return;
    ++*skipped;
    if (problems) NoteReadProblem(*problems, record + ": " + problem);
}

// A type-card line without its comment's text: the comment is written as
// it stands and may hold commas and "=" (see ReadTypeComment).
std::string WithoutTypeComment(const std::string& line) {
    const std::string key = "TypeComment=";
    std::size_t at = line.find("," + key);
    at = at == std::string::npos ? (line.compare(0, key.size(), key) == 0 ? 0 : std::string::npos)
                                 : at + 1;
    if (at == std::string::npos) return line;
    const std::size_t from = at + key.size();
    const std::size_t end = line.rfind(",IsSkipped=");
    if (end == std::string::npos || end < from) return line;
    return line.substr(0, from) + line.substr(end);
}

}  // namespace

std::string CheckLibraryOptionKeys(const std::string& line) {
    const std::string marker = "Library option:";
    const std::size_t at = line.find(marker);
    return CheckRecordKeys(line, at == std::string::npos ? 0 : at + marker.size(),
                           {"Version=", "WorkMode=", "FR_LibIndex="});
}

std::string EncodeCharSet(const std::string& set) {
    std::string out;
    for (char c : set) {
        switch (c) {
            case ',': out += "-<com>-"; break;
            case ' ': out += "-<blk>-"; break;
            case '\t': out += "-<tab>-"; break;
            case '\r': out += "-<ret>-"; break;
            case '\n': out += "-<brk>-"; break;
            default: out += c;
        }
    }
    return out;
}

std::string DecodeCharSet(const std::string& text) {
    static const struct {
        const char* code;
        char c;
    } codes[] = {{"-<com>-", ','}, {"-<blk>-", ' '}, {"-<tab>-", '\t'}, {"-<ret>-", '\r'},
                 {"-<brk>-", '\n'}};
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        bool hit = false;
        if (text[i] == '-')
            for (const auto& code : codes)
                if (text.compare(i, 7, code.code) == 0) {
                    out += code.c;
                    i += 7;
                    hit = true;
                    break;
                }
        if (!hit) out += text[i++];
    }
    return out;
}

// A text that holds a marker of the file is written with that marker's
// colon coded: its line would otherwise end the section it stands in. Its
// line breaks become backslash n; a CR that is no part of one is coded.
std::string EncodeMacroText(const std::string& text) {
    return EncodeLineText(ReplaceAll(ReplaceAll(text, "\r\n", "\\n"), "\n", "\\n"));
}

std::string DecodeMacroText(const std::string& text) {
    return DecodeLineText(ReplaceAll(ReplaceAll(text, "\r\\n", "\r\n"), "\\n", "\r\n"));
}

std::string ShortenMacroText(const std::string& encoded) {
    if (encoded.size() < 10000) return encoded;
    return encoded.substr(0, 9970) + encoded.substr(encoded.size() - 10) + " (too big...)";
}

void WriteLibraryHeader(std::ostream& out, const CLibrary& lib) {
    out << "LibName=" << EncodeText(lib.LibName) << ", "
        << "NothingYetStr=" << EncodeText(lib.NothingYetStr) << ", "
        << "NothingYetInt=" << lib.NothingYetInt << ", " << '\n';
}

// Find and Replace texts are written whole: the reader takes lines of any
// length, so a long text survives a save and a load unchanged.
void WriteMacroList(std::ostream& out, const std::vector<CMacro>& macros,
                    const std::string& beginMarker, const std::string& endMarker, bool withFlags) {
    out << beginMarker << '\n';
    for (const CMacro& m : macros) {
        out << EncodeMacroText(m.Find) << '\n';
        out << EncodeMacroText(m.Replace) << '\n';
        if (withFlags) {
            out << "IsActive=" << m.GetIsActiveText() << ", "
                << "IsFindWild=" << m.GetIsFindWildText() << ", "
                << "IsRepWild=" << m.GetIsRepWildText() << ", "
                << "IsMatchCase=" << m.GetIsMatchCaseText() << ", "
                << "IsPerLine=" << m.GetIsPerLineText() << ", "
                << "IsCompConst=" << m.GetIsCompConstText() << ", "
                << "IsSubFilter=" << m.GetIsSubFilterText() << ", "
                << "IsDelimParse=" << m.GetIsDelimParseText() << ", " << '\n';
        }
    }
    out << endMarker << macros.size() << '\n';
}

void WriteTypeCards(std::ostream& out, const std::vector<CTypeCard>& cards,
                    const std::string& beginMarker, const std::string& endMarker) {
    out << beginMarker << '\n';
    for (const CTypeCard& card : cards) {
        out << "TypeCard=" << EncodeCharSet(card.Name) << ","
            << "PrimaryCharSet=" << EncodeCharSet(card.PrimaryCharSet) << ","
            << "AuxCharSet=" << EncodeCharSet(card.AuxCharSet) << ","
            << "TypeComment=" << (card.TypeComment == "," ? kCommaCode : EncodeRawText(card.TypeComment)) << ","
            << "IsSkipped=" << CMacro::FlagText(card.IsSkipped) << "," << '\n';
    }
    out << endMarker << cards.size() << '\n';
}

void WriteWildTypeManager(std::ostream& out, const CWildTypeManager& manager,
                          const std::string& beginMarker, const std::string& endMarker) {
    out << beginMarker << '\n';
    out << "WildCard=" << EncodeText(manager.WildCard) << "," << '\n';
    WriteTypeCards(out, manager.TypeCards, kTypeCardsBegin, kTypeCardsEnd);
    out << endMarker << '\n';
}

void WriteDelimList(std::ostream& out, const std::vector<CMacroTokenDelim>& delims,
                    const std::string& beginMarker, const std::string& endMarker) {
    out << beginMarker << '\n';
    for (const CMacroTokenDelim& d : delims) {
        out << "IsSingle=" << CMacro::FlagText(d.IsSingle) << ","
            << "BeginDelim=" << EncodeText(d.BeginDelim) << ","
            << "EndDelim=" << EncodeText(d.EndDelim) << "," << '\n';
    }
    out << endMarker << delims.size() << '\n';
}

void WriteLibraryBlock(std::ostream& out, const CLibrary& lib) {
    WriteLibraryHeader(out, lib);
    WriteMacroList(out, lib.MacroList, kMacroListBegin, kMacroListEnd, true);
    WriteWildTypeManager(out, lib.WildTypeManager, kWildTypeBegin, kWildTypeEnd);
    WriteDelimList(out, lib.DelimList, kDelimListBegin, kDelimListEnd);
}

void WriteLibraries(std::ostream& out, const CLibraryList& list) {
    if (list.empty()) return;
    out << kLibrariesBeginMarker << '\n';
    for (const CLibrary& lib : list) WriteLibraryBlock(out, lib);
    out << kLibrariesEndMarker << '\n';
}

void ReadLibraryHeader(const std::string& line, CLibrary& lib) {
    lib.LibName = GetTextValue(line, "LibName=");
    lib.NothingYetStr = GetTextValue(line, "NothingYetStr=");
    lib.NothingYetInt = ParseInt(GetKeyValue(line, "NothingYetInt="));
}

void ReadMacroList(std::istream& in, const std::string& endMarker, bool withFlags,
                   std::vector<CMacro>& macros, size_t* skipped, CReadProblems* problems) {
    std::string line;
    while (ReadLine(in, line)) {
        if (HoldsMarker(line, endMarker)) return;
        CMacro m;
        m.Find = DecodeMacroText(line);
        if (!ReadLine(in, line)) line.clear();
        m.Replace = DecodeMacroText(line);
        if (withFlags) {
            if (!ReadLine(in, line)) line.clear();
            CheckKeys(line,
                      {"IsActive=", "IsFindWild=", "IsRepWild=", "IsMatchCase=", "IsPerLine=",
                       "IsCompConst=", "IsSubFilter=", "IsDelimParse="},
                      "macro " + std::to_string(macros.size() + 1), skipped, problems);
            m.SetIsActiveText(GetKeyValue(line, "IsActive="));
            m.SetIsFindWildText(GetKeyValue(line, "IsFindWild="));
            m.SetIsRepWildText(GetKeyValue(line, "IsRepWild="));
            m.SetIsMatchCaseText(GetKeyValue(line, "IsMatchCase="));
            m.SetIsPerLineText(GetKeyValue(line, "IsPerLine="));
            m.SetIsCompConstText(GetKeyValue(line, "IsCompConst="));
            m.SetIsSubFilterText(GetKeyValue(line, "IsSubFilter="));
            m.SetIsDelimParseText(GetKeyValue(line, "IsDelimParse="));
        }
        macros.push_back(std::move(m));
    }
    if (skipped) ++*skipped;  // the closing line is missing
}

void ReadTypeCards(std::istream& in, const std::string& endMarker, std::vector<CTypeCard>& cards,
                   size_t* skipped, CReadProblems* problems) {
    cards.clear();
    std::string line;
    while (ReadLine(in, line)) {
        if (HoldsMarker(line, endMarker)) return;
        if (skipped && !HasKey(line, "TypeCard=")) {
            if (!line.empty()) ++*skipped;
            continue;
        }
        CheckKeys(WithoutTypeComment(line),
                  {"TypeCard=", "PrimaryCharSet=", "AuxCharSet=", "TypeComment=", "IsSkipped="},
                  "type-card " + std::to_string(cards.size() + 1), skipped, problems);
        CTypeCard card;
        card.Name = DecodeCharSet(GetKeyValue(line, "TypeCard="));
        if (card.Name.empty()) card.Name = "*";
        card.PrimaryCharSet = DecodeCharSet(GetKeyValue(line, "PrimaryCharSet="));
        card.AuxCharSet = DecodeCharSet(GetKeyValue(line, "AuxCharSet="));
        card.TypeComment = ReadTypeComment(line);
        card.IsSkipped = CMacro::FlagFromText(GetKeyValue(line, "IsSkipped="));
        card.AddChars(card.PrimaryCharSet, card.AuxCharSet);
        cards.push_back(std::move(card));
    }
    if (skipped) ++*skipped;
}

void ReadWildTypeManager(std::istream& in, const std::string& endMarker, CWildTypeManager& manager,
                         size_t* skipped, CReadProblems* problems) {
    manager.TypeCards.clear();
    std::string line;
    if (!ReadLine(in, line)) {
        if (skipped) ++*skipped;
        return;
    }
    if (HoldsMarker(line, endMarker)) return;
    CheckKeys(line, {"WildCard="}, "wild card", skipped, problems);
    manager.WildCard = GetTextValue(line, "WildCard=");
    if (!ReadLine(in, line)) {
        if (skipped) ++*skipped;
        return;
    }
    if (HoldsMarker(line, endMarker)) return;
    if (HoldsMarker(line, kTypeCardsBegin)) {
        ReadTypeCards(in, kTypeCardsEnd, manager.TypeCards, skipped, problems);
        if (!ReadLine(in, line) || !HoldsMarker(line, endMarker)) {
            if (skipped) ++*skipped;  // the section's end marker line
        }
    } else if (skipped) {
        ++*skipped;
    }
}

void ReadDelimList(std::istream& in, const std::string& endMarker,
                   std::vector<CMacroTokenDelim>& delims, size_t* skipped, CReadProblems* problems) {
    delims.clear();
    std::string line;
    while (ReadLine(in, line)) {
        if (HoldsMarker(line, endMarker)) return;
        if (skipped && !HasKey(line, "IsSingle=") && !HasKey(line, "BeginDelim=")) {
            if (!line.empty()) ++*skipped;
            continue;
        }
        CheckKeys(line, {"IsSingle=", "BeginDelim=", "EndDelim="},
                  "delimiter " + std::to_string(delims.size() + 1), skipped, problems);
        CMacroTokenDelim d;
        d.IsSingle = CMacro::FlagFromText(GetKeyValue(line, "IsSingle="));
        d.BeginDelim = GetTextValue(line, "BeginDelim=");
        d.EndDelim = GetTextValue(line, "EndDelim=");
        delims.push_back(std::move(d));
    }
    if (skipped) ++*skipped;
}

void ReadLibrary(std::istream& in, const std::string& endMarker, CLibraryList& list,
                 size_t* skipped, CReadProblems* problems) {
    size_t ownCount = 0;
    if (!skipped) skipped = &ownCount;
    // The problems of a block are named after its library.
    CReadProblems block;
    CReadProblems* notes = problems ? &block : nullptr;
    auto note = [&](const CLibrary& lib) {
        if (!problems) return;
        for (std::string& text : block.first)
            NoteReadProblem(*problems, "library \"" + TextForLog(lib.LibName) + "\" " + text);
        problems->more += block.more;
        block = CReadProblems();
    };
    std::string line;
    bool haveLine = ReadLine(in, line);
    while (haveLine) {
        if (HoldsMarker(line, endMarker)) return;
        if (!HasKey(line, "LibName=")) {
            // Not a block's first line: a damaged or misspelt line. It is
            // counted, never read as a library of its own.
            if (!line.empty()) ++*skipped;
            haveLine = ReadLine(in, line);
            continue;
        }
        // Each section may be missing: the library keeps its defaults for
        // it. A line that is none of them stays for the loop above, which
        // counts it when it is not the next block's first line.
        CLibrary lib;
        ReadLibraryHeader(line, lib);
        CheckKeys(line, {"LibName=", "NothingYetStr=", "NothingYetInt="}, "header", skipped, notes);
        haveLine = ReadLine(in, line);
        if (haveLine && HoldsMarker(line, kMacroListBegin)) {
            ReadMacroList(in, kMacroListEnd, true, lib.MacroList, skipped, notes);
            haveLine = ReadLine(in, line);
        }
        if (haveLine && HoldsMarker(line, kWildTypeBegin)) {
            ReadWildTypeManager(in, kWildTypeEnd, lib.WildTypeManager, skipped, notes);
            haveLine = ReadLine(in, line);
        }
        if (haveLine && HoldsMarker(line, kDelimListBegin)) {
            ReadDelimList(in, kDelimListEnd, lib.DelimList, skipped, notes);
            haveLine = ReadLine(in, line);
        }
        note(lib);
        list.Append(lib);
    }
    ++*skipped;  // the closing line is missing
}
