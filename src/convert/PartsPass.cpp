// The part-by-part road of a batch row. A large file is read in parts of
// about a megabyte cut after line feeds; the parts go through a ring of
// slots, where a pool of workers converts them, and are written in order
// into the target's temporary file. The result is the one of the whole text:
// no match of the line-confined macros crosses a line, and a wide macro's
// pass over a part takes along, into the next part, the text from where its
// next match may start.
//
// The steps, in the order a file goes through them:
//   PlanParts             the run's macros cut into stages (or not at all)
//   FileHasLoneCr         whether CRs left of taken-apart line breaks go
//   CPartReader::Next     the next part of whole lines, read as it is
//   CPartsPool::RunStage  a stage on a part: ConvertSegment (a run of
//                         line-confined macros) or ConvertWide (one wide macro)
//   CPartsPass::WritePart the part, converted, to the temporary file
//   CPartsPass::Finish    the file put in place (or copied, or left)
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "convert/PartsPass.h"
#include "convert/ReplaceTags.h"
#include "model/Library.h"
#include "model/SafeFile.h"
#include "model/Trace.h"

using namespace batchfile;

namespace {
// Large files are converted in parts of about this size, cut after a line feed.
constexpr std::size_t kPartBytes = 1u << 20;
constexpr std::size_t kPartsThreshold = 4 * kPartBytes;

// How many threads convert the parts of a large file.
unsigned PartWorkerCount() {
    return std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
}

// True when a replacement of the run holds a CR.
bool RunMayWriteCr(const CLibraryList& list) {
    auto cr = [](const CMacro& m) { return m.IsActive && m.Replace.find('\r') != std::string::npos; };
    if (list.m_Run.bUseCurrentMacro) return cr(list.m_Run.currentMacro);
    const CLibrary* lib = list.GetCurrentLibraryPtr();
    if (!lib) return true;
    return std::any_of(lib->MacroList.begin(), lib->MacroList.end(), cr);
}

// Drops the CR of every CR LF, in place: the text as text mode writes it.
void DropCrOfLineBreaks(std::string& text) { DropCrs(text, true); }

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// How a run's macros convert a text in parts: runs of macros that keep to
// one line (see IsLineConfinedMacro), converted on any worker and any part
// at once, between wide macros (see IsWideStreamableMacro), each applied to
// the parts one after the other, in order. segments has one run more than
// wide has macros; a run may be empty.
struct PartsPlan {
    std::vector<std::vector<CMacro>> segments{1};
    std::vector<CMacro> wide;
};

// False when a macro of the run is neither kind: the text is converted whole.
bool PlanParts(const CLibraryList& list, PartsPlan& plan) {
    const CLibrary* lib = list.GetCurrentLibraryPtr();
    const CWildTypeManager* mgr = lib ? &lib->WildTypeManager : nullptr;
    std::vector<CMacro> macros;
    if (list.m_Run.bUseCurrentMacro) {
        macros.push_back(list.m_Run.currentMacro);
        macros.back().IsActive = 1;  // applied whether marked active or not
    } else if (lib) {
        macros = lib->MacroList;
    } else {
        return false;
    }
    for (const CMacro& m : macros) {
        if (IsLineConfinedMacro(m, mgr)) {
            plan.segments.back().push_back(m);
        } else if (IsWideStreamableMacro(m, mgr)) {
            plan.wide.push_back(m);
            plan.segments.emplace_back();
        } else {
            return false;
        }
    }
    return true;
}

// True when the file holds a CR that no LF follows (or cannot be read: its
// reading then fails on its own).
bool FileHasLoneCr(int fd) {
    std::string block(kPartBytes, '\0');
    off_t at = 0;
    bool crEnded = false;  // the block before ended in a CR
    for (;;) {
        ssize_t n = ::pread(fd, block.data(), block.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return true;
        if (n == 0) return crEnded;
        if (crEnded && block[0] != '\n') return true;
        const std::size_t size = static_cast<std::size_t>(n);
        crEnded = block[size - 1] == '\r';
        if (HasLoneCr(block.data(), size - (crEnded ? 1 : 0))) return true;
        at += n;
    }
}

// Reads the input file in parts of whole lines of about kPartBytes, as they
// are (no line end changed).
class CPartReader {
public:
    CPartReader(int fd, const std::string& name) : m_fd(fd), m_name(name) {}
    // The next part: 1 a part, 0 the end of the file, -1 a failure (logged).
    int Next(std::string& part);
    // Whether the file's line ends are CR LF: its first line end is.
    bool CrLfFile() const { return m_crlf; }
    std::size_t BytesRead() const { return m_bytesRead; }

private:
    bool ReadMore(std::string& part, std::size_t want);

    int m_fd;
    const std::string& m_name;
    std::string m_carry;  // read after the last part's cut
    bool m_eof = false, m_firstPart = true, m_crlf = false;
    std::size_t m_bytesRead = 0;
};

int CPartReader::Next(std::string& part) {
    part.swap(m_carry);
    m_carry.clear();
    // Room for the CRs of the line breaks made CR LF, without a new buffer.
    if (part.capacity() < kPartBytes + kPartBytes / 8) part.reserve(kPartBytes + kPartBytes / 8);
    while (!m_eof) {
        if (part.size() < kPartBytes) {
            // Up to kPartBytes in all, so that a buffer that goes round
            // keeps the size it was first given.
            if (!ReadMore(part, kPartBytes - part.size())) return -1;
            continue;
        }
        const void* lf = ::memrchr(part.data(), '\n', part.size());
        if (!lf) {  // one long line: read on until it ends
            if (!ReadMore(part, kPartBytes)) return -1;
            continue;
        }
        const std::size_t cut = static_cast<std::size_t>(static_cast<const char*>(lf) - part.data()) + 1;
        m_carry.assign(part, cut, std::string::npos);
        part.resize(cut);
        break;
    }
    // The first part holds the file's first line end.
    if (m_firstPart && !part.empty()) {
        m_crlf = HasCrLfLineEnds(part.data(), part.size());
        m_firstPart = false;
    }
    return part.empty() ? 0 : 1;
}

// Reads up to want bytes more onto the end of the part; no more at the end
// of the file. False on a failure, logged.
bool CPartReader::ReadMore(std::string& part, std::size_t want) {
    const std::size_t used = part.size();
    part.resize(used + want);
    ssize_t n;
    while ((n = ::read(m_fd, part.data() + used, want)) < 0 && errno == EINTR) {
    }
    if (n < 0) {
        WriteTrace(SystemErrorText(errno) + " (" + m_name + ")");
        return false;
    }
    part.resize(used + static_cast<std::size_t>(n));
    m_bytesRead += static_cast<std::size_t>(n);
    if (n == 0) m_eof = true;
    return true;
}

// A part in the ring, with where it stands.
struct Slot {
    std::string text;
    std::size_t stage = 0;
    bool queued = false, busy = false, done = false, last = false;
    bool binary = false, counted = false, differs = false;
    std::exception_ptr error;
};

// What a wide pass carries from one part to the next: the input from where
// its next match may start, and converted text after the last line feed it
// gave on (the start of the line the next pass goes on).
struct WideCarry {
    std::string input, output;
    std::string text, result;  // working buffers, kept from part to part
    std::size_t partsDone = 0;  // parts through this pass, in order
};

// The ring of slots and the workers that convert the parts in it. The
// reading thread queues a part in a free slot, any worker converts it, and
// the reading thread takes the slots back in order as they are done. No
// part waits for a slower one, so a worker the system holds back delays
// only its own part while the others go on. A part goes through the stages
// in turn: a run of line-confined macros (stage 2k, on any part at once),
// then wide macro k (stage 2k+1, part after part).
class CPartsPool {
public:
    CPartsPool(const CLibraryList& list, const PartsPlan& plan);
    ~CPartsPool();
    void Start();

    // The reading thread's side.
    bool HasRoom() const { return m_liveEnd - m_firstLive < m_ring; }
    Slot& FreeSlot() { return m_slots[m_liveEnd % m_ring]; }
    // The file's line ends, given before the first part is queued.
    void SetCrLfFile(bool crlf) { m_crlfFile = crlf; }
    // Whether the parts are converted with CR LF line breaks, where a line
    // break can be taken apart; then, given before the workers start,
    // whether the CRs left on their own go (see PutLineEndsBack).
    bool Expands() const { return m_expand; }
    void SetDropLoneCrs(bool drop) { m_dropLoneCrs = drop; }
    void Queue();
    std::size_t PartsRead() const { return m_liveEnd; }
    std::size_t PartsWritten() const { return m_firstLive; }
    Slot& WaitForNextDone();
    void Release(Slot& slot);

private:
    void MakeWorkerLists(const CLibraryList& list);
    void Work(unsigned id);
    Slot* NextRunnable();
    void RunStage(unsigned id, Slot& slot);
    void ConvertSegment(unsigned id, std::size_t k, Slot& slot);
    void ConvertWide(unsigned id, std::size_t j, Slot& slot);

    const PartsPlan& m_plan;
    const unsigned m_threadCount;
    const std::size_t m_stageCount;
    const std::size_t m_ring;
    // A replacement that can put a CR in front of a line's LF is the one
    // thing that makes a difference between converting the lines as read
    // and converting them with CR LF line ends; only then are they made
    // CR LF. A wide macro sees line breaks inside its matches: it gets them
    // as the whole text has them.
    const bool m_expand;
    bool m_crlfFile = false;
    bool m_dropLoneCrs = false;
    // Each worker's own list for each run of macros: the run's library with
    // only those macros in it (the wide passes use its type-cards).
    std::vector<std::vector<CLibraryList>> m_workers;
    std::vector<std::string> m_copies;  // each worker's working buffer
    std::vector<Slot> m_slots;
    std::vector<WideCarry> m_carries;
    std::mutex m_mu;
    std::condition_variable m_wakeWorker, m_wakeWriter;
    // The parts in the ring, by number: those before m_firstLive are
    // written, those from m_liveEnd on not yet read.
    std::size_t m_firstLive = 0, m_liveEnd = 0;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

CPartsPool::CPartsPool(const CLibraryList& list, const PartsPlan& plan)
    : m_plan(plan),
      m_threadCount(PartWorkerCount()),
      m_stageCount(2 * plan.segments.size() - 1),
      m_ring(m_threadCount + 2),
      m_expand(!plan.wide.empty() || RunMayWriteCr(list)),
      m_copies(m_threadCount),
      m_slots(m_ring),
      m_carries(plan.wide.size()) {
    MakeWorkerLists(list);
}

void CPartsPool::MakeWorkerLists(const CLibraryList& list) {
    m_workers.resize(m_threadCount);
    for (std::vector<CLibraryList>& mine : m_workers) {
        for (const std::vector<CMacro>& segment : m_plan.segments) {
            CLibraryList w;
            w.Libraries = list.Libraries;
            w.CurrentLibrary = list.CurrentLibrary;
            w.RunKind = list.RunKind;
            w.m_Run = list.m_Run;
            w.m_Run.bUseCurrentMacro = false;
            if (w.IsValidIndex(w.CurrentLibrary)) {
                w.Libraries[w.CurrentLibrary].MacroList = segment;
            } else {
                CLibrary lib;
                lib.MacroList = segment;
                w.Libraries.assign(1, lib);
                w.CurrentLibrary = 0;
            }
            mine.push_back(std::move(w));
        }
    }
}

void CPartsPool::Start() {
    for (unsigned t = 0; t < m_threadCount; ++t) m_threads.emplace_back(&CPartsPool::Work, this, t);
}

// The parts still queued are not wanted.
CPartsPool::~CPartsPool() {
    {
        std::lock_guard<std::mutex> lock(m_mu);
        m_closing = true;
    }
    m_wakeWorker.notify_all();
    for (std::thread& t : m_threads) t.join();
}

// Hands the part read into FreeSlot() to the workers.
void CPartsPool::Queue() {
    {
        std::lock_guard<std::mutex> lock(m_mu);
        m_slots[m_liveEnd % m_ring].queued = true;
        ++m_liveEnd;
    }
    m_wakeWorker.notify_all();
}

// The oldest part not yet written, once it is through every stage.
Slot& CPartsPool::WaitForNextDone() {
    Slot& slot = m_slots[m_firstLive % m_ring];
    std::unique_lock<std::mutex> lock(m_mu);
    m_wakeWriter.wait(lock, [&] { return slot.done; });
    return slot;
}

// The oldest part is written: its slot is free for the next.
void CPartsPool::Release(Slot& slot) {
    slot.text.clear();
    std::lock_guard<std::mutex> lock(m_mu);
    slot.stage = 0;
    slot.queued = slot.done = slot.last = false;
    slot.binary = slot.counted = slot.differs = false;
    ++m_firstLive;
}

void CPartsPool::Work(unsigned id) {
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mu);
            m_wakeWorker.wait(lock, [&] { return m_closing || (slot = NextRunnable()) != nullptr; });
            if (m_closing) return;  // the parts still queued are not wanted
            slot->busy = true;
        }
        const std::size_t stage = slot->stage;
        RunStage(id, *slot);
        {
            std::lock_guard<std::mutex> lock(m_mu);
            slot->busy = false;
            if (stage % 2 == 1) ++m_carries[stage / 2].partsDone;
            if (slot->stage >= m_stageCount) slot->done = true;
        }
        m_wakeWorker.notify_all();
        m_wakeWriter.notify_one();
    }
}

