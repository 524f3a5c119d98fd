#include "compare/TextDiff.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

// ---------------------------------------------------------------------------
// Reading files
// ---------------------------------------------------------------------------

namespace {
std::atomic<uint64_t (*)()> g_memoryProbe{nullptr};

// The message of a file that could not be read, with its reason on a line
// of its own when there is one.
std::string FailedToReadText(const std::string& path, const std::string& reason) {
    std::string text = "Failed to read the file: " + path;
    if (!reason.empty()) text += "\r\n" + reason;
    return text;
}

constexpr const char* kNoMemory = "There is not enough memory to read it.";

// A file opened for reading. Only a regular file is taken: it is opened
// without waiting (a pipe without a writer or a device would hold the
// caller) and looked at before anything is read.
struct OpenedFile {
    int fd = -1;
    size_t size = 0;
    OpenedFile() = default;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile() { Close(); }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

bool OpenRegularFile(const std::string& path, OpenedFile& file, std::string& reason) {
    file.Close();
    // The reason is worded as every other reader of the program words it
    // ("PATH is a folder, not a file.", "... a named pipe ...", "... a device ...").
    file.fd = OpenRegularFileForReading(path, reason);
    if (file.fd < 0) return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        reason = SystemErrorText(errno) + " (" + path + ")";
        file.Close();
        return false;
    }
    file.size = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    return true;
}

// Asks for the pages of a large block to be huge ones where the system
// gives them on request: a block filled once then costs a fault every
// 2 MB rather than every 4 KB. Only the whole huge pages inside it are
// asked for; nothing else about the block changes.
void AdviseHugePages(const void* block, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{1} << 21;
    if (bytes < kHuge) return;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// Makes room in a list for n items, with huge pages asked for when that is
// large, before anything is written to it.
template <class List>
void ReserveHuge(List& list, size_t n) {
    list.reserve(n);
    AdviseHugePages(list.data(), list.capacity() * sizeof(*list.data()));
}

// Reads the whole file into a buffer of its own: as many bytes as the file
// has, then on until the end in case it grew meanwhile. The buffer is not
// cleared first; only the bytes read are used. Running out of memory is a
// failure with its reason, never an exception. The bytes are read a piece
// at a time, and each piece is handed to chunk(bytes, from, to) while it is
// still in the processor's cache.
template <class Chunk>
bool ReadOpenedFile(OpenedFile& file, std::unique_ptr<char[]>& bytes, size_t& size, std::string& reason,
                    Chunk chunk) {
    size = 0;
    bytes.reset();
    constexpr size_t kPiece = size_t{1} << 18;
    try {
        size_t capacity = file.size > 0 ? file.size + 1 : size_t{1} << 16;
        bytes.reset(new char[capacity]);
        AdviseHugePages(bytes.get(), capacity);
        for (;;) {
            if (size == capacity) {
                std::unique_ptr<char[]> larger(new char[capacity * 2]);
                AdviseHugePages(larger.get(), capacity * 2);
                std::memcpy(larger.get(), bytes.get(), size);
                bytes = std::move(larger);
                capacity *= 2;
            }
            ssize_t n = ::read(file.fd, bytes.get() + size, std::min(capacity - size, kPiece));
            if (n < 0) {
                if (errno == EINTR) continue;
                bytes.reset();
                size = 0;
                return false;
            }
            if (n == 0) break;
            chunk(bytes.get(), size, size + static_cast<size_t>(n));
            size += static_cast<size_t>(n);
        }
    } catch (const std::bad_alloc&) {
        bytes.reset();
        size = 0;
        reason = kNoMemory;
        return false;
    }
    file.Close();
    return true;
}

bool ReadWholeFile(const std::string& path, std::unique_ptr<char[]>& bytes, size_t& size,
                   std::string& reason) {
    size = 0;
    bytes.reset();
    OpenedFile file;
    return OpenRegularFile(path, file, reason) &&
           ReadOpenedFile(file, bytes, size, reason, [](const char*, size_t, size_t) {});
}

// Calls at(p) for the place of every LF in bytes, in order; sixteen bytes
// are looked at together where the processor can.
template <class At>
void ForEachLineFeed(std::string_view bytes, At at) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf)));
        while (mask) {
            at(p + __builtin_ctz(mask));
            mask &= mask - 1;
        }
    }
#endif
    for (; p < end; ++p)
        if (*p == '\n') at(p);
}

// Cuts bytes into lines (see LoadFileLines) and hands each to add.
template <class Add>
void SplitFileLines(std::string_view bytes, Add add) {
    const char* from = bytes.data();
    const char* end = from + bytes.size();
    ForEachLineFeed(bytes, [&](const char* nl) {
        const char* textEnd = nl;
        if (textEnd > from && textEnd[-1] == '\r') --textEnd;
        add(std::string_view(from, textEnd - from));
        from = nl + 1;
    });
    if (from < end) add(std::string_view(from, end - from));
}

size_t CountLines(std::string_view bytes) {
    size_t count = 0;
    ForEachLineFeed(bytes, [&](const char*) { ++count; });
    return count + 1;
}
}  // namespace

namespace {
// LoadFileLines without the message.
bool ReadFileLines(const std::string& path, std::vector<CDiffLine>& lines, std::string& reason) {
    lines.clear();
    std::unique_ptr<char[]> buffer;
    size_t size = 0;
    if (!ReadWholeFile(path, buffer, size, reason)) return false;
    try {
        const std::string_view bytes(buffer.get(), size);
        lines.reserve(CountLines(bytes));
        SplitFileLines(bytes, [&](std::string_view line) { lines.emplace_back(0, -1, -1, std::string(line)); });
    } catch (const std::bad_alloc&) {
        std::vector<CDiffLine>().swap(lines);
        reason = kNoMemory;
        return false;
    }
    return true;
}

// Fills the places where the lines of text.bytes start.
void FillLineStarts(CDiffFileText& text, size_t lineCount) {
    const std::string_view bytes(text.bytes.get(), text.size);
    const char* base = bytes.data();
    // A line starts at the beginning and after every LF but the last byte.
    auto fill = [&](auto& starts) {
        starts.reserve(lineCount + 1);
        if (bytes.empty()) return;
        starts.push_back(0);
        ForEachLineFeed(bytes, [&](const char* nl) { starts.push_back(nl + 1 - base); });
        if (bytes.back() != '\n') starts.push_back(bytes.size());
    };
    if (bytes.size() < UINT32_MAX) fill(text.starts);
    else fill(text.wideStarts);
}

void ClearFileText(CDiffFileText& text) {
    text.bytes.reset();
    text.size = 0;
    std::vector<uint32_t>().swap(text.starts);
    std::vector<uint64_t>().swap(text.wideStarts);
}

uint64_t MemInfoAvailable() {
    FILE* f = std::fopen("/proc/meminfo", "re");
    if (!f) return 0;
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
        found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(f);
    return found ? static_cast<uint64_t>(kb) * 1024 : 0;
}

std::string Megabytes(uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }
}  // namespace

bool LoadFileLines(const std::string& path, std::vector<CDiffLine>& lines) {
    std::string reason;
    if (ReadFileLines(path, lines, reason)) return true;
    Prompter().Message(FailedToReadText(path, reason), MsgIcon::Warning);
    return false;
}

bool LoadFileText(const std::string& path, CDiffFileText& text) {
    std::vector<CDiffFileText> texts;
    if (!LoadFileTexts({path}, texts, 0)) {
        ClearFileText(text);
        return false;
    }
    text = std::move(texts[0]);
    return true;
}

uint64_t DiffMemoryAvailable() {
    if (uint64_t (*probe)() = g_memoryProbe.load()) return probe();
    return MemInfoAvailable();
}

void SetDiffMemoryProbe(uint64_t (*probe)()) { g_memoryProbe.store(probe); }

bool LoadFileTexts(const std::vector<std::string>& paths, std::vector<CDiffFileText>& texts,
                   size_t lineCost) {
    const size_t n = paths.size();
    texts.clear();
    texts.resize(n);
    std::vector<OpenedFile> files(n);
    std::vector<std::string> reasons(n);
    auto fail = [&](size_t k) {
        Prompter().Message(FailedToReadText(paths[k], reasons[k]), MsgIcon::Warning);
        for (CDiffFileText& t : texts) ClearFileText(t);
        return false;
    };
    // Runs step(k) for every file at once, each but the first on a thread
    // of its own; only this thread speaks to the user.
    auto forEachFile = [&](auto step) {
        std::vector<std::thread> threads;
        for (size_t k = 1; k < n; ++k) threads.emplace_back([&, k] { step(k); });
        if (n > 0) step(0);
        for (std::thread& t : threads) t.join();
    };
    // Every file is looked at before any is read: a folder, pipe or device
    // is refused, and so are files whose bytes alone would not fit.
    uint64_t total = 0;
    for (size_t k = 0; k < n; ++k) {
        if (!OpenRegularFile(paths[k], files[k], reasons[k])) return fail(k);
        total += files[k].size;
    }
    const uint64_t available = DiffMemoryAvailable();
    auto tooLarge = [&](uint64_t need, uint64_t have) {
        return "It is too large for the memory available (about " + Megabytes(need) + " needed, " +
               Megabytes(have) + " available).";
    };
    if (available != 0 && total > available) {
        reasons[n - 1] = tooLarge(total, available);
        return fail(n - 1);
    }
    std::vector<size_t> lineCounts(n, 0);
    std::vector<char> failed(n, 0);
    forEachFile([&](size_t k) {
        // The places where the lines start are taken as the pieces come
        // in (four bytes a line; eight for files of 4 GB and more, taken
        // afterwards).
        CDiffFileText& text = texts[k];
        const bool narrow = files[k].size < UINT32_MAX / 2;
        try {
            if (narrow) ReserveHuge(text.starts, files[k].size / 16 + 16);
            if (!ReadOpenedFile(files[k], text.bytes, text.size, reasons[k],
                                [&](const char* bytes, size_t from, size_t to) {
                                    if (!narrow || to >= UINT32_MAX) return;
                                    if (from == 0) text.starts.push_back(0);
                                    ForEachLineFeed(std::string_view(bytes + from, to - from), [&](const char* nl) {
                                        text.starts.push_back(static_cast<uint32_t>(nl + 1 - bytes));
                                    });
                                    // Room for the lines of the whole file, guessed from
                                    // the first piece's lines (at most a line per four
                                    // bytes; beyond that the list grows as it must).
                                    if (from == 0 && to < files[k].size)
                                        ReserveHuge(text.starts, std::min(text.starts.size() * (files[k].size / to + 1),
                                                                          files[k].size / 4) + 16);
                                })) {
                failed[k] = 1;
                return;
            }
            if (!narrow || text.size >= UINT32_MAX) {
                std::vector<uint32_t>().swap(text.starts);
                FillLineStarts(text, CountLines(std::string_view(text.bytes.get(), text.size)));
            } else if (text.size > 0 && text.bytes[text.size - 1] != '\n') {
                text.starts.push_back(static_cast<uint32_t>(text.size));
            }
            lineCounts[k] = text.Count();
        } catch (const std::bad_alloc&) {
            ClearFileText(text);
            failed[k] = 1;
            reasons[k] = kNoMemory;
        }
    });
    for (size_t k = 0; k < n; ++k)
        if (failed[k]) return fail(k);
    // The lines cost memory of their own (what the comparison and its rows
    // take per line): refused before any of it is taken when it would not
    // fit beside what was read.
    if (lineCost > 0) {
        uint64_t need = 0;
        for (size_t count : lineCounts) need += static_cast<uint64_t>(count) * lineCost;
        const uint64_t left = DiffMemoryAvailable();
        if (left != 0 && need > left) {
            reasons[n - 1] = tooLarge(need + total, left + total);
            return fail(n - 1);
        }
    }
    return true;
}

// The second file is read on a thread of its own meanwhile; only this
// thread speaks to the user, and b is left alone when the first file fails.
bool CTextDiff::LoadFilePair(const std::string& pathA, const std::string& pathB,
                             std::vector<CDiffLine>& a, std::vector<CDiffLine>& b) {
    std::vector<CDiffLine> second;
    bool secondRead = false;
    std::string reasonA, reasonB;
    std::thread reader([&] { secondRead = ReadFileLines(pathB, second, reasonB); });
    const bool firstRead = ReadFileLines(pathA, a, reasonA);
    reader.join();
    if (!firstRead) {
        Prompter().Message(FailedToReadText(pathA, reasonA), MsgIcon::Warning);
        return false;
    }
    b = std::move(second);
    if (!secondRead) {
        Prompter().Message(FailedToReadText(pathB, reasonB), MsgIcon::Warning);
        return false;
    }
    return true;
}

