#include "compare/MasterPalette.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "compare/DiffRows.h"
#include "model/SafeFile.h"

void CMasterPalette::SetSelection(std::vector<int> rows) {
    m_selection = std::move(rows);
    ClampSelection();
}

void CMasterPalette::SetSelectedRow(int row) { SetSelection({row}); }

void CMasterPalette::SelectAll() {
    m_selection.resize(m_lines.size());
    for (size_t i = 0; i < m_lines.size(); ++i) m_selection[i] = static_cast<int>(i);
}

bool CMasterPalette::IsModified(int row) const {
    return row >= 0 && row < static_cast<int>(m_modified.size()) && m_modified[row];
}

void CMasterPalette::ClampSelection() {
    const int n = Count();
    m_selection.erase(std::remove_if(m_selection.begin(), m_selection.end(), [n](int r) { return r < 0 || r >= n; }),
                      m_selection.end());
    m_modified.resize(m_lines.size(), 0);
}

void CMasterPalette::SetLines(const std::vector<std::string>& texts) {
    m_lines.clear();
    m_modified.clear();
    m_selection.clear();
    InsertAt(0, texts, kOriginLoaded);
}

void CMasterPalette::InsertAt(int pos, const std::vector<std::string>& texts, int origin) {
    pos = std::clamp(pos, 0, Count());
    m_modified.resize(m_lines.size(), 0);
    std::vector<CMasterPaletteLine> add;
    add.reserve(texts.size());
    for (const std::string& t : texts) add.push_back({origin, -1, -1, t});
    m_lines.insert(m_lines.begin() + pos, add.begin(), add.end());
    m_modified.insert(m_modified.begin() + pos, texts.size(), 0);
}

int CMasterPalette::AddLines(const std::vector<std::string>& texts, int origin) {
    ClampSelection();
    const int pos = m_selection.empty() ? Count() : m_selection.back() + 1;
    InsertAt(pos, texts, origin);
    return pos;
}

bool CMasterPalette::OverrideLines(const std::vector<int>& listSelected, const std::vector<std::string>& texts,
                                   int origin) {
    std::vector<int> sel;
    for (int r : listSelected)
        if (r >= 0 && r < Count()) sel.push_back(r);
    std::sort(sel.begin(), sel.end());
    sel.erase(std::unique(sel.begin(), sel.end()), sel.end());
    if (sel.empty()) return false;
    const int first = sel.front();
    int pos = 0;
    if (static_cast<int>(sel.size()) == Count()) {
        m_lines.clear();
        m_modified.clear();
    } else {
        // Removing the first selected row each time: the later rows move up by one per removal.
        for (size_t k = 0; k < sel.size(); ++k) {
            pos = sel[k] - static_cast<int>(k);
            m_lines.erase(m_lines.begin() + pos);
            m_modified.erase(m_modified.begin() + pos);
        }
    }
    m_selection.clear();
    InsertAt(pos, texts, origin);
    if (first < Count()) m_selection = {first};
    return true;
}

int CMasterPalette::DeleteLines(const std::vector<int>& listSelected) {
    std::vector<int> sel;
    for (int r : listSelected)
        if (r >= 0 && r < Count()) sel.push_back(r);
    std::sort(sel.begin(), sel.end());
    sel.erase(std::unique(sel.begin(), sel.end()), sel.end());
    if (static_cast<int>(sel.size()) == Count()) {
        Clear();
        return -1;
    }
    int last = 0;
    for (size_t k = 0; k < sel.size(); ++k) {
        last = sel[k] - static_cast<int>(k);
        m_lines.erase(m_lines.begin() + last);
        m_modified.erase(m_modified.begin() + last);
    }
    if (sel.empty()) {
        ClampSelection();
        return m_selection.empty() ? -1 : m_selection.front();
    }
    const int row = std::min(last, Count() - 1);
    m_selection = {row};
    return row;
}

void CMasterPalette::Clear() {
    m_lines.clear();
    m_modified.clear();
    m_selection.clear();
}

int CMasterPalette::InsertBlankLine() {
    ClampSelection();
    const bool wasEmpty = m_lines.empty();
    const bool noneSelected = m_selection.empty();
    const int pos = noneSelected ? 0 : m_selection.back() + 1;
    InsertAt(pos, {""}, kOriginTyped);
    if (wasEmpty || noneSelected) m_selection = {0};
    return pos;
}

std::optional<int> CMasterPalette::NextBlock() const {
    const int n = Count();
    int r = m_selection.empty() ? 0 : m_selection.front();
    if (r < 0 || r >= n) return std::nullopt;
    for (int i = r + 1; i < n; ++i)
        if (m_lines[i].origin != m_lines[r].origin) return i;
    return std::nullopt;
}

std::optional<int> CMasterPalette::PreviousBlock() const {
    const int n = Count();
    int r = m_selection.empty() ? 0 : m_selection.front();
    if (r <= 0 || r >= n) return std::nullopt;
    for (int i = r - 1; i >= 0; --i)
        if (m_lines[i].origin != m_lines[r].origin) return i;
    return std::nullopt;
}

