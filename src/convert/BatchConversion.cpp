// Batch conversion over files: convert and write (step 0), record instances
// (step 1), commit the kept instances (step 2). A large file of step 0 goes
// part by part where the run allows it (PartsPass.cpp).
//
// The batch pass of steps 0 and 1 (RunBatchReport, CBatchPass), in order:
//   CheckLibrary           a library index that names no library ends it
//   ConvertRowsInOrder     row after row: the row shown (step 1), the stop
//                          checked, ConvertRow (ConvertFileForBatch)
//   ConvertRowsSideBySide  the same on a few threads (CRowPool), for rows
//                          that each rewrite their own file
//   FlushGroup             the written files put in place, group by group
//   ReportModifiedFiles    the modified files, the failures, the end line
// The commit of step 2 (BatchConversionThreadTail) goes row after row
// through CommitFile, which replays the row's kept instances on the file
// (ApplyInstances, CInstanceReplay), macro step after macro step:
//   AdjustInstancePositions  each instance placed in the text rebuilt so far
//                            (or left out, where a skip or edit took its text)
//   ReplaceStepInstances     the step's replacements put in
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "convert/PartsPass.h"
#include "model/Library.h"
#include "convert/ReplaceTags.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace fs = std::filesystem;
using namespace batchfile;

namespace {
std::string NumberedLine(int n, const std::string& name) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "    %3d. ", n);
    return buf + name + "\r\n";
}
}  // namespace

namespace batchfile {
bool WriteBytes(int fd, const char* p, std::size_t left) {
    while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return true;
}
}  // namespace batchfile

namespace {
// Writes the bytes; with stripCr the text is written in text mode: the CR of
// each CR LF line break is left out, so that it reaches the disk as LF. A CR
// that no LF follows is text and stays.
bool WriteAll(int fd, const std::string& bytes, bool stripCr) {
    if (!stripCr) return WriteBytes(fd, bytes.data(), bytes.size());
    // A buffer no larger than the text: a small file does not take (and
    // fault in) a megabyte.
    std::string buf;
    buf.reserve(std::min<std::size_t>(bytes.size(), 1u << 20));
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
        const bool drop = cr && cr + 1 < end && cr[1] == '\n';
        // Copy up to the CR, or through it when it stays.
        const char* stop = !cr ? end : drop ? cr : cr + 1;
        while (p < stop) {  // copy in pieces that fit the buffer
            std::size_t take = std::min<std::size_t>(stop - p, buf.capacity() - buf.size());
            buf.append(p, take);
            p += take;
            if (buf.size() == buf.capacity()) {
                if (!WriteBytes(fd, buf.data(), buf.size())) return false;
                buf.clear();
            }
        }
        if (drop) p = cr + 1;
    }
    return WriteBytes(fd, buf.data(), buf.size());
}

// Creates the folder of a target unless it is there already.
bool EnsureFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    return CreateFolderPath(folder);
}

// Flushes each open file to the disk (fsync); errs gets each one's errno or
// 0. Many files are flushed from a few threads at once: the file system
// takes their flushes together instead of one after the other.
void SyncFiles(const std::vector<int>& fds, std::vector<int>& errs) {
    errs.assign(fds.size(), 0);
    auto one = [&](std::size_t i) {
        if (::fsync(fds[i]) != 0) errs[i] = errno;
    };
    const std::size_t threads = std::min<std::size_t>(8, fds.size() / 16);
    if (threads < 2) {
        for (std::size_t i = 0; i < fds.size(); ++i) one(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    auto work = [&]() {
        for (std::size_t i; (i = next++) < fds.size();) one(i);
    };
    std::vector<std::thread> pool;
    try {
        for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads: the ones there are, and this one, do the rest.
    }
    work();
    for (std::thread& t : pool) t.join();
}

// While a batch runs, its replacing writes are gathered here. Each new text
// goes to its temporary file beside the target at once; the flush to the disk
// is then done for a whole group of files together, and only after it is
// each file renamed over its target. A crash still leaves every target whole,
// old or new, as with a flush per file, at a small part of the cost. Only
// the group's own files and folders are flushed: what other programs have
// written and not yet flushed is none of the batch's business, and must not
// make it wait.
class CWriteGroup {
public:
    // Takes a written, unflushed writer; the file is the batch row it belongs to.
    void Defer(std::unique_ptr<CSafeWriter> writer, std::size_t bytes) {
        // The file now at the target (if any): a later row that names it,
        // under any name, must wait for the new text. A file written over
        // itself is the one it was read from.
        const CFileStamp& read = writer->Expected();
        struct stat st {};
        if (read.known)
            m_targets.insert({static_cast<dev_t>(read.dev), static_cast<ino_t>(read.ino)});
        else if (::stat(writer->RealTarget().c_str(), &st) == 0)
            m_targets.insert({st.st_dev, st.st_ino});
        // The disk starts on the text now, while the next files are made.
        ::sync_file_range(writer->Fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
        m_bytes += bytes;
        m_items.push_back({std::move(writer), current});
    }
    bool Empty() const { return m_items.empty(); }
    bool Full() const { return m_items.size() >= 512 || m_bytes >= (64u << 20); }
    // True when a gathered file will be written at this path. A path that
    // names nothing yet may be a gathered new file.
    bool Holds(const std::string& path) const {
        if (m_items.empty()) return false;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return true;
        return m_targets.count({st.st_dev, st.st_ino}) > 0;
    }
    // Flushes the gathered texts, puts each file in place and makes the
    // renames durable; each file that fails is named to onFail with the reason.
    void Flush(const std::function<void(std::size_t, const std::string&)>& onFail) {
        std::vector<int> fds, errs;
        fds.reserve(m_items.size());
        for (const Item& item : m_items) fds.push_back(item.writer->Fd());
        SyncFiles(fds, errs);
        std::vector<std::string> folders;  // of the files put in place, each once
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            Item& item = m_items[i];
            std::string reason;
            if (errs[i] != 0) {
                item.writer->Abort();
                onFail(item.file, SystemErrorText(errs[i]));
                continue;
            }
            // A file with other hard links gets the text copied into it,
            // flushed there.
            if (item.writer->InPlace()) item.writer->SetFlushToDisk(true);
            if (!item.writer->Commit(reason)) {
                onFail(item.file, reason);
                continue;
            }
            if (item.writer->InPlace()) continue;
            const std::string& t = item.writer->RealTarget();
            std::string folder = t.substr(0, t.rfind('/') + 1);
            if (folder.empty()) folder = ".";
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(std::move(folder));
        }
        // The renames to the disk too.
        for (const std::string& folder : folders) {
            int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dfd < 0) continue;
            ::fsync(dfd);
            ::close(dfd);
        }
        m_items.clear();
        m_targets.clear();
        m_bytes = 0;
    }

    std::size_t current = 0;  // the batch row being converted

private:
    struct Item {
        std::unique_ptr<CSafeWriter> writer;
        std::size_t file;
    };
    std::vector<Item> m_items;
    std::set<std::pair<dev_t, ino_t>> m_targets;
    std::size_t m_bytes = 0;
};

// The group of the batch running on this thread, if any.
thread_local CWriteGroup* t_writeGroup = nullptr;

// Makes a group the one of this thread while it lives.
class GroupScope {
public:
    explicit GroupScope(CWriteGroup* group) : m_saved(t_writeGroup) { t_writeGroup = group; }
    ~GroupScope() { t_writeGroup = m_saved; }
    GroupScope(const GroupScope&) = delete;
    GroupScope& operator=(const GroupScope&) = delete;

private:
    CWriteGroup* m_saved;
};

}  // namespace

