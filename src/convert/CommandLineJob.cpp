#include "convert/CommandLineJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <set>
#include <sstream>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "convert/FolderFiles.h"
#include "model/LibraryFile.h"
#include "model/Globals.h"
#include "model/KeyValue.h"
#include "model/SafeFile.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "remote/FolderScan.h"

namespace fs = std::filesystem;

namespace {
const char* const kMissHint = ". Aborted. (Did you miss \",\"?)";

std::string FormatTime(std::chrono::system_clock::time_point tp, const char* fmt) {
    std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::strftime(buf, sizeof buf, fmt, &tm);
    return buf;
}

std::string FormatDuration(std::chrono::seconds secs) {
    long long s = secs.count();
    if (s < 0) s = 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld day %02lld hr %02lld min %02lld sec", s / 86400,
                  (s / 3600) % 24, (s / 60) % 60, s % 60);
    return buf;
}

// The job's messages: there is no console window to wait for, so they go to
// standard error and to the log.
void ShowJobMessage(const std::string& kind, const std::string& text) {
    std::string oneLine = text;
    for (char& c : oneLine)
        if (c == '\n') c = ' ';
    std::fprintf(stderr, "%s: \"%s\"\n", kind.c_str(), oneLine.c_str());
    std::fflush(stderr);
}

// The error text goes to the log without a line end of its own: the closing
// block's equals line continues it (FinishBatchConversion writes both).
void FailJob(CCommandLineJob& job) {
    job.m_EndTime = std::chrono::system_clock::now();
    ShowJobMessage("Error", job.m_strError);
    job.m_bFailed = true;
    job.m_strFailure = job.m_strError;
}

bool IsOlderThanFirstVersion(const std::string& version) {
    if (version.empty()) return false;
    std::vector<int> pieces = SplitIntList(version, '.');
    const int first[4] = {1, 0, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        int v = i < pieces.size() ? pieces[i] : 0;
        if (v != first[i]) return v < first[i];
    }
    return false;
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// Which file a path names, for comparing files however they are spelled: the
// device and inode of what is there (links followed), or, for a file not
// there yet, the real path of its folder and its name.
struct FileKey {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string real;
};

FileKey KeyOf(const std::string& path, std::string* resolved = nullptr) {
    FileKey key;
    std::string target, error;
    struct stat st {};
    int lstatErr = 0;
    // The link walk ends at what is no link: its look at it is the file's.
    if (!ResolveWriteTarget(path, target, error, st, lstatErr)) {
        target = path;
        lstatErr = ::stat(target.c_str(), &st) == 0 ? 0 : errno;
    }
    if (resolved) *resolved = target;
    if (lstatErr == 0) {
        key.exists = true;
        key.dev = st.st_dev;
        key.ino = st.st_ino;
        return key;
    }
    const std::size_t cut = target.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : target.substr(0, cut);
    char buf[PATH_MAX];
    key.real = ::realpath(folder.c_str(), buf) ? WithSlash(buf) + target.substr(cut + 1) : target;
    return key;
}

bool SameFile(const FileKey& a, const FileKey& b) {
    if (a.exists != b.exists) return false;
    return a.exists ? a.dev == b.dev && a.ino == b.ino : a.real == b.real;
}

// Tells whether paths lie at any depth inside a folder (compared by
// identity). The answer is kept per folder of the paths: the files of one
// folder cost one look.
class CInsideFolder {
public:
    explicit CInsideFolder(const std::string& folder)
        : m_known(!folder.empty() && ::stat(folder.c_str(), &m_top) == 0) {}
    // target: a path with its links followed (see ResolveWriteTarget).
    bool Holds(const std::string& target) {
        if (!m_known) return false;
        const std::size_t cut = target.rfind('/');
        if (cut == std::string::npos) return false;
        const std::string folder = cut == 0 ? "/" : target.substr(0, cut);
        if (folder != m_lastFolder || !m_haveLast) {
            m_lastFolder = folder;
            m_haveLast = true;
            m_lastAnswer = FolderInside(folder);
        }
        return m_lastAnswer;
    }

private:
    bool FolderInside(const std::string& folder) const {
        char buf[PATH_MAX];
        if (!::realpath(folder.c_str(), buf)) return false;
        for (std::string p = buf;;) {
            struct stat st {};
            if (::stat(p.c_str(), &st) == 0 && st.st_dev == m_top.st_dev && st.st_ino == m_top.st_ino)
                return true;
            const std::size_t up = p.rfind('/');
            if (p.size() <= 1 || up == std::string::npos) return false;
            p = up == 0 ? "/" : p.substr(0, up);
        }
    }

    struct stat m_top {};
    bool m_known;
    bool m_haveLast = false, m_lastAnswer = false;
    std::string m_lastFolder;
};

std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(path), ec);
    return ec ? path : p.string();
}
}  // namespace

