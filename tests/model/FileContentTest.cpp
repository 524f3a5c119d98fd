#include <filesystem>

#include "ModelFixture.h"

namespace fs = std::filesystem;

class FileContentTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        data.EnsureCurrentBasket();
        for (const char* n : {"a", "b"}) {
            CFileItem it(n);
            it.LocalDir = tmp.dir() + "src/";
            it.RemoteDir = "/r/";
            data.InsertFileItems(0, 0, 0, -1, it);
        }
        CreateFolderPath(tmp.dir() + "src/");
    }
    CProgramData data;
};

TEST_F(FileContentTest, RenameLocalFileNeverOverwrites) {
    std::string error;
    WriteFile(tmp.dir() + "src/one", "1");
    WriteFile(tmp.dir() + "src/two", "2");
    EXPECT_FALSE(RenameLocalFile(tmp.dir() + "src/one", tmp.dir() + "src/two", error));
    EXPECT_EQ(error.rfind("Failed to rename " + tmp.dir() + "src/one: ", 0), 0u);
    EXPECT_EQ(ReadFile(tmp.dir() + "src/two"), "2");
    EXPECT_TRUE(RenameLocalFile(tmp.dir() + "src/one", tmp.dir() + "new/dir/one", error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(ReadFile(tmp.dir() + "new/dir/one"), "1");
    EXPECT_FALSE(RenameLocalFile(tmp.dir() + "src/one", tmp.dir() + "x", error));
    EXPECT_EQ(error, "Original file is missing.");
}

TEST_F(FileContentTest, UrlShortcutAndFolderPicker) {
    WriteFile(tmp / "site.url", "[DEFAULT]\r\nBASEURL=http://example.com/  \r\n");
    std::string name = "n", address = "a";
    ReadUrlShortcut(tmp / "none.url", "none.url", name, address);
    EXPECT_EQ(name, "n");
    ReadUrlShortcut(tmp / "site.url", "site.url", name, address);
    EXPECT_EQ(name, "site");
    EXPECT_EQ(address, "http://example.com/");
    WriteFile(tmp / "short.url", "BASEURL=http://x");
    ReadUrlShortcut(tmp / "short.url", "short.url", name, address);
    EXPECT_EQ(address, "");

    prompter.folders = {std::string("/home//u"), std::nullopt};
    EXPECT_EQ(BrowseForLocalFolder(), "/home/u/");
    EXPECT_EQ(BrowseForLocalFolder(), "");
    EXPECT_EQ(GetDirectoryPart("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(GetDirectoryPart("c.txt"), "");
}
