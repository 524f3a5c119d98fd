// The three diff results (Input/Output window, two files, three files): two
// or three aligned columns of rows with markers, line numbers and
// difference numbers, as the diff windows show them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/DiffLine.h"
#include "model/MasterPaletteLine.h"

// Diff result and diff window numbers.
enum DiffWindow { kDiffWindowInputOutput = 0, kDiffWindowFiles = 1, kDiffWindowThreeWay = 2 };
// Panes of a diff window; the middle pane only in the three-file window.
enum DiffPane { kDiffPaneLeft = 0, kDiffPaneRight = 1, kDiffPaneMiddle = 2 };

class CDiffResult {
public:
    CDiffResult() = default;

    void SetHeader(int fileNo1, int fileNo2, int fileNo3, const std::string& name1,
                   const std::string& name2, const std::string& name3, int mode);

    // A preparer sets the header of the next build; the rows stay as they
    // are until that build succeeds, and a failed build puts the previous
    // header back, so a failure leaves the whole result as it was.
    void PrepareHeader(int fileNo1, int fileNo2, int fileNo3, const std::string& name1,
                       const std::string& name2, const std::string& name3, int mode);

    // The end of a build (see compare/DiffBuilder.h). A failed build puts
    // the previous header back and leaves the rows and built as they were;
    // false is returned. A successful one takes the rows as this result's,
    // with the inputs they point into, sets built, writes doneLine to the
    // trace and returns true.
    bool FailBuild();
    bool TakeBuild(std::shared_ptr<const void> texts, std::vector<CDiffRow> left,
                   std::vector<CDiffRow> middle, std::vector<CDiffRow> right, const char* doneLine);

    bool built = false;
    int mode = 0;       // 0 Input/Output, 1 two files, 2 three files
    int fileNo1 = 0;    // 0-based place in the user's selection of the file named name1
    int fileNo2 = 0;
    int fileNo3 = 0;
    std::string name1;  // names of the compared inputs: full paths, or
    std::string name2;  // "Input window" and "Output window"
    std::string name3;
    // The rows' texts point into the inputs as they were read, which the
    // result keeps (shared by its copies) as long as it keeps the rows.
    std::vector<CDiffRow> leftRows;
    std::vector<CDiffRow> middleRows;  // only the three-file result
    std::vector<CDiffRow> rightRows;

private:
    struct Header {
        int mode, fileNo1, fileNo2, fileNo3;
        std::string name1, name2, name3;
    };
    std::optional<Header> m_PreviousHeader;
    std::shared_ptr<const void> m_Texts;
};

// The middle marker of a base line from its marker against file 2 (a) and
// against file 3 (b), each 0 same or filler, 1 modified, 3 not present:
//   a\b  0  1  3
//   0    0  4  2
//   1    5  6  8
//   3    1  7  3
// any other pair gives 0.
int CombineMiddleMarkers(int a, int b);

// The program's three diff results and the master palette lines.
class CDiffResultSet {
public:
    CDiffResultSet();
    CDiffResultSet(const CDiffResultSet& other);
    CDiffResultSet& operator=(const CDiffResultSet& other);
    ~CDiffResultSet() = default;

    // The result of a diff window number; nullptr for any other number.
    CDiffResult* GetResult(int window);
    const CDiffResult* GetResult(int window) const;

    // Headers of the next builds. The path of a file item is its local
    // folder followed by its file name; the paths come in selection order.
    void PrepareInputOutputDiff();
    // False (nothing changed) when fewer than two paths are given.
    bool PrepareTwoFileDiff(const std::vector<std::string>& selectedPaths);
    // False (nothing changed) when fewer than three paths are given.
    bool PrepareThreeWayDiff(const std::vector<std::string>& selectedPaths);

    // The texts of the given rows of one pane (0 left, 1 right, 2 middle),
    // in the given order; filler rows and row numbers outside the pane are
    // skipped. out is emptied first and returned.
    std::vector<std::string>& GetRowTexts(std::vector<std::string>& out, int window, int pane,
                                          const std::vector<int>& rows) const;

    CDiffResult m_InputOutputResult;
    CDiffResult m_FilesResult;
    CDiffResult m_ThreeWayResult;
    std::vector<CDiffResult*> m_Results;  // the three above by window number
    std::vector<CMasterPaletteLine> m_PaletteLines;
};