std::string MakeUnderline(const std::string& text, char ch) {
    return std::string(text.size(), ch);
}

// ---------------------------------------------------------------------------
// The matcher
//
// Every line is reduced once to the integer of its compared form, so line
// equality is an integer test.
//
// A pass over a part needs only the first right line with the longest run.
// Each right line has a bound on any run it can have: the most equal lines
// it starts anywhere on the left, walked up the diagonals (exact when few
// lines repeat), tightened when many lines have to be scanned: where many
// lines repeat, first by the runs of a few lines found nowhere on the left,
// at last from a sorted order of all suffixes of both inputs. It is cut to
// the lines the part leaves it. A segment tree over the run cache,
// whose leaves are known runs and the bounds of lines not known, gives the
// first line with the longest value; while that is a bound, the line is
// scanned, and once it is a known run it wins. Lines that never come into
// question owe the scans the plain procedure would have done: the parts are
// kept with their winners, and when such a line is scanned at last, the
// passes that visited it since its run was last known are replayed for it,
// each rescanning or keeping the run as the plain procedure does. A pass
// visits its lines up to the last that leaves more lines than the winning
// run, and the winner; a line scanned by the pass always lies there.
//
// The scan of a right line visits only the left places where the rarest of
// its next few lines, or of runs of 2, 4, 8, 12, 16, 24 or 32 of them,
// occurs (or steps the same places directly when that is cheaper); every
// diagonal run measured is remembered for the next right line. Equal lines
// along a diagonal cross blocks of one repeated line at once, and once such
// walks grow long they are read from the suffix order; a long run is also
// looked up by its rarest line. The runs found and the order they are found
// in are exactly those of the plain procedure.
// ---------------------------------------------------------------------------

namespace {
// The right lines, a separator found nowhere else, the left lines and the
// end, as one list of numbers read in place: line numbers + 2, then 1, then
// line numbers + 2, then 0.
class JoinedLines {
public:
    JoinedLines(const std::vector<int>& right, const std::vector<int>& left)
        : m_pR(right.data()), m_pL(left.data()), m_nR(static_cast<int>(right.size())),
          m_nEnd(static_cast<int>(right.size() + left.size()) + 1) {}
    int size() const { return m_nEnd + 1; }
    int operator[](int p) const {
        if (p < m_nR) return m_pR[p] + 2;
        if (p == m_nR) return 1;
        if (p < m_nEnd) return m_pL[p - m_nR - 1] + 2;
        return 0;
    }

private:
    const int* m_pR;
    const int* m_pL;
    int m_nR, m_nEnd;
};

// The number of equal lines from any right place and any left place, in
// constant time: the suffixes of the two line lists are sorted together
// (by induced sorting), and the equal lines of two suffixes are the least
// common prefix between them in that order. Built only when walking the
// diagonals line by line has grown too costly.
class EqualLineIndex {
public:
    // ids of both lists are numbers below keyCount.
    EqualLineIndex(const std::vector<int>& right, const std::vector<int>& left, int keyCount) {
        m_nR = static_cast<int>(right.size());
        const int n = m_nR + static_cast<int>(left.size()) + 2;
        const JoinedLines text(right, left);
        std::vector<int> order(n);
        SortSuffixes(text, order.data(), n, keyCount + 2);
        // Common prefix of each suffix with the one before it in the order:
        // first by text place (each place's predecessor in the order, then
        // the common prefix with it), then moved to order places. Each list
        // is let go as soon as it is no longer needed.
        std::vector<int> common(n);
        common[order[0]] = -1;
        for (int r = 1; r < n; ++r) common[order[r]] = order[r - 1];
        int h = 0;
        for (int p = 0; p < n; ++p) {
            const int q = common[p];
            if (q < 0) {
                common[p] = 0;
                h = 0;
                continue;
            }
            while (p + h < n && q + h < n && text[p + h] == text[q + h]) ++h;
            common[p] = h;
            if (h > 0) --h;
        }
        m_Rank.resize(n);
        for (int r = 0; r < n; ++r) m_Rank[order[r]] = r;
        for (int r = 0; r < n; ++r) order[r] = common[order[r]];
        std::vector<int>().swap(common);
        m_Common = std::move(order);
        // Minimum of each block of the order, and of runs of 2^k blocks.
        const int blocks = (n + kBlock - 1) / kBlock;
        std::vector<int> level(blocks, INT_MAX);
        for (int r = 0; r < n; ++r) level[r / kBlock] = std::min(level[r / kBlock], m_Common[r]);
        m_Sparse.push_back(std::move(level));
        for (int w = 1; 2 * w <= blocks; w *= 2) {
            const std::vector<int>& prev = m_Sparse.back();
            std::vector<int> next(blocks - 2 * w + 1);
            for (size_t b = 0; b < next.size(); ++b) next[b] = std::min(prev[b], prev[b + w]);
            m_Sparse.push_back(std::move(next));
        }
    }

    // Equal lines from right line i and left line j on.
    int Equal(int i, int j) const {
        int a = m_Rank[i], b = m_Rank[m_nR + 1 + j];
        if (a > b) std::swap(a, b);
        return RangeMin(a + 1, b);
    }

    // Suffix order of s[0 .. n-1] whose last value is a 0 found nowhere else
    // and whose values are below k.
    template <class Text>
    static void SortSuffixes(const Text& s, int* sa, int n, int k);

private:
    static constexpr int kBlock = 16;

    int RangeMin(int lo, int hi) const {
        int m = INT_MAX;
        const int bl = lo / kBlock, bh = hi / kBlock;
        if (bl == bh) {
            for (int r = lo; r <= hi; ++r) m = std::min(m, m_Common[r]);
            return m;
        }
        for (int r = lo; r < (bl + 1) * kBlock; ++r) m = std::min(m, m_Common[r]);
        for (int r = bh * kBlock; r <= hi; ++r) m = std::min(m, m_Common[r]);
        if (bl + 1 <= bh - 1) {
            const int count = bh - 1 - bl;
            const int k = 31 - __builtin_clz(static_cast<unsigned>(count));
            m = std::min({m, m_Sparse[k][bl + 1], m_Sparse[k][bh - (1 << k)]});
        }
        return m;
    }

    int m_nR = 0;
    std::vector<int> m_Rank;
    std::vector<int> m_Common;
    std::vector<std::vector<int>> m_Sparse;
};

template <class Text>
void EqualLineIndex::SortSuffixes(const Text& s, int* sa, int n, int k) {
        std::vector<char> small(n);  // the suffix is smaller than the next one
        small[n - 1] = 1;
        for (int p = n - 2; p >= 0; --p)
            small[p] = s[p] < s[p + 1] || (s[p] == s[p + 1] && small[p + 1]);
        auto isLms = [&](int p) { return p > 0 && small[p] && !small[p - 1]; };
        std::vector<int> count(k + 1, 0);
        for (int p = 0; p < n; ++p) ++count[s[p] + 1];
        for (int c = 0; c < k; ++c) count[c + 1] += count[c];
        std::vector<int> bucket(k);
        auto induce = [&](const std::vector<int>& lms) {
            std::fill(sa, sa + n, -1);
            for (int c = 0; c < k; ++c) bucket[c] = count[c + 1];
            for (size_t x = lms.size(); x-- > 0;) sa[--bucket[s[lms[x]]]] = lms[x];
            for (int c = 0; c < k; ++c) bucket[c] = count[c];
            for (int r = 0; r < n; ++r) {
                const int p = sa[r] - 1;
                if (sa[r] > 0 && !small[p]) sa[bucket[s[p]]++] = p;
            }
            for (int c = 0; c < k; ++c) bucket[c] = count[c + 1];
            for (int r = n - 1; r >= 0; --r) {
                const int p = sa[r] - 1;
                if (sa[r] > 0 && small[p]) sa[--bucket[s[p]]] = p;
            }
        };
        std::vector<int> lms;
        for (int p = 1; p < n; ++p)
            if (isLms(p)) lms.push_back(p);
        induce(lms);
        // Name the sorted LMS pieces; equal pieces share a name. The sorted
        // pieces are moved to the front of sa, and the name of the piece at
        // p is kept at sa[m + p / 2] (pieces start at least two apart), so
        // that reading that half in order gives the names in text order.
        const int m = static_cast<int>(lms.size());
        {
            int x = 0;
            for (int r = 0; r < n; ++r)
                if (isLms(sa[r])) sa[x++] = sa[r];
        }
        std::fill(sa + m, sa + n, -1);
        int names = 0, prev = -1;
        for (int x = 0; x < m; ++x) {
            const int p = sa[x];
            bool same = prev >= 0;
            for (int d = 0; same; ++d) {
                if (s[p + d] != s[prev + d] || small[p + d] != small[prev + d]) {
                    same = false;
                } else if (d > 0 && (isLms(p + d) || isLms(prev + d))) {
                    same = isLms(p + d) && isLms(prev + d);
                    break;
                }
            }
            if (!same) ++names;
            sa[m + p / 2] = names - 1;
            prev = p;
        }
        std::vector<int> reduced(m), reducedOrder(m);
        {
            int x = 0;
            for (int q = m; q < n; ++q)
                if (sa[q] >= 0) reduced[x++] = sa[q];
        }
        if (names < m) {
            SortSuffixes(reduced.data(), reducedOrder.data(), m, names);
        } else {
            for (int x = 0; x < m; ++x) reducedOrder[reduced[x]] = x;
        }
        // The LMS suffixes in their order, written over the names.
        for (int x = 0; x < m; ++x) reduced[x] = lms[reducedOrder[x]];
        std::vector<int>().swap(lms);
        std::vector<int>().swap(reducedOrder);
        induce(reduced);
}

// For each right line, the most equal lines it starts anywhere on the left:
// the longest common prefix of its suffix with any left suffix, read from
// the suffix order of both lists (the common prefix with the nearest left
// suffix above and below it in that order).
std::vector<int> LongestMatches(const std::vector<int>& right, const std::vector<int>& left,
                                int keyCount) {
    const int nR = static_cast<int>(right.size());
    const int n = nR + static_cast<int>(left.size()) + 2;
    const JoinedLines text(right, left);
    std::vector<int> order(n);
    EqualLineIndex::SortSuffixes(text, order.data(), n, keyCount + 2);
    // Common prefix of each suffix with the one before it in the order,
    // first by text place (each place's predecessor in the order), then
    // moved to order places.
    std::vector<int> common(n);
    {
        std::vector<int>& before = common;
        before[order[0]] = -1;
        for (int r = 1; r < n; ++r) before[order[r]] = order[r - 1];
        int h = 0;
        for (int p = 0; p < n; ++p) {
            const int q = before[p];
            if (q < 0) {
                before[p] = 0;
                h = 0;
                continue;
            }
            while (p + h < n && q + h < n && text[p + h] == text[q + h]) ++h;
            before[p] = h;
            if (h > 0) --h;
        }
    }
    // common[p] now belongs to text place p; the passes go in order.
    std::vector<int> best(nR, 0);
    auto isLeft = [&](int p) { return p > nR && p < n - 1; };
    int run = -1;  // common prefix with the last left suffix seen; -1 none
    for (int r = 0; r < n; ++r) {
        const int p = order[r];
        if (run >= 0) run = std::min(run, common[p]);
        if (isLeft(p)) run = INT_MAX;
        else if (p < nR && run > best[p]) best[p] = run;
    }
    run = -1;
    for (int r = n - 1; r >= 0; --r) {
        const int p = order[r];
        if (isLeft(p)) run = INT_MAX;
        else if (p < nR && run > best[p]) best[p] = run;
        if (run >= 0) run = std::min(run, common[p]);
    }
    return best;
}
}  // namespace

