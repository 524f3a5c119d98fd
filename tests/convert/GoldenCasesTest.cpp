// Golden cases as folders: tests/data/convert/cases/<case>/ holds input.txt,
// macros.txt (Find, Replace and flag lines as in the library file) and
// expected.txt. Each case is converted three ways, which must all write the
// expected bytes: through the batch, file to file; through the preview
// (instances created, then committed); and by the command-line job with the
// case's macros as its library file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "model/LibraryFile.h"
#include "support/RunProgram.h"

namespace fs = std::filesystem;

TEST(GoldenCases, EveryCaseFolderConvertsToItsExpectedFileByEveryRoad) {
    const fs::path root = fs::path(QVL_TEST_DATA) / "convert" / "cases";
    int cases = 0;
    for (const fs::directory_entry& dir : fs::directory_iterator(root)) {
        if (!dir.is_directory()) continue;
        ++cases;
        const std::string name = dir.path().filename().string();
        std::ifstream macrosIn(dir.path() / "macros.txt", std::ios::binary);
        CLibraryList list = OneLibrary({});
        ReadMacroList(macrosIn, kMacroListEnd, true, list.Libraries[0].MacroList);
        ASSERT_FALSE(list.Libraries[0].MacroList.empty()) << name;
        const std::string input = (dir.path() / "input.txt").string();
        const std::string expected = ReadFile((dir.path() / "expected.txt").string());

        TempDir tmp;
        CFindRepPreview p;
        p.InputName = input;
        p.OutputName = tmp / "out.txt";
        p.Mode = "O";
        list.Previews = {p};
        list.m_Run.nBatchStep = 0;
        list.m_Run.nLibraryIndex = 0;
        EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0) << name;
        EXPECT_EQ(ReadFile(tmp / "out.txt"), expected) << name;

        // Create instances, then commit them all. A library with a sub-filter
        // is refused there.
        bool subFilter = false;
        for (const CMacro& m : list.Libraries[0].MacroList) subFilter |= m.IsActive && m.IsSubFilter;
        if (!subFilter) {
            list.Previews[0].OutputName = tmp / "committed.txt";
            list.m_Run.nBatchStep = 1;
            EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0) << name;
            EXPECT_FALSE(list.Previews[0].Instances.empty()) << name;
            list.m_Run.nBatchStep = 2;
            EXPECT_EQ(CConversionEngine(list).BatchConversionThreadTail(), 0) << name;
            EXPECT_EQ(ReadFile(tmp / "committed.txt"), expected) << name << " (commit)";
        }

        std::ostringstream lib;
        lib << "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n";
        WriteLibraries(lib, list);
        WriteFile(tmp / "lib.txt", lib.str());
        fs::create_directories(tmp / "root");
        JobRun r = RunJob({"-input=" + input + ",", "-output=" + tmp / "job.txt,",
                           "-libfile=" + tmp / "lib.txt,", "-libind=0,", "-default=y"},
                          tmp / "root", tmp / "stderr.txt", tmp.path());
        EXPECT_EQ(r.exitCode, 0) << name << r.err;
        EXPECT_EQ(ReadFile(tmp / "job.txt"), expected) << name << " (job)\n" << r.log;
    }
    EXPECT_GE(cases, 8);
}