namespace batchfile {
// Turns every lone LF of the text into CR LF, in place from the back. The
// text is taken to start a line.
void ExpandLoneLineFeeds(std::string& text) {
    const std::size_t used = text.size();
    std::size_t lone = 0;
    for (const char *p = text.data(), *end = p + used; p < end;) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!lf) break;
        if (lf == text.data() || lf[-1] != '\r') ++lone;
        p = lf + 1;
    }
    if (lone == 0) return;
    text.resize(used + lone);
    char* d = text.data();
    std::size_t w = used + lone;
    for (std::size_t r = used; r > 0;) {
        char c = d[--r];
        d[--w] = c;
        if (c == '\n' && (r == 0 || d[r - 1] != '\r')) d[--w] = '\r';
    }
}

// True when the text's first line ends in CR LF: a converted text is written
// with the line ends its input used.
bool HasCrLfLineEnds(const char* text, std::size_t size) {
    const char* lf = static_cast<const char*>(std::memchr(text, '\n', size));
    return lf && lf > text && lf[-1] == '\r';
}

bool HasLoneCr(const char* text, std::size_t size) {
    const char* end = text + size;
    for (const char* p = text; p < end;) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
        if (!cr) return false;
        if (cr + 1 == end || cr[1] != '\n') return true;
        p = cr + 2;
    }
    return false;
}

void DropCrs(std::string& text, bool ofLineBreaks) {
    char* d = text.data();
    const char* p = d;
    const char* end = d + text.size();
    char* w = nullptr;  // set at the first CR dropped
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
        if (!cr) break;
        const bool lineBreak = cr + 1 < end && cr[1] == '\n';
        const char* keepEnd = lineBreak == ofLineBreaks ? cr : cr + 1;  // what stays of this stretch
        if (!w && keepEnd == cr) {
            w = d + (cr - d);
        } else if (w) {
            std::memmove(w, p, keepEnd - p);
            w += keepEnd - p;
        }
        p = cr + 1;  // an LF after it goes with the next stretch
    }
    if (!w) return;
    std::memmove(w, p, end - p);
    w += end - p;
    text.resize(static_cast<std::size_t>(w - d));
}

void DropLoneCrs(std::string& text) { DropCrs(text, false); }

void PutLineEndsBack(std::string& converted, bool inputHasLoneCr, bool crlf) {
    if (!inputHasLoneCr) DropLoneCrs(converted);
    if (crlf) ExpandLoneLineFeeds(converted);
}

