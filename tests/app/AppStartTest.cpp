#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/QuorvellianApp.h"
#include "model/WorkArea.h"
#include "support/TempDir.h"

TEST(AppStart, WindowRoadOpensAndClosesCleanly) {
    TempDir tmp;
    ScopedEnv root("QVL_ROOT", (tmp / "area").c_str());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(tmp / "settings"));
    // What a run killed mid-way left: a file parked by a rename and the
    // temporary file of a save.
    const std::string mine = tmp / "mine";
    std::filesystem::create_directories(mine);
    std::filesystem::create_directories(tmp / "area/QVL-WorkFiles/Loading-Area/temp/delme" + mine);
    WriteFile(tmp / "area/QVL-WorkFiles/Loading-Area/temp/delme" + mine + "/kept.txt", "parked");
    const std::string part = tmp / "area/QVL-UserInfo/SessionInfo/_qvl_master.txt.qvl-part-k9Lx2Q";
    std::filesystem::create_directories(tmp / "area/QVL-UserInfo/SessionInfo");
    WriteFile(part, "half a save");
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, part.c_str(), old, 0);
    {
        CQuorvellianApp theApp;
        ASSERT_TRUE(theApp.InitInstance());
        EXPECT_EQ(ReadFile(mine + "/kept.txt"), "parked");
        EXPECT_FALSE(std::filesystem::exists(part));
        const std::string log = theApp.MainFrame()->MessageWindow().GetText();
        EXPECT_NE(log.find("Rename: 1 file(s) left in the temporary folder"), std::string::npos) << log;
        EXPECT_NE(log.find("Removed 1 temporary file(s) left by an unfinished save"), std::string::npos) << log;
        EXPECT_EQ(QCoreApplication::organizationName(), "QuorvellianToolbars-1.0.735.0");
        EXPECT_EQ(QCoreApplication::applicationName(), "Quorvellian");
        EXPECT_EQ(theApp.RecentFiles().Size(), 4);
        ASSERT_NE(theApp.MainFrame(), nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(theApp.MainFrame(), 30000));
        EXPECT_TRUE(std::filesystem::is_directory(tmp / "area/QVL-UserInfo/LibraryInfo"));

        theApp.RecentFiles().Add("/a");
        for (int i = 0; i < 5; ++i) theApp.RecentFiles().Add(QString("/f%1").arg(i));
        EXPECT_EQ(theApp.RecentFiles().Files().size(), 4);

        EXPECT_TRUE(theApp.MainFrame()->close());
        QApplication::processEvents();
        theApp.ExitInstance();
    }
    QSettings settings;
    EXPECT_TRUE(settings.fileName().startsWith(QString::fromStdString(tmp.path())));
    EXPECT_EQ(settings.value("Recent File List/File1").toString(), "/f4");
}

TEST(AppStart, ANamedPipeAtTheSettingsFileNeitherBlocksNorIsReplaced) {
    TempDir tmp;
    ScopedEnv root("QVL_ROOT", (tmp / "area").c_str());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(tmp / "settings"));
    const std::string folder = tmp / "settings/QuorvellianToolbars-1.0.735.0";
    std::filesystem::create_directories(folder);
    const std::string pipe = folder + "/Quorvellian.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Whoever opens the pipe for reading would wait for a writer: this one
    // notices such a reader and lets it go, so the test never hangs.
    std::atomic<bool> done{false}, readerWaited{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                readerWaited = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    {
        CQuorvellianApp theApp;
        const bool started = theApp.InitInstance();
        EXPECT_TRUE(started);
        if (started) {
            EXPECT_TRUE(theApp.RecentFiles().Files().isEmpty());
            EXPECT_TRUE(theApp.MainFrame()->MessageWindow().GetText().find(
                            "The settings file " + pipe + " is not a regular file") != std::string::npos)
                << theApp.MainFrame()->MessageWindow().GetText();
            theApp.RecentFiles().Add("/a");
            EXPECT_TRUE(theApp.MainFrame()->close());
            QApplication::processEvents();
            theApp.ExitInstance();
        }
    }
    done = true;
    writer.join();
    EXPECT_FALSE(readerWaited);
    struct stat st {};
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(tmp / "settings"));
}