std::string GetArgumentValue(const std::string& commandLine, const std::string& key) {
    const std::string lower = ToLowerAscii(commandLine);
    const std::string k = ToLowerAscii(key);
    std::size_t from = 0;
    for (;;) {
        std::size_t at = lower.find(k, from);
        if (at == std::string::npos) return "";
        // An item starts the line or follows a comma (and blanks).
        std::size_t b = at;
        while (b > 0 && lower[b - 1] == ' ') --b;
        if (b == 0 || lower[b - 1] == ',') {
            std::size_t v = at + k.size();
            std::size_t e = commandLine.find(',', v);
            return commandLine.substr(v, e == std::string::npos ? std::string::npos : e - v);
        }
        from = at + 1;
    }
}

std::string MakeAbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) return path;
    return WithSlash(cwd.string()) + path;
}

bool LoadLibraryFileForJob(const std::string& path, CLibraryList& list) {
    // Only a regular file, opened without waiting: a pipe or a device would
    // hold the job forever.
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) return false;
    std::istringstream in(std::move(bytes));
    std::string line;
    size_t skipped = 0;
    CReadProblems problems;
    while (ReadLine(in, line)) {
        if (line.find("~*~ Library option:") != std::string::npos) {
            std::string version = GetKeyValue(line, "Version=");
            if (IsOlderThanFirstVersion(version)) {
                WriteTrace("The version of the application and the version of the library file "
                           "are incompatible (" + version + "). Batch mode asks no question: "
                           "the libraries of " + path + " are not read.");
                return true;
            }
            if (std::string problem = CheckLibraryOptionKeys(line); !problem.empty()) {
                ++skipped;
                NoteReadProblem(problems, "option line: " + problem);
            }
        } else if (line.find("~*~ (1.2)+ Wild find and replace libraries:") != std::string::npos) {
            ReadLibrary(in, kLibrariesEndMarker, list, &skipped, &problems);
        } else if (!line.empty()) {
            ++skipped;
        }
    }
    if (skipped > 0) {
        TraceReadProblems("Library file " + path, problems);
        const std::string text = "The library file " + path + " holds " + std::to_string(skipped) +
                                 " line(s) that could not be read whole; what could not be read is left out.";
        WriteTrace(text);
        ShowJobMessage("Warning", text);
    }
    return true;
}

void WriteBatchLogHeader(CCommandLineJob& job, const std::string& commandLine) {
    job.m_strGivenCommandLine = commandLine;
    job.m_strCommandLine = ToLowerAscii(commandLine);
    job.m_strMethodName = "Find and Replace (default)";
    job.m_nMethod = 1;
    job.m_nLibIndex = 0;
    job.m_strLibraryFile = g_strLibraryInfoDir + kLibraryFileName;
    job.m_strInclude = "*.*";
    job.m_strExclude.clear();
    job.m_bDefaultsWarning = true;
    job.m_StartTime = std::chrono::system_clock::now();
    job.m_EndTime = job.m_StartTime;
    WriteTrace("");
    WriteTrace("");
    WriteTrace(std::string(79, '*'));
    WriteTrace("       Batch conversion executed at: " +
               FormatTime(job.m_StartTime, "%I:%M:%S %p,  %d-%b-%Y (%A)."));
    WriteTrace(std::string(79, '*'));
    WriteTrace("Command line: " + job.m_strCommandLine);
    WriteTrace(std::string(79, '-'));
}

namespace {
const char* const kOptionKeys[] = {"-input=",  "-output=",  "-cvt=",     "-libfile=",
                                   "-libind=", "-include=", "-exclude=", "-default="};

// A value that holds another option's key swallowed that option: the comma
// before it was left out ("-default=y -output=b.txt"). An item starts after
// a blank, so only a key at the value's start or after a blank counts; a
// path that merely holds a key's text ("D/run-output=1/out.txt") is a path.
// The job refuses a swallowed option rather than run without it. False with
// the error set.
bool CheckNothingSwallowed(CCommandLineJob& job, const std::string& key, const std::string& value) {
    const std::string lower = ToLowerAscii(value);
    for (const char* k : kOptionKeys) {
        std::size_t at = lower.find(k);
        while (at != std::string::npos && at > 0 && lower[at - 1] != ' ')
            at = lower.find(k, at + 1);
        if (at == std::string::npos) continue;
        job.m_strError = "The value of " + key + " holds the option " + k + ": " + value + kMissHint;
        return false;
    }
    return true;
}
}  // namespace