// The file as opened for reading (device, inode, modification time), with
// the number of bytes read from it.
CFileStamp StampOf(const struct stat& st, std::size_t bytesRead) {
    CFileStamp s;
    s.known = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = static_cast<long long>(bytesRead);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

// Opens the replacing writer of a target (links followed). The target's
// folder is created when it is missing.
std::unique_ptr<CSafeWriter> OpenReplacingWriter(const std::string& target, std::string& reason) {
    auto writer = std::make_unique<CSafeWriter>();
    if (writer->Open(target, 0644, reason)) return writer;
    if (writer->OpenErrno() != ENOENT && writer->OpenErrno() != ENOTDIR) return nullptr;
    const std::string& path = writer->RealTarget();
    std::string folder = path.substr(0, path.rfind('/') + 1);
    if (folder.empty()) return nullptr;
    if (!EnsureFolder(folder)) {
        reason = "cannot create the folder " + folder;
        return nullptr;
    }
    if (!writer->Open(path, 0644, reason)) return nullptr;
    return writer;
}

// Puts a fully written file in place: now, or with the batch's group.
bool FinishReplacingWriter(std::unique_ptr<CSafeWriter> writer, std::size_t bytes,
                           std::string& reason) {
    if (t_writeGroup) {
        writer->SetFlushToDisk(false);
        t_writeGroup->Defer(std::move(writer), bytes);
        return true;
    }
    return writer->Commit(reason);
}
}  // namespace batchfile

bool ReadFileForConversion(const std::string& path, std::string& text, std::string& reason,
                           CFileStamp* stamp, bool* crlf) {
    text.clear();
    if (crlf) *crlf = false;
    if (stamp) *stamp = CFileStamp();
    FinishCutCopyOf(path);
    // A pipe or device must not hold the run: it is opened without waiting
    // and refused.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = fd < 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        if (fd >= 0) ::close(fd);
        WriteTrace(SystemErrorText(err) + " (" + path + ")");
        reason = "(unreadable)";
        return false;
    }
    // Read straight into the text, leaving room for the CRs to come. The
    // text is sized to the file (one byte more shows its end); only a file
    // that grows while it is read makes it larger.
    std::size_t size = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    text.reserve(size + size / 16 + 16);
    text.resize(size + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) text.resize(used + std::max<std::size_t>(1u << 16, used / 2));
        ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            text.clear();
            WriteTrace(SystemErrorText(err) + " (" + path + ")");
            reason = "(unreadable)";
            return false;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(used);
    if (stamp) *stamp = StampOf(st, used);
    if (std::memchr(text.data(), '\0', text.size())) {
        text.clear();
        reason = "(binary)";
        return false;
    }
    if (crlf) *crlf = HasCrLfLineEnds(text.data(), text.size());
    ExpandLoneLineFeeds(text);
    return true;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::string& reason) {
    // Only a regular file is copied: a pipe, device or socket at the input is
    // refused without waiting on it.
    std::string bytes;
    if (!ReadRegularFile(from, bytes, reason)) return false;
    return WriteFileReplacing(to, bytes, false, reason);
}

bool WriteFileReplacing(const std::string& target, const std::string& bytes, bool append,
                        std::string& reason, bool stripCr, const CFileStamp* unchanged) {
    // A link is written through: the file it names gets the new text and the
    // link stays a link.
    if (append) {
        std::string path;
        if (!ResolveWriteTarget(target, path, reason)) return false;
        std::string folder = path.substr(0, path.rfind('/') + 1);
        if (!folder.empty() && !EnsureFolder(folder)) {
            reason = "cannot create the folder " + folder;
            return false;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            reason = path + " is not a regular file; nothing is added to it.";
            return false;
        }
        // Opened without waiting: a pipe put there since the look above
        // must not hold the run.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) {
            reason = SystemErrorText(errno);
            return false;
        }
        // What the file held before: a text that does not fit is taken off
        // again, so the file never ends in half of it.
        struct stat before {};
        const bool sized = ::fstat(fd, &before) == 0;
        if (sized && !S_ISREG(before.st_mode)) {
            ::close(fd);
            reason = path + " is not a regular file; nothing is added to it.";
            return false;
        }
        bool ok = WriteAll(fd, bytes, stripCr);
        int err = ok ? 0 : errno;
        if (!ok && sized) (void)::ftruncate(fd, before.st_size);
        if (::close(fd) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (!ok) reason = SystemErrorText(err);
        return ok;
    }
    // Devices, pipes, sockets and read-only files are refused there; a
    // regular file keeps its mode and owner.
    std::unique_ptr<CSafeWriter> writer = OpenReplacingWriter(target, reason);
    if (!writer) return false;
    if (unchanged) writer->ReplaceOnlyIfUnchanged(*unchanged);
    if (!WriteAll(writer->Fd(), bytes, stripCr)) {
        reason = SystemErrorText(errno);
        return false;
    }
    // A batch puts its files in place in groups (see CWriteGroup).
    return FinishReplacingWriter(std::move(writer), bytes.size(), reason);
}

bool IsSamePath(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec1, ec2;
    fs::path ca = fs::weakly_canonical(fs::path(a), ec1);
    fs::path cb = fs::weakly_canonical(fs::path(b), ec2);
    if (ec1 || ec2) return false;
    return ca == cb;
}

namespace {
// A file a killed run left cut is finished before it is read, or added to.
void FinishCutCopies(const CFindRepPreview& preview) {
    FinishCutCopyOf(preview.InputName);
    if (preview.OutputName != preview.InputName) FinishCutCopyOf(preview.OutputName);
}
}  // namespace

bool CConversionEngine::UsesSubFilter() const {
    if (m_List.m_Run.bUseCurrentMacro) return m_List.m_Run.currentMacro.IsSubFilter != 0;
    const CLibrary* lib = m_List.GetCurrentLibraryPtr();
    if (!lib) return false;
    for (const CMacro& m : lib->MacroList)
        if (m.IsActive && m.IsSubFilter) return true;
    return false;
}

