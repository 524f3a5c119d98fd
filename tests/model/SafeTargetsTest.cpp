// What a replacing write does with what stands at its target: regular files,
// links, hard links, read-only files, pipes, sockets and device nodes.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/socket.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <ctime>
#include <unistd.h>

#include "model/SafeFile.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {
struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// The names in a folder, for finding temporary files left behind.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

TEST(SafeTargets, ARegularFileIsReplacedKeepingModeOwnerAndGroup) {
    TempDir t;
    const std::string f = t / "notes.txt";
    WriteFile(f, "old");
    ::chmod(f.c_str(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) ASSERT_EQ(::chown(f.c_str(), 1234, 2345), 0);
    const ino_t before = Lstat(f).st_ino;
    std::string error;
    ASSERT_TRUE(SaveFileAtomic(f, "new text", error, 0600)) << error;
    EXPECT_EQ(ReadFile(f), "new text");
    const struct stat st = Lstat(f);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(st.st_ino, before);  // replaced by a rename, not rewritten
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 2345u);
    }
    // A 0600 file stays 0600; a new file gets the mode asked for.
    ::chmod(f.c_str(), 0600);
    ASSERT_TRUE(SaveFileAtomic(f, "again", error, 0644));
    EXPECT_EQ(Lstat(f).st_mode & 07777, 0600u);
    ASSERT_TRUE(SaveFileAtomic(t / "fresh.txt", "x", error, 0604));
    EXPECT_EQ(Lstat(t / "fresh.txt").st_mode & 07777, 0604u);
    // A private file loses what others could read.
    ::chmod(f.c_str(), 0644);
    ASSERT_TRUE(SaveFileAtomic(f, "private", error, 0600, 0700));
    EXPECT_EQ(Lstat(f).st_mode & 07777, 0600u);
    EXPECT_EQ(Names(t.path()), (std::vector<std::string>{"fresh.txt", "notes.txt"}));
}

TEST(SafeTargets, ALinkIsWrittenThroughAndStaysALink) {
    TempDir t;
    fs::create_directories(t / "real");
    WriteFile(t / "real/data.txt", "old");
    ::symlink("real/data.txt", (t / "rel-link").c_str());
    ::symlink((t / "rel-link").c_str(), (t / "abs-link").c_str());  // a chain of two
    std::string error;
    ASSERT_TRUE(SaveFileAtomic(t / "abs-link", "through the links", error)) << error;
    EXPECT_TRUE(S_ISLNK(Lstat(t / "abs-link").st_mode));
    EXPECT_TRUE(S_ISLNK(Lstat(t / "rel-link").st_mode));
    EXPECT_EQ(ReadFile(t / "real/data.txt"), "through the links");
    // A link to nothing yet creates the file it names.
    ::symlink("made.txt", (t / "dangling").c_str());
    ASSERT_TRUE(SaveFileAtomic(t / "dangling", "made", error)) << error;
    EXPECT_TRUE(S_ISLNK(Lstat(t / "dangling").st_mode));
    EXPECT_EQ(ReadFile(t / "made.txt"), "made");
    // A loop of links is a failure, not a hang.
    ::symlink("loop-b", (t / "loop-a").c_str());
    ::symlink("loop-a", (t / "loop-b").c_str());
    EXPECT_FALSE(SaveFileAtomic(t / "loop-a", "x", error));
}

TEST(SafeTargets, PipesSocketsAndFoldersAreRefusedNeverReplaced) {
    TempDir t;
    const std::string fifo = t / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::string error;
    EXPECT_FALSE(SaveFileAtomic(fifo, "x", error));
    EXPECT_NE(error.find("named pipe"), std::string::npos) << error;
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
    // Through a link the pipe is refused just the same.
    ::symlink(fifo.c_str(), (t / "to-pipe").c_str());
    EXPECT_FALSE(SaveFileAtomic(t / "to-pipe", "x", error));
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));

    const std::string sock = t / "sock";
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", sock.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_FALSE(SaveFileAtomic(sock, "x", error));
    EXPECT_NE(error.find("socket"), std::string::npos) << error;
    EXPECT_TRUE(S_ISSOCK(Lstat(sock).st_mode));
    ::close(s);

    fs::create_directories(t / "folder");
    EXPECT_FALSE(SaveFileAtomic(t / "folder", "x", error));
    EXPECT_TRUE(fs::is_directory(t / "folder"));
    // Nothing temporary is left behind.
    EXPECT_EQ(Names(t.path()), (std::vector<std::string>{"folder", "pipe", "sock", "to-pipe"}));
}