bool CheckBatchOptionKeys(CCommandLineJob& job) {
    const auto& known = kOptionKeys;
    std::vector<std::string> seen;
    const std::string& cl = job.m_strGivenCommandLine;
    for (std::size_t from = 0; from <= cl.size();) {
        std::size_t end = cl.find(',', from);
        if (end == std::string::npos) end = cl.size();
        std::string item = cl.substr(from, end - from);
        from = end + 1;
        const std::size_t b = item.find_first_not_of(' ');
        if (b == std::string::npos) continue;  // nothing between two commas
        item.erase(0, b);
        // The key is the item up to its "="; an item without one is named whole.
        const std::size_t eq = item.find('=');
        const std::string key = ToLowerAscii(eq == std::string::npos ? item : item.substr(0, eq + 1));
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || key == k;
        if (!isKnown) {
            job.m_strError = "Unknown option " + (eq == std::string::npos ? item : item.substr(0, eq + 1)) +
                             ". The options are -input=, -output=, -cvt=, -libfile=, -libind=, "
                             "-include=, -exclude= and -default=. Aborted.";
            return false;
        }
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            job.m_strError = "The option " + key + " is given more than once. Aborted.";
            return false;
        }
        seen.push_back(key);
    }
    return true;
}

bool ParseBatchArguments(CCommandLineJob& job) {
    // A misspelt or repeated option would be left unused: the job refuses it
    // before it looks at anything.
    if (!CheckBatchOptionKeys(job)) return false;
    const std::string& cl = job.m_strGivenCommandLine;
    // 1. The input: a file or a folder.
    std::string input = GetArgumentValue(cl, "-input=");
    if (input.empty()) {
        job.m_strError =
            "No input file or directory specified. Use -input=<filename>, or -input=<dirname>. "
            "Aborted.";
        return false;
    }
    std::error_code ec;
    fs::file_status st = fs::status(fs::path(input), ec);
    if (ec || !fs::exists(st)) {
        job.m_strError = "No such input file or directory named " + input + kMissHint;
        return false;
    }
    if (!fs::is_directory(st) && !fs::is_regular_file(st)) {
        // A pipe or a device would hold the job, or never end.
        job.m_strError = "The input " + input + " is not a regular file or a directory. Aborted.";
        return false;
    }
    job.m_bDirectoryMode = fs::is_directory(st);
    // 2. The output: the input itself when none is given.
    std::string output = GetArgumentValue(cl, "-output=");
    if (!CheckNothingSwallowed(job, "-output=", output)) return false;
    if (output.empty()) output = input;
    if (job.m_bDirectoryMode) {
        job.m_strInputDir = MakeAbsolutePath(input);
        job.m_strOutputDir = MakeAbsolutePath(output);
    } else {
        job.m_strInputFile = MakeAbsolutePath(input);
        job.m_strOutputFile = MakeAbsolutePath(output);
    }
    // 3. The conversion method.
    std::string cvt = ToLowerAscii(GetArgumentValue(cl, "-cvt="));
    if (cvt.empty()) {
        job.m_strNotes += "{Default -cvt=fr chosen for conversion type.}\n";
    } else if (cvt == "tp") {
        job.m_nMethod = 0;
        job.m_strMethodName = "Toekn Parameter";
    } else if (cvt == "fr") {
        job.m_nMethod = 1;
        job.m_strMethodName = "Find and Replace";
    } else if (cvt == "kl") {
        job.m_nMethod = 2;
        job.m_strMethodName = "Key Look up";
    } else {
        job.m_strError = "Incorect conversion method specified. Use -cvt={tp, fr, kl}.  Aborted. "
                         "(Did you miss \",\"?)";
        return false;
    }
    // 4. The library file.
    std::string libfile = GetArgumentValue(cl, "-libfile=");
    if (libfile.empty())
        job.m_strNotes += "{Default -libfile=" + job.m_strLibraryFile + " is chosen for library.}\n";
    else
        job.m_strLibraryFile = MakeAbsolutePath(libfile);
    {
        std::error_code lec;
        fs::file_status ls = fs::status(fs::path(job.m_strLibraryFile), lec);
        if (!lec && fs::exists(ls) && !fs::is_regular_file(ls)) {
            job.m_strError = "The library file " + job.m_strLibraryFile +
                             " is not a regular file. Aborted.";
            return false;
        }
    }
    // 5. The library index: a number, or the job refuses it.
    std::string libind = GetArgumentValue(cl, "-libind=");
    if (libind.empty()) {
        job.m_strNotes += "{Default -libind=0 chosen for library index.}\n";
    } else {
        std::size_t i = 0;
        while (i < libind.size() && libind[i] == ' ') ++i;
        if (i < libind.size() && (libind[i] == '-' || libind[i] == '+')) ++i;
        std::size_t digits = i;
        while (digits < libind.size() && std::isdigit(static_cast<unsigned char>(libind[digits])))
            ++digits;
        std::size_t end = digits;
        while (end < libind.size() && libind[end] == ' ') ++end;
        // Digits only ("1abc" and "0x1" are no numbers), blanks around them.
        if (digits == i || end != libind.size()) {
            job.m_strError = "Invalid library index " + libind + " for " + job.m_strMethodName +
                             kMissHint;
            return false;
        }
        job.m_nLibIndex = ParseInt(libind);
    }
    // 6. The filters, in directory mode only.
    std::string inc = GetArgumentValue(cl, "-include=");
    std::string exc = GetArgumentValue(cl, "-exclude=");
    if (!CheckNothingSwallowed(job, "-include=", inc) || !CheckNothingSwallowed(job, "-exclude=", exc))
        return false;
    if (job.m_bDirectoryMode) {
        if (inc.empty())
            job.m_strNotes += "{Default -include=*.* chosen for include filter.}\n";
        else
            job.m_strInclude = inc;
        if (exc.empty())
            job.m_strNotes += "{Default -exclude=(empty) chosen for exclude filter.}\n";
        else
            job.m_strExclude = exc;
    }
    // 7. "-default=y" switches the defaults warning off.
    std::string def = ToLowerAscii(GetArgumentValue(cl, "-default="));
    if (!CheckNothingSwallowed(job, "-default=", def)) return false;
    if (!def.empty() && def[0] == 'y') job.m_bDefaultsWarning = false;
    return true;
}