bool CConversionEngine::ConvertFileForBatch(CFindRepPreview& preview, int row, bool& modified) {
    std::string why;
    return ConvertFileForBatch(preview, row, modified, why);
}


bool CConversionEngine::ConvertFileForBatch(CFindRepPreview& preview, int row, bool& modified,
                                            std::string& why) {
    modified = false;
    why.clear();
    FinishCutCopies(preview);
    switch (ConvertFileInParts(m_List, preview, modified, why)) {
        case PartsResult::Done: return true;
        case PartsResult::Failed: return false;
        case PartsResult::WholeText: break;
    }
    std::string text, reason;
    CFileStamp stamp;
    bool crlf = false;
    if (!ReadFileForConversion(preview.InputName, text, reason, &stamp, &crlf)) {
        why = reason;
        return false;
    }
    std::string converted = m_List.m_Run.bUseCurrentMacro
                                ? ApplyOneMacroToText(text, m_List.m_Run.currentMacro, preview)
                                : RunLibraryPass(text, preview);
    if (m_List.m_Run.nBatchStep == 1) {
        if (m_List.m_Run.setRowImage) m_List.m_Run.setRowImage(row, preview.Instances.empty() ? 14 : 15);
        return true;
    }
    const bool same = IsSamePath(preview.InputName, preview.OutputName);
    if (converted == text) {
        if (same) return true;
        if (preview.Mode == "O") {
            text.clear();
            text.shrink_to_fit();
            converted.clear();
            converted.shrink_to_fit();
            if (CopyFileReplacing(preview.InputName, preview.OutputName, reason)) return true;
            WriteTrace(preview.OutputName + ": " + reason);
            return false;
        }
    }
    PutLineEndsBack(converted, HasLoneCr(text.data(), text.size()), crlf);
    // Written back over itself, the file is replaced only as it was read.
    if (!WriteFileReplacing(preview.OutputName, converted, preview.Mode == "A", reason,
                            !crlf, same ? &stamp : nullptr)) {
        WriteTrace(preview.OutputName + ": " + reason);
        return false;
    }
    modified = true;
    return true;
}

namespace {
// True when the rows of a conversion may run side by side: each writes the
// file it reads, no file is named twice (under any name), nothing is added
// to, and there are enough of them to gain from it.
bool RowsAreIndependent(const CLibraryList& list) {
    if (g_bTrace || list.m_Run.nBatchStep != 0 || list.Previews.size() < 64) return false;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const CFindRepPreview& p : list.Previews) {
        struct stat st {};
        if (p.Mode == "A" || p.InputName != p.OutputName || ::stat(p.InputName.c_str(), &st) != 0 ||
            !seen.insert({st.st_dev, st.st_ino}).second)
            return false;
    }
    return true;
}

// A batch pass's end line: "over", or the failed files under the heading
// and "Failure". Returns the number of failed files.
int EndBatchPass(int nFailed, const std::string& heading, const std::string& failed) {
    if (nFailed == 0) {
        LogBatchConversion("over");
    } else {
        WriteTrace(heading + failed);
        LogBatchConversion("Failure");
    }
    return nFailed;
}

// The batch pass of steps 0 and 1, in the steps the file's head comment
// lists. The written files are put in place group by group; a row's outcome
// is final once its group is.
class CBatchPass {
public:
    explicit CBatchPass(CConversionEngine& engine)
        : m_Engine(engine), m_List(engine.List()), m_Outcomes(m_List.Previews.size()) {}
    int Run();
    // One row, converted with its writes gathered in the group.
    void ConvertRow(std::size_t i, CWriteGroup& group);
    // The group's files put in place; a file that fails there is a failed row.
    void FlushGroup(CWriteGroup& group);
    CConversionEngine& Engine() { return m_Engine; }
    CLibraryList& List() { return m_List; }

private:
    struct Outcome {
        bool ok = false, modified = false;
        std::string why;
    };
    bool CheckLibrary();
    // A row whose conversion broke off keeps no instance of its preview.
    void DropRowInstances(std::size_t i) {
        if (m_List.m_Run.nBatchStep != 1) return;
        m_List.Previews[i].Instances.clear();
        m_List.Previews[i].StepTexts.clear();
    }
    void ConvertRowsInOrder();
    void ConvertRowsSideBySide();
    int ReportModifiedFiles();

    CConversionEngine& m_Engine;
    CLibraryList& m_List;
    std::vector<Outcome> m_Outcomes;
    CWriteGroup m_Group;
};

// Rows on a few threads, each with its own write group; the progress steps
// are given on the pass's thread as the rows are done. Each thread starts on
// its own stretch of the rows (the rows of a folder follow one another, so
// the threads begin in different folders instead of queueing for the same
// folder's lock), then helps with the stretches still left.
class CRowPool {
public:
    explicit CRowPool(CBatchPass& pass);
    void Run();

private:
    struct Stretch {
        std::atomic<std::size_t> next{0};
        std::size_t end = 0;
    };
    std::size_t NextRow(unsigned own);
    void Work(unsigned own);
    void ConvertRows(unsigned own, CWriteGroup& mine);
    void StepProgress();

    CBatchPass& m_Pass;
    const std::size_t m_Rows;
    const unsigned m_Threads;
    std::vector<Stretch> m_Stretches;
    std::atomic<bool> m_Stopped{false};
    std::exception_ptr m_Error;
    std::mutex m_Mutex;
    std::condition_variable m_Cv;
    std::size_t m_Done = 0;
    unsigned m_Finished = 0;
    // Without progress steps to give, the pass's thread waits only for the
    // workers' end instead of being woken for every row.
    const bool m_Stepping;
};