// The next slot a worker may take (under the lock): a run of macros on any
// part, a wide macro on the part after the last one it did.
Slot* CPartsPool::NextRunnable() {
    for (std::size_t n = m_firstLive; n < m_liveEnd; ++n) {
        Slot& slot = m_slots[n % m_ring];
        if (!slot.queued || slot.busy || slot.stage >= m_stageCount) continue;
        if (slot.stage % 2 == 1 && m_carries[slot.stage / 2].partsDone != n) continue;
        return &slot;
    }
    return nullptr;
}

// The slot's next stage. A part holding a NUL byte goes no further; the last
// stage gives the text the line ends the file had.
void CPartsPool::RunStage(unsigned id, Slot& slot) {
    try {
        if (slot.stage == 0) {
            if (std::memchr(slot.text.data(), '\0', slot.text.size())) {
                slot.binary = true;
                slot.stage = m_stageCount;
                return;
            }
            if (m_expand) ExpandLoneLineFeeds(slot.text);
        }
        const unsigned long before = CounterTagsExpandedOnThisThread();
        if (slot.stage % 2 == 0)
            ConvertSegment(id, slot.stage / 2, slot);
        else
            ConvertWide(id, slot.stage / 2, slot);
        if (CounterTagsExpandedOnThisThread() != before) slot.counted = true;
        // Written with the line ends the file had. A part but the last
        // ends after a line feed: no CR of it waits for the next part's LF.
        if (slot.stage + 1 == m_stageCount) {
            if (m_dropLoneCrs) DropLoneCrs(slot.text);
            if (m_crlfFile)
                ExpandLoneLineFeeds(slot.text);
            else
                DropCrOfLineBreaks(slot.text);
        }
        ++slot.stage;
    } catch (...) {
        slot.error = std::current_exception();
        slot.stage = m_stageCount;
    }
}

