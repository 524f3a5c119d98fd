// The conversion job over folders and files it must not trust: links,
// unreadable folders, over-long paths, its own output, pipes, devices,
// read-only targets and a log it cannot write.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "convert/FolderFiles.h"
#include "support/FileAccess.h"
#include "support/RunProgram.h"

namespace fs = std::filesystem;

namespace {
bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

class FolderWalkSafety : public ::testing::Test {
protected:
    void SetUp() override {
        root = tmp / "root";
        in = tmp / "In";
        fs::create_directories(in + "/Sub");
        fs::create_directories(root);
        WriteFile(in + "/a.txt", "a cat\n");
        WriteFile(in + "/Sub/b.txt", "b cat\n");
        std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
        block.replace(block.find("x\n---x---\n"), 10, "cat\ndog\n");
        libfile = tmp / "lib.txt";
        WriteFile(libfile, "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n" + block);
    }
    JobRun Run(const std::vector<std::string>& args) {
        return RunJob(args, root, tmp / "stderr.txt", tmp.path());
    }
    std::vector<std::string> Job(const std::string& input, const std::string& output) {
        std::vector<std::string> a{"-input=" + input + ",", "-libfile=" + libfile + ",", "-default=y"};
        if (!output.empty()) a.insert(a.begin() + 1, "-output=" + output + ",");
        return a;
    }
    TempDir tmp;
    std::string root, in, libfile;
};
}  // namespace

TEST_F(FolderWalkSafety, LinksOutsideAreNamedAndAFileReachedTwiceIsConvertedOnce) {
    TempDir outside;
    WriteFile(outside / "secret.txt", "cat outside\n");
    ::symlink((outside / "secret.txt").c_str(), (in + "/leak.txt").c_str());
    ::symlink("a.txt", (in + "/twin.txt").c_str());         // a link and its target
    ::symlink("../a.txt", (in + "/Sub/twin2.txt").c_str());  // a second link to it
    ::symlink(outside.path().c_str(), (in + "/dirlink").c_str());

    CJobFolderWalk walk = WalkJobFolder(in, in, "*.*", "");
    EXPECT_EQ(walk.files, (std::vector<std::string>{walk.root + "a.txt", walk.root + "Sub/b.txt"}));
    EXPECT_TRUE(Contains(walk.skipped, in + "/leak.txt leads outside the input folder"));
    EXPECT_TRUE(Contains(walk.skipped, "twin.txt is the same file as " + walk.root + "a.txt"));
    EXPECT_TRUE(walk.problems.empty());

    // In place: the file the links share gets the library once, the
    // outside file is left alone.
    JobRun r = Run(Job(in, ""));
    EXPECT_EQ(r.exitCode, 0) << r.err << r.log;
    EXPECT_EQ(ReadFile(in + "/a.txt"), "a dog\n");
    EXPECT_EQ(ReadFile(outside / "secret.txt"), "cat outside\n");
    EXPECT_TRUE(fs::is_symlink(in + "/twin.txt"));
    EXPECT_NE(r.log.find("leak.txt leads outside the input folder"), std::string::npos) << r.log;
}

TEST_F(FolderWalkSafety, EveryNameOfAHardLinkedFileGetsItsMirrorWhileInPlaceItIsConvertedOnce) {
    ASSERT_EQ(::link((in + "/a.txt").c_str(), (in + "/Sub/hard.txt").c_str()), 0);
    JobRun r = Run(Job(in, tmp / "Out"));
    EXPECT_EQ(r.exitCode, 0) << r.err << r.log;
    EXPECT_EQ(ReadFile(tmp / "Out/a.txt"), "a dog\n");
    EXPECT_EQ(ReadFile(tmp / "Out/Sub/hard.txt"), "a dog\n");
    CJobFolderWalk walk = WalkJobFolder(in, in, "*.*", "");
    EXPECT_EQ(walk.files.size(), 2u);
    EXPECT_TRUE(Contains(walk.skipped, "is the same file as"));
}