int CBatchPass::Run() {
    GroupScope scope(&m_Group);
    try {
        if (!CheckLibrary()) return -1;
        if (m_List.m_Run.pProgress) m_List.m_Run.pProgress->Reset();
        if (RowsAreIndependent(m_List))
            ConvertRowsSideBySide();
        else
            ConvertRowsInOrder();
        FlushGroup(m_Group);
        return ReportModifiedFiles();
    } catch (const CConversionAbort& abort) {
        // The files converted before the stop are written, as they were.
        FlushGroup(m_Group);
        LogBatchConversion(abort.Marker());
        return -1;
    }
}

bool CBatchPass::CheckLibrary() {
    if (m_List.m_Run.bUseCurrentMacro || m_List.IsValidIndex(m_List.CurrentLibrary)) return true;
    WriteTrace("Invalid library index " + std::to_string(m_List.CurrentLibrary) +
               ": there is no such library.");
    LogBatchConversion("Failure");
    return false;
}

void CBatchPass::ConvertRowsInOrder() {
    for (std::size_t i = 0; i < m_List.Previews.size(); ++i) {
        const CFindRepPreview& rec = m_List.Previews[i];
        if (m_List.m_Run.nBatchStep == 1 && m_List.m_Run.selectRow) m_List.m_Run.selectRow(static_cast<int>(i));
        m_Engine.CheckAbort();
        // A file of the group is read, or added to, only once it is in place.
        if (m_Group.Holds(rec.InputName) || (rec.Mode == "A" && m_Group.Holds(rec.OutputName)))
            FlushGroup(m_Group);
        ConvertRow(i, m_Group);
        if (m_List.m_Run.pProgress) m_List.m_Run.pProgress->Step();
    }
}

void CBatchPass::ConvertRowsSideBySide() { CRowPool(*this).Run(); }

void CBatchPass::ConvertRow(std::size_t i, CWriteGroup& group) {
    group.current = i;
    Outcome& o = m_Outcomes[i];
    try {
        // why says so when the file was not even read as text.
        o.ok = m_Engine.ConvertFileForBatch(m_List.Previews[i], static_cast<int>(i), o.modified, o.why);
    } catch (const std::bad_alloc&) {
        o.ok = false;
        o.why = "(too big)";  // this file only; the run goes on
        DropRowInstances(i);
    } catch (const std::exception& e) {
        // An error inside this file's conversion fails this file only: it
        // is named with the error, nothing of it is written, and no
        // instance of it is kept for a commit.
        o.ok = false;
        o.why = std::string("(stopped by an error: ") + e.what() + ")";
        o.modified = false;
        DropRowInstances(i);
    }
    if (group.Full()) FlushGroup(group);
}

void CBatchPass::FlushGroup(CWriteGroup& group) {
    group.Flush([&](std::size_t file, const std::string& reason) {
        WriteTrace(m_List.Previews[file].OutputName + ": " + reason);
        m_Outcomes[file].ok = false;
        m_Outcomes[file].modified = false;
    });
}

// After the last row: the modified (or to be modified) files, then the
// failures, and the pass's end line. Returns the number of failed files.
int CBatchPass::ReportModifiedFiles() {
    std::string modifiedList, failed;
    int nModified = 0, nFailed = 0;
    for (std::size_t i = 0; i < m_List.Previews.size(); ++i) {
        const Outcome& o = m_Outcomes[i];
        const std::string name = GetFileNameFromPath(m_List.Previews[i].InputName);
        if (!o.ok) {
            failed += "   " + name + (o.why.empty() ? "" : " " + o.why) + "\r\n";
            ++nFailed;
        } else if (o.modified) {
            modifiedList += NumberedLine(++nModified, name);
        }
    }
    if (m_List.m_Run.nBatchStep == 1) {
        std::string report = m_Engine.FormatModifiedFilesReport();
        WriteTrace("\r\nThe following files will be modified:\r\n"
                   "=====================================\r\n" +
                   (report.empty() ? std::string("(None).\r\n") : report));
    } else {
        WriteTrace("\r\nThe following files were modified:\r\n"
                   "==================================\r\n" +
                   (modifiedList.empty() ? std::string("(None).\r\n") : modifiedList));
    }
    return EndBatchPass(nFailed, "Some of the files could not be processed. They are:\r\n", failed);
}

CRowPool::CRowPool(CBatchPass& pass)
    : m_Pass(pass), m_Rows(pass.List().Previews.size()),
      m_Threads(std::max(1u, std::min(4u, std::thread::hardware_concurrency()))),
      m_Stretches(m_Threads), m_Stepping(pass.List().m_Run.pProgress != nullptr) {
    for (unsigned t = 0; t < m_Threads; ++t) {
        m_Stretches[t].next = m_Rows * t / m_Threads;
        m_Stretches[t].end = m_Rows * (t + 1) / m_Threads;
    }
}

// Starts the threads, gives the progress steps until they are done, and
// passes on what stopped them.
void CRowPool::Run() {
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < m_Threads; ++t) pool.emplace_back([this, t] { Work(t); });
    StepProgress();
    for (std::thread& t : pool) t.join();
    if (m_Error) std::rethrow_exception(m_Error);
}

