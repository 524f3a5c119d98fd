// The presence comparison of two or more baskets of names: which names only
// one basket holds, which all of them hold, and the text comparison of the
// files common to all. Baskets are file baskets of a session, the lines of
// selected files, or the lines of the Input and Output windows. Any number
// of baskets take part.
#pragma once

#include <string>
#include <vector>

class CProgramData;
class CSessionReport;

// One name of one basket: Dir + Name is the key.
struct ReportFileEntry {
    std::string Dir;
    bool IsCommon = false;
    std::string Name;
    // The full path of the entry in each basket that holds it (its own
    // folder and its own spelling of the name); "" where a basket lacks it.
    // In a basket entry it holds the entry's own path only.
    std::vector<std::string> Origins;
    // One mark per basket: the basket holds the key.
    std::vector<bool> Presence;
};

struct ReportBasketEntry {
    std::string Label;
    std::vector<ReportFileEntry> Files;
};

// The work data of a comparison.
class CBasketComparison {
public:
    std::vector<ReportBasketEntry> BasketEntries;
    std::vector<ReportFileEntry> MasterList;

    // Adds a basket; a text line of a file or window has the folder "ttt".
    ReportBasketEntry& AddBasket(const std::string& label);
    static void AddEntry(ReportBasketEntry& basket, const std::string& dir, const std::string& name);

    // Sorts the baskets, takes each basket's root folder off its entries,
    // builds the master list and marks presence; returns the report text.
    // compFiles leaves out the hint to compare the files' contents.
    std::string BuildComparisonReport(bool compFiles);
    // Compares the texts of the files common to all baskets, neighbour by
    // neighbour; valid right after BuildComparisonReport. With detail the
    // change listing of every differing pair follows its heading. A pair
    // that cannot be read is named in the text and the others go on.
    std::string DiffCommonFiles(bool detail) const;
};

// Entry order: by Dir, then by Name, bytes compared unsigned (lower case
// first when "DiffIgnoreCase=" is on).
bool ReportEntryLess(const ReportFileEntry& a, const ReportFileEntry& b);

// The part of a basket's folders the basket's entries share: the first
// folder after sorting, when every folder of the basket starts with it on a
// whole folder boundary. A VMS folder ([A.B]) is compared without its "]".
// False when the folders share no such root.
bool FindBasketRoot(const std::vector<ReportFileEntry>& sortedFiles, std::string& root, bool& vms);

// The comparison of file baskets of a session by their local (or remote)
// folders and names.
std::string CompareSelectedBaskets(const CProgramData& data, const CSessionReport& report,
                                   CBasketComparison& work, int p, int s, const std::vector<int>& baskets);

// The lines of the selected files, one basket per file. Like the basket
// report, it carries the hint on comparing contents unless the report
// option "ReportCompFiles" is on.
std::string CrossListSelectedFiles(const CProgramData& data, CBasketComparison& work, int p, int s, int b,
                                   const std::vector<int>& items);
// The Input window's lines against the Output window's; compFiles as the
// report option above.
std::string CrossListInputOutput(CBasketComparison& work, const std::string& inputText,
                                 const std::string& outputText, bool compFiles);