// Run of macros k on the slot's text.
void CPartsPool::ConvertSegment(unsigned id, std::size_t k, Slot& slot) {
    if (m_plan.segments[k].empty()) return;
    CFindRepPreview scratch;
    scratch.Mode = "O";
    scratch.NoInstances = 1;
    // The text is converted in a copy (the part stays to be compared with
    // the result); the buffers go round, the slot's former text taking the
    // next copy.
    std::string& copy = m_copies[id];
    copy.assign(slot.text);
    std::string result = CConversionEngine(m_workers[id][k]).RunLibraryPass(std::move(copy), scratch);
    if (result != slot.text) slot.differs = true;
    slot.text.swap(result);
    copy = std::move(result);
}

// Wide macro j on the slot's text, the parts in order.
void CPartsPool::ConvertWide(unsigned id, std::size_t j, Slot& slot) {
    WideCarry& c = m_carries[j];
    CConversionEngine w(m_workers[id][j]);
    std::string& input = c.text;
    input.assign(c.input);
    input += slot.text;
    // The pass goes on the line that the converted text held back (c.output)
    // begins, so that alignment counts from that line's start; its result
    // starts with that text.
    std::string& out = c.result;
    out.assign(input);
    CMacro macro = m_plan.wide[j];
    CFindRepPreview scratch;
    scratch.Mode = "O";
    scratch.NoInstances = 1;
    w.FindReplacePassAfter(c.output, out, macro, scratch);
    const std::size_t lead = c.output.size();
    if (out.size() != lead + input.size() || out.compare(0, lead, c.output) != 0 ||
        out.compare(lead, std::string::npos, input) != 0)
        slot.differs = true;
    std::size_t keep = input.size();  // the input's tail taken along
    if (!slot.last) {
        const std::size_t from = w.FindFirstPiece(m_plan.wide[j], input, w.LastSearchEnd);
        if (from != std::string::npos) keep = from;
    }
    // The text after the last match is left as it was: the tail taken along
    // is the output's tail too.
    const std::size_t tail = input.size() - keep;
    c.input.assign(input, keep, std::string::npos);
    std::string& given = slot.text;
    given.assign(out, 0, out.size() - tail);
    // The next stage takes whole lines.
    std::size_t cut = given.size();
    if (!slot.last) {
        const void* lf = ::memrchr(given.data(), '\n', given.size());
        cut = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - given.data()) + 1 : 0;
    }
    c.output.assign(given, cut, std::string::npos);
    given.resize(cut);
}