std::size_t CRowPool::NextRow(unsigned own) {
    for (unsigned k = 0; k < m_Threads; ++k) {
        Stretch& st = m_Stretches[(own + k) % m_Threads];
        if (st.next.load() >= st.end) continue;
        const std::size_t i = st.next++;
        if (i < st.end) return i;
    }
    return m_Rows;
}

void CRowPool::Work(unsigned own) {
    CWriteGroup mine;
    GroupScope workerScope(&mine);
    try {
        ConvertRows(own, mine);
    } catch (...) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_Error) m_Error = std::current_exception();
        m_Stopped = true;
    }
    try {
        m_Pass.FlushGroup(mine);  // the rows converted before a stop are written too
    } catch (...) {
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    ++m_Finished;
    m_Cv.notify_one();
}

void CRowPool::ConvertRows(unsigned own, CWriteGroup& mine) {
    while (!m_Stopped) {
        const std::size_t i = NextRow(own);
        if (i >= m_Rows) break;
        m_Pass.Engine().CheckAbort();
        m_Pass.ConvertRow(i, mine);
        std::lock_guard<std::mutex> lock(m_Mutex);
        ++m_Done;
        if (m_Stepping) m_Cv.notify_one();
    }
}

void CRowPool::StepProgress() {
    IProgressSink* progress = m_Pass.List().m_Run.pProgress;
    std::size_t stepped = 0;
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Cv.wait(lock, [&] { return m_Done > stepped || m_Finished == m_Threads; });
        const std::size_t now = m_Done;
        const bool last = m_Finished == m_Threads;
        lock.unlock();
        for (; stepped < now; ++stepped)
            if (progress) progress->Step();
        lock.lock();
        if (last && stepped == m_Done) break;
    }
}

}  // namespace

int CConversionEngine::RunBatchReport() {
    m_List.CurrentLibrary = m_List.m_Run.nLibraryIndex >= 0 ? m_List.m_Run.nLibraryIndex : g_nSelectedLibraryIndex;
    m_List.RunKind = 2;
    return CBatchPass(*this).Run();
}

namespace {
// A stretch of the text being rebuilt: the bytes at a in it are the bytes at
// t in the text the preview saw at the same step, or (t < 0) bytes the
// preview did not have there: a skipped match, an edited replacement, or
// what a left-out instance stood on.
struct ReplaySpan {
    std::size_t a = 0, len = 0;
    long t = -1;
};

void AddSpan(std::vector<ReplaySpan>& spans, std::string& out, const char* bytes, std::size_t len, long t) {
    if (len == 0) return;
    const std::size_t at = out.size();
    out.append(bytes, len);
    if (!spans.empty()) {
        ReplaySpan& last = spans.back();
        if ((t < 0 && last.t < 0) || (t >= 0 && last.t >= 0 && last.t + static_cast<long>(last.len) == t)) {
            last.len += len;
            return;
        }
    }
    spans.push_back({at, len, t});
}

// The kept instances replayed on the text the preview read (see
// CConversionEngine::ApplyInstances), one macro step after the other:
// AdjustInstancePositions, then ReplaceStepInstances.
class CInstanceReplay {
public:
    CInstanceReplay(const std::vector<CFindRepInstance>& list, std::string& text,
                    std::vector<int>* dropped)
        : m_List(list), m_Text(text), m_Dropped(dropped), m_PreviewSize(static_cast<long>(text.size())) {
        if (m_Dropped) m_Dropped->clear();
        if (!m_Text.empty()) m_Spans.push_back({0, m_Text.size(), 0});
    }
    bool Run();

private:
    enum State { Apply, Keep, Drop };
    // An instance of the step: its match in the preview's output of the
    // earlier steps (ts to te), its offset in the step's output, and whether
    // it is applied, kept as it was (skipped) or left out.
    struct Step {
        long ts, te, o;
        State state;
    };
    std::size_t StepEnd(std::size_t first) const;
    bool AdjustInstancePositions(std::size_t first, std::size_t last);
    bool PlaceInstance(std::size_t k, Step& st);
    void ReplaceStepInstances(std::size_t first);
    void CopyPreviewSpan(const ReplaySpan& span, std::size_t first);
    void PassStepsBefore(long pos, std::size_t first);
    void EmitInsertions(long pos, std::size_t first);
    void EmitReplacement(std::size_t first);