namespace {
// The place of the smallest value in any range of a list: ranges of blocks
// of 32 places by a table of doubling spans, the ends place by place.
class RangeArgMin {
public:
    // The value of place p is the count of its key, start[keys[p] + 1] -
    // start[keys[p]], read again whenever needed; both lists must outlive
    // this.
    RangeArgMin(int n, const int* keys, const int* start) : m_pKeys(keys), m_pStart(start) {
        const int blocks = (n + kBlock - 1) / kBlock;
        std::vector<int> level(blocks);
        for (int b = 0; b < blocks; ++b) level[b] = Scan(b * kBlock, std::min(n, (b + 1) * kBlock) - 1);
        m_Sparse.push_back(std::move(level));
        for (int w = 1; 2 * w <= blocks; w *= 2) {
            const std::vector<int>& prev = m_Sparse.back();
            std::vector<int> next(blocks - 2 * w + 1);
            for (size_t b = 0; b < next.size(); ++b) next[b] = Better(prev[b], prev[b + w]);
            m_Sparse.push_back(std::move(next));
        }
    }
    int Value(int p) const { return CountAt(p); }
    // A place in [lo, hi] with the smallest value.
    int Find(int lo, int hi) const {
        const int bl = lo / kBlock, bh = hi / kBlock;
        if (bl == bh) return Scan(lo, hi);
        int best = Better(Scan(lo, (bl + 1) * kBlock - 1), Scan(bh * kBlock, hi));
        if (bl + 1 <= bh - 1) {
            const int k = 31 - __builtin_clz(static_cast<unsigned>(bh - 1 - bl));
            best = Better(best, Better(m_Sparse[k][bl + 1], m_Sparse[k][bh - (1 << k)]));
        }
        return best;
    }

private:
    static constexpr int kBlock = 32;
    int Better(int a, int b) const { return CountAt(b) < CountAt(a) ? b : a; }
    int Scan(int lo, int hi) const {
        int best = lo, least = CountAt(lo);
        for (int p = lo + 1; p <= hi; ++p) {
            const int v = CountAt(p);
            if (v < least) {
                best = p;
                least = v;
            }
        }
        return best;
    }
    int CountAt(int p) const {
        const int key = m_pKeys[p];
        return m_pStart[key + 1] - m_pStart[key];
    }
    const int* m_pKeys;
    const int* m_pStart;
    std::vector<std::vector<int>> m_Sparse;
};
}  // namespace

class CTextDiff::Matcher {
public:
    Matcher(const LineSource& left, const LineSource& right,
            const CDiffOptions& options, std::vector<CDiffChange>& runs,
            const std::atomic<bool>* brk);
    // False when stopped by the break flag.
    bool Run();

private:
    // Zero bytes are the empty state of each of these, so that the lists
    // of them cost memory only where they are used (in huge pages, where
    // the system gives them, once they are large).
    struct Hint {
        int j1;     // 1 + left line of a known diagonal from this right line; 0 none
        int len;    // equal lines from (i, j) on: exactly, or at least
        bool exact;
    };
    // A run found for a right line: code is its length + 2 (0 not known,
    // 1 no run).
    struct Entry {
        int start;
        int code;
    };
    template <class T>
    class ZeroList {
    public:
        void Allocate(size_t n) {
            m_p.reset(static_cast<T*>(std::calloc(n ? n : 1, sizeof(T))));
            if (!m_p) throw std::bad_alloc();
            AdviseHugePages(m_p.get(), n * sizeof(T));
        }
        T& operator[](size_t k) { return m_p.get()[k]; }
        const T& operator[](size_t k) const { return m_p.get()[k]; }

    private:
        struct Free {
            void operator()(T* p) const { std::free(p); }
        };
        std::unique_ptr<T, Free> m_p;
    };
    CDiffRun Cached(int i) const { return {m_Cache[i].start, m_Cache[i].code - 2}; }
    void Cache(int i, CDiffRun run) { m_Cache[i] = {run.start, run.length + 2}; }

    void Intern(const LineSource& left, const LineSource& right,
                const CDiffOptions& options);
    // The bytes of two files read as blocks, where both are there.
    struct FileBytes {
        const char* left = nullptr;
        const uint32_t* leftStarts = nullptr;
        const char* right = nullptr;
        const uint32_t* rightStarts = nullptr;
        bool rightEndsInLineFeed = false;
    };
    template <class Texts, class TextOf>
    void InternLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes);
    uint32_t SameLines(const FileBytes& bytes, uint32_t j, uint32_t k) const;
    // Stretches of right lines found equal, in order, to left lines in
    // order while the lines were numbered: first right line and count.
    std::vector<std::pair<int, int>> m_Stretches;
    void AddStretch(uint32_t k, uint32_t j, uint32_t count) {
        if (!m_Stretches.empty() && k == static_cast<uint32_t>(m_Stretches.back().first + m_Stretches.back().second) &&
            j == m_nStretchLeftEnd) {
            m_Stretches.back().second += static_cast<int>(count);
        } else {
            m_Stretches.emplace_back(static_cast<int>(k), static_cast<int>(count));
        }
        m_nStretchLeftEnd = j + count;
    }
    uint32_t m_nStretchLeftEnd = 0;
    int MatchLength(int i, int j, int maxLen);
    bool RunsAtLeast(int i, int j, int len);
    CDiffRun Scan(int i, int lF, int lL, int remaining);
    int FindCandidate(int i, int b, int anchor, int stride, int lastPos);
    bool Stopped();

    // Segment tree over the run cache, whose leaves are blocks of kLeaf
    // right lines; the lines of a block are looked at one by one.
    static constexpr int kLeaf = 16;
    void TreeBuild();
    void TreeSet(int i);
    // The first right line in [a, b] whose entry has what want asks of a
    // node (and of a node above it exactly when of one below); b + 1 when
    // none.
    template <class Want>
    int FirstWith(int a, int b, Want want) const;
    template <class Want>
    int FirstBlockIn(int node, int lo, int hi, int a, int b, Want want) const;
    int FirstEvent(int a, int b, int lF, int lL, int rL) const;
    int RangeMax(int a, int b) const;
    int RangeMaxIn(int node, int lo, int hi, int a, int b) const;
    // Per node, over the cache entries below it: the smallest left start,
    // the largest left and right end of a run, and the longest length (or
    // bound of a line whose run is not known).
    struct Node {
        int minStart, maxLEnd, maxREnd, maxLen;
        bool operator==(const Node&) const = default;
    };
    static bool NodeHasEvent(const Node& n, int lF, int lL, int rL) {
        return n.minStart < lF || n.maxLEnd > lL || n.maxREnd > rL;
    }
    Node Leaf(int i) const;
    Node BlockNode(int block) const;
    static Node Combine(const Node& a, const Node& b) {
        return {std::min(a.minStart, b.minStart), std::max(a.maxLEnd, b.maxLEnd),
                std::max(a.maxREnd, b.maxREnd), std::max(a.maxLen, b.maxLen)};
    }

    int m_nL = 0, m_nR = 0;
    std::vector<int> m_L, m_R;          // line numbers of the compared forms
    // Per place: how many lines from it on are the same line (at least 1),
    // so that a walk down a diagonal crosses a block of one line at once.
    // Counts over 255 are kept as 255: the count at the 255th line on
    // tells the rest.
    std::vector<uint8_t> m_SameL, m_SameR;
    static void CountSame(const std::vector<int>& ids, std::vector<uint8_t>& same);
    // Left places of each key, ascending.
    struct OccIndex {
        std::vector<int> start;  // per key: first index into pos
        std::vector<int> pos;
        void Build(const std::vector<int>& keys, size_t keyCount);
        int Count(int key) const { return start[key + 1] - start[key]; }
    };
    // The keys of one level, one per place: four bytes each, or two when
    // the level has few distinct keys (kept as key + 2, so that -2 and -1
    // fit), or the line numbers themselves for the single lines.
    class KeyList {
    public:
        KeyList() = default;
        explicit KeyList(const std::vector<int>& lines) : m_pWide(lines.data()) {}
        KeyList(KeyList&&) = default;
        KeyList& operator=(KeyList&&) = default;
        KeyList(const KeyList&) = delete;
        KeyList& operator=(const KeyList&) = delete;
        // Takes keys below count (or -1, -2).
        void Keep(std::vector<int> keys, int count) {
            if (count + 2 <= UINT16_MAX) {
                m_Narrow.resize(keys.size());
                for (size_t k = 0; k < keys.size(); ++k) m_Narrow[k] = static_cast<uint16_t>(keys[k] + 2);
                m_pNarrow = m_Narrow.data();
            } else {
                m_Wide = std::move(keys);
                m_pWide = m_Wide.data();
            }
        }
        int operator[](size_t k) const { return m_pWide ? m_pWide[k] : static_cast<int>(m_pNarrow[k]) - 2; }

    private:
        // Moving the lists keeps their storage, so these stay valid.
        const int* m_pWide = nullptr;
        const uint16_t* m_pNarrow = nullptr;
        std::vector<int> m_Wide;
        std::vector<uint16_t> m_Narrow;
    };
    // Keys of the runs of a level's length that start at each place, with
    // the left places of each key. Level 0 is the single lines (m_L, m_R).
    struct Gram {
        KeyList left;   // -1: not indexed
        KeyList right;  // -2: not indexed; -1: never on the left
        OccIndex index;
    };
    // Lengths of the indexed runs; each level above the first joins the run
    // of level kFirst with the run of level kSecond that follows it.
    static constexpr int kGramLevels = 8;
    static constexpr int kGramLength[kGramLevels] = {1, 2, 4, 8, 12, 16, 24, 32};
    static constexpr int kFirst[kGramLevels] = {0, 0, 1, 2, 3, 3, 5, 5};
    static constexpr int kSecond[kGramLevels] = {0, 0, 1, 2, 2, 3, 3, 5};
    // Pairs of frequent halves up to this many are numbered through a table
    // of all.
    static constexpr long kPairTable = 1L << 20;
    OccIndex m_Single;
    std::vector<Gram> m_Grams;  // levels 1 and up, built when first needed
    long m_nLookupSteps = 0;  // places looked at by FindCandidate
    long m_nStepsAtLevel = 0;  // m_nLookupSteps when the last level was built
    // The look-up steps that pay for a level of runs (and end the trial of
    // the loose bounds).
    long LevelSteps() const { return (static_cast<long>(m_nL) + m_nR) / 8; }
    KeyList m_LineKeysL, m_LineKeysR;  // m_L and m_R as key lists
    const KeyList& LeftKeys(int level) const { return level ? m_Grams[level - 1].left : m_LineKeysL; }
    const KeyList& RightKeys(int level) const { return level ? m_Grams[level - 1].right : m_LineKeysR; }
    const OccIndex& Index(int level) const { return level ? m_Grams[level - 1].index : m_Single; }
    void BuildGramLevel();
    // Set once a level's runs are hardly rarer than those of the level
    // below: each run is then nearly always followed by the same lines, and
    // longer runs would be no rarer either.
    bool m_bLevelsDone = false;
    static double PlacesPerLookUp(const OccIndex& index);
    ZeroList<Hint> m_Hints;
    // Lines walked down diagonals so far; past a bound the equal lines are
    // taken from the suffix order instead.
    long m_nWalked = 0;
    long m_nWalks = 0;
    long m_nWalkBound = 0;
    std::unique_ptr<EqualLineIndex> m_pEqual;
    std::unique_ptr<EqualLineIndex> m_pSpareEqual;
    // Left places of each right line's text, to find the rarest line of a
    // long run; built when first needed.
    std::unique_ptr<RangeArgMin> m_pRarest;
    int m_nKeys = 0;
    ZeroList<Entry> m_Cache;
    std::vector<CDiffChange>& m_Runs;
    const std::atomic<bool>* m_pBreak;

    int m_nSize = 1;  // leaf blocks of the tree (a power of two)
    std::vector<Node> m_Tree;

    // The parts matched so far, each with the run that won it and the
    // parts it split into (-1: none).
    struct Part {
        int rF, rL, lF, lL;
        int depth = 0;  // parts it lies in
        int winner = -1, length = -1;
        // A known run of right line i that the pass keeps.
        bool Keeps(const CDiffRun& e, int i) const {
            return e.length <= 0 ||
                   (e.length <= rL - i + 1 && e.start >= lF && e.start + e.length - 1 <= lL);
        }
    };
    std::vector<Part> m_Parts;
    // The parts the part being matched lies in, by depth. The pass over a
    // part visits right lines up to the last one that leaves more lines
    // than the winning run, and the winner (never a line of a part below).
    // A line owing scans is replayed through these: the first pass that no
    // longer keeps its run is found by halving (the parts nest), and the
    // first pass from there on that visits it by the tree of the last lines
    // each visits.
    std::vector<int> m_Path;
    const Part& PathPart(int depth) const { return m_Parts[m_Path[depth]]; }
    class MaxTree {
    public:
        void Set(int k, int v) {
            if (k >= m_nCap) Grow(k + 1);
            int node = m_nCap + k;
            m_Max[node] = v;
            for (node >>= 1; node >= 1; node >>= 1) m_Max[node] = std::max(m_Max[2 * node], m_Max[2 * node + 1]);
        }
        // The first k in [a, b) whose value is at least v; -1 when none.
        int FirstAtLeast(int a, int b, int v) const { return First(1, 0, m_nCap - 1, a, b - 1, v); }

    private:
        void Grow(int n) {
            int cap = std::max(m_nCap, 64);
            while (cap < n) cap <<= 1;
            std::vector<int> next(2 * static_cast<size_t>(cap), INT_MIN);
            for (int k = 0; k < m_nCap; ++k) next[cap + k] = m_Max[m_nCap + k];
            for (int node = cap - 1; node >= 1; --node) next[node] = std::max(next[2 * node], next[2 * node + 1]);
            m_Max.swap(next);
            m_nCap = cap;
        }
        int First(int node, int lo, int hi, int a, int b, int v) const {
            if (hi < a || lo > b || m_Max[node] < v) return -1;
            if (lo == hi) return lo;
            const int mid = (lo + hi) / 2;
            const int r = First(2 * node, lo, mid, a, b, v);
            return r >= 0 ? r : First(2 * node + 1, mid + 1, hi, a, b, v);
        }
        int m_nCap = 0;
        std::vector<int> m_Max;
    };
    MaxTree m_LastVisited;
    // A right line whose run is not known (length -2) owes the scans of the
    // passes from this part on down to the part being matched.
    ZeroList<int> m_PendingFrom;
    // Per right line, at least the length of any run it can have in any
    // part still to come (the most equal lines it starts anywhere).
    std::vector<int> m_Bound;
    void DiagonalBounds();
    void GramBounds();
    void TightenBounds();
    // Lines scanned in passes; past a budget the bounds are tightened once.
    long m_nScanned = 0;
    long m_nScanBudget = 0;
    static constexpr long kFewScans = 64;
    // The loose bounds are on trial: once the scans cost more than a few
    // (or would build indexes of runs), the suffix order is built first.
    bool m_bTrial = false;
    bool m_bTight = false;
    CDiffRun Replay(int i, int part);
    bool MatchPart(int part);
};

