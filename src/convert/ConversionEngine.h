// The conversion engine: the Find-Replace passes, the batch steps and the
// commit, worked on a list of libraries. The list holds what is stored and
// the run's settings (m_Run); a run works on its own copy of the list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/Library.h"

struct WildContext;

class CConversionEngine {
public:
    explicit CConversionEngine(CLibraryList& list) : m_List(list) {}

    CLibraryList& List() { return m_List; }

    // Throws CConversionAbort when the stop flag of the run's kind is raised.
    void CheckAbort() const;

    // The library pass: every active macro of the current library in order.
    std::string RunLibraryPass(std::string text, CFindRepPreview& preview);
    // One text with the current library, leaving no instance behind.
    std::string ConvertText(const std::string& text);
    std::string ApplyOneMacroToText(std::string text, CMacro macro, CFindRepPreview& preview);
    // One macro on one text, in place (token by token with IsDelimParse).
    void RunMacro(const std::string& source, std::string& text, CMacro macro,
                  CFindRepPreview& preview);
    void FindReplacePass(const std::string& source, std::string& text, CMacro& macro,
                         CFindRepPreview& preview);
    // The same for a text that goes on a line the result has begun: lead is
    // the converted text in front of it on that line. The text becomes lead
    // and the converted text after it, alignment tags counting their columns
    // from the line's start and putting right-aligning fills in the lead
    // where its last word stands in front of them, as in the whole text.
    void FindReplacePassAfter(const std::string& lead, std::string& text, CMacro& macro,
                              CFindRepPreview& preview);
    // Where the latest wild FindReplacePass stopped: the end of its last
    // match in the text it was given (the search from there found nothing).
    std::size_t LastSearchEnd = 0;
    // Where the first piece of a wild macro's Find (the text before its first
    // wild-card symbol) first matches at or after from; npos when nowhere.
    std::size_t FindFirstPiece(const CMacro& macro, const std::string& text, std::size_t from) const;
    bool WildFind(CWildTypeManager& manager, CMacro& macro, const std::string& text,
                  const std::string& shadow, std::size_t& position, const WildContext& context);
    void BuildReplacement(CWildTypeManager& manager, CMacro& macro, long matchNo);
    // The interactive steps with the program-wide current macro (m_Run.currentMacro).
    bool FindNextWithCurrentMacro(const std::string& text, std::size_t& matchStart,
                                  std::size_t& matchEnd, std::size_t start);
    bool ReplaceWithCurrentMacro(std::string& text, std::size_t start, std::size_t& matchStart,
                                 std::size_t& replacementEnd);

    // Entries of the workers.
    // Batch steps 0 and 1 (run kind 2) and step 2, the commit. Each returns
    // the number of files that failed, or -1 when the run could not work at
    // all (a bad library index, a refused commit, a stop).
    int RunBatchReport();
    int BatchConversionThreadTail();
    // Returns false on a stop; the marker was written.
    bool ConvertFileForBatch(CFindRepPreview& preview, int row, bool& modified);
    // The same; why says what kept a file from being read as text ("(binary)").
    bool ConvertFileForBatch(CFindRepPreview& preview, int row, bool& modified, std::string& why);
    bool CommitFile(CFindRepPreview& preview, int row);
    // The same; why says what kept the file from being written.
    bool CommitFile(CFindRepPreview& preview, int row, std::string& why);
    // Applies the instances that are not skipped, with their replacement
    // texts, to the text the preview read. An instance of a later step that
    // stands on text the preview had only because of a skipped or edited
    // instance is left out; dropped, when given, gets its index. False when
    // the text does not hold, at an instance's place, what the preview found.
    bool ApplyInstances(const CFindRepPreview& preview, std::string& text,
                        std::vector<int>* dropped = nullptr) const;
    std::string FormatModifiedFilesReport() const;
    std::string FormatWillModifyReport() const;
    // True when the macros the batch applies include an active sub-filter.
    bool UsesSubFilter() const;

private:
    CLibraryList& m_List;
};
