#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTest>
#include <filesystem>

#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "model/WorkArea.h"
#include "support/TempDir.h"

TEST(AppStart, WindowRoadOpensAndClosesCleanly) {
    TempDir tmp;
    ScopedEnv root("QVL_ROOT", (tmp / "area").c_str());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(tmp / "settings"));
    {
        CQuorvellianApp theApp;
        ASSERT_TRUE(theApp.InitInstance());
        EXPECT_EQ(QCoreApplication::organizationName(), "QuorvellianToolbars-1.0.735.0");
        EXPECT_EQ(QCoreApplication::applicationName(), "Quorvellian");
        EXPECT_EQ(theApp.RecentFiles().Size(), 4);
        ASSERT_NE(theApp.MainFrame(), nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(theApp.MainFrame()));
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