    const std::vector<CFindRepInstance>& m_List;
    std::string& m_Text;
    std::vector<int>* m_Dropped;
    std::vector<ReplaySpan> m_Spans;  // the text as rebuilt so far
    long m_PreviewSize;               // the preview's text at the same step
    std::string m_Out;
    std::vector<ReplaySpan> m_Next;   // the spans of m_Out
    std::vector<Step> m_Steps;
    std::vector<std::size_t> m_Mapped;  // the spans that hold the preview's bytes
    long m_Grown = 0;     // what the step's replacements added
    std::size_t m_Ji = 0;  // the step's next instance to emit
};

bool CInstanceReplay::Run() {
    for (std::size_t first = 0; first < m_List.size();) {
        const std::size_t last = StepEnd(first);
        if (!AdjustInstancePositions(first, last)) return false;
        ReplaceStepInstances(first);
        first = last;
    }
    return true;
}

// The end of the instances of the step that starts at first.
std::size_t CInstanceReplay::StepEnd(std::size_t first) const {
    const std::vector<CFindRepInstance>& list = m_List;
    std::size_t last = first + 1;
    while (last < list.size() && list[last].MacroIndex == list[first].MacroIndex &&
           list[last].StepNo == list[first].StepNo &&
           list[last].Offset >= list[last - 1].Offset + list[last - 1].RepLength)
        ++last;
    return last;
}

// Each instance of the step at its place in the preview's output of the
// earlier steps, and found there among the preview's bytes (or left out).
// False when the text is not what the preview read.
bool CInstanceReplay::AdjustInstancePositions(std::size_t first, std::size_t last) {
    m_Steps.clear();
    m_Mapped.clear();
    for (std::size_t i = 0; i < m_Spans.size(); ++i)
        if (m_Spans[i].t >= 0) m_Mapped.push_back(i);
    long grown = 0;  // what the step's earlier replacements added before this one
    for (std::size_t k = first; k < last; ++k) {
        const CFindRepInstance& inst = m_List[k];
        const long flen = static_cast<long>(inst.FindText.size());
        Step st{inst.Offset - grown, inst.Offset - grown + flen, inst.Offset, inst.Skip ? Keep : Apply};
        grown += inst.RepLength - flen;
        if (inst.Offset < 0 || st.ts < 0) return false;
        if (st.state == Apply && !PlaceInstance(k, st)) return false;
        m_Steps.push_back(st);
    }
    m_Grown = grown;
    return true;
}

// An instance to apply: the stretch that holds its whole match in the
// preview's bytes must hold the text it found; where there is none it is
// left out. False when the text is not what the preview read.
bool CInstanceReplay::PlaceInstance(std::size_t k, Step& st) {
    const CFindRepInstance& inst = m_List[k];
    auto it = std::upper_bound(m_Mapped.begin(), m_Mapped.end(), st.ts,
                               [&](long t, std::size_t i) { return t < m_Spans[i].t; });
    if (it != m_Mapped.begin()) {
        const ReplaySpan& span = m_Spans[*(it - 1)];
        if (st.te <= span.t + static_cast<long>(span.len)) {
            const std::size_t at = span.a + static_cast<std::size_t>(st.ts - span.t);
            return m_Text.compare(at, inst.FindText.size(), inst.FindText) == 0;
        }
    }
    if (st.te > m_PreviewSize) return false;  // the file is not what the preview read
    st.state = Drop;
    if (m_Dropped) m_Dropped->push_back(static_cast<int>(k));
    return true;
}

// The step's output: replacements where they apply, the rest as it was,
// mapped onto the preview's output of the step.
void CInstanceReplay::ReplaceStepInstances(std::size_t first) {
    m_Next.clear();
    m_Out.clear();
    m_Out.reserve(m_Text.size() + m_Text.size() / 8);
    m_Ji = 0;
    for (const ReplaySpan& span : m_Spans) {
        if (span.t < 0)
            AddSpan(m_Next, m_Out, m_Text.data() + span.a, span.len, -1);
        else
            CopyPreviewSpan(span, first);
    }
    EmitInsertions(m_PreviewSize, first);
    m_Text.swap(m_Out);
    m_Spans.swap(m_Next);
    m_PreviewSize += m_Grown;
}

// A stretch of the preview's bytes through the step: its matches replaced
// (or kept, or left), the bytes between them moved to the step's offsets.
void CInstanceReplay::CopyPreviewSpan(const ReplaySpan& span, std::size_t first) {
    long pos = span.t;
    const long end = span.t + static_cast<long>(span.len);
    while (pos < end) {
        PassStepsBefore(pos, first);
        const char* from = m_Text.data() + span.a + static_cast<std::size_t>(pos - span.t);
        if (m_Ji < m_Steps.size() && m_Steps[m_Ji].ts <= pos) {
            const long stop = std::min(end, m_Steps[m_Ji].te);
            if (m_Steps[m_Ji].state == Apply)
                EmitReplacement(first);
            else
                AddSpan(m_Next, m_Out, from, static_cast<std::size_t>(stop - pos), -1);
            pos = stop;
        } else {
            const long stop = m_Ji < m_Steps.size() ? std::min(end, m_Steps[m_Ji].ts) : end;
            const long shift = m_Ji < m_Steps.size() ? m_Steps[m_Ji].o - m_Steps[m_Ji].ts : m_Grown;
            AddSpan(m_Next, m_Out, from, static_cast<std::size_t>(stop - pos), pos + shift);
            pos = stop;
        }
    }
}

// The insertions due before pos, and past the matches that end there.
void CInstanceReplay::PassStepsBefore(long pos, std::size_t first) {
    for (;;) {
        EmitInsertions(pos, first);
        if (m_Ji < m_Steps.size() && m_Steps[m_Ji].te <= pos && m_Steps[m_Ji].ts < m_Steps[m_Ji].te) {
            ++m_Ji;
            continue;
        }
        break;
    }
}

// Insertions (an empty match) due before pos.
void CInstanceReplay::EmitInsertions(long pos, std::size_t first) {
    while (m_Ji < m_Steps.size() && m_Steps[m_Ji].te <= pos && m_Steps[m_Ji].ts == m_Steps[m_Ji].te) {
        if (m_Steps[m_Ji].state == Apply) EmitReplacement(first);
        ++m_Ji;
    }
}

// The replacement of the step's instance m_Ji; an edited one is bytes the
// preview did not have.
void CInstanceReplay::EmitReplacement(std::size_t first) {
    const CFindRepInstance& inst = m_List[first + m_Ji];
    AddSpan(m_Next, m_Out, inst.RepText.data(), inst.RepText.size(), inst.Changed ? -1 : m_Steps[m_Ji].o);
}
}  // namespace