int CMasterPalette::Find(const std::string& text, bool partial) const {
    DiffRows rows;
    rows.reserve(m_lines.size());
    for (const auto& l : m_lines) rows.emplace_back(0, 0, -1, l.text);
    const int selected = m_selection.empty() ? -1 : m_selection.front();
    return FindRowInPane(rows, text, partial, selected < Count() ? selected : -1);
}

std::vector<std::string> CMasterPalette::SelectedTexts() const {
    std::vector<std::string> texts;
    for (int r : m_selection)
        if (r >= 0 && r < Count()) texts.push_back(m_lines[r].text);
    return texts;
}

void CMasterPalette::RemoveRecordedBeyond(size_t keep) {
    for (size_t k = m_selection.size(); k-- > keep;) {
        const int r = m_selection[k];
        if (r < 0 || r >= Count()) continue;
        m_lines.erase(m_lines.begin() + r);
        m_modified.erase(m_modified.begin() + r);
        for (int& other : m_selection)
            if (other > r) --other;
    }
    m_selection.resize(std::min(keep, m_selection.size()));
    ClampSelection();
}

void CMasterPalette::ApplyEdit(const std::vector<std::string>& edited) {
    ClampSelection();
    const std::vector<int> sel = m_selection;
    for (size_t i = 0; i < sel.size() && i < edited.size(); ++i) {
        if (m_lines[sel[i]].text == edited[i]) continue;
        m_lines[sel[i]].text = edited[i];
        m_modified[sel[i]] = 1;
    }
    if (edited.size() > sel.size() && !sel.empty())
        InsertAt(sel.back() + 1, std::vector<std::string>(edited.begin() + sel.size(), edited.end()), kOriginTyped);
    else if (edited.size() < sel.size())
        RemoveRecordedBeyond(edited.size());
}

int CMasterPalette::ApplyConversion(const std::vector<std::string>& converted) {
    ClampSelection();
    const std::vector<int> sel = m_selection;
    std::vector<int> changed;
    for (size_t i = 0; i < sel.size() && i < converted.size(); ++i) {
        if (m_lines[sel[i]].text == converted[i]) continue;
        m_lines[sel[i]].text = converted[i];
        m_lines[sel[i]].origin = kOriginConverted;
        m_modified[sel[i]] = 0;
        changed.push_back(sel[i]);
    }
    if (converted.size() > sel.size() && !sel.empty()) {
        InsertAt(sel.back() + 1, std::vector<std::string>(converted.begin() + sel.size(), converted.end()),
                 kOriginTyped);
    } else if (converted.size() < sel.size()) {
        RemoveRecordedBeyond(converted.size());
        // Rows after a removed one moved up.
        for (int& r : changed)
            for (size_t k = converted.size(); k < sel.size(); ++k)
                if (sel[k] < r) --r;
    }
    if (!changed.empty()) SetSelection(changed);
    return static_cast<int>(changed.size());
}

std::string PaletteStatusText(bool empty, const std::string& paletteFile) {
    if (empty) return "Load or drag-and-drop Master file.";
    return "Save current contents to a file. (" + ShortenDiffName(paletteFile) + ")";
}

std::string FormatPaletteFile(const std::vector<CMasterPaletteLine>& lines) {
    std::string out;
    for (const auto& l : lines) out += l.text + "\n";
    return out;
}

bool WritePaletteFile(const std::string& path, const std::vector<CMasterPaletteLine>& lines, std::string& error) {
    return SaveFileAtomic(path, FormatPaletteFile(lines), error, 0644);
}

bool ReadPaletteFile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    FinishCutCopyOf(path);
    // Only a regular file: a pipe would block the window, a device never end.
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        error = "Failed to read the file: " + path + "\r\n" + why;
        return false;
    }
    // A file's last line break ends its last line; it does not start another.
    lines = SplitEditedText(bytes);
    if (lines.back().empty()) lines.pop_back();
    return true;
}

namespace {
std::string CountText(int k) { return std::to_string(k) + " line" + (k > 1 ? "s" : "") + "."; }
}  // namespace

PaletteEditSummary BuildPaletteEditSummary(int n, int o) {
    PaletteEditSummary s;
    if (n == o) {
        s.status = "Update:\r\n" + CountText(n);
    } else if (n > o) {
        s.status = "Update:\r\n" + CountText(o) + "\r\n\r\nAdd:\r\n" + CountText(n - o);
        s.mode = 1;
        s.count = n - o;
    } else {
        s.status = "Update:\r\n" + CountText(n) + "\r\n\r\nDelete:\r\n" + CountText(o - n);
        s.mode = -1;
        s.count = o - n;
    }
    return s;
}

std::vector<std::string> SplitEditedText(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    lines.push_back(std::move(cur));
    return lines;
}
