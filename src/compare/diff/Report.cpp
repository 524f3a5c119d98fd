// The numbered text report: takes the change list and the lines; gives
// the report with CR LF line ends ("N. Deleted from left:", "N. Added to
// right:", "N. Modified:", each underlined, and one numbered line per line).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "compare/TextDiff.h"

std::string MakeUnderline(const std::string& text, char ch) {
    return std::string(text.size(), ch);
}

namespace {
// The line number as "%5d " writes it (right-aligned in five places, then
// a space), written by hand into num: a report may hold millions of lines.
std::string_view LineNumber(int number, char (&num)[32]) {
    char* end = num + sizeof num;
    char* p = end;
    *--p = ' ';
    if (number >= 0) {
        unsigned v = static_cast<unsigned>(number);
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (end - p < 6) *--p = ' ';
    } else {
        p = num;
        end = num + std::snprintf(num, sizeof num, "%5d ", number);
    }
    return std::string_view(p, static_cast<size_t>(end - p));
}

void AppendItemLine(std::string& out, const char* prefix, int number, std::string_view text) {
    char num[32];
    out += prefix;
    out += LineNumber(number, num);
    out += text;
    out += "\r\n";
}

void AppendHeading(std::string& out, const char* format, int n) {
    char heading[64];
    std::snprintf(heading, sizeof heading, format, n);
    std::string h(heading);
    out += h;
    out += "\r\n";
    out += MakeUnderline(h, '-');
    out += "\r\n";
}

// Counts the bytes the report will take, so that it is laid out once at
// its full size rather than grown (a large report would be copied over and
// over, and held twice while it is).
struct ReportSize {
    size_t bytes = 0;
};

void AppendItemLine(ReportSize& out, const char* prefix, int number, std::string_view text) {
    int digits = 1;
    for (long v = number < 0 ? -static_cast<long>(number) : number; v >= 10; v /= 10) ++digits;
    if (number < 0) ++digits;
    out.bytes += std::strlen(prefix) + std::max(digits, 5) + 1 + text.size() + 2;
}

void AppendHeading(ReportSize& out, const char* format, int n) {
    char heading[64];
    const int length = std::snprintf(heading, sizeof heading, format, n);
    out.bytes += 2 * (static_cast<size_t>(length) + 2);
}

// A report handed on in pieces of about a megabyte as it is laid out,
// each line written straight into the piece (a report may hold millions),
// with the line ends asked for.
struct ReportStream {
    static constexpr size_t kPiece = size_t{1} << 20;
    const std::function<bool(std::string_view)>& write;
    std::string_view lineEnd;
    std::unique_ptr<char[]> piece{new char[kPiece]};
    size_t used = 0;
    bool failed = false;
    void Flush() {
        if (!failed && used > 0) failed = !write(std::string_view(piece.get(), used));
        used = 0;
    }
    // Room for n more bytes (false where a piece cannot hold them).
    bool Room(size_t n) {
        if (kPiece - used < n) Flush();
        return n <= kPiece;
    }
    void Put(std::string_view bytes) {
        std::memcpy(piece.get() + used, bytes.data(), bytes.size());
        used += bytes.size();
    }
};

void AppendItemLine(ReportStream& out, const char* prefix, int number, std::string_view text) {
    char num[32];
    const std::string_view numbered = LineNumber(number, num);
    if (!out.Room(2 + numbered.size() + text.size() + out.lineEnd.size())) {
        // A line longer than a piece goes on its own.
        std::string line;
        ((line += prefix) += numbered) += text;
        line += out.lineEnd;
        out.Flush();
        if (!out.failed) out.failed = !out.write(line);
        return;
    }
    out.Put(std::string_view(prefix, 2));
    out.Put(numbered);
    out.Put(text);
    out.Put(out.lineEnd);
}

void AppendHeading(ReportStream& out, const char* format, int n) {
    char heading[64];
    int length;
    if (n >= 0 && std::strncmp(format, "%d", 2) == 0 && std::strlen(format) < 40) {
        // The number written by hand, then the rest of the heading.
        char digits[12];
        char* p = digits + sizeof digits;
        unsigned v = static_cast<unsigned>(n);
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        const size_t d = static_cast<size_t>(digits + sizeof digits - p);
        std::memcpy(heading, p, d);
        const size_t rest = std::strlen(format + 2);
        std::memcpy(heading + d, format + 2, rest);
        length = static_cast<int>(d + rest);
    } else {
        length = std::snprintf(heading, sizeof heading, format, n);
    }
    out.Room(2 * (static_cast<size_t>(length) + out.lineEnd.size()));
    out.Put(std::string_view(heading, static_cast<size_t>(length)));
    out.Put(out.lineEnd);
    std::memset(out.piece.get() + out.used, '-', static_cast<size_t>(length));
    out.used += static_cast<size_t>(length);
    out.Put(out.lineEnd);
}

// Writes the report of a change list to out; false when there are no
// changes to report.
template <class Out, class Lines>
bool WriteReport(Out& out, const std::vector<CDiffChange>& list, const Lines& left, const Lines& right) {
    int n = 0;
    int leftNo = 0, rightNo = 0;
    for (const CDiffChange& c : list) {
        switch (c.kind) {
        case kDiffSame:
            leftNo += c.count;
            rightNo += c.count;
            break;
        case kDiffDeleted:
            AppendHeading(out, "%d. Deleted from left:", ++n);
            for (int k = 0; k < c.count; ++k)
                AppendItemLine(out, "x ", ++leftNo, left[c.leftPos + k]);
            break;
        case kDiffAdded:
            AppendHeading(out, "%d. Added to right:", ++n);
            for (int k = 0; k < c.count; ++k)
                AppendItemLine(out, "+ ", ++rightNo, right[c.rightPos + k]);
            break;
        case kDiffModified:
            AppendHeading(out, "%d. Modified:", ++n);
            for (int k = 0; k < c.count; ++k)
                AppendItemLine(out, "L ", ++leftNo, left[c.leftPos + k]);
            for (int k = 0; k < c.count; ++k)
                AppendItemLine(out, "R ", ++rightNo, right[c.rightPos + k]);
            break;
        default:
            break;
        }
    }
    return n > 0;
}
}  // namespace

bool CTextDiff::ListChanges(bool wantText, std::string& report) const {
    report.clear();
    const std::vector<CDiffChange> list = BuildChangeList();
    const LineSource left = LeftSource(), right = RightSource();
    ReportSize size;
    if (!WriteReport(size, list, left, right)) return false;
    if (wantText) {
        std::string text;
        text.reserve(size.bytes);
        WriteReport(text, list, left, right);
        report.swap(text);
    }
    return true;
}

bool CTextDiff::ListChanges(const std::function<bool(std::string_view)>& write, bool* writeFailed,
                            std::string_view lineEnd) const {
    ReportStream out{write, lineEnd};
    const bool differ = WriteReport(out, BuildChangeList(), LeftSource(), RightSource());
    out.Flush();
    if (writeFailed) *writeFailed = out.failed;
    return differ;
}