// Folders made for the output are taken away again when nothing comes to be
// written into them (a NUL byte found in a later part, a failure); a folder
// that holds the new file, or anything else, stays.
class CMadeFolders {
public:
    void Note(const std::string& target) {
        std::string folder = target.substr(0, target.rfind('/'));
        struct stat fs {};
        while (!folder.empty() && ::stat(folder.c_str(), &fs) != 0) {
            m_missing.push_back(folder);
            const std::size_t cut = folder.rfind('/');
            folder = cut == std::string::npos ? std::string() : folder.substr(0, cut);
        }
    }
    ~CMadeFolders() {
        for (const std::string& f : m_missing) ::rmdir(f.c_str());
    }

private:
    std::vector<std::string> m_missing;  // deepest first
};

// One large file through the pass: this thread reads the parts into the
// pool's ring and writes them, converted, in order.
class CPartsPass {
public:
    CPartsPass(const CLibraryList& list, CFindRepPreview& preview, PartsPlan plan, int fd,
               const struct stat& opened, std::string& why)
        : m_preview(preview), m_opened(opened), m_why(why), m_plan(std::move(plan)),
          m_fd(fd), m_reader(fd, preview.InputName), m_pool(list, m_plan),
          m_lastQueued(m_plan.wide.empty()) {}
    PartsResult Run(bool& modified);

private:
    void FillRing();
    std::optional<PartsResult> WriteNextPart();
    bool WritePart(const std::string& text);
    PartsResult Finish(bool& modified);