TEST_F(FolderWalkSafety, AnUnreadableFolderOrAPathPastTheLimitFailsTheJob) {
    {
        fs::create_directories(in + "/Locked");
        WriteFile(in + "/Locked/c.txt", "cat\n");
        ::chmod((in + "/Locked").c_str(), 0);
        ScopedFilePermissionsApply asUser;
        if (asUser.ok()) {
            CJobFolderWalk walk = WalkJobFolder(in, tmp / "Out", "*.*", "");
            EXPECT_TRUE(Contains(walk.problems, "The folder " + walk.root + "Locked/ could not be read"));
            EXPECT_EQ(walk.files.size(), 2u);
        }
        ::chmod((in + "/Locked").c_str(), 0700);
        fs::remove_all(in + "/Locked");
    }
    // Folders nested past the system's path limit, made one level at a time.
    int fd = ::open((in + "/Sub").c_str(), O_RDONLY | O_DIRECTORY);
    const std::string level(200, 'd');
    for (int i = 0; i < 24 && fd >= 0; ++i) {
        ::mkdirat(fd, level.c_str(), 0755);
        int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        if (i == 23) {
            int f = ::openat(next, "deep.txt", O_WRONLY | O_CREAT, 0644);
            ::close(f);
        }
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    CJobFolderWalk walk = WalkJobFolder(in, tmp / "Out", "*.*", "");
    EXPECT_TRUE(Contains(walk.problems, "is longer than the system allows")) << walk.problems.size();
    JobRun r = Run(Job(in, tmp / "Out"));
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.log.find("is longer than the system allows"), std::string::npos);
    EXPECT_EQ(ReadFile(tmp / "Out/a.txt"), "a dog\n");  // the rest is converted
}

TEST_F(FolderWalkSafety, AnOutputFolderInsideTheInputIsLeftOutOfTheWalk) {
    const std::string out = in + "/Out";
    JobRun r = Run(Job(in, out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(out + "/a.txt"), "a dog\n");
    r = Run(Job(in, out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(out + "/Out"));
    EXPECT_NE(r.log.find("lies inside the input folder; it is left out"), std::string::npos) << r.log;
}

// What a killed job left beside its outputs ("NAME.qvl-part-XXXXXX") is never
// taken as input, and the next job removes the stale ones of the folders it
// writes; one newer than the job's start (a run going on now) stays.
TEST_F(FolderWalkSafety, TemporariesOfAKilledRunAreNoInputAndTheJobRemovesStaleOnes) {
    const auto aged = [](const std::string& path, std::chrono::hours by) {
        WriteFile(path, "a cat\n");
        fs::last_write_time(path, fs::file_time_type::clock::now() + by);
    };
    const std::string out = tmp / "Out";
    fs::create_directories(out + "/Sub");
    aged(in + "/a.txt.qvl-part-Ab12Cd", std::chrono::hours(-1));
    aged(in + "/Sub/b.txt.qvl-part-Zz99Yy", std::chrono::hours(1));
    aged(out + "/a.txt.qvl-part-Qq11Ww", std::chrono::hours(-1));
    aged(out + "/Sub/b.txt.qvl-part-Rr22Tt", std::chrono::hours(-2));
    aged(out + "/Sub/b.txt.qvl-part-Ff33Gg", std::chrono::hours(1));
    JobRun r = Run(Job(in, out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(out + "/a.txt"), "a dog\n");
    EXPECT_EQ(ReadFile(out + "/Sub/b.txt"), "b dog\n");
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(out)) left.push_back(e.path().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{out + "/Sub", out + "/Sub/b.txt",
                                              out + "/Sub/b.txt.qvl-part-Ff33Gg", out + "/a.txt"}));
    EXPECT_NE(r.log.find("Removed 1 temporary file(s) left by an unfinished save in " + out + "/Sub/"),
              std::string::npos)
        << r.log;
    // The input folder was not written: its temporaries stay, until a job
    // converts it in place.
    EXPECT_TRUE(fs::exists(in + "/a.txt.qvl-part-Ab12Cd"));
    r = Run(Job(in, ""));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(in + "/a.txt.qvl-part-Ab12Cd"));
    EXPECT_EQ(ReadFile(in + "/Sub/b.txt.qvl-part-Zz99Yy"), "a cat\n");  // not converted
    EXPECT_EQ(ReadFile(in + "/a.txt"), "a dog\n");
}

