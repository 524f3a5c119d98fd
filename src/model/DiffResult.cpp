#include "model/DiffResult.h"

#include "model/Trace.h"

void CDiffResult::SetHeader(int no1, int no2, int no3, const std::string& n1,
                            const std::string& n2, const std::string& n3, int m) {
    fileNo1 = no1;
    fileNo2 = no2;
    fileNo3 = no3;
    name1 = n1;
    name2 = n2;
    name3 = n3;
    mode = m;
}

void CDiffResult::PrepareHeader(int no1, int no2, int no3, const std::string& n1,
                                const std::string& n2, const std::string& n3, int m) {
    if (!m_PreviousHeader) m_PreviousHeader = Header{mode, fileNo1, fileNo2, fileNo3, name1, name2, name3};
    SetHeader(no1, no2, no3, n1, n2, n3, m);
}

bool CDiffResult::FailBuild() {
    if (m_PreviousHeader) {
        const Header h = *m_PreviousHeader;
        SetHeader(h.fileNo1, h.fileNo2, h.fileNo3, h.name1, h.name2, h.name3, h.mode);
        m_PreviousHeader.reset();
    }
    return false;
}

bool CDiffResult::TakeBuild(std::shared_ptr<const void> texts, std::vector<CDiffRow> left,
                            std::vector<CDiffRow> middle, std::vector<CDiffRow> right,
                            const char* doneLine) {
    leftRows.swap(left);
    middleRows.swap(middle);
    rightRows.swap(right);
    m_Texts = std::move(texts);
    m_PreviousHeader.reset();
    built = true;
    WriteTraceString(doneLine);
    return true;
}

int CombineMiddleMarkers(int a, int b) {
    static const int table[3][3] = {{0, 4, 2}, {5, 6, 8}, {1, 7, 3}};
    auto index = [](int v) { return v == 0 ? 0 : v == 1 ? 1 : v == 3 ? 2 : -1; };
    int ia = index(a), ib = index(b);
    if (ia < 0 || ib < 0) return 0;
    return table[ia][ib];
}

CDiffResultSet::CDiffResultSet()
    : m_Results{&m_InputOutputResult, &m_FilesResult, &m_ThreeWayResult} {}

CDiffResultSet::CDiffResultSet(const CDiffResultSet& other)
    : m_InputOutputResult(other.m_InputOutputResult),
      m_FilesResult(other.m_FilesResult),
      m_ThreeWayResult(other.m_ThreeWayResult),
      m_Results{&m_InputOutputResult, &m_FilesResult, &m_ThreeWayResult},
      m_PaletteLines(other.m_PaletteLines) {}

CDiffResultSet& CDiffResultSet::operator=(const CDiffResultSet& other) {
    if (this != &other) {
        m_InputOutputResult = other.m_InputOutputResult;
        m_FilesResult = other.m_FilesResult;
        m_ThreeWayResult = other.m_ThreeWayResult;
        m_PaletteLines = other.m_PaletteLines;
    }
    return *this;
}

CDiffResult* CDiffResultSet::GetResult(int window) {
    if (window < 0 || window >= static_cast<int>(m_Results.size())) return nullptr;
    return m_Results[window];
}

const CDiffResult* CDiffResultSet::GetResult(int window) const {
    if (window < 0 || window >= static_cast<int>(m_Results.size())) return nullptr;
    return m_Results[window];
}

void CDiffResultSet::PrepareInputOutputDiff() {
    m_InputOutputResult.PrepareHeader(0, 0, 1, "Input window", "", "Output window", 0);
}

bool CDiffResultSet::PrepareTwoFileDiff(const std::vector<std::string>& paths) {
    if (paths.size() < 2) return false;
    m_FilesResult.PrepareHeader(0, 0, 1, paths[0], "", paths[1], 1);
    return true;
}

bool CDiffResultSet::PrepareThreeWayDiff(const std::vector<std::string>& paths) {
    if (paths.size() < 3) return false;
    m_ThreeWayResult.PrepareHeader(1, 0, 2, paths[1], paths[0], paths[2], 2);
    return true;
}

std::vector<std::string>& CDiffResultSet::GetRowTexts(std::vector<std::string>& out, int window,
                                                      int pane, const std::vector<int>& rows) const {
    out.clear();
    const CDiffResult* result = GetResult(window);
    if (!result) return out;
    const std::vector<CDiffRow>* column = nullptr;
    switch (pane) {
    case kDiffPaneLeft: column = &result->leftRows; break;
    case kDiffPaneRight: column = &result->rightRows; break;
    case kDiffPaneMiddle: column = &result->middleRows; break;
    default: return out;
    }
    for (int row : rows) {
        if (row < 0 || row >= static_cast<int>(column->size())) continue;
        const CDiffRow& line = (*column)[row];
        if (line.lineNo >= 0) out.emplace_back(line.Text());
    }
    return out;
}