    CFindRepPreview& m_preview;
    const struct stat m_opened;
    std::string& m_why;
    PartsPlan m_plan;
    int m_fd;
    CPartReader m_reader;
    CPartsPool m_pool;  // its workers stop after the writer and folders are gone
    CMadeFolders m_made;
    std::unique_ptr<CSafeWriter> m_writer;
    std::string m_reason;
    std::size_t m_written = 0;
    bool m_changed = false;
    int m_readState = 1;  // as CPartReader::Next: 1 more to come, 0 the end, -1 a failure
    bool m_lastQueued;    // wide passes end on an empty last part (none: at once)
};

PartsResult CPartsPass::Run(bool& modified) {
    if (m_pool.Expands()) m_pool.SetDropLoneCrs(!FileHasLoneCr(m_fd));
    m_pool.Start();
    for (;;) {
        FillRing();
        if (m_pool.PartsWritten() == m_pool.PartsRead()) break;
        if (std::optional<PartsResult> end = WriteNextPart()) return *end;
    }
    if (m_readState < 0) return PartsResult::Failed;
    return Finish(modified);
}

// Reads parts into the free slots of the ring and queues them; after the
// last part, the wide passes get an empty one to give what they took along.
void CPartsPass::FillRing() {
    while (m_pool.HasRoom() && (m_readState > 0 || !m_lastQueued)) {
        Slot& slot = m_pool.FreeSlot();
        if (m_readState > 0) {
            m_readState = m_reader.Next(slot.text);
            if (m_readState < 0) m_why = "(unreadable)";
        }
        if (m_readState < 0) break;
        if (m_readState == 0) {
            if (m_lastQueued) break;
            slot.text.clear();  // the wide passes give what they took along
            slot.last = m_lastQueued = true;
        }
        if (m_pool.PartsRead() == 0) m_pool.SetCrLfFile(m_reader.CrLfFile());
        m_pool.Queue();
    }
}