TEST_F(FolderWalkSafety, PipesAndDevicesAsInputLibraryOrLogAreRefused) {
    const std::string fifo = tmp / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Neither blocks: both are refused before anything opens them.
    JobRun r = Run(Job(fifo, tmp / "o.txt"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not a regular file or a directory"), std::string::npos) << r.err;
    r = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "o.txt,", "-libfile=" + fifo + ",", "-default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("The library file " + fifo + " is not a regular file"), std::string::npos) << r.err;
    // A pipe inside an input folder is left out.
    ASSERT_EQ(::mkfifo((in + "/Sub/p").c_str(), 0644), 0);
    r = Run(Job(in, tmp / "Out"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.log.find("Sub/p is not a regular file; not converted."), std::string::npos) << r.log;

    // A pipe as the job's log, which nobody reads: the job does not wait for a reader.
    const std::string logPipe = root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt";
    fs::remove(logPipe);
    ASSERT_EQ(::mkfifo(logPipe.c_str(), 0644), 0);
    std::atomic<bool> ended{false};
    std::thread rescue([&] {
        // A job that does wait is let go after a while, so that this test ends.
        for (int i = 0; i < 1000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (ended) return;
        const int fd = ::open(logPipe.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    ProgramRun p = RunProgram(Job(in + "/a.txt", tmp / "o2.txt"), root, tmp / "stderr.txt", tmp.path());
    ended = true;
    rescue.join();
    EXPECT_EQ(p.exitCode, 1) << p.err;
    EXPECT_NE(p.err.find("cannot open the batch log"), std::string::npos) << p.err;
}

TEST_F(FolderWalkSafety, OutputTargetsThatAreNoPlainFilesAreRefusedWithExitTwo) {
    // A named pipe at the output stays a pipe.
    const std::string fifo = tmp / "out-fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    JobRun r = Run(Job(in + "/a.txt", fifo));
    EXPECT_EQ(r.exitCode, 2) << r.err;
    struct stat st {};
    ::lstat(fifo.c_str(), &st);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_NE(r.log.find("named pipe; it is not replaced"), std::string::npos) << r.log;

    // A read-only target is a failure, not rewritten.
    const std::string ro = tmp / "ro.txt";
    WriteFile(ro, "keep");
    ::chmod(ro.c_str(), 0444);
    r = Run(Job(in + "/a.txt", ro));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(ReadFile(ro), "keep");

    // A 0600 target stays 0600; a link target stays a link.
    const std::string priv = tmp / "priv.txt";
    WriteFile(priv, "old");
    ::chmod(priv.c_str(), 0600);
    ::symlink(priv.c_str(), (tmp / "to-priv").c_str());
    r = Run(Job(in + "/a.txt", tmp / "to-priv"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(priv), "a dog\n");
    ::lstat(priv.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(fs::is_symlink(tmp / "to-priv"));

    if (::geteuid() != 0) GTEST_SKIP() << "device nodes need root";
    const std::string full = tmp / "full";
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    r = Run(Job(in + "/a.txt", full));
    EXPECT_EQ(r.exitCode, 2) << r.err;
    ::lstat(full.c_str(), &st);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 7));
}

TEST_F(FolderWalkSafety, ALibraryIndexWithTrailingJunkIsRefused) {
    for (const char* bad : {"1abc", "0x1", "1 2", "1.5"}) {
        JobRun r = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "o.txt,",
                        "-libfile=" + libfile + ",", std::string("-libind=") + bad + ",", "-default=y"});
        EXPECT_EQ(r.exitCode, 1) << bad;
        EXPECT_NE(r.err.find(std::string("Invalid library index ") + bad), std::string::npos) << r.err;
    }
    JobRun r = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "o.txt,",
                    "-libfile=" + libfile + ",", "-libind= 0 ,", "-default=y"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(FolderWalkSafety, ALogThatCannotBeWrittenIsSaidOnStderrAndFailsTheJob) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string cmdArea = root + "/QVL-WorkFiles/Cmd-Area";
    fs::create_directories(cmdArea);
    ::symlink("/dev/full", (cmdArea + "/cmd_log.txt").c_str());
    ProgramRun p = RunProgram(Job(in + "/a.txt", tmp / "o.txt"), root, tmp / "stderr.txt", tmp.path());
    EXPECT_NE(p.exitCode, 0);
    EXPECT_NE(p.err.find("writing the batch log failed"), std::string::npos) << p.err;
    EXPECT_EQ(ReadFile(tmp / "o.txt"), "a dog\n");  // the work itself was done
}