namespace {
// Line texts compared as they are. The hash takes eight bytes at a time, the last word read where the text ends (it may
// overlap the word before; the length is part of the hash), shorter texts
// in one word, and mixed at the end so that every bit of the text reaches
// both halves of the hash (the table takes its slot from the lower half and
// its check from the upper one).
struct ExactTexts {
    static uint64_t Word(const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static uint64_t Half(const char* p) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    static uint64_t Mix(uint64_t h, uint64_t w) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
        return h ^ (h >> 29);
    }
    static uint64_t Hash(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        uint64_t h = 0x2545F4914F6CDD1DULL ^ (n * 0xC2B2AE3D27D4EB4FULL);
        if (n >= 8) {
            for (size_t k = 0; k + 8 < n; k += 8) h = Mix(h, Word(p + k));
            h = Mix(h, Word(p + n - 8));
        } else if (n >= 4) {
            h = Mix(h, (Half(p) << 32) | Half(p + n - 4));
        } else if (n > 0) {
            const auto byte = [p](size_t k) { return static_cast<uint64_t>(static_cast<unsigned char>(p[k])); };
            h = Mix(h, byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16));
        }
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }
    static bool Equal(std::string_view a, std::string_view b) { return a == b; }
};

// Line texts compared with ASCII capitals taken as small letters, eight
// bytes at a time, without a lower-cased copy of any line.
struct FoldedTexts {
    static uint64_t Word(const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    // Bytes p[0] to p[n - 1] (n below 8) in the low bytes of a word.
    static uint64_t Tail(const char* p, size_t n) {
        uint64_t w = 0;
        for (size_t k = n; k-- > 0;) w = (w << 8) | static_cast<unsigned char>(p[k]);
        return w;
    }
    // Each byte 'A' to 'Z' of w gets its 0x20 bit.
    static uint64_t Fold(uint64_t w) {
        constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
        const uint64_t low7 = w & ~kHigh;
        const uint64_t fromA = low7 + (0x80 - 'A') * kOnes;      // high bit: byte >= 'A'
        const uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * kOnes;  // high bit: byte > 'Z'
        const uint64_t capitals = fromA & ~pastZ & ~w & kHigh;
        return w | (capitals >> 2);
    }
    static uint64_t Mix(uint64_t h, uint64_t w) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
        return h ^ (h >> 29);
    }
    // Equal texts have equal lengths, so each length may have its own hash:
    // a short line is folded into a buffer and hashed as a plain line is,
    // a longer one word by word. From 8 bytes on, the last word is read
    // where it ends with the text (overlapping the word before).
    static constexpr size_t kShort = 256;
    static uint64_t Hash(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        if (n < 8) {
            char folded[8];
            const uint64_t w = Fold(Tail(p, n));
            for (size_t k = 0; k < n; ++k) folded[k] = static_cast<char>(w >> (8 * k));
            return std::hash<std::string_view>{}(std::string_view(folded, n));
        }
        if (n <= kShort) {
            char folded[kShort];
            for (size_t k = 0; k + 8 <= n; k += 8) {
                const uint64_t w = Fold(Word(p + k));
                std::memcpy(folded + k, &w, 8);
            }
            const uint64_t last = Fold(Word(p + n - 8));
            std::memcpy(folded + n - 8, &last, 8);
            return std::hash<std::string_view>{}(std::string_view(folded, n));
        }
        uint64_t h = 0x2545F4914F6CDD1DULL ^ n;
        for (size_t k = 0; k + 8 <= n; k += 8) h = Mix(h, Fold(Word(p + k)));
        h = Mix(h, Fold(Word(p + n - 8)));
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }
    static bool Equal(std::string_view a, std::string_view b) {
        const size_t n = a.size();
        if (n != b.size()) return false;
        if (std::memcmp(a.data(), b.data(), n) == 0) return true;
        const char *p = a.data(), *q = b.data();
        if (n < 8) return Fold(Tail(p, n)) == Fold(Tail(q, n));
        for (size_t k = 0; k + 8 <= n; k += 8)
            if (Fold(Word(p + k)) != Fold(Word(q + k))) return false;
        return Fold(Word(p + n - 8)) == Fold(Word(q + n - 8));
    }
};

// Open-addressing table from a text to its number, sized once for all
// lines: each slot holds the upper half of the text's hash and its number.
// Texts gives the hash and equality of the texts.
template <class TextOf, class Texts = ExactTexts>
class LineTable {
public:
    // text(k) gives line k of all lines (left then right); lines is a guess
    // of how many distinct texts there will be.
    LineTable(size_t lines, TextOf text) : m_Text(std::move(text)) {
        size_t cap = 1024;
        while (cap < lines + lines / 2) cap <<= 1;
        ReserveHuge(m_Slots, cap);
        m_Slots.assign(cap, Slot{0, 0});
        m_Lines.reserve(lines);
    }
    static uint64_t Hash(std::string_view text) { return Texts::Hash(text); }
    void Prefetch(uint64_t h) const { __builtin_prefetch(&m_Slots[h & (m_Slots.size() - 1)]); }
    // The number of the text of line k, whose hash is h.
    int Intern(uint32_t k, std::string_view text, uint64_t h) {
        const uint32_t tag = static_cast<uint32_t>(h >> 32);
        const size_t mask = m_Slots.size() - 1;
        for (size_t s = h & mask;; s = (s + 1) & mask) {
            Slot& slot = m_Slots[s];
            if (slot.id == 0) {
                m_Lines.push_back(k);
                slot = Slot{tag, static_cast<uint32_t>(m_Lines.size())};
                const int id = static_cast<int>(m_Lines.size() - 1);
                if (m_Lines.size() * 4 > m_Slots.size() * 3) Grow();
                return id;
            }
            if (slot.tag == tag && Texts::Equal(m_Text(m_Lines[slot.id - 1]), text)) return static_cast<int>(slot.id - 1);
        }
    }
    size_t Count() const { return m_Lines.size(); }
    // The first line (left then right) with the text of a number.
    uint32_t FirstLine(int id) const { return m_Lines[id]; }

private:
    struct Slot {
        uint32_t tag;
        uint32_t id;  // number + 1; 0 empty
    };
    void Grow() {
        std::vector<Slot> old(m_Slots.size() * 2, Slot{0, 0});
        old.swap(m_Slots);
        const size_t mask = m_Slots.size() - 1;
        for (const Slot& o : old) {
            if (o.id == 0) continue;
            size_t s = Hash(m_Text(m_Lines[o.id - 1])) & mask;
            while (m_Slots[s].id != 0) s = (s + 1) & mask;
            m_Slots[s] = o;
        }
    }
    TextOf m_Text;
    std::vector<Slot> m_Slots;
    std::vector<uint32_t> m_Lines;  // per number: a line of that text
};

// Lines (or runs of lines) with no more places than this are looked up one
// by one; longer runs are looked up only when these have more.
constexpr int kFewPlaces = 16;

}  // namespace

namespace {
// How many distinct texts the table should first make room for: one per
// line of the longer input, unless the first lines of the left input
// repeat a lot; then a few times the texts seen there, and the table grows
// should more come.
template <class Texts, class TextOf>
size_t ExpectedTexts(size_t nL, size_t nR, const TextOf& text) {
    const size_t lines = std::max(nL, nR);
    constexpr size_t kSample = 4096;
    if (nL < 4 * kSample) return lines;
    std::vector<uint64_t> hashes(kSample);
    for (size_t k = 0; k < kSample; ++k) hashes[k] = Texts::Hash(text(static_cast<uint32_t>(k)));
    std::sort(hashes.begin(), hashes.end());
    const size_t distinct = static_cast<size_t>(std::unique(hashes.begin(), hashes.end()) - hashes.begin());
    if (distinct > kSample / 4) return lines;
    return std::min(lines, 16 * distinct);
}
}  // namespace

CTextDiff::Matcher::Matcher(const LineSource& left, const LineSource& right,
                            const CDiffOptions& options, std::vector<CDiffChange>& runs,
                            const std::atomic<bool>* brk)
    : m_nL(static_cast<int>(left.count)),
      m_nR(static_cast<int>(right.count)),
      m_Runs(runs),
      m_pBreak(brk) {
    Intern(left, right, options);
    m_Hints.Allocate(static_cast<size_t>(m_nR) + 1);
    m_Cache.Allocate(m_nR);
    m_PendingFrom.Allocate(m_nR);
}