// Waits for the oldest part in the ring and writes it; a result when the
// pass ends there.
std::optional<PartsResult> CPartsPass::WriteNextPart() {
    Slot& slot = m_pool.WaitForNextDone();
    if (slot.error) std::rethrow_exception(slot.error);
    // Running numbers count on from the earlier parts' matches: only the
    // whole text can give them.
    if (slot.counted && m_pool.PartsWritten() > 0) return PartsResult::WholeText;
    if (slot.binary) {
        m_why = "(binary)";
        return PartsResult::Failed;
    }
    if (slot.differs) m_changed = true;
    if (!WritePart(slot.text)) return PartsResult::Failed;
    m_pool.Release(slot);
    return std::nullopt;
}

// Writes a converted part to the temporary file, opened at the first part.
bool CPartsPass::WritePart(const std::string& text) {
    if (!m_writer) {
        m_made.Note(m_preview.OutputName);
        m_writer = OpenReplacingWriter(m_preview.OutputName, m_reason);
        if (!m_writer) {
            WriteTrace(m_preview.OutputName + ": " + m_reason);
            return false;
        }
    }
    if (!WriteBytes(m_writer->Fd(), text.data(), text.size())) {
        WriteTrace(m_preview.OutputName + ": " + SystemErrorText(errno));
        return false;
    }
    // The disk starts on what is written while the rest is converted, so
    // that the flush at the end has little left to wait for.
    ::sync_file_range(m_writer->Fd(), static_cast<off_t>(m_written), static_cast<off_t>(text.size()),
                      SYNC_FILE_RANGE_WRITE);
    m_written += text.size();
    return true;
}

// Every part written: the new file put in place. A text that did not change
// is left as it is, or copied byte for byte to another output.
PartsResult CPartsPass::Finish(bool& modified) {
    const CFindRepPreview& preview = m_preview;
    if (!m_changed) {
        if (IsSamePath(preview.InputName, preview.OutputName)) return PartsResult::Done;
        if (preview.Mode == "O") {
            m_writer.reset();  // the temporary file goes; the bytes are copied as they are
            return CopyFileReplacing(preview.InputName, preview.OutputName, m_reason)
                       ? PartsResult::Done
                       : PartsResult::Failed;
        }
    }
    if (!m_writer) {
        m_made.Note(preview.OutputName);
        m_writer = OpenReplacingWriter(preview.OutputName, m_reason);
    }
    // Written back over itself, the file is replaced only as it was read.
    if (m_writer && IsSamePath(preview.InputName, preview.OutputName))
        m_writer->ReplaceOnlyIfUnchanged(StampOf(m_opened, m_reader.BytesRead()));
    if (!m_writer || !FinishReplacingWriter(std::move(m_writer), m_written, m_reason)) {
        WriteTrace(preview.OutputName + ": " + m_reason);
        return PartsResult::Failed;
    }
    modified = true;
    return PartsResult::Done;
}
}  // namespace

// Converts and writes a large file part by part, a few parts at a time on
// their own threads, so that neither the whole text nor its converted copy
// is ever held. WholeText when the file is small or the run cannot be split;
// the caller then converts the text as one.
PartsResult ConvertFileInParts(CLibraryList& list, CFindRepPreview& preview, bool& modified,
                               std::string& why) {
    if (g_bTrace || list.m_Run.nBatchStep != 0 || preview.Mode == "A") return PartsResult::WholeText;
    struct stat st {};
    if (::stat(preview.InputName.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) < kPartsThreshold)
        return PartsResult::WholeText;
    FdCloser in{::open(preview.InputName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    PartsPlan plan;
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode) || !PlanParts(list, plan))
        return PartsResult::WholeText;
    CPartsPass pass(list, preview, std::move(plan), in.fd, st, why);
    return pass.Run(modified);
}