bool CheckBatchLibrary(CCommandLineJob& job) {
    job.m_LibraryList = CLibraryList();
    if (!LoadLibraryFileForJob(job.m_strLibraryFile, job.m_LibraryList)) {
        job.m_strError = "No such library named " + job.m_strLibraryFile + kMissHint;
        return false;
    }
    if (!job.m_LibraryList.IsValidIndex(job.m_nLibIndex)) {
        job.m_strError = "Invalid library index from " + job.m_strLibraryFile + " for " +
                         job.m_strMethodName + kMissHint;
        return false;
    }
    job.m_LibraryList.RunKind = 2;
    return true;
}

bool BuildBatchFileList(CCommandLineJob& job) {
    CLibraryList& list = job.m_LibraryList;
    list.Previews.clear();
    if (!job.m_bDirectoryMode) {
        CFindRepPreview p;
        p.InputName = job.m_strInputFile;
        p.OutputName = job.m_strOutputFile;
        p.Mode = "O";
        list.Previews.push_back(std::move(p));
        return true;
    }
    const std::string outDir = WithSlash(Canonical(job.m_strOutputDir));
    CJobFolderWalk walk =
        WalkJobFolder(job.m_strInputDir, job.m_strOutputDir, job.m_strInclude, job.m_strExclude);
    for (const std::string& line : walk.skipped) WriteTrace("   " + line);
    // A folder it could not read leaves files unconverted: the job fails.
    for (const std::string& line : walk.problems) {
        WriteTrace("   " + line);
        ++job.m_nFailedFiles;
    }
    for (const std::string& path : walk.files) {
        CFindRepPreview p;
        p.InputName = path;
        // Only the leading input-folder part is replaced by the output folder.
        p.OutputName = outDir + path.substr(walk.root.size());
        p.Mode = "O";
        list.Previews.push_back(std::move(p));
    }
    return true;
}

bool CheckBatchOutputs(CCommandLineJob& job) {
    // The files the job must never write over: the library file it reads,
    // the work area's master and library files, the log, and whatever the
    // work area keeps in its user folder (sessions, passwords, texts).
    std::vector<FileKey> kept;
    for (const std::string& f :
         {job.m_strLibraryFile, g_strLibraryInfoDir + kLibraryFileName,
          g_strSessionInfoDir + kMasterFileName, g_strSessionBackUpDir + kMasterFileName,
          g_strCmdAreaDir + kBatchLogName})
        kept.push_back(KeyOf(f));
    CInsideFolder userArea(g_strUserInfoDir);
    for (const CFindRepPreview& p : job.m_LibraryList.Previews) {
        std::string target;
        const FileKey out = KeyOf(p.OutputName, &target);
        bool refused = userArea.Holds(target);
        for (const FileKey& k : kept) refused = refused || SameFile(out, k);
        if (refused) {
            job.m_strError = "The output " + p.OutputName +
                             " is a file the job reads or the work area keeps; it is not "
                             "written. Aborted.";
            return false;
        }
    }
    return true;
}

