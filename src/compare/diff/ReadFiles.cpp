// Reading the files of a comparison. Takes paths; gives each file's bytes
// as one block with the places where its lines start (CDiffFileText), or
// its lines as a list (CDiffLine), or the message of a file that could not
// be read. Lines end at LF; a CR right before the LF is not part of the
// line. Files are looked at before they are read (only regular files are
// taken) and refused when they would not fit in the memory available. A
// large file is read in parts at once. The two files of
// CTextDiff::CompareFiles: the left one read as a block, the right one a
// piece at a time through a window of lines (LineReader) while its lines
// are numbered, or, when both have the same size, first compared byte for
// byte as the left one is read (a large left file of another size is read
// in parts at once).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "compare/TextDiff.h"
#include "compare/diff/HugePages.h"
#include "compare/diff/InParts.h"
#include "compare/diff/LineFeeds.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

using textdiff::CountLineFeeds;
using textdiff::ForEachLineFeed;
using textdiff::PlaceLineStarts;
using textdiff::ReserveHuge;

namespace {
std::atomic<uint64_t (*)()> g_memoryProbe{nullptr};
std::atomic<void (*)(const std::string&)> g_readProbe{nullptr};

// The message of a file that could not be read, with its reason on a line
// of its own when there is one.
std::string FailedToReadText(const std::string& path, const std::string& reason) {
    std::string text = "Failed to read the file: " + path;
    if (!reason.empty()) text += "\r\n" + reason;
    return text;
}

constexpr const char* kNoMemory = "There is not enough memory to read it.";
constexpr const char* kChanged = "It changed while it was read.";

// A file opened for reading. Only a regular file is taken: it is opened
// without waiting (a pipe without a writer or a device would hold the
// caller) and looked at before anything is read.
struct OpenedFile {
    int fd = -1;
    size_t size = 0;
    struct stat look {};  // the file as it was looked at
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
    FinishCutCopyOf(path);
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
    file.look = st;
    if (void (*probe)(const std::string&) = g_readProbe.load()) probe(path);
    return true;
}

// Whether an opened file is no longer as it was looked at: of another
// size, or written to since (its times moved), or read to another size
// than it had (read: the bytes read from its start; SIZE_MAX, not
// counted). A file that gave no size (as those of /proc) is taken as read.
bool Changed(const OpenedFile& file, size_t read) {
    struct stat now {};
    if (::fstat(file.fd, &now) != 0) return true;
    const struct stat& then = file.look;
    if (now.st_size != then.st_size || now.st_mtim.tv_sec != then.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != then.st_mtim.tv_nsec || now.st_ctim.tv_sec != then.st_ctim.tv_sec ||
        now.st_ctim.tv_nsec != then.st_ctim.tv_nsec)
        return true;
    return read != SIZE_MAX && file.size > 0 && read != file.size;
}

// Reads the whole file into a buffer of its own: as many bytes as the file
// has, and one more should it have grown (a file that gave no size: on
// until its end). A file that changed while it was read (see Changed) is a
// failure with its reason. The buffer is not cleared first; only the bytes
// read are used. Running out of memory is a failure with its reason, never
// an exception. The bytes are read a piece at a time, and each piece is
// handed to chunk(bytes, from, to) while it is still in the processor's
// cache.
template <class Chunk>
bool ReadOpenedFile(OpenedFile& file, textdiff::Block& bytes, size_t& size, std::string& reason,
                    Chunk chunk) {
    size = 0;
    bytes.reset();
    constexpr size_t kPiece = size_t{1} << 18;
    try {
        size_t capacity = file.size > 0 ? file.size + 1 : size_t{1} << 16;
        bytes = textdiff::NewBlock(capacity);
        for (;;) {
            if (size == capacity) {
                textdiff::Block larger = textdiff::NewBlock(capacity * 2);
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
            if (file.size > 0 && size > file.size) break;
        }
    } catch (const std::bad_alloc&) {
        bytes.reset();
        size = 0;
        reason = kNoMemory;
        return false;
    }
    if (Changed(file, size)) {
        bytes.reset();
        size = 0;
        reason = kChanged;
        return false;
    }
    file.Close();
    return true;
}

bool ReadWholeFile(const std::string& path, textdiff::Block& bytes, size_t& size,
                   std::string& reason) {
    size = 0;
    bytes.reset();
    OpenedFile file;
    return OpenRegularFile(path, file, reason) &&
           ReadOpenedFile(file, bytes, size, reason, [](const char*, size_t, size_t) {});
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

size_t CountLines(std::string_view bytes) { return CountLineFeeds(bytes) + 1; }
}  // namespace

namespace {
// LoadFileLines without the message.
bool ReadFileLines(const std::string& path, std::vector<CDiffLine>& lines, std::string& reason) {
    lines.clear();
    textdiff::Block buffer;
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
    text.sampled.reset();
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

void SetDiffReadProbe(void (*probe)(const std::string& path)) { g_readProbe.store(probe); }

namespace {
// Reads an opened file into text, taking the places where its lines start
// as the pieces come in (four bytes a line; eight for files of 4 GB and
// more, taken afterwards). False, with the reason, when it failed.
// seen.call(bytes, from, to, size), where given, is called after each
// piece has been taken in, when the file has seen.size bytes (size: the
// size the file had when opened).
// The right file's first and last bytes (up to 4 KB each) are given in
// head and tail: where the file read begins and ends with them, it may be a
// near copy of it and is read without the place of every line (see
// SampledLines.h), unless it is read in parts.
struct SeenPiece {
    size_t size = 0;
    std::function<void(const char*, size_t, size_t, size_t)> call;
    std::string head, tail;
};

// Whether the opened file begins with head and ends with tail.
bool EndsAre(const OpenedFile& file, const std::string& head, const std::string& tail) {
    const size_t fileSize = file.size;
    if (head.empty() || head.size() > fileSize || tail.size() > fileSize) return false;
    std::string bytes(std::max(head.size(), tail.size()), '\0');
    return textdiff::ReadAt(file.fd, bytes.data(), head.size(), 0) &&
           std::memcmp(bytes.data(), head.data(), head.size()) == 0 &&
           textdiff::ReadAt(file.fd, bytes.data(), tail.size(), fileSize - tail.size()) &&
           std::memcmp(bytes.data(), tail.data(), tail.size()) == 0;
}

// How a file read in parts came out.
enum class PartsRead { Done, Failed, Again };

// Reads a file of fileSize bytes (below 2 GB) on threads threads at once
// (the caller's and threads - 1 of their own), in four parts a thread that
// they take in turn (one that starts late takes fewer), each part counting
// the line feeds of its pieces as they come in; then the places of the
// lines are written, each part's where the lines before it end. Again
// (nothing kept) when the file changed size meanwhile or a part could not
// be read: then it is read from its start in one go. Failed, with its
// reason, when it was written to meanwhile.
PartsRead ReadFileInParts(OpenedFile& file, CDiffFileText& text, std::string& reason, size_t threads) {
    const size_t fileSize = file.size;
    constexpr size_t kPiece = size_t{1} << 18;
    const size_t parts = threads * 4;
    std::vector<size_t> feeds(parts, 0);
    std::vector<char> failed(parts, 0), shorter(parts, 0);
    try {
        text.bytes = textdiff::NewBlock(fileSize + 1);
    } catch (const std::bad_alloc&) {
        reason = kNoMemory;
        return PartsRead::Failed;
    }
    char* const bytes = text.bytes.get();
    const size_t length = fileSize / parts;
    auto from = [&](size_t k) { return k * length; };
    auto to = [&](size_t k) { return k + 1 == parts ? fileSize : (k + 1) * length; };
    textdiff::RunInTurn(threads, parts, [&](size_t k, size_t) {
        for (size_t at = from(k); at < to(k);) {
            const ssize_t n = ::pread(file.fd, bytes + at, std::min(kPiece, to(k) - at), static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failed[k] = 1;
                return;
            }
            if (n == 0) {
                shorter[k] = 1;
                return;
            }
            feeds[k] += CountLineFeeds(std::string_view(bytes + at, static_cast<size_t>(n)));
            at += static_cast<size_t>(n);
        }
    });
    auto any = [](const std::vector<char>& flags) { return std::find(flags.begin(), flags.end(), 1) != flags.end(); };
    // The file must end where it ended when opened.
    char more;
    ssize_t past;
    do past = ::pread(file.fd, &more, 1, static_cast<off_t>(fileSize));
    while (past < 0 && errno == EINTR);
    // A part that could not be read is read again in one go, where a
    // failure is one of the file.
    if (any(failed) || any(shorter) || past != 0) {
        text.bytes.reset();
        return PartsRead::Again;
    }
    try {
        size_t count = 1;
        for (const size_t n : feeds) count += n;
        ReserveHuge(text.starts, count + 1);
        text.starts.resize(count);
    } catch (const std::bad_alloc&) {
        ClearFileText(text);
        reason = kNoMemory;
        return PartsRead::Failed;
    }
    std::vector<size_t> first(parts, 1);  // where each part's places go
    for (size_t k = 1; k < parts; ++k) first[k] = first[k - 1] + feeds[k - 1];
    textdiff::RunInTurn(threads, parts, [&](size_t k, size_t) {
        PlaceLineStarts(std::string_view(bytes + from(k), to(k) - from(k)), from(k), text.starts.data() + first[k]);
    });
    if (Changed(file, fileSize)) {
        ClearFileText(text);
        reason = kChanged;
        return PartsRead::Failed;
    }
    text.size = fileSize;
    if (text.bytes[fileSize - 1] != '\n') text.starts.push_back(static_cast<uint32_t>(fileSize));
    file.Close();
    return PartsRead::Done;
}

// Reads an opened file into text keeping only every 64th line's place
// (SampledLines); a file that grew to 4 GB meanwhile gets the place of
// every line after all.
bool ReadSampledText(OpenedFile& file, CDiffFileText& text, std::string& reason, const SeenPiece* seen) {
    const size_t fileSize = file.size;
    try {
        auto sampled = std::make_unique<textdiff::SampledLines>();
        sampled->Begin();
        if (!ReadOpenedFile(file, text.bytes, text.size, reason, [&](const char* bytes, size_t from, size_t to) {
                if (seen) seen->call(bytes, from, to, fileSize);
                if (to < UINT32_MAX) sampled->Take(bytes, from, to);
            }))
            return false;
        if (text.size >= UINT32_MAX) {
            FillLineStarts(text, CountLines(std::string_view(text.bytes.get(), text.size)));
        } else {
            sampled->End(text.bytes.get(), text.size);
            text.sampled = std::move(sampled);
        }
    } catch (const std::bad_alloc&) {
        ClearFileText(text);
        reason = kNoMemory;
        return false;
    }
    return true;
}

bool ReadFileText(OpenedFile& file, CDiffFileText& text, std::string& reason, const SeenPiece* seen = nullptr) {
    const size_t fileSize = file.size;
    const SeenPiece* ends = seen;
    if (seen && seen->size != fileSize) seen = nullptr;
    const bool narrow = fileSize < UINT32_MAX / 2;
    // A large file is read in parts at once, on a thread for every 4 MB,
    // up to four.
    constexpr size_t kPart = size_t{4} << 20;
    const bool inParts = !seen && narrow && fileSize >= 2 * kPart;
    if (!inParts && narrow && ends && EndsAre(file, ends->head, ends->tail))
        return ReadSampledText(file, text, reason, seen);
    if (inParts) {
        switch (ReadFileInParts(file, text, reason, std::min<size_t>(4, fileSize / kPart))) {
        case PartsRead::Done:
            return true;
        case PartsRead::Failed:
            ClearFileText(text);
            return false;
        case PartsRead::Again:
            ClearFileText(text);
            if (::lseek(file.fd, 0, SEEK_SET) < 0) return false;
            break;
        }
    }
    try {
        if (narrow) ReserveHuge(text.starts, fileSize / 16 + 16);
        if (!ReadOpenedFile(file, text.bytes, text.size, reason,
                            [&](const char* bytes, size_t from, size_t to) {
                                if (seen) seen->call(bytes, from, to, fileSize);
                                if (!narrow || to >= UINT32_MAX) return;
                                if (from == 0) text.starts.push_back(0);
                                ForEachLineFeed(std::string_view(bytes + from, to - from), [&](const char* nl) {
                                    text.starts.push_back(static_cast<uint32_t>(nl + 1 - bytes));
                                });
                                // Room for the lines of the whole file, guessed from
                                // the first piece's lines (at most a line per four
                                // bytes; beyond that the list grows as it must).
                                if (from == 0 && to < fileSize)
                                    ReserveHuge(text.starts, std::min(text.starts.size() * (fileSize / to + 1),
                                                                      fileSize / 4) + 16);
                            }))
            return false;
        if (!narrow || text.size >= UINT32_MAX) {
            std::vector<uint32_t>().swap(text.starts);
            FillLineStarts(text, CountLines(std::string_view(text.bytes.get(), text.size)));
        } else if (text.size > 0 && text.bytes[text.size - 1] != '\n') {
            text.starts.push_back(static_cast<uint32_t>(text.size));
        }
    } catch (const std::bad_alloc&) {
        ClearFileText(text);
        reason = kNoMemory;
        return false;
    }
    return true;
}

std::string TooLargeText(uint64_t need, uint64_t have) {
    return "It is too large for the memory available (about " + Megabytes(need) + " needed, " +
           Megabytes(have) + " available).";
}
}  // namespace

namespace {
// LoadFileTexts; seen, where given, is called for the pieces of the first file.
bool LoadTexts(const std::vector<std::string>& paths, std::vector<CDiffFileText>& texts, size_t lineCost,
               const SeenPiece* seen) {
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
    // Every file is looked at before any is read: a folder, pipe or device
    // is refused, and so are files whose bytes alone would not fit.
    uint64_t total = 0;
    for (size_t k = 0; k < n; ++k) {
        if (!OpenRegularFile(paths[k], files[k], reasons[k])) return fail(k);
        total += files[k].size;
    }
    const uint64_t available = DiffMemoryAvailable();
    if (available != 0 && total > available) {
        reasons[n - 1] = TooLargeText(total, available);
        return fail(n - 1);
    }
    // Every file is read at once, each but the first on a thread of its
    // own; only this thread speaks to the user.
    std::vector<size_t> lineCounts(n, 0);
    std::vector<char> failed(n, 0);
    auto step = [&](size_t k) {
        if (!ReadFileText(files[k], texts[k], reasons[k], k == 0 ? seen : nullptr)) failed[k] = 1;
        else lineCounts[k] = texts[k].Count();
    };
    {
        std::vector<std::thread> threads;
        for (size_t k = 1; k < n; ++k) {
            // (Where no thread can be had, this one reads the file.)
            try {
                threads.emplace_back([&, k] { step(k); });
            } catch (const std::system_error&) {
                step(k);
            }
        }
        if (n > 0) step(0);
        for (std::thread& t : threads) t.join();
    }
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
            reasons[n - 1] = TooLargeText(need + total, left + total);
            return fail(n - 1);
        }
    }
    return true;
}
}  // namespace

bool LoadFileTexts(const std::vector<std::string>& paths, std::vector<CDiffFileText>& texts,
                   size_t lineCost) {
    return LoadTexts(paths, texts, lineCost, nullptr);
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


namespace textdiff {

namespace {
std::atomic<uint64_t> g_BytesReadAt{0};
}

uint64_t BytesReadAt() {
    return g_BytesReadAt.load(std::memory_order_relaxed);
}

bool ReadAt(int fd, char* to, size_t n, size_t offset) {
    while (n > 0) {
        const ssize_t got = ::pread(fd, to, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        g_BytesReadAt.fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
        to += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<size_t>(got);
    }
    return true;
}

LineReader::LineReader(int fd, uint32_t first, size_t end) : m_nFd(fd), m_nEnd(end), m_nFirst(first) {
    m_Starts.push_back(0);
}

LineReader::~LineReader() {
    if (m_nFd >= 0) ::close(m_nFd);
}

// Reads up to n bytes (fewer only at the end of the file, or at the end
// set for reading).
size_t LineReader::ReadSome(char* to, size_t n) {
    n = std::min(n, m_nEnd > m_nAt ? m_nEnd - m_nAt : 0);
    if (n == 0) return 0;
    for (;;) {
        const ssize_t got = ::read(m_nFd, to, n);
        if (got >= 0) {
            m_nAt += static_cast<size_t>(got);
            return static_cast<size_t>(got);
        }
        if (errno != EINTR) throw ReadFailure{};
    }
}

// The window moves on to line k, then takes in as many bytes as it holds
// (more when the lines it needs are longer).
void LineReader::Refill(uint32_t k) {
    constexpr size_t kWindow = size_t{1} << 20;
    try {
        if (k > m_nFirst) {
            const uint32_t drop = k - m_nFirst;
            const uint32_t shift = m_Starts[drop];
            std::memmove(m_pBytes.get(), m_pBytes.get() + shift, m_nSize - shift);
            m_nSize -= shift;
            m_Starts.erase(m_Starts.begin(), m_Starts.begin() + drop);
            for (uint32_t& s : m_Starts) s -= shift;
            m_nFirst = k;
            m_nCount -= drop;
        }
        if (!m_pBytes) {
            m_pBytes.reset(new char[kWindow]);
            m_nCapacity = kWindow;
        }
        while (!m_bEnd && (m_nSize < m_nCapacity || m_nCount <= kAhead)) {
            if (m_nSize == m_nCapacity) {
                std::unique_ptr<char[]> larger(new char[2 * m_nCapacity]);
                std::memcpy(larger.get(), m_pBytes.get(), m_nSize);
                m_pBytes = std::move(larger);
                m_nCapacity *= 2;
            }
            const size_t n = ReadSome(m_pBytes.get() + m_nSize, m_nCapacity - m_nSize);
            if (n == 0) {
                m_bEnd = true;
                if (m_Starts.back() < m_nSize) {
                    // A last line without a line feed.
                    m_Starts.push_back(static_cast<uint32_t>(m_nSize));
                    ++m_nCount;
                    m_bLastOpen = true;
                }
                break;
            }
            // The line feeds are counted first, so that their places are
            // written without a check for room each.
            const std::string_view read(m_pBytes.get() + m_nSize, n);
            const size_t lines = CountLineFeeds(read), had = m_Starts.size();
            m_Starts.resize(had + lines);
            PlaceLineStarts(read, m_nSize, m_Starts.data() + had);
            m_nCount += static_cast<uint32_t>(lines);
            m_nSize += n;
        }
    } catch (const std::bad_alloc&) {
        throw ReadFailure{kNoMemory};
    }
}

void LineReader::Restart(size_t offset, uint32_t first) {
    if (::lseek(m_nFd, static_cast<off_t>(offset), SEEK_SET) < 0) throw ReadFailure{};
    m_nAt = offset;
    m_nSize = 0;
    m_Starts.assign(1, 0);
    m_nFirst = first;
    m_nCount = 0;
    m_bEnd = m_bLastOpen = false;
}

}  // namespace textdiff

namespace {
// Reads a file on a thread of its own a piece at a time, a few pieces
// ahead of the caller taking them; reading starts where the file stands.
class PieceReader {
public:
    explicit PieceReader(int fd) : m_nFd(fd), m_pBytes(new char[kPiece * kSlots]) {
        m_Thread = std::thread([this] { Run(); });
    }
    ~PieceReader() { Stop(); }
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;
    // The next bytes of the file, empty at its end (then not to be called
    // again); valid until the next call. Throws ReadFailure.
    std::string_view Next() {
        std::unique_lock<std::mutex> lock(m_Mutex);
        if (m_bHolding) {
            ++m_nTaken;
            m_Changed.notify_all();
        }
        m_Changed.wait(lock, [&] { return m_nRead > m_nTaken || m_bFailed; });
        if (m_nRead == m_nTaken) throw textdiff::ReadFailure{};
        m_bHolding = true;
        const size_t slot = m_nTaken % kSlots;
        return std::string_view(m_pBytes.get() + slot * kPiece, m_Sizes[slot]);
    }
    // Reads no more.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bStop = true;
        }
        m_Changed.notify_all();
        if (m_Thread.joinable()) m_Thread.join();
    }

private:
    static constexpr size_t kPiece = size_t{1} << 18, kSlots = 8;
    void Run() {
        for (;;) {
            size_t slot;
            {
                std::unique_lock<std::mutex> lock(m_Mutex);
                // The slot the caller holds is left alone.
                m_Changed.wait(lock, [&] { return m_bStop || m_nRead < m_nTaken + kSlots; });
                if (m_bStop) return;
                slot = m_nRead % kSlots;
            }
            ssize_t n;
            do n = ::read(m_nFd, m_pBytes.get() + slot * kPiece, kPiece);
            while (n < 0 && errno == EINTR);
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                if (n < 0) m_bFailed = true;
                else m_Sizes[slot] = static_cast<size_t>(n), ++m_nRead;
            }
            m_Changed.notify_all();
            if (n <= 0) return;
        }
    }
    int m_nFd;
    std::unique_ptr<char[]> m_pBytes;
    size_t m_Sizes[kSlots] = {};
    size_t m_nRead = 0, m_nTaken = 0;  // pieces read, and let go by the caller
    bool m_bHolding = false, m_bStop = false, m_bFailed = false;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::thread m_Thread;
};

// Compares the pieces of a file as they are read with those of another
// file read meanwhile on a thread of its own.
struct SameBytesCheck {
    int fd = -1;
    size_t size = 0;  // the other file's size
    std::unique_ptr<PieceReader> other;
    std::string_view piece;
    bool comparing = false;  // no difference found yet
    bool ended = false;      // the other file ended (at same bytes)
    bool failed = false;     // reading the other file failed
    size_t same = 0;         // bytes from the start that are the same
    void Seen(const char* bytes, size_t from, size_t to, size_t fileSize) {
        if (from == 0 && fileSize == size) {
            try {
                other = std::make_unique<PieceReader>(fd);
                comparing = true;
            } catch (const std::exception&) {
                return;
            }
        }
        try {
            while (comparing && from < to) {
                if (piece.empty()) {
                    piece = other->Next();
                    if (piece.empty()) {
                        ended = true;
                        break;
                    }
                }
                const size_t n = std::min(piece.size(), to - from);
                size_t k = 0;
                if (std::memcmp(piece.data(), bytes + from, n) != 0)
                    while (piece[k] == bytes[from + k]) ++k;
                else
                    k = n;
                same += k;
                from += k;
                piece.remove_prefix(k);
                if (k < n) break;
            }
        } catch (const textdiff::ReadFailure&) {
            failed = true;
        }
        if (comparing && from < to) Done();
    }
    // Whether the other file has ended at the bytes compared.
    bool EndsHere() {
        if (!comparing || !piece.empty()) return false;
        try {
            ended = ended || other->Next().empty();
        } catch (const textdiff::ReadFailure&) {
            failed = true;
        }
        return ended;
    }
    void Done() {
        comparing = false;
        if (other) other->Stop();
    }
};
}  // namespace

namespace {
// OpenRegularFile, refusing a file larger than the memory available.
bool OpenFileThatFits(const std::string& path, OpenedFile& file, std::string& reason) {
    if (!OpenRegularFile(path, file, reason)) return false;
    const uint64_t available = DiffMemoryAvailable();
    if (available == 0 || file.size <= available) return true;
    reason = TooLargeText(file.size, available);
    return false;
}

// The right file's first and last bytes, up to 4 KB each (none where they
// cannot be read: then the left file is read as always).
void TakeEnds(const OpenedFile& right, SeenPiece& seen) {
    constexpr size_t kEnd = 4096;
    const size_t n = std::min(kEnd, right.size);
    auto take = [&](std::string& to, size_t offset) {
        to.assign(n, '\0');
        if (!textdiff::ReadAt(right.fd, to.data(), n, offset)) to.clear();
    };
    take(seen.head, 0);
    take(seen.tail, right.size - n);
    if (seen.tail.empty()) seen.head.clear();
}

// What the left file's reading hands on for the opened right file: its
// pieces to check (its size and first and last bytes).
SeenPiece WatchedBy(SameBytesCheck& check, const OpenedFile& right) {
    check.fd = right.fd;
    check.size = right.size;
    SeenPiece seen;
    seen.size = right.size;
    seen.call = [&check](const char* bytes, size_t from, size_t to, size_t fileSize) {
        check.Seen(bytes, from, to, fileSize);
    };
    if (right.fd >= 0) TakeEnds(right, seen);
    return seen;
}

// A text read with the places of only some of its lines gets them all.
bool TakeEveryLineStart(CDiffFileText& text) {
    if (!text.sampled) return true;
    try {
        FillLineStarts(text, text.sampled->Count());
    } catch (const std::bad_alloc&) {
        std::vector<uint32_t>().swap(text.starts);
        std::vector<uint64_t>().swap(text.wideStarts);
        return false;
    }
    text.sampled.reset();
    return true;
}

// How many of the left file's first lines end within its first sameBytes
// bytes (a last line without a line feed never does).
uint32_t LinesWithin(const CDiffFileText& left, size_t sameBytes) {
    const uint32_t* starts = left.starts.data();
    const size_t nL = left.Count();
    const bool lastOpen = left.bytes[left.size - 1] != '\n';
    const uint32_t* last = starts + (lastOpen ? nL - 1 : nL) + 1;
    return static_cast<uint32_t>(std::upper_bound(starts + 1, last, static_cast<uint32_t>(sameBytes)) - (starts + 1));
}

// Room for as many right lines as the left file's line lengths suggest.
size_t ExpectedLines(const CDiffFileText& left, size_t rightSize) {
    const double perByte = static_cast<double>(left.Count()) / static_cast<double>(left.size);
    return std::min<size_t>(static_cast<size_t>(perByte * static_cast<double>(rightSize) * 1.125) + 4096,
                            rightSize + 1);
}
}  // namespace

bool CTextDiff::CompareFilesHeldWhole(const std::string& leftPath, const std::string& rightPath) {
    CDiffFileText left, right;
    bool rightRead = false;
    std::thread reader([&] { rightRead = LoadFileText(rightPath, right); });
    const bool leftRead = LoadFileText(leftPath, left);
    reader.join();
    if (!leftRead || !rightRead) return false;
    return CompareTexts(std::move(left), std::move(right));
}

bool CTextDiff::CompareFiles(const std::string& leftPath, const std::string& rightPath) {
    // Nothing thrown ends the caller: what was taken is let go, and the
    // comparison fails with a message.
    std::string message;
    try {
        return ReadAndCompareFiles(leftPath, rightPath);
    } catch (const std::bad_alloc&) {
        message = "There is not enough memory to compare the files.";
    } catch (const std::exception&) {
        message = "Failed to load the files.";
    }
    ForgetInputs();
    m_Runs.clear();
    m_bBroken = m_bNearCopy = false;
    Prompter().Message(message, MsgIcon::Warning);
    return false;
}

bool CTextDiff::ReadAndCompareFiles(const std::string& leftPath, const std::string& rightPath) {
    // Where lines are equal without being the same bytes, both files are
    // held whole, read at once.
    if (m_Options.ignoreCase || m_Options.ignoreText) return CompareFilesHeldWhole(leftPath, rightPath);
    // The right file is looked at (and refused as LoadFileText refuses it)
    // before the left one is read; its message comes after the left one's.
    OpenedFile rightFile;
    std::string rightReason;
    const bool rightOpen = OpenFileThatFits(rightPath, rightFile, rightReason);
    auto failed = [&](const std::string& reason) {
        Prompter().Message(FailedToReadText(rightPath, reason), MsgIcon::Warning);
        return false;
    };
    // The right file is read in several passes: what they found stands
    // only where the file is still as it was looked at.
    auto unchanged = [&](bool done) {
        if (!done || !Changed(rightFile, SIZE_MAX)) return done;
        ForgetInputs();
        m_Runs.clear();
        m_bNearCopy = false;
        return failed(kChanged);
    };
    auto leftTooLarge = [&] {
        ForgetInputs();
        Prompter().Message(FailedToReadText(leftPath, kNoMemory), MsgIcon::Warning);
        return false;
    };
    // Two files of the same size are compared byte for byte as the left
    // one is read, the right one read meanwhile on a thread of its own.
    SameBytesCheck check;
    const SeenPiece seen = WatchedBy(check, rightFile);
    std::vector<CDiffFileText> texts;
    const bool leftRead = LoadTexts({leftPath}, texts, 0, rightOpen ? &seen : nullptr);
    const bool identical = leftRead && check.EndsHere() && check.same == texts[0].size;
    check.Done();
    if (!rightOpen) return failed(rightReason);
    if (!leftRead) return false;
    if (check.failed) return failed(std::string());
    CDiffFileText left = std::move(texts[0]);
    // An empty or very large left file: the right one is held whole too.
    constexpr size_t kLarge = size_t{1} << 31;
    if (!identical &&
        (left.Count() == 0 || !left.wideStarts.empty() || left.size >= kLarge || rightFile.size >= kLarge)) {
        if (!TakeEveryLineStart(left)) return leftTooLarge();
        CDiffFileText right;
        if (check.other && ::lseek(rightFile.fd, 0, SEEK_SET) < 0) return failed(std::string());
        if (!ReadFileText(rightFile, right, rightReason)) return failed(rightReason);
        return CompareTexts(std::move(left), std::move(right));
    }
    ForgetInputs();
    m_LeftText = std::move(left);
    m_pLeftText = &m_LeftText;
    m_Runs.clear();
    m_bBroken = false;
    m_bNearCopy = false;
    // The same bytes are the one run of all lines, without a line numbered.
    if (identical) {
        m_pRightText = &m_LeftText;
        m_Runs.push_back({0, 0, static_cast<int>(m_LeftText.Count()), kDiffSame});
        return unchanged(true);
    }
    // A stop while the left file was read ends the comparison here.
    auto stopped = [&] {
        if (!m_pBreak || !m_pBreak->load(std::memory_order_relaxed)) return false;
        ForgetInputs();
        m_Runs.clear();
        m_bBroken = true;
        return true;
    };
    if (stopped()) return false;
    // A near copy of the left file: its runs without numbering a line.
    if (CompareNearCopy(rightFile.fd, rightFile.size, check.other ? check.same : SIZE_MAX))
        return unchanged(m_bNearCopy = true);
    m_Runs.clear();
    if (!TakeEveryLineStart(m_LeftText)) return leftTooLarge();
    if (stopped()) return false;
    // A copy with a few edits far apart: the same without numbering a line.
    if (CompareNearGaps(rightFile.fd, rightFile.size, m_nNearHeadBytes, m_nNearTailBytes))
        return unchanged(m_bNearCopy = true);
    if (stopped()) return false;
    m_Runs.clear();
    auto stored = std::make_unique<RightLines>();
    stored->left = &m_LeftText;
    const size_t rightSize = rightFile.size;
    // The reader reads no further than the size the file was looked at
    // with, through a file of its own (this one is looked at again after).
    const int readerFd = ::dup(rightFile.fd);
    if (readerFd < 0) return failed(SystemErrorText(errno) + " (" + rightPath + ")");
    stored->reader = std::make_unique<textdiff::LineReader>(readerFd, 0, rightSize > 0 ? rightSize : SIZE_MAX);
    try {
        if (check.other) {
            // The right lines that end within the same bytes are the left's
            // first lines; the right file is read on from there.
            const uint32_t prefix = LinesWithin(m_LeftText, check.same);
            stored->reader->Restart(m_LeftText.starts[prefix], prefix);
            stored->prefix = prefix;
        }
        stored->expected = ExpectedLines(m_LeftText, rightSize);
        stored->where.Reserve(stored->expected);
        m_pStored = std::move(stored);
        return unchanged(RunMatcher());
    } catch (const textdiff::ReadFailure& failure) {
        m_pStored.reset();
        m_Runs.clear();
        return failed(failure.reason);
    }
}