void CTextDiff::Matcher::Intern(const LineSource& left, const LineSource& right,
                                const CDiffOptions& options) {
    ReserveHuge(m_L, m_nL);
    ReserveHuge(m_R, m_nR);
    m_L.resize(m_nL);
    m_R.resize(m_nR);
    const uint32_t nL = static_cast<uint32_t>(left.count), nR = static_cast<uint32_t>(right.count);
    // Whether an item of the ignore list can remove anything (an empty one
    // removes nothing).
    const bool removes = options.ignoreText &&
                         std::any_of(options.ignoreList.begin(), options.ignoreList.end(),
                                     [](const std::string& item) { return !item.empty(); });
    auto original = [&](uint32_t k) { return k < nL ? left[k] : right[k - nL]; };
    // Two files read as blocks: their lines are read from the blocks
    // directly, and stretches of lines that are the same bytes on both
    // sides are found by comparing the blocks.
    FileBytes bytes;
    const bool blocks = left.text && right.text && left.text->wideStarts.empty() &&
                        right.text->wideStarts.empty();
    if (blocks) {
        bytes.left = left.text->bytes.get();
        bytes.leftStarts = left.text->starts.data();
        bytes.right = right.text->bytes.get();
        bytes.rightStarts = right.text->starts.data();
        bytes.rightEndsInLineFeed = right.text->size > 0 && bytes.right[right.text->size - 1] == '\n';
    }
    if (!removes) {
        // Only the case of letters, if anything, is ignored: the lines are
        // hashed and compared as they stand, folding capitals on the way.
        if (blocks) {
            struct Line {
                const FileBytes* bytes;
                uint32_t nL;
                [[gnu::always_inline]] std::string_view operator()(uint32_t k) const {
                    return k < nL ? CDiffFileText::LineBetween(bytes->left, bytes->leftStarts[k], bytes->leftStarts[k + 1])
                                  : CDiffFileText::LineBetween(bytes->right, bytes->rightStarts[k - nL],
                                                               bytes->rightStarts[k - nL + 1]);
                }
            };
            const Line line{&bytes, nL};
            if (options.ignoreCase) InternLines<FoldedTexts>(line, nL, nR, &bytes);
            else InternLines<ExactTexts>(line, nL, nR, &bytes);
        } else {
            if (options.ignoreCase) InternLines<FoldedTexts>(original, nL, nR, nullptr);
            else InternLines<ExactTexts>(original, nL, nR, nullptr);
        }
        return;
    }
    // Lines from which an item is removed are compared as their normal form,
    // kept in one block; the others as they stand (with capitals folded
    // under ignore case: their normal form is only lower-cased).
    std::vector<std::string_view> texts(static_cast<size_t>(nL) + nR);
    std::vector<std::pair<uint32_t, size_t>> changed;  // line, end of its form in the block
    std::string block;
    for (uint32_t k = 0; k < nL + nR; ++k) {
        const std::string_view line = original(k);
        texts[k] = line;
        const std::string normal = NormalizeDiffText(std::string(line), options);
        if (normal.size() == line.size()) continue;
        block += normal;
        changed.emplace_back(k, block.size());
    }
    size_t from = 0;
    for (const auto& [k, to] : changed) {
        texts[k] = std::string_view(block.data() + from, to - from);
        from = to;
    }
    std::vector<std::pair<uint32_t, size_t>>().swap(changed);
    auto text = [&](uint32_t k) { return texts[k]; };
    if (options.ignoreCase) InternLines<FoldedTexts>(text, nL, nR, blocks ? &bytes : nullptr);
    else InternLines<ExactTexts>(text, nL, nR, blocks ? &bytes : nullptr);
}

namespace {
// How many bytes from a and b on are the same, at most n.
size_t SameBytes(const char* a, const char* b, size_t n) {
    size_t k = 0;
#if defined(__SSE2__)
    for (; k + 64 <= n; k += 64) {
        auto eq = [&](size_t at) {
            return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
        };
        const __m128i all = _mm_and_si128(_mm_and_si128(eq(k), eq(k + 16)), _mm_and_si128(eq(k + 32), eq(k + 48)));
        if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
#endif
    for (; k + 8 <= n; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + k, 8);
        std::memcpy(&y, b + k, 8);
        if (x != y) return k + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
    }
    for (; k < n; ++k)
        if (a[k] != b[k]) return k;
    return n;
}
}  // namespace

// How many lines from left line j and right line k on are the same bytes,
// line feeds included (and so the same texts, whatever the options). A
// last right line without a line feed is left to the caller.
uint32_t CTextDiff::Matcher::SameLines(const FileBytes& bytes, uint32_t j, uint32_t k) const {
    const uint32_t nL = static_cast<uint32_t>(m_nL), nR = static_cast<uint32_t>(m_nR);
    const size_t lFrom = bytes.leftStarts[j], rFrom = bytes.rightStarts[k];
    const size_t n = std::min(bytes.leftStarts[nL] - lFrom, bytes.rightStarts[nR] - rFrom);
    const size_t same = SameBytes(bytes.left + lFrom, bytes.right + rFrom, n);
    // Right lines k .. k + t - 1 end within the same bytes.
    const uint32_t lastEnd = bytes.rightEndsInLineFeed ? nR : nR - 1;  // lines that end in a line feed
    const uint32_t* first = bytes.rightStarts + k + 1;
    const uint32_t* last = bytes.rightStarts + std::max(lastEnd, k) + 1;
    uint32_t t = static_cast<uint32_t>(std::upper_bound(first, last, static_cast<uint32_t>(rFrom + same)) - first);
    return std::min(t, nL - j);
}

template <class Texts, class TextOf>
void CTextDiff::Matcher::InternLines(const TextOf& text, uint32_t nL, uint32_t nR, const FileBytes* bytes) {
    LineTable<TextOf, Texts> table(ExpectedTexts<Texts>(nL, nR, text), text);
    // Hashes are taken a batch ahead so that the table slots are fetched
    // while earlier lines are looked up.
    {
        constexpr uint32_t kBatch = 16;
        uint64_t hashes[kBatch];
        for (uint32_t first = 0; first < nL; first += kBatch) {
            const uint32_t n = std::min(kBatch, nL - first);
            for (uint32_t k = 0; k < n; ++k) {
                hashes[k] = Texts::Hash(text(first + k));
                table.Prefetch(hashes[k]);
            }
            for (uint32_t k = 0; k < n; ++k) m_L[first + k] = table.Intern(first + k, text(first + k), hashes[k]);
        }
    }
    // The left places of each text: texts first met on the right have none.
    const size_t leftTexts = table.Count();
    m_Single.Build(m_L, leftTexts);
    // Right lines mostly follow left lines in order: each is first compared
    // with the left line after the one the line before it matched (in files
    // read as blocks, a whole stretch of lines at once, byte for byte), and
    // looked up only when that differs. After a line that differs, the
    // next two right lines are looked for a few lines around on the left (a
    // line changed, inserted or dropped); failing that, the comparisons go
    // on after the text's place on the left from there on (or its only
    // place).
    auto sameText = [&](uint32_t j, uint32_t k) { return Texts::Equal(text(j), text(nL + k)); };
    auto resumesAt = [&](uint32_t a, uint32_t k) {
        return a < nL && sameText(a, k + 1) && (k + 2 >= nR || a + 1 >= nL || sameText(a + 1, k + 2));
    };
    constexpr uint32_t kAround = 8;
    uint32_t next = 0;
    for (uint32_t k = 0; k < nR;) {
        if (bytes && next < nL) {
            const uint32_t same = SameLines(*bytes, next, k);
            if (same > 0) {
                std::memcpy(m_R.data() + k, m_L.data() + next, same * sizeof(int));
                AddStretch(k, next, same);
                k += same;
                next += same;
                continue;
            }
        }
        const std::string_view t = text(nL + k);
        if (next < nL && Texts::Equal(text(next), t)) {
            AddStretch(k, next, 1);
            m_R[k++] = m_L[next++];
            continue;
        }
        const int id = table.Intern(nL + k, t, Texts::Hash(t));
        m_R[k] = id;
        uint32_t resume = UINT32_MAX;
        if (k + 1 < nR) {
            for (uint32_t d = 0; d <= kAround && resume == UINT32_MAX; ++d) {
                if (resumesAt(next + d, k)) resume = next + d;
                else if (d > 0 && d <= next && resumesAt(next - d, k)) resume = next - d;
            }
        }
        if (resume != UINT32_MAX) {
            next = resume;
        } else if (static_cast<size_t>(id) < leftTexts) {
            const int* first = m_Single.pos.data() + m_Single.start[id];
            const int* last = m_Single.pos.data() + m_Single.start[id + 1];
            const int* at = last - first == 1 ? first : std::lower_bound(first, last, static_cast<int>(next));
            if (at < last) next = static_cast<uint32_t>(*at) + 1;
        }
        ++k;
    }
    // Texts only on the right have no places.
    m_Single.start.resize(table.Count() + 1, m_Single.start.back());
    m_LineKeysL = KeyList(m_L);
    m_LineKeysR = KeyList(m_R);
    CountSame(m_L, m_SameL);
    CountSame(m_R, m_SameR);
    m_nKeys = static_cast<int>(table.Count());
    m_nWalkBound = 64L * (m_nL + m_nR) + 65536;
}

void CTextDiff::Matcher::CountSame(const std::vector<int>& ids, std::vector<uint8_t>& same) {
    ReserveHuge(same, ids.size());
    same.resize(ids.size());
    int run = 0;
    for (size_t k = ids.size(); k-- > 0;) {
        run = (k + 1 < ids.size() && ids[k + 1] == ids[k]) ? run + 1 : 1;
        same[k] = static_cast<uint8_t>(std::min(run, 255));
    }
}