bool CConversionEngine::ApplyInstances(const CFindRepPreview& preview, std::string& text,
                                       std::vector<int>* dropped) const {
    // The instances of one macro step follow one another in the list, each
    // at its offset in that step's output. Each step is replayed on the text
    // the earlier steps gave, with a map of which bytes are still the ones
    // the preview saw: an instance that stands on bytes the preview had only
    // because of a skipped or edited instance is left out.
    return CInstanceReplay(preview.Instances, text, dropped).Run();
}

bool CConversionEngine::CommitFile(CFindRepPreview& preview, int row) {
    std::string why;
    return CommitFile(preview, row, why);
}

bool CConversionEngine::CommitFile(CFindRepPreview& preview, int /*row*/, std::string& why) {
    why.clear();
    bool any = false;
    for (const CFindRepInstance& inst : preview.Instances)
        if (!inst.Skip) any = true;
    std::string text, reason;
    FinishCutCopies(preview);
    const bool same = IsSamePath(preview.InputName, preview.OutputName);
    // A text that comes out as it was read is left as it is, or copied byte
    // for byte to another output, as a conversion does.
    const auto keepAsItIs = [&] {
        if (same || preview.Mode != "O") return true;
        if (CopyFileReplacing(preview.InputName, preview.OutputName, reason)) return true;
        WriteTrace(preview.OutputName + ": " + reason);
        why = reason;
        return false;
    };
    if (!any) {
        if (same) {
            WriteTrace(preview.InputName + ": 0 instance in this file. Skipped.");
            return true;
        }
        return keepAsItIs();
    }
    CFileStamp stamp;
    bool crlf = false;
    if (!ReadFileForConversion(preview.InputName, text, reason, &stamp, &crlf)) {
        why = reason;
        return false;
    }
    const bool loneCr = HasLoneCr(text.data(), text.size());
    const std::string read = text;
    std::vector<int> dropped;
    if (!ApplyInstances(preview, text, &dropped)) {
        WriteTrace(preview.InputName +
                   ": the file no longer holds the text the preview found; left untouched.");
        why = "changed since its preview; left untouched";
        return false;
    }
    for (int k : dropped) {
        const CFindRepInstance& inst = preview.Instances[static_cast<std::size_t>(k)];
        WriteTrace(preview.InputName + ": Macro " + std::to_string(inst.MacroIndex + 1) + ", Instance " +
                   std::to_string(inst.InstanceNo + 1) + " (\"" + inst.FindText +
                   "\") left out: it was found in the text of a skipped or changed instance.");
    }
    if (text == read && (same || preview.Mode == "O")) return keepAsItIs();
    PutLineEndsBack(text, loneCr, crlf);
    if (!WriteFileReplacing(preview.OutputName, text, preview.Mode == "A", reason, !crlf,
                            same ? &stamp : nullptr)) {
        WriteTrace(preview.OutputName + ": " + reason);
        why = reason;
        return false;
    }
    return true;
}

int CConversionEngine::BatchConversionThreadTail() {
    m_List.CurrentLibrary = m_List.m_Run.nLibraryIndex >= 0 ? m_List.m_Run.nLibraryIndex : g_nSelectedLibraryIndex;
    m_List.RunKind = 2;
    try {
        if (UsesSubFilter()) {
            // A sub-filter keeps only the matched pieces; replaying instances
            // on the file cannot give that result.
            WriteTrace("Instances cannot be committed for a library with an active sub-filter "
                       "macro. Convert the files directly instead.");
            LogBatchConversion("Failure");
            return -1;
        }
        std::string failed;
        int nFailed = 0;
        if (m_List.m_Run.pProgress) m_List.m_Run.pProgress->Reset();
        for (std::size_t i = 0; i < m_List.Previews.size(); ++i) {
            if (m_List.m_Run.selectRow) m_List.m_Run.selectRow(static_cast<int>(i));
            CheckAbort();
            if (!CommitFile(m_List.Previews[i], static_cast<int>(i))) {
                failed += "   " + GetFileNameFromPath(m_List.Previews[i].InputName) + "\r\n";
                ++nFailed;
            }
            if (m_List.m_Run.pProgress) m_List.m_Run.pProgress->Step();
        }
        return EndBatchPass(nFailed, "Failed to process the following:\r\n", failed);
    } catch (const CConversionAbort& abort) {
        LogBatchConversion(abort.Marker());
        return -1;
    }
}

std::string CConversionEngine::FormatModifiedFilesReport() const {
    std::string out;
    int n = 0;
    for (const CFindRepPreview& p : m_List.Previews)
        if (!p.Instances.empty()) out += NumberedLine(++n, GetFileNameFromPath(p.InputName));
    return out;
}

std::string CConversionEngine::FormatWillModifyReport() const {
    std::string out;
    int n = 0;
    for (const CFindRepPreview& p : m_List.Previews)
        if (!p.Instances.empty() && IsSamePath(p.InputName, p.OutputName))
            out += NumberedLine(++n, GetFileNameFromPath(p.InputName));
    return out;
}