TEST(SafeTargets, DeviceNodesAreRefusedAndStayDevices) {
    if (::geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
    TempDir t;
    const std::string null = t / "null", full = t / "full";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    std::string error;
    EXPECT_FALSE(SaveFileAtomic(null, "x", error));
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    EXPECT_FALSE(CopyFileBytes(t / "none", full, true, error));
    WriteFile(t / "src.txt", "bytes");
    EXPECT_FALSE(CopyFileBytes(t / "src.txt", full, true, error));
    EXPECT_TRUE(S_ISCHR(Lstat(null).st_mode));
    EXPECT_TRUE(S_ISCHR(Lstat(full).st_mode));
    EXPECT_EQ(Lstat(full).st_rdev, makedev(1, 7));
}

TEST(SafeTargets, ALinkPlantedAtATemporaryNameCannotRedirectTheWrite) {
    TempDir t;
    const std::string target = t / "out.txt";
    WriteFile(t / "victim.txt", "victim");
    WriteFile(target, "old");
    // Every name the old program used for its temporary file.
    for (const char* suffix : {".qvl-part", ".tmp", ".qvl-part-XXXXXX", ".tmp-XXXXXX"})
        ::symlink((t / "victim.txt").c_str(), (target + suffix).c_str());
    std::string error;
    ASSERT_TRUE(SaveFileAtomic(target, "new", error)) << error;
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ReadFile(t / "victim.txt"), "victim");
    EXPECT_TRUE(S_ISREG(Lstat(target).st_mode));
    // The writer's temporary file sits beside the real target and is new.
    CSafeWriter w;
    ASSERT_TRUE(w.Open(target, 0600, error));
    EXPECT_EQ(w.TempPath().compare(0, target.size(), target), 0);
    EXPECT_TRUE(S_ISREG(Lstat(w.TempPath()).st_mode));
    const std::string tmp = w.TempPath();
    w.Abort();
    EXPECT_FALSE(fs::exists(tmp));
    EXPECT_EQ(ReadFile(target), "new");
}

TEST(SafeTargets, AReadOnlyTargetIsAFailureAndHardLinksAllSeeTheNewText) {
    TempDir t;
    const std::string ro = t / "ro.txt";
    WriteFile(ro, "keep me");
    ::chmod(ro.c_str(), 0444);
    std::string error;
    EXPECT_FALSE(SaveFileAtomic(ro, "x", error));  // even for root
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(ro), "keep me");

    // Hard links are written in place: every name shows the new text and
    // the file keeps its inode.
    const std::string a = t / "a.txt", b = t / "b.txt";
    WriteFile(a, "a much longer old text than the new one");
    ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
    const ino_t ino = Lstat(a).st_ino;
    ASSERT_TRUE(SaveFileAtomic(a, "new", error)) << error;
    EXPECT_EQ(ReadFile(a), "new");
    EXPECT_EQ(ReadFile(b), "new");
    EXPECT_EQ(Lstat(a).st_ino, ino);
    EXPECT_EQ(Lstat(b).st_nlink, 2u);
    EXPECT_EQ(Names(t.path()), (std::vector<std::string>{"a.txt", "b.txt", "ro.txt"}));
}

