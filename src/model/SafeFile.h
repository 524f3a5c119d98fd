// Saving and copying files so that a failure never leaves a half-written file
// and nothing that stands at a target is replaced by something else.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

// What a file was when it was read: which file (device and inode), how many
// bytes were read and its modification time then. absent: no file was
// there (a file that turns up since is a change).
struct CFileStamp {
    bool known = false;
    bool absent = false;
    unsigned long long dev = 0, ino = 0;
    long long size = 0;
    long long mtimeNs = 0;
    bool operator==(const CFileStamp&) const = default;
};

// Every replacing write (saves, job output, downloads) goes through this
// writer. Open() looks at what stands at the target:
// - a symbolic link is followed: the file it names is written and the link
//   stays a link;
// - a device node, pipe, socket or folder is refused, never replaced;
// - a regular file that is read-only is refused;
// - a regular file with other hard links is written in place at Commit()
//   (after the whole new text is ready), so that every name of the file
//   shows the new text. It holds the old text or the new, never a part of
//   each: the room for the new text is reserved in the file first (a full
//   disk fails there, the file untouched), and during the copy the new text
//   is kept whole as "NAME.qvl-part-linked", which the next run's sweep
//   (SweepStalePartFiles) or the next use of the file (FinishCutCopyOf)
//   copies into the file if a crash cut the copy;
// - any other regular file is replaced atomically by renaming a temporary
//   file over it; the new file keeps the old one's mode and, where the
//   process may, its owner and group.
// The temporary file is created exclusively beside the real target. The
// destructor of an uncommitted writer removes it.
class CSafeWriter {
public:
    CSafeWriter() = default;
    ~CSafeWriter();
    CSafeWriter(const CSafeWriter&) = delete;
    CSafeWriter& operator=(const CSafeWriter&) = delete;

    // newMode is the mode of a file that did not exist before; an existing
    // file keeps its mode bits within keepMask (a private file passes 0700).
    bool Open(const std::string& target, unsigned newMode, std::string& error,
              unsigned keepMask = 07777);
    bool Write(const char* data, size_t size);
    bool Write(const std::string& s) { return Write(s.data(), s.size()); }
    // Flushes the new text to the disk and puts it in place.
    bool Commit(std::string& error);
    // Without the flush to the disk (a copy that can be made again, such as
    // a download): the target is still replaced whole or not at all.
    void SetFlushToDisk(bool flush) { m_flush = flush; }
    // Drops the temporary file; the target stays as it was.
    void Abort();
    // The target is replaced only while it is still the file the stamp
    // describes, unchanged (another process may add to a file while its new
    // text is made); otherwise Commit() fails and leaves it as it is.
    void ReplaceOnlyIfUnchanged(const CFileStamp& read) { m_expect = read; }

    // Why Open() could not look at the target or create the temporary file
    // beside it (ENOENT or ENOTDIR: its folder is missing); 0 when it failed
    // for another reason.
    int OpenErrno() const { return m_openErrno; }
    // True when the target has other hard links and is written in place.
    bool InPlace() const { return m_inPlace; }
    // The file the target must still be (see ReplaceOnlyIfUnchanged).
    const CFileStamp& Expected() const { return m_expect; }

    int Fd() const { return m_fd; }
    const std::string& TempPath() const { return m_tmp; }
    // The file that is written (links followed).
    const std::string& RealTarget() const { return m_target; }
    // The errno of the last failed Write().
    int WriteErrno() const { return m_writeErrno; }

private:
    bool CommitInPlace(std::string& error);

    int m_fd = -1;
    std::string m_tmp, m_target;
    bool m_inPlace = false;
    bool m_flush = true;
    int m_writeErrno = 0;
    int m_openErrno = 0;
    CFileStamp m_expect;
};

// True when the file at the path is still the one the stamp describes.
bool FileMatchesStamp(const std::string& path, const CFileStamp& stamp);
// The stamp of the file at the path as it is now (links followed), its
// whole size; absent where nothing is there, not known where it cannot be
// looked at.
CFileStamp StampOfFile(const std::string& path);

// Follows symbolic links (up to the system's limit) to the path that a write
// to `path` reaches. False, with the reason, for a loop or a bad link.
bool ResolveWriteTarget(const std::string& path, std::string& real, std::string& error);
// The same, with the last look at `real` (lstat): its result in st when
// lstatErr is 0, else lstat's errno (ENOENT: nothing is there).
bool ResolveWriteTarget(const std::string& path, std::string& real, std::string& error,
                        struct stat& st, int& lstatErr);