// The next level of runs of lines: a run of 2^level lines is the pair of
// its two halves of the level below. Built when a scan first meets runs that
// occur often. Only runs whose two halves both occur often are ever looked
// up, so only they are indexed; any left place of such a run has the same
// two halves and so is indexed too, and a right run of two frequent halves
// that is not indexed never occurs on the left.
//
// Where there are few possible pairs, a table of them numbers the places;
// else the pairs are numbered without a table of pairs: the places are taken
// group by group of their first half (the left ones from its index, the
// right ones sorted into such groups), and within a group each second half
// gets a number the first time it is met, kept in a list by second half.
void CTextDiff::Matcher::BuildGramLevel() {
    const int level = static_cast<int>(m_Grams.size()) + 1;
    const int half = kGramLength[kFirst[level]];
    const KeyList& firstRight = RightKeys(kFirst[level]);
    const OccIndex& firstIndex = Index(kFirst[level]);
    const KeyList& secondLeft = LeftKeys(kSecond[level]);
    const KeyList& secondRight = RightKeys(kSecond[level]);
    const OccIndex& secondIndex = Index(kSecond[level]);
    auto frequent = [](const OccIndex& index, int key) {
        return key >= 0 && index.Count(key) > kFewPlaces;
    };
    const int firstKeys = static_cast<int>(firstIndex.start.size()) - 1;
    const int secondKeys = static_cast<int>(secondIndex.start.size()) - 1;
    std::vector<int> left, right;
    ReserveHuge(left, m_nL);
    ReserveHuge(right, m_nR);
    left.assign(m_nL, -1);
    right.assign(m_nR, -2);
    int count = 0;
    // Few frequent halves: a table of all their pairs numbers the places in
    // one pass over each input, in order (the grouping below reads the
    // places of each first half across the whole input, one cache miss
    // each).
    auto dense = [&](const OccIndex& index, int keys, std::vector<int>& at) {
        at.assign(keys, -1);
        int n = 0;
        for (int key = 0; key < keys; ++key)
            if (frequent(index, key)) at[key] = n++;
        return n;
    };
    Gram gram;
    bool leftKept = false;
    std::vector<int> firstAt, secondAt;
    const long firstFew = dense(firstIndex, firstKeys, firstAt);
    const long secondFew = dense(secondIndex, secondKeys, secondAt);
    if (firstFew * secondFew <= kPairTable) {
        const KeyList& firstLeft = LeftKeys(kFirst[level]);
        std::vector<int> pair(static_cast<size_t>(firstFew * secondFew), -1);
        // The pair's slot in the table; -1 when either half is not frequent.
        auto slot = [&](int f, int second) -> long {
            if (f < 0 || second < 0) return -1;
            const int a = firstAt[f], b = secondAt[second];
            return a < 0 || b < 0 ? -1 : a * secondFew + b;
        };
        for (int j = 0; j + half < m_nL; ++j) {
            const long k = slot(firstLeft[j], secondLeft[j + half]);
            if (k < 0) continue;
            if (pair[k] < 0) pair[k] = count++;
            left[j] = pair[k];
        }
        // The left places are indexed on a thread of their own meanwhile:
        // the right places only read the table of pairs.
        std::exception_ptr failure;
        auto keepLeft = [&] {
            try {
                gram.index.Build(left, count);
                gram.left.Keep(std::move(left), count);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        std::thread indexer;
        try {
            indexer = std::thread(keepLeft);
        } catch (const std::system_error&) {
            keepLeft();
        }
        for (int i = 0; i + half < m_nR; ++i) {
            const long k = slot(firstRight[i], secondRight[i + half]);
            if (k >= 0) right[i] = pair[k];
        }
        try {
            gram.right.Keep(std::move(right), count);
        } catch (...) {
            if (indexer.joinable()) indexer.join();
            throw;
        }
        if (indexer.joinable()) indexer.join();
        if (failure) std::rethrow_exception(failure);
        leftKept = true;
    } else {
        // Right places of two frequent halves, by first half.
        std::vector<int> rightStart(static_cast<size_t>(firstKeys) + 1, 0);
        std::vector<int> rightPos;
        {
            auto both = [&](int i) {
                return frequent(firstIndex, firstRight[i]) && frequent(secondIndex, secondRight[i + half]);
            };
            for (int i = 0; i + half < m_nR; ++i)
                if (both(i)) ++rightStart[firstRight[i] + 1];
            for (int f = 0; f < firstKeys; ++f) rightStart[f + 1] += rightStart[f];
            rightPos.resize(rightStart[firstKeys]);
            std::vector<int> fill(rightStart.begin(), rightStart.end() - 1);
            for (int i = 0; i + half < m_nR; ++i)
                if (both(i)) rightPos[fill[firstRight[i]]++] = i;
        }
        std::vector<int> group(secondKeys, -1), number(secondKeys);
        for (int f = 0; f < firstKeys; ++f) {
            if (!frequent(firstIndex, f)) continue;
            for (int x = firstIndex.start[f]; x < firstIndex.start[f + 1]; ++x) {
                const int j = firstIndex.pos[x];
                if (j + half >= m_nL) continue;
                const int second = secondLeft[j + half];
                if (!frequent(secondIndex, second)) continue;
                if (group[second] != f) {
                    group[second] = f;
                    number[second] = count++;
                }
                left[j] = number[second];
            }
            for (int x = rightStart[f]; x < rightStart[f + 1]; ++x) {
                const int i = rightPos[x];
                const int second = secondRight[i + half];
                right[i] = group[second] == f ? number[second] : -1;
            }
        }
        std::vector<int>().swap(rightPos);
        std::vector<int>().swap(group);
    }
    if (!leftKept) {
        gram.index.Build(left, count);
        gram.left.Keep(std::move(left), count);
        gram.right.Keep(std::move(right), count);
    }
    if (3 * PlacesPerLookUp(gram.index) > 2 * PlacesPerLookUp(Index(level - 1))) m_bLevelsDone = true;
    m_Grams.push_back(std::move(gram));
    m_nStepsAtLevel = m_nLookupSteps;
}

// The places a look-up of the run at a left place meets on average: the
// sum of the squared counts of the indexed keys over their places.
double CTextDiff::Matcher::PlacesPerLookUp(const OccIndex& index) {
    double squares = 0;
    for (size_t key = 0; key + 1 < index.start.size(); ++key) {
        const double c = index.start[key + 1] - index.start[key];
        squares += c * c;
    }
    return index.pos.empty() ? 0 : squares / static_cast<double>(index.pos.size());
}

void CTextDiff::Matcher::OccIndex::Build(const std::vector<int>& keys, size_t keyCount) {
    ReserveHuge(start, keyCount + 1);
    start.assign(keyCount + 1, 0);
    for (int key : keys)
        if (key >= 0) ++start[key + 1];
    for (size_t k = 0; k < keyCount; ++k) start[k + 1] += start[k];
    ReserveHuge(pos, start[keyCount]);
    pos.resize(start[keyCount]);
    std::vector<int> fill;
    ReserveHuge(fill, keyCount);
    fill.assign(start.begin(), start.end() - 1);
    for (size_t j = 0; j < keys.size(); ++j)
        if (keys[j] >= 0) pos[fill[keys[j]]++] = static_cast<int>(j);
}

bool CTextDiff::Matcher::Stopped() {
    return m_pBreak && m_pBreak->load(std::memory_order_relaxed);
}

// Equal lines from right line i and left line j on, at most maxLen. Every
// result is a fact about the inputs, kept for the next right line as a hint
// so that walking down one diagonal costs its length once.
int CTextDiff::Matcher::MatchLength(int i, int j, int maxLen) {
    Hint& h = m_Hints[i];
    int d;
    bool exact;
    if (h.j1 == j + 1 && (h.exact || h.len >= maxLen)) {
        d = h.len;
        exact = h.exact;
    } else {
        int k = (h.j1 == j + 1) ? h.len : 0;
        const int from = k;
        // Once the suffix order is there, only short walks are done by hand.
        const int limit = m_pEqual ? std::min(maxLen, k + 8) : maxLen;
        const int* r = m_R.data() + i;
        const int* l = m_L.data() + j;
        const uint8_t* sr = m_SameR.data() + i;
        const uint8_t* sl = m_SameL.data() + j;
        // Where both sides stand in a block of the same line, the shorter
        // block ends the equal lines and blocks of equal length are crossed
        // whole: the line after a block differs from the block's line (a
        // count kept as 255 is crossed by 255 and looked at again).
        while (k < limit && r[k] == l[k]) {
            const int a = sr[k], c = sl[k];
            if (a != c) {
                k += std::min(a, c);
                break;
            }
            if (a > 1) {
                k += a;
                continue;
            }
            // Outside blocks: a stretch line by line before looking again.
            const int stop = std::min(limit, k + 32);
            for (++k; k < stop && r[k] == l[k];) ++k;
        }
        if (m_pEqual) {
            if (k >= limit && limit < maxLen) k = m_pEqual->Equal(i, j);
        } else {
            m_nWalked += k - from;
            ++m_nWalks;
            // Worth it only where the walks are long on average.
            if (m_nWalked > m_nWalkBound && m_nWalked > 16 * m_nWalks) {
            m_pEqual = m_pSpareEqual ? std::move(m_pSpareEqual)
                                         : std::make_unique<EqualLineIndex>(m_R, m_L, m_nKeys);
            }
        }
        exact = k < maxLen;
        d = std::min(k, maxLen);
        if (h.j1 != j + 1 ? d > h.len : true) h = {j + 1, d, exact};
    }
    if (d >= 2) {
        Hint& next = m_Hints[i + 1];
        if (next.j1 == j + 2 ? (d - 1 > next.len || (exact && !next.exact)) : d - 1 > next.len)
            next = {j + 2, d - 1, exact};
    }
    return std::min(d, maxLen);
}

// Whether the len lines from right line i equal those from left line j.
// Where the equal lines would be read from the suffix order (a few reads
// at random places), or the run is long, its last line is looked at
// first: where it differs, neither query nor walk is needed. (A short walk
// is left to do, since what it finds serves the next right lines.)
bool CTextDiff::Matcher::RunsAtLeast(int i, int j, int len) {
    if (len > 8 && (m_pEqual || len > 32) && m_R[i + len - 1] != m_L[j + len - 1]) return false;
    return MatchLength(i, j, len) >= len;
}

namespace {
// std::lower_bound over places that spread evenly over 0 .. range - 1: the
// search starts where the target would stand and widens from there.
const int* LowerBound(const int* first, const int* last, int target, int range) {
    const long n = last - first;
    if (n <= 64) return std::lower_bound(first, last, target);
    const int* lo = first;
    const int* hi = last;
    const int* guess = first + std::min(n - 1, static_cast<long>(static_cast<double>(n) * target / range));
    long step = 8;
    if (*guess < target) {
        lo = guess + 1;
        while (last - lo > step && lo[step - 1] < target) {
            lo += step;
            step *= 2;
        }
        if (last - lo > step) hi = lo + step;
    } else {
        hi = guess;
        while (hi - first > step && hi[-step] >= target) {
            hi -= step;
            step *= 2;
        }
        if (hi - first > step) lo = hi - step + 1;
    }
    return std::lower_bound(lo, hi, target);
}
}  // namespace

// The first place p of anchor, anchor + stride, ... up to lastPos where the
// b + 1 right lines from i equal the left lines from p; -1 when none.
int CTextDiff::Matcher::FindCandidate(int i, int b, int anchor, int stride, int lastPos) {
    // Look the places up by the rarest of the first few lines of the run, or
    // of the first few runs of 2, 4, ... of its lines.
    int level = 0;
    int want = -1;
    int bestK = 0;
    int bestCount = INT_MAX;
    for (int k = 0; k <= std::min(b, 3); ++k) {
        const int key = m_R[i + k];
        const int c = m_Single.Count(key);
        if (c == 0) return -1;
        if (c < bestCount) {
            bestCount = c;
            bestK = k;
            want = key;
        }
    }
    // A long run is looked up by its rarest line when that is rarer still.
    if (bestCount > kFewPlaces && b > 3) {
        if (!m_pRarest) {
            m_pRarest = std::make_unique<RangeArgMin>(m_nR, m_R.data(), m_Single.start.data());
        }
        const int x = m_pRarest->Find(i + 4, i + b);
        const int c = m_pRarest->Value(x);
        if (c == 0) return -1;
        if (c < bestCount) {
            bestCount = c;
            bestK = x - i;
            want = m_R[x];
        }
    }
    // Looks at the first few runs of one level; false when one of them never
    // occurs on the left. Sets indexed when one of them is indexed.
    auto consider = [&](int g, bool& indexed) {
        const KeyList& right = RightKeys(g);
        const OccIndex& index = Index(g);
        for (int k = 0; k <= std::min(b + 1 - kGramLength[g], 2); ++k) {
            const int key = right[i + k];
            if (key == -2) continue;
            if (key < 0) return false;
            indexed = true;
            const int c = index.Count(key);
            if (c < bestCount) {
                bestCount = c;
                bestK = k;
                want = key;
                level = g;
            }
        }
        return true;
    };
    int top = 0;
    while (top + 1 < kGramLevels && kGramLength[top + 1] <= b + 1) ++top;
    if (bestCount > kFewPlaces && top > 0 && static_cast<int>(m_Grams.size()) >= top) {
        // All levels are there: the longest indexed runs are the rarest.
        for (int g = top; g >= 1; --g) {
            bool indexed = false;
            if (!consider(g, indexed)) return -1;
            if (indexed) break;
        }
    } else {
        // Longer runs are built of these, so once none of them is indexed
        // the levels above are not looked at (nor built) either.
        // A level costs a pass over both inputs and its own memory, so it
        // is built only once the look-ups since the level below was built
        // have stepped over an eighth as many places as there are lines (a
        // step is a read at a random place, a level a pass in order): the
        // levels then never cost more than the look-ups they save.
        for (int g = 1; g <= top && bestCount > kFewPlaces; ++g) {
            if (static_cast<int>(m_Grams.size()) < g) {
                if (m_nLookupSteps - m_nStepsAtLevel < LevelSteps() || m_bTrial || m_bLevelsDone) break;
                BuildGramLevel();
            }
            bool indexed = false;
            if (!consider(g, indexed)) return -1;
            if (!indexed) break;
        }
    }
    const OccIndex* index = &Index(level);
    const KeyList& leftKeys = LeftKeys(level);
    const int* first = index->pos.data() + index->start[want];
    const int* last = index->pos.data() + index->start[want + 1];
    // Walk the places of the key when they are expected to be well fewer
    // than the places of the progression (finding where to start costs too),
    // else step the progression.
    const long places = (static_cast<long>(lastPos) - anchor) / stride + 1;
    const long span = static_cast<long>(lastPos) - anchor + 1;
    if (2 * (last - first) * span + 32L * m_nL <= places * m_nL) {
        const int* from = LowerBound(first, last, anchor + bestK, m_nL);
        const int* to = last;
        // (p - anchor) is a multiple of stride exactly when its product with
        // this factor, modulo 2^64, is at most the factor less one.
        const uint64_t factor = UINT64_MAX / static_cast<uint32_t>(stride) + 1;
        for (const int* q = from; q < to; ++q) {
            ++m_nLookupSteps;
            const int p = *q - bestK;
            if (p > lastPos) break;
            if (static_cast<uint64_t>(static_cast<uint32_t>(p - anchor)) * factor > factor - 1) continue;
            if (RunsAtLeast(i, p, b + 1)) return p;
        }
    } else {
        for (long p = anchor; p <= lastPos; p += stride) {
            ++m_nLookupSteps;
            if (leftKeys[p + bestK] != want) continue;
            if (RunsAtLeast(i, static_cast<int>(p), b + 1)) return static_cast<int>(p);
        }
    }
    return -1;
}

// The scan of the left range for right line i (see the file header).
CDiffRun CTextDiff::Matcher::Scan(int i, int lF, int lL, int remaining) {
    int b = 0;
    int start = -1;
    long anchor = lF;
    int stride = 1;
    for (;;) {
        if (remaining <= b) break;
        const int lastPos = lL - b;
        if (anchor > lastPos) break;
        int p = FindCandidate(i, b, static_cast<int>(anchor), stride, lastPos);
        if (p < 0) break;
        int n = MatchLength(i, p, std::min(lL - p + 1, remaining));
        b = n;
        start = p;
        anchor = static_cast<long>(p) + b + 1;
        stride = b + 1;
    }
    if (b > 0) return {start, b};
    return {-1, -1};
}

CTextDiff::Matcher::Node CTextDiff::Matcher::Leaf(int i) const {
    if (i >= m_nR) return {INT_MAX, INT_MIN, INT_MIN, -1};
    const CDiffRun c = Cached(i);
    if (c.length > 0) return {c.start, c.start + c.length - 1, i + c.length - 1, c.length};
    if (c.length == -1) return {INT_MAX, INT_MIN, INT_MIN, -1};
    // Not known: stands for the longest run it may have.
    return {INT_MAX, INT_MIN, INT_MIN, m_Bound[i]};
}

CTextDiff::Matcher::Node CTextDiff::Matcher::BlockNode(int block) const {
    Node n = Leaf(block * kLeaf);
    for (int i = block * kLeaf + 1; i < (block + 1) * kLeaf; ++i) n = Combine(n, Leaf(i));
    return n;
}

void CTextDiff::Matcher::TreeBuild() {
    const int blocks = (m_nR + kLeaf - 1) / kLeaf;
    m_nSize = 1;
    while (m_nSize < blocks) m_nSize <<= 1;
    m_Tree.resize(2 * static_cast<size_t>(m_nSize));
    for (int b = 0; b < m_nSize; ++b) m_Tree[m_nSize + b] = BlockNode(b);
    for (int node = m_nSize - 1; node >= 1; --node)
        m_Tree[node] = Combine(m_Tree[2 * node], m_Tree[2 * node + 1]);
}

void CTextDiff::Matcher::TreeSet(int i) {
    int node = m_nSize + i / kLeaf;
    m_Tree[node] = BlockNode(i / kLeaf);
    for (node >>= 1; node >= 1; node >>= 1) {
        const Node n = Combine(m_Tree[2 * node], m_Tree[2 * node + 1]);
        if (n == m_Tree[node]) break;
        m_Tree[node] = n;
    }
}

template <class Want>
int CTextDiff::Matcher::FirstWith(int a, int b, Want want) const {
    if (a > b) return b + 1;
    const int ba = a / kLeaf, bb = b / kLeaf;
    const int firstEnd = ba == bb ? b : (ba + 1) * kLeaf - 1;
    for (int i = a; i <= firstEnd; ++i)
        if (want(Leaf(i))) return i;
    if (ba == bb) return b + 1;
    if (ba + 1 <= bb - 1) {
        const int block = FirstBlockIn(1, 0, m_nSize - 1, ba + 1, bb - 1, want);
        if (block >= 0) {
            for (int i = block * kLeaf;; ++i)
                if (want(Leaf(i))) return i;
        }
    }
    for (int i = bb * kLeaf; i <= b; ++i)
        if (want(Leaf(i))) return i;
    return b + 1;
}

template <class Want>
int CTextDiff::Matcher::FirstBlockIn(int node, int lo, int hi, int a, int b, Want want) const {
    if (hi < a || lo > b || !want(m_Tree[node])) return -1;
    if (lo == hi) return lo;
    const int mid = (lo + hi) / 2;
    const int r = FirstBlockIn(2 * node, lo, mid, a, b, want);
    if (r >= 0) return r;
    return FirstBlockIn(2 * node + 1, mid + 1, hi, a, b, want);
}

// The first right line in [a, b] whose run no longer fits the part.
int CTextDiff::Matcher::FirstEvent(int a, int b, int lF, int lL, int rL) const {
    return FirstWith(a, b, [&](const Node& n) { return NodeHasEvent(n, lF, lL, rL); });
}

// The longest cached length (or bound) in [a, b].
int CTextDiff::Matcher::RangeMax(int a, int b) const {
    const int ba = a / kLeaf, bb = b / kLeaf;
    int m = INT_MIN;
    const int firstEnd = ba == bb ? b : (ba + 1) * kLeaf - 1;
    for (int i = a; i <= firstEnd; ++i) m = std::max(m, Leaf(i).maxLen);
    if (ba == bb) return m;
    if (ba + 1 <= bb - 1) m = std::max(m, RangeMaxIn(1, 0, m_nSize - 1, ba + 1, bb - 1));
    for (int i = bb * kLeaf; i <= b; ++i) m = std::max(m, Leaf(i).maxLen);
    return m;
}

int CTextDiff::Matcher::RangeMaxIn(int node, int lo, int hi, int a, int b) const {
    if (hi < a || lo > b) return INT_MIN;
    if (a <= lo && hi <= b) return m_Tree[node].maxLen;
    const int mid = (lo + hi) / 2;
    return std::max(RangeMaxIn(2 * node, lo, mid, a, b), RangeMaxIn(2 * node + 1, mid + 1, hi, a, b));
}

// The run of right line i when the pass over a part comes to it, given
// the passes above that part that left it unknown: each pass that visits
// the line rescans it unless it keeps the run found before.
CDiffRun CTextDiff::Matcher::Replay(int i, int part) {
    const int depth = m_Parts[part].depth;
    int d = m_Parts[m_PendingFrom[i]].depth;
    CDiffRun e{-1, -2};
    while (d < depth) {
        if (e.length != -2) {
            int lo = d, hi = depth;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (PathPart(mid).Keeps(e, i)) lo = mid + 1;
                else hi = mid;
            }
            d = lo;
            if (d == depth) break;
        }
        const int x = m_LastVisited.FirstAtLeast(d, depth, i);
        if (x < 0) break;
        const Part& p = PathPart(x);
        e = Scan(i, p.lF, p.lL, p.rL - i + 1);
        d = x + 1;
    }
    const Part& p = m_Parts[part];
    if (e.length != -2 && p.Keeps(e, i)) return e;
    return Scan(i, p.lF, p.lL, p.rL - i + 1);
}

// One pass of the procedure over a part: the right line with the longest
// run wins, the first on a tie. Runs are scanned only for lines that can
// still win, longest bound first, the first line on a tie; the others owe
// their scans until then. A line scanned here has a bound of at least the
// winning length and no more than the lines it leaves, so the pass visits
// it and keeps the run found.
bool CTextDiff::Matcher::MatchPart(int part) {
    const int rF = m_Parts[part].rF, rL = m_Parts[part].rL;
    const int lF = m_Parts[part].lF, lL = m_Parts[part].lL;
    // Known runs that no longer fit are rescanned by this pass if it visits
    // their lines: they owe the scans from here on.
    for (int e = FirstEvent(rF, rL, lF, lL, rL); e <= rL; e = FirstEvent(e + 1, rL, lF, lL, rL)) {
        Cache(e, CDiffRun{-1, -2});
        m_PendingFrom[e] = part;
        TreeSet(e);
    }
    const int leftSize = lL - lF + 1;
    int winner = -1, length = -1;
    for (;;) {
        const int m = RangeMax(rF, rL);
        if (m <= 0) break;
        const int i = FirstWith(rF, rL, [m](const Node& n) { return n.maxLen >= m; });
        if (m_Cache[i].code != 0) {
            winner = i;
            length = m;
            break;
        }
        const int cap = std::min(rL - i + 1, leftSize);
        if (m_Bound[i] > cap) {
            m_Bound[i] = cap;
        } else if (!m_bTight && (++m_nScanned > m_nScanBudget ||
                                 (m_bTrial && m_nLookupSteps >= LevelSteps()))) {
            // Too many lines had to be scanned: their bounds are loose.
            if (m_bTrial) GramBounds();
            else TightenBounds();
            continue;
        } else {
            Cache(i, Replay(i, part));
            if (Stopped()) return false;
        }
        TreeSet(i);
    }
    m_Parts[part].winner = winner;
    m_Parts[part].length = length;
    return true;
}

// Bounds walked up each right line's diagonals from the end: the equal
// lines from (i, j) are none when the lines differ, else one more than
// those from (i + 1, j + 1). Kept per place for lines with few places on
// the left; a line with many places is bounded by one more than the bound
// of the line after it.
void CTextDiff::Matcher::DiagonalBounds() {
    ReserveHuge(m_Bound, m_nR);
    m_Bound.assign(m_nR, 0);
    // Bounds from each place of the line below (when it has few), and of
    // this line.
    std::pair<int, int> lists[2][kFewPlaces];
    std::pair<int, int>* below = lists[0];
    std::pair<int, int>* here = lists[1];
    bool belowListed = false;
    const int* pos = m_Single.pos.data();
    const int* start = m_Single.start.data();
    for (int i = m_nR - 1; i >= 0; --i) {
        const int key = m_R[i];
        const int* first = pos + start[key];
        const int* last = pos + start[key + 1];
        const int nextKey = i + 1 < m_nR ? m_R[i + 1] : -1;
        const int next = i + 1 < m_nR ? m_Bound[i + 1] : 0;
        const bool listed = last - first <= kFewPlaces;
        if (listed) {
            int best = 0;
            int k = 0, n = 0;
            for (const int* q = first; q < last; ++q) {
                const int j = *q;
                int v = 1;
                if (next > 0 && j + 1 < m_nL && m_L[j + 1] == nextKey) {
                    if (belowListed) {
                        while (below[k].first < j + 1) ++k;
                        v += below[k].second;
                    } else {
                        v += next;
                    }
                }
                here[n++] = {j, v};
                best = std::max(best, v);
            }
            m_Bound[i] = best;
        } else {
            m_Bound[i] = std::min(next + 1, m_nL);
        }
        belowListed = listed;
        std::swap(below, here);
    }
    m_nScanBudget = m_nR / 16 + 1024;
}

// Bounds from the runs of q lines of the right that occur nowhere on the
// left: a run from right line i that covers such a run of q lines cannot
// be equal to any left lines, so it is shorter than the distance to the
// first of them plus q. Right runs within a stretch that the numbering of
// the lines found equal to left lines in order are on the left; only the
// others are looked for, by their hashes: few of them in a small table
// that every left run is looked up in, else among the left runs kept as a
// filter of bits (two per run, in one word). A run taken for one of the
// left that is not only makes a bound looser, never wrong. q is chosen so
// that runs of q lines drawn at random from the left texts are seldom
// found on the left by chance.
void CTextDiff::Matcher::GramBounds() {
    m_bTrial = false;
    long texts = 0;
    for (int key = 0; key < m_nKeys; ++key) texts += m_Single.Count(key) > 0;
    texts = std::max(texts, 2L);
    const double want = 256.0 * m_nL;
    int q = 2;
    for (double runs = static_cast<double>(texts) * texts; runs < want && q < 64; runs *= texts) ++q;
    if (q <= m_nL && q <= m_nR) {
        int bits = 16;
        while (bits < 40 && (1L << bits) < 32L * m_nL) ++bits;
        constexpr uint64_t kBase = 0x9E3779B97F4A7C15ULL;
        uint64_t top = 1;  // kBase^(q-1)
        for (int k = 1; k < q; ++k) top *= kBase;
        // Both bits of a run lie in one word, so that a run costs one
        // place in memory.
        auto probes = [bits](uint64_t h, uint64_t& word, uint64_t& mask) {
            const uint64_t y = h * 0xFF51AFD7ED558CCDULL;
            word = (h * 0xD6E8FEB86659FD93ULL) >> (70 - bits);
            mask = (1ULL << (y >> 58)) | (1ULL << ((y >> 52) & 63));
        };
        // Hash of the q lines from place p of list v, rolled along.
        auto roll = [&](const std::vector<int>& v, int n, auto&& at) {
            uint64_t h = 0;
            for (int k = 0; k < q; ++k) h = h * kBase + static_cast<uint32_t>(v[k]);
            for (int p = 0;; ++p) {
                at(p, h);
                if (p + q >= n) break;
                h = (h - top * static_cast<uint32_t>(v[p])) * kBase + static_cast<uint32_t>(v[p + q]);
            }
        };
        std::vector<uint8_t> absent(m_nR, 0);
        // A right run that lies within a stretch of lines found equal to
        // left lines in order is on the left; the others are looked for.
        std::vector<int> open;
        {
            size_t s = 0;
            for (int p = 0; p + q <= m_nR; ++p) {
                while (s < m_Stretches.size() && m_Stretches[s].first + m_Stretches[s].second < p + q) ++s;
                if (s == m_Stretches.size() || m_Stretches[s].first > p) open.push_back(p);
            }
        }
        if (open.size() <= static_cast<size_t>(m_nL) / 8) {
            // Few: their hashes in a small table, every left run looked up
            // in it.
            size_t cap = 64;
            while (cap < 2 * open.size()) cap <<= 1;
            std::vector<uint64_t> slots(cap, 0);
            std::vector<uint8_t> found(cap, 0);
            auto slotOf = [&](uint64_t h, bool add) -> size_t {
                h |= 1;
                for (size_t x = (h * 0x9E3779B97F4A7C15ULL) >> 20 & (cap - 1);; x = (x + 1) & (cap - 1)) {
                    if (slots[x] == h) return x;
                    if (slots[x] == 0) {
                        if (!add) return cap;
                        slots[x] = h;
                        return x;
                    }
                }
            };
            // Beside the table, a bit for each value of other bits of the
            // hash, about sixteen per run: most left runs are on no list
            // and are passed over after one look at this much smaller map.
            int filterBits = 9;
            while (filterBits < 30 && (size_t{1} << filterBits) < 16 * open.size()) ++filterBits;
            std::vector<uint64_t> filter((size_t{1} << filterBits) / 64, 0);
            auto filterBit = [filterBits](uint64_t h) {
                return static_cast<size_t>(((h | 1) * 0xC2B2AE3D27D4EB4FULL) >> (64 - filterBits));
            };
            std::vector<uint64_t> hashes(open.size());
            size_t o = 0;
            roll(m_R, m_nR, [&](int p, uint64_t h) {
                if (o < open.size() && open[o] == p) {
                    hashes[o++] = h | 1;
                    slotOf(h, true);
                    const size_t b = filterBit(h);
                    filter[b >> 6] |= uint64_t{1} << (b & 63);
                }
            });
            roll(m_L, m_nL, [&](int, uint64_t h) {
                const size_t b = filterBit(h);
                if (!((filter[b >> 6] >> (b & 63)) & 1)) return;
                const size_t x = slotOf(h, false);
                if (x < cap) found[x] = 1;
            });
            for (size_t k = 0; k < open.size(); ++k) absent[open[k]] = !found[slotOf(hashes[k], false)];
        } else {
            std::vector<uint64_t> filter(static_cast<size_t>(1) << (bits - 6), 0);
            roll(m_L, m_nL, [&](int, uint64_t h) {
                uint64_t word, mask;
                probes(h, word, mask);
                filter[word] |= mask;
            });
            size_t o = 0;
            roll(m_R, m_nR, [&](int p, uint64_t h) {
                if (o < open.size() && open[o] == p) {
                    ++o;
                    uint64_t word, mask;
                    probes(h, word, mask);
                    absent[p] = (filter[word] & mask) != mask;
                }
            });
        }
        int next = -1;  // the first right run of q lines from i on found nowhere on the left
        for (int i = m_nR - 1; i >= 0; --i) {
            if (absent[i]) next = i;
            if (next >= 0) m_Bound[i] = std::min(m_Bound[i], next - i + q - 1);
        }
    }
    m_nScanBudget = m_nScanned + m_nR / 16 + 1024;
    TreeBuild();
}

// The longest match of each line anywhere on the left, from the suffix
// order; bounds only ever come down.
void CTextDiff::Matcher::TightenBounds() {
    m_bTight = true;
    m_bTrial = false;
    const std::vector<int> longest = LongestMatches(m_R, m_L, m_nKeys);
    for (int i = 0; i < m_nR; ++i) m_Bound[i] = std::min(m_Bound[i], longest[i]);
    TreeBuild();
}

bool CTextDiff::Matcher::Run() {
    if (m_nL == 0 || m_nR == 0) return true;
    // Lines with many places make the diagonal bounds loose.
    int many = 0;
    for (int i = 0; i < m_nR; ++i) many += m_Single.Count(m_R[i]) > kFewPlaces;
    DiagonalBounds();
    // Lines that repeat a lot leave the diagonal bounds loose, so the
    // suffix order soon has to be built; yet where few lines need a scan
    // at all (one long equal stretch) it is never needed.
    if (many > m_nR / 4) {
        m_nScanBudget = kFewScans;
        m_bTrial = true;
    }
    for (int i = 0; i < m_nR; ++i)
        if (m_Bound[i] == 0) Cache(i, CDiffRun{-1, -1});
    TreeBuild();
    // The part before a run is matched before the part after it; a stack of
    // pending parts keeps that order without nesting calls.
    m_Parts.push_back({0, m_nR - 1, 0, m_nL - 1});
    std::vector<int> pending{0};
    while (!pending.empty()) {
        const int part = pending.back();
        pending.pop_back();
        if (m_pBreak && m_pBreak->load(std::memory_order_relaxed)) return false;
        const int depth = m_Parts[part].depth;
        if (static_cast<int>(m_Path.size()) <= depth) m_Path.resize(depth + 1);
        m_Path[depth] = part;
        if (!MatchPart(part)) return false;
        const Part p = m_Parts[part];
        m_LastVisited.Set(depth, p.rL - p.length);
        if (p.winner < 0) continue;
        const int start = m_Cache[p.winner].start;
        m_Runs.push_back({p.winner, start, p.length, kDiffSame});
        const Part after{p.winner + p.length, p.rL, start + p.length, p.lL, depth + 1};
        const Part before{p.rF, p.winner - 1, p.lF, start - 1, depth + 1};
        if (after.rF <= after.rL && after.lF <= after.lL) {
            pending.push_back(static_cast<int>(m_Parts.size()));
            m_Parts.push_back(after);
        }
        if (before.rF <= before.rL && before.lF <= before.lL) {
            pending.push_back(static_cast<int>(m_Parts.size()));
            m_Parts.push_back(before);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// CTextDiff
// ---------------------------------------------------------------------------

CTextDiff::CTextDiff(const CDiffOptions& options) : m_Options(options) {}

CTextDiff::~CTextDiff() = default;

bool CTextDiff::Compare(std::vector<CDiffLine> left, std::vector<CDiffLine> right) {
    m_Left = std::move(left);
    m_Right = std::move(right);
    m_LeftViews.clear();
    m_RightViews.clear();
    m_LeftText = CDiffFileText();
    m_RightText = CDiffFileText();
    m_pLeftText = m_pRightText = nullptr;
    return RunMatcher();
}

bool CTextDiff::CompareTexts(CDiffFileText left, CDiffFileText right) {
    m_Left.clear();
    m_Right.clear();
    m_LeftViews.clear();
    m_RightViews.clear();
    m_LeftText = std::move(left);
    m_RightText = std::move(right);
    m_pLeftText = &m_LeftText;
    m_pRightText = &m_RightText;
    return RunMatcher();
}

bool CTextDiff::CompareFileTexts(const CDiffFileText& left, const CDiffFileText& right) {
    m_Left.clear();
    m_Right.clear();
    m_LeftViews.clear();
    m_RightViews.clear();
    m_LeftText = CDiffFileText();
    m_RightText = CDiffFileText();
    m_pLeftText = &left;
    m_pRightText = &right;
    return RunMatcher();
}

bool CTextDiff::CompareViews(std::vector<std::string_view> left, std::vector<std::string_view> right) {
    m_Left.clear();
    m_Right.clear();
    m_LeftText = CDiffFileText();
    m_RightText = CDiffFileText();
    m_pLeftText = m_pRightText = nullptr;
    m_LeftViews = std::move(left);
    m_RightViews = std::move(right);
    return RunMatcher();
}

CTextDiff::LineSource CTextDiff::LeftSource() const {
    if (!m_LeftViews.empty()) return {nullptr, m_LeftViews.data(), m_LeftViews.size()};
    if (m_pLeftText && m_pLeftText->Count()) return {nullptr, nullptr, m_pLeftText->Count(), m_pLeftText};
    return {m_Left.data(), nullptr, m_Left.size()};
}

CTextDiff::LineSource CTextDiff::RightSource() const {
    if (!m_RightViews.empty()) return {nullptr, m_RightViews.data(), m_RightViews.size()};
    if (m_pRightText && m_pRightText->Count()) return {nullptr, nullptr, m_pRightText->Count(), m_pRightText};
    return {m_Right.data(), nullptr, m_Right.size()};
}

bool CTextDiff::RunMatcher() {
    m_Runs.clear();
    m_bBroken = false;
    const LineSource left = LeftSource(), right = RightSource();
    if (left.count == 0 || right.count == 0) return true;
    bool done;
    {
        Matcher matcher(left, right, m_Options, m_Runs, m_pBreak);
        done = matcher.Run();
    }
    if (!done) {
        m_bBroken = true;
        m_Runs.clear();
    }
    return done;
}

void CTextDiff::AppendTailChanges(std::vector<CDiffChange>& list, int rPos, int nR, int lPos,
                                  int nL) {
    const int r = nR - rPos;
    const int l = nL - lPos;
    if (l > 0 && r <= 0) {
        list.push_back(MakeDeletedChange(lPos, l));
    } else if (r > 0 && l <= 0) {
        list.push_back(MakeAddedChange(rPos, r));
    } else if (r > 0 && l > 0) {
        list.push_back(MakeModifiedChange(rPos, lPos, std::min(r, l)));
        if (r > l)
            list.push_back(MakeAddedChange(rPos + l, r - l));
        else if (l > r)
            list.push_back(MakeDeletedChange(lPos + r, l - r));
    }
}

std::vector<CDiffChange> CTextDiff::BuildChangeList() const {
    std::vector<CDiffChange> list;
    const int nR = static_cast<int>(RightSource().count);
    const int nL = static_cast<int>(LeftSource().count);
    if (nR == 0) {
        if (nL > 0) list.push_back(MakeDeletedChange(0, nL));
        return list;
    }
    if (nL == 0) {
        list.push_back(MakeAddedChange(0, nR));
        return list;
    }
    std::vector<CDiffChange> runs = m_Runs;
    std::sort(runs.begin(), runs.end(), CompareChangesByRightPos);
    int rPos = 0, lPos = 0;
    for (const CDiffChange& run : runs) {
        const int rGap = run.rightPos - rPos;
        const int lGap = run.leftPos - lPos;
        if (rGap > 0 && lGap > 0) {
            const int m = std::min(rGap, lGap);
            list.push_back(MakeModifiedChange(rPos, lPos, m));
            if (lGap < rGap)
                list.push_back(MakeAddedChange(rPos + m, rGap - lGap));
            else if (lGap > rGap)
                list.push_back(MakeDeletedChange(lPos + m, lGap - rGap));
            list.push_back(run);
        } else if (rGap > 0) {
            list.push_back(MakeAddedChange(rPos, rGap));
            list.push_back(run);
        } else if (lGap > 0) {
            list.push_back(MakeDeletedChange(lPos, lGap));
            list.push_back(run);
        } else if (list.empty()) {
            list.push_back(run);
        } else {
            list.back().count += run.count;
        }
        rPos = run.rightPos + run.count;
        lPos = run.leftPos + run.count;
    }
    AppendTailChanges(list, rPos, nR, lPos, nL);
    return list;
}

namespace {
void AppendItemLine(std::string& out, const char* prefix, int number, std::string_view text) {
    char num[32];
    std::snprintf(num, sizeof num, "%5d ", number);
    out += prefix;
    out += num;
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

void CTextDiff::BuildRows(std::vector<CDiffRow>& leftRows, std::vector<CDiffRow>& rightRows) const {
    leftRows.clear();
    rightRows.clear();
    const std::vector<CDiffChange> list = BuildChangeList();
    const LineSource left = LeftSource(), right = RightSource();
    // Every change gives one row per line counted on each side.
    size_t rows = 0;
    for (const CDiffChange& c : list) rows += static_cast<size_t>(c.count);
    leftRows.reserve(rows);
    rightRows.reserve(rows);
    int li = 0, ri = 0, g = 0;
    for (const CDiffChange& c : list) {
        if (c.kind != kDiffSame) ++g;
        switch (c.kind) {
        case kDiffSame:
            for (int k = 0; k < c.count; ++k, ++li, ++ri) {
                leftRows.emplace_back(0, li, -1, left[li]);
                rightRows.emplace_back(0, ri, -1, right[ri]);
            }
            break;
        case kDiffModified:
            for (int k = 0; k < c.count; ++k, ++li, ++ri) {
                leftRows.emplace_back(1, li, g, left[li]);
                rightRows.emplace_back(1, ri, g, right[ri]);
            }
            break;
        case kDiffDeleted:
            for (int k = 0; k < c.count; ++k, ++li) {
                leftRows.emplace_back(3, li, g, left[li]);
                rightRows.emplace_back(0, -1, g, std::string_view());
            }
            break;
        case kDiffAdded:
            for (int k = 0; k < c.count; ++k, ++ri) {
                leftRows.emplace_back(0, -1, g, std::string_view());
                rightRows.emplace_back(2, ri, g, right[ri]);
            }
            break;
        default:
            break;
        }
    }
}
