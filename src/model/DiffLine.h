// One line of a compared input, and one row of a diff result.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

// marker: 0 same (also every filler row), 1 modified, 2 added (only in the
// right input), 3 deleted (only in the left input); the middle column of a
// three-file result uses 0 to 8. lineNo: 0-based index of the line in its
// own input, -1 on a filler row, -2 on a filler row inserted by the
// three-file alignment. group: the difference the row belongs to, counted
// from 1; -1 on rows of unchanged lines.
class CDiffLine {
public:
    CDiffLine() = default;
    explicit CDiffLine(std::string text) : text(std::move(text)) {}
    CDiffLine(int marker, int lineNo, int group, std::string text)
        : marker(marker), lineNo(lineNo), group(group), text(std::move(text)) {}

    const std::string& GetText() const { return text; }

    bool operator==(const CDiffLine&) const = default;

    int marker = 0;
    int lineNo = -1;
    int group = -1;
    std::string text;
};

// One row of a diff result: the marker, line number and group as above, and
// the line's text where it stands in the compared input ("" on a filler).
// A row holds no text of its own: whoever built the rows keeps the inputs
// they point into (a diff result keeps them with its rows). A diff window
// holds one row per line of each pane, so a row is kept to 20 bytes: a
// line's text to its first 4 GiB, the group to 28 bits (up to 134,217,727
// differences) and the marker to 4.
#pragma pack(push, 4)
struct CDiffRow {
    CDiffRow() = default;
    CDiffRow(int marker, int lineNo, int group, std::string_view text)
        : lineNo(lineNo), group(group), marker(static_cast<unsigned>(marker)) {
        SetText(text);
    }

    std::string_view Text() const { return std::string_view(m_Text, m_Size); }
    void SetText(std::string_view text) {
        m_Text = text.data();
        m_Size = static_cast<uint32_t>(std::min<size_t>(text.size(), UINT32_MAX));
    }

    bool operator==(const CDiffRow& other) const {
        return marker == other.marker && lineNo == other.lineNo && group == other.group &&
               Text() == other.Text();
    }

private:
    const char* m_Text = nullptr;
    uint32_t m_Size = 0;

public:
    int lineNo = -1;
    int group : 28 = -1;
    unsigned marker : 4 = 0;
};
#pragma pack(pop)
static_assert(sizeof(CDiffRow) == 20);