void RemoveStaleTemporaries(const CCommandLineJob& job) {
    // The folders the job writes: those of its outputs, and of the files a
    // linked output is written through.
    std::set<std::string> folders;
    auto add = [&](const std::string& path) {
        const std::size_t cut = path.rfind('/');
        if (cut != std::string::npos) folders.insert(path.substr(0, cut + 1));
    };
    for (const CFindRepPreview& p : job.m_LibraryList.Previews) {
        add(p.OutputName);
        std::string target, error;
        if (ResolveWriteTarget(p.OutputName, target, error) && target != p.OutputName) add(target);
    }
    SweepStalePartFiles(std::vector<std::string>(folders.begin(), folders.end()),
                        static_cast<long long>(std::chrono::system_clock::to_time_t(job.m_StartTime)));
}

void WriteBatchSummary(const CCommandLineJob& job) {
    std::string s;
    if (!job.m_strNotes.empty()) s += job.m_strNotes;
    s += "\n" + std::string(79, '-') + "\n";
    s += std::string("Summary: ") + (job.m_bDirectoryMode ? "Directory mode.\n" : "File mode.\n");
    s += std::string(79, '-') + "\n";
    if (job.m_bDirectoryMode) {
        s += "   Inputdir:       " + job.m_strInputDir + "\n";
        s += "   Outputdir:      " + job.m_strOutputDir + "\n";
    } else {
        s += "   Inputfile:      " + job.m_strInputFile + "\n";
        s += "   Outputfile:     " + job.m_strOutputFile + "\n";
    }
    s += "   Text Conversion using:\n";
    s += "   Lib-file:       " + job.m_strLibraryFile + "\n";
    s += "   Lib-ind:        " + std::to_string(job.m_nLibIndex) + "\n";
    if (job.m_bDirectoryMode) {
        s += "   Files Included: " + (job.m_strInclude.empty() ? "(none)" : job.m_strInclude) + "\n";
        s += "   Files Excluded: " + (job.m_strExclude.empty() ? "(none)" : job.m_strExclude) + "\n";
    }
    s += std::string(79, '-') + "\n";
    WriteTrace(s);
}

bool RunBatchConversion(CCommandLineJob& job) {
    if (!ParseBatchArguments(job) || !CheckBatchLibrary(job)) {
        FailJob(job);
        return false;
    }
    g_nBatchStep = 0;
    g_nSelectedLibraryIndex = job.m_nLibIndex;
    if (!BuildBatchFileList(job)) {
        job.m_strError = "The folder walk was stopped.";
        FailJob(job);
        return false;
    }
    if (!CheckBatchOutputs(job)) {
        FailJob(job);
        return false;
    }
    WriteBatchSummary(job);
    RemoveStaleTemporaries(job);

    CLibraryList& list = job.m_LibraryList;
    list.m_Run = CConversionRun();
    list.m_Run.nBatchStep = 0;
    list.m_Run.nLibraryIndex = job.m_nLibIndex;
    int failed = CConversionEngine(list).RunBatchReport();
    job.m_EndTime = std::chrono::system_clock::now();
    if (failed < 0) {
        job.m_strError = "The batch conversion did not run to its end.";
        FailJob(job);
        return false;
    }
    job.m_nFailedFiles += failed;
    if (job.m_bDefaultsWarning) {
        // Shown to the user only; the log has the notes of the defaults.
        ShowJobMessage("Warning",
                       "Default values were used for missing argments. Use -default=y to remove "
                       "this warning. See " + g_strCmdAreaDir + kBatchLogName +
                           " for details. Job successful.");
    }
    WriteTrace("Success if no error message above.");
    return true;
}

void FinishBatchConversion(CCommandLineJob& job) {
    try {
        RunBatchConversion(job);
    } catch (const std::exception& e) {
        job.m_strError = std::string("The batch job stopped: ") + e.what() + ". Aborted.";
        FailJob(job);
    }
    if (job.m_EndTime <= job.m_StartTime) job.m_EndTime = std::chrono::system_clock::now();
    auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(job.m_EndTime - job.m_StartTime);
    WriteTrace((job.m_bFailed ? job.m_strError : std::string()) + std::string(79, '='));
    WriteTrace("       Batch conversion processing time: " + FormatDuration(elapsed));
    WriteTrace(std::string(79, '='));
}