// Writes the bytes through CSafeWriter. False, with the reason in `error`,
// when any step fails; the old file is then left as it was.
bool SaveFileAtomic(const std::string& path, const std::string& bytes, std::string& error,
                    unsigned mode = 0600, unsigned keepMask = 07777);

// Copies a file byte for byte (through a temporary name when overwriting).
// With overwrite false an existing target is a failure.
bool CopyFileBytes(const std::string& from, const std::string& to, bool overwrite,
                   std::string& error);

// The first free backup name of a file: "NAME.bak", then "NAME.bak.1",
// "NAME.bak.2", ...
std::string NextBackupName(const std::string& path);
// Copies the file to the first free backup name (an earlier backup is never
// overwritten); when it cannot be copied (it cannot be read) it is moved
// there instead. The backup gets mode 0600 (a folder moved aside 0700).
// True with the backup's name in `bak`.
bool KeepBackupCopy(const std::string& path, std::string& bak, std::string& error);

// A file that its reader only partly understood (lines skipped, markers or
// header lines missing, an older version given up): it is copied to the next
// free backup name before anything overwrites it, and the user is told once
// in the log which file, how many lines and where the copy is. The backup's
// name, or "" when no copy could be made (the log says why).
std::string KeepDamagedFile(const std::string& path, const std::string& what, size_t lines,
                            const std::string& why = "");

// What a reader found wrong with the records it read only in part: the
// first few texts ("RECORD: PROBLEM") and how many more there were.
struct CReadProblems {
    std::vector<std::string> first;
    size_t more = 0;
};
void NoteReadProblem(CReadProblems& problems, std::string text);
// Logs them, one line each ("SOURCE: RECORD: PROBLEM"), and the number of
// records left out.
void TraceReadProblems(const std::string& source, const CReadProblems& problems);

// Renames a file; never replaces an existing target. False with the reason.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error);

// Moves a file into place, replacing a file of the same name.
bool RenameReplace(const std::string& from, const std::string& to, std::string& error);

bool PathExists(const std::string& path);
bool IsRegularFile(const std::string& path);

// Opens a file for reading only when it is a regular file: the open never
// blocks (a named pipe without a writer, a device), the kind is checked on
// the opened file, and only a regular file is handed back, in blocking
// mode. -1 otherwise, with a reason such as "PATH is a folder, not a file."
// (links are followed).
int OpenRegularFileForReading(const std::string& path, std::string& error);
// Reads the whole of a regular file the same way. False with the reason;
// nothing here throws.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& error);
// True when the first 8 KB of a local file hold a NUL byte: such a file is
// no text, whatever its extension says. False when it cannot be read.
bool HasNulByteInHead(const std::string& path);

// The time the program started (taken when it was loaded).
long long ProgramStartTime();

// True for the name of a replacing write's temporary file
// ("NAME.qvl-part-XXXXXX"), without its folder.
bool IsPartFileName(const std::string& name);

// Removes the temporary files of replacing writes ("NAME.qvl-part-XXXXXX")
// that a killed run left in the folders, when they are regular files older
// than `before` (a run going on now keeps its own). Only the folders
// themselves are looked at, not the folders below. Logs one line per folder
// that held any; returns how many were removed.
// "NAME.qvl-part-linked" is the whole new text of NAME, a file with other
// hard links, whose copy into NAME a killed run left unfinished: it is
// copied into NAME now (NAME missing: it takes the name) and then removed,
// unless a running program is copying it now; it is never simply dropped.
// When NAME was changed after the copy was cut (the copy marks the text's
// time before each block it writes), that change stays and the new text is
// kept as "NAME.unfinished" (numbered when taken); the log says so.
// `known` holds, by folder (ending in "/"), the part file names of folders
// read already at this start; the others are read here.
using FolderPartNames = std::map<std::string, std::vector<std::string>>;
size_t SweepStalePartFiles(const std::vector<std::string>& folders, long long before,
                           const FolderPartNames* known = nullptr);

// Finishes, the way the sweep above does, the copy into the file at `path`
// that a killed run left cut ("NAME.qvl-part-linked" beside the file, or
// beside the file a symbolic link at `path` names). Called before a local
// file is used (sent, converted, compared, opened, its session read), so
// that no use sees the cut text whatever a sweep reached. A copy that a
// running program is making now is left to it; a file changed since the
// cut keeps that change. One or two lstat calls when there is no leftover.
void FinishCutCopyOf(const std::string& path);