TEST(SafeTargets, AKilledSaveLeavesTheOldOrTheNewFileWhole) {
    TempDir t;
    const std::string f = t / "master.txt";
    const std::string a(300000, 'a'), b(200000, 'b');
    WriteFile(f, a);
    for (int round = 0; round < 5; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string error;
            for (int i = 0;; ++i) SaveFileAtomic(f, i % 2 ? a : b, error);
        }
        ::usleep(20000 + round * 7000);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string now = ReadFile(f);
        EXPECT_TRUE(now == a || now == b) << "size " << now.size();
    }
    // What the killed saves left is swept at the next start; a temporary
    // file of a save going on now, and other files, stay.
    WriteFile(f + ".qvl-part-AbC123", "left by a crash");
    const long long start = static_cast<long long>(::time(nullptr)) + 5;
    WriteFile(t / "other.qvl-part-XyZ789", "being written now");
    const struct timespec later[2] = {{start + 10, 0}, {start + 10, 0}};
    ::utimensat(AT_FDCWD, (t / "other.qvl-part-XyZ789").c_str(), later, 0);
    WriteFile(t / "keep.qvl-part-notes.txt", "a user's file");
    // The whole new text of a file with two names, whose copy into it a
    // crash cut: never dropped, whatever its age; the sweep finishes the
    // copy (or gives the text the file's name when the file is gone), but
    // leaves a copy that a running program holds the file's lock for.
    WriteFile(t / "linked.txt", "the new tthe old text");
    ASSERT_EQ(::link((t / "linked.txt").c_str(), (t / "linked-too.txt").c_str()), 0);
    WriteFile(t / "linked.txt.qvl-part-linked", "the new text\n");
    ::utimensat(AT_FDCWD, (t / "linked.txt.qvl-part-linked").c_str(), later, 0);
    WriteFile(t / "gone.txt.qvl-part-linked", "its new text\n");
    WriteFile(t / "busy.txt", "being copied");
    WriteFile(t / "busy.txt.qvl-part-linked", "its new text\n");
    // A file saved after its copy was cut keeps that save; its new text
    // takes a name of its own. One that holds the new text whole needs none.
    const struct timespec saved[2] = {{start + 60, 0}, {start + 60, 0}};
    WriteFile(t / "saved.txt.qvl-part-linked", "the job's new text\n");
    WriteFile(t / "saved.txt", "the user's save\n");
    ::utimensat(AT_FDCWD, (t / "saved.txt").c_str(), saved, 0);
    WriteFile(t / "whole.txt.qvl-part-linked", "its new text\n");
    WriteFile(t / "whole.txt", "its new text\n");
    ::utimensat(AT_FDCWD, (t / "whole.txt").c_str(), saved, 0);
    const int busy = ::open((t / "busy.txt").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    EXPECT_GE(SweepStalePartFiles({t.dir(), t.path()}, start), 1u);
    ::close(busy);
    EXPECT_EQ(Names(t.path()),
              (std::vector<std::string>{"busy.txt", "busy.txt.qvl-part-linked", "gone.txt", "keep.qvl-part-notes.txt",
                                        "linked-too.txt", "linked.txt", "master.txt", "other.qvl-part-XyZ789",
                                        "saved.txt", "saved.txt.unfinished", "whole.txt"}));
    EXPECT_EQ(ReadFile(t / "saved.txt"), "the user's save\n");
    EXPECT_EQ(ReadFile(t / "saved.txt.unfinished"), "the job's new text\n");
    EXPECT_EQ(ReadFile(t / "linked-too.txt"), "the new text\n");
    EXPECT_EQ(ReadFile(t / "gone.txt"), "its new text\n");
    EXPECT_EQ(ReadFile(t / "busy.txt"), "being copied");
}

TEST(SafeTargets, BackupsAreNumberedAndNeverOverwritten) {
    TempDir t;
    const std::string f = t / "lib.txt";
    std::string bak, error;
    for (int i = 0; i < 3; ++i) {
        WriteFile(f, "version " + std::to_string(i));
        ASSERT_TRUE(KeepBackupCopy(f, bak, error)) << error;
    }
    EXPECT_EQ(ReadFile(f + ".bak"), "version 0");
    EXPECT_EQ(ReadFile(f + ".bak.1"), "version 1");
    EXPECT_EQ(ReadFile(f + ".bak.2"), "version 2");
    EXPECT_EQ(bak, f + ".bak.2");
    EXPECT_EQ(Lstat(bak).st_mode & 0777, 0600u);
    // A link planted at the next backup name is not written through.
    WriteFile(t / "victim", "victim");
    ::symlink((t / "victim").c_str(), (f + ".bak.3").c_str());
    ASSERT_TRUE(KeepBackupCopy(f, bak, error));
    EXPECT_EQ(bak, f + ".bak.4");
    EXPECT_EQ(ReadFile(t / "victim"), "victim");
}
