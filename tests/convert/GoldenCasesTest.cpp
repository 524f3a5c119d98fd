// Golden cases as folders: tests/data/convert/cases/<case>/ holds input.txt,
// macros.txt (Find, Replace and flag lines as in the library file) and
// expected.txt. Each case is converted through the batch, file to file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../support/TempDir.h"
#include "EngineTestUtil.h"
#include "convert/ConversionEngine.h"
#include "model/LibraryFile.h"

namespace fs = std::filesystem;

TEST(GoldenCases, EveryCaseFolderConvertsToItsExpectedFile) {
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

        TempDir tmp;
        const std::string out = tmp / "out.txt";
        CFindRepPreview p;
        p.InputName = (dir.path() / "input.txt").string();
        p.OutputName = out;
        p.Mode = "O";
        list.Previews = {p};
        list.m_Run.nBatchStep = 0;
        list.m_Run.nLibraryIndex = 0;
        EXPECT_EQ(CConversionEngine(list).RunBatchReport(), 0) << name;
        EXPECT_EQ(ReadFile(out), ReadFile((dir.path() / "expected.txt").string())) << name;
    }
    EXPECT_GE(cases, 6);
}
