// The program's pictures: every toolbar button shows its own drawn picture
// and names its command; the list pictures keep their meanings apart; the
// SVG files are what the generator writes and hold no lettering.
#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "widgets/Icons.h"
#include "app/CompareCommands.h"
#include "app/ConversionCommands.h"
#include "app/MainFrame.h"
#include "app/MenuMnemonics.h"
#include "compare/ui/MasterFileDlg.h"
#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "convert_ui/ui/DefinedMacrosDlg.h"
#include "convert_ui/ui/DelimiterListDlg.h"
#include "convert_ui/ui/WildCardManagerDlg.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/TabulateInputTextDlg.h"
#include "remote/ui/AccountPropertiesDlg.h"
#include "UiFixture.h"

namespace {

QImage Render(const QIcon& icon, int px) { return icon.pixmap(px, px).toImage().convertToFormat(QImage::Format_ARGB32); }

// The number of pixels a picture actually paints.
int PaintedPixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 64) ++n;
    return n;
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const std::filesystem::path kRes = std::filesystem::path(QVL_SOURCE_DIR) / "src/app/res";

class IconsTest : public UiTest {};

}  // namespace

TEST_F(IconsTest, EveryToolbarButtonShowsItsOwnPictureAndNamesItsCommand) {
    CMainFrame frame;
    const QList<QToolBar*> bars = frame.findChildren<QToolBar*>();
    ASSERT_EQ(bars.size(), 5);
    int buttons = 0;
    for (QToolBar* bar : bars) {
        const QString where = bar->windowTitle();
        std::map<QByteArray, QString> pictures;
        for (QAction* a : bar->actions()) {
            if (a->isSeparator()) continue;
            ++buttons;
            const QString id = a->objectName();
            SCOPED_TRACE((where + " button " + id).toStdString());
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
            ASSERT_NE(button, nullptr);

            // Its own picture from the resources, painted at the bar's size.
            const QString path = CommandIconPath(id.toInt());
            ASSERT_TRUE(QFile::exists(path)) << "no picture drawn for this command";
            const int px = bar->iconSize().width();
            const QImage shown = Render(button->icon(), px);
            ASSERT_FALSE(shown.isNull());
            EXPECT_EQ(shown, Render(QIcon(path), px)) << "the button does not show its resource picture";
            EXPECT_GT(PaintedPixels(Render(button->icon(), 16)), 40) << "the picture is (nearly) empty at 16 px";
            const QByteArray bits(reinterpret_cast<const char*>(shown.constBits()), int(shown.sizeInBytes()));
            auto [it, fresh] = pictures.emplace(bits, id);
            EXPECT_TRUE(fresh) << "same picture as command " << it->second.toStdString();

            // A tooltip that is the command's name, not its number.
            const QString tip = button->toolTip();
            EXPECT_FALSE(tip.trimmed().isEmpty());
            EXPECT_NE(tip, id);
            EXPECT_EQ(tip, WithoutMnemonic(a->text().section('\t', 0, 0)));
        }
    }
    EXPECT_EQ(buttons, 12 + 16 + 11 + 7 + 8);
}

TEST_F(IconsTest, ACommandWithoutAPictureShowsNone) {
    // No lettered stand-in: a command with no drawing has no icon at all.
    EXPECT_TRUE(CommandIcon(32534, "File: a. Lower case filenames").isNull());
    EXPECT_TRUE(CommandIcon(1).isNull());
    CMainFrame frame;
    ASSERT_NE(frame.Action(32534), nullptr);
    EXPECT_TRUE(frame.Action(32534)->icon().isNull());
    // A command with a drawing shows it in its menu too.
    EXPECT_EQ(Render(frame.Action(32502)->icon(), 16), Render(QIcon(CommandIconPath(32502)), 16));
}

TEST_F(IconsTest, CommandPicturesAreDrawnNotLettered) {
    // Every picture of every set: drawn shapes only (file-type tags are drawn
    // in a pixel font, so no set needs lettering either).
    int count = 0;
    for (QDirIterator it(":/icons", {"*.svg"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray svg = f.readAll();
        EXPECT_FALSE(svg.contains("<text")) << path.toStdString();
        EXPECT_TRUE(svg.contains("viewBox=\"0 0 16 16\"")) << path.toStdString();
        ++count;
    }
    EXPECT_GT(count, 100);
    // Every command picture differs from every other.
    std::map<QByteArray, QString> seen;
    for (const QString& name : QDir(":/icons/cmd").entryList({"*.svg"}, QDir::Files)) {
        const QImage img = Render(QIcon(":/icons/cmd/" + name), 16);
        const QByteArray bits(reinterpret_cast<const char*>(img.constBits()), int(img.sizeInBytes()));
        auto [it, fresh] = seen.emplace(bits, name);
        EXPECT_TRUE(fresh) << name.toStdString() << " looks like " << it->second.toStdString();
    }
}

TEST_F(IconsTest, DialogButtonsShowTheirPicturesAndTheHintsTheirColours) {
    CMainFrame frame;
    CBatchTextConversionDlg* batch = frame.ConversionCommands().Batch();
    ASSERT_NE(batch, nullptr);
    CDelimiterListDlg delimiters(DefaultDelimList(), &frame);
    CWildCardManagerDlg wildCards(&frame.Data(), &frame);
    CAccountPropertiesDlg account(CHost(), frame.Data(), &frame);
    CTabulateInputTextDlg sql(1, "a|b", "1|2", &frame);
    // The buttons that show pictures: by window, their ids and picture sizes.
    struct Group {
        QWidget* window;
        std::vector<const char*> ids;
    };
    const std::vector<Group> groups = {
        {batch, {"1351", "1528", "1349", "1800", "1806", "1855", "1348", "1861", "1737", "1796", "1792"}},
        {&batch->OutputFilenames(), {"1855", "1857", "1858"}},
        {frame.ConversionCommands().Library(), {"1750", "1745", "1320", "1594", "1751", "1752", "1695"}},
        {&frame.CompareCommands().Palette(),
         {"1357", "1356", "1362", "1365", "1355", "1353", "1358", "1363", "1361", "1352", "1359"}},
        {&delimiters, {"1315", "1746", "1556"}},
        {&wildCards, {"1315", "1746", "1556"}},
        {&account, {"1419", "1420", "1421", "1428", "1423", "1430", "1425", "1427"}},
        {&frame.ConversionCommands().WorkPad(),
         {"32646", "1343", "1696", "1413", "1379", "32645", "32660", "32632"}},
        {frame.ConversionCommands().Attributes(), {"1367", "1454"}},
        {&sql, {"1344", "1345", "1438", "1436", "1435"}},
    };
    int count = 0;
    for (const Group& g : groups) {
        std::map<QByteArray, std::string> seen;
        for (const char* id : g.ids) {
            SCOPED_TRACE(g.window->windowTitle().toStdString() + " button " + id);
            auto* b = g.window->findChild<QPushButton*>(id);
            ASSERT_NE(b, nullptr);
            EXPECT_TRUE(b->text().isEmpty()) << b->text().toStdString();
            EXPECT_FALSE(b->toolTip().isEmpty());
            EXPECT_FALSE(b->accessibleName().isEmpty());
            EXPECT_NE(b->accessibleName(), ">>");
            const QImage img = Render(b->icon(), 16);
            ASSERT_FALSE(img.isNull());
            EXPECT_GT(PaintedPixels(img), 40);
            const QByteArray bits(reinterpret_cast<const char*>(img.constBits()), int(img.sizeInBytes()));
            auto [it, fresh] = seen.emplace(bits, id);
            EXPECT_TRUE(fresh) << "looks like " << it->second;
            ++count;
        }
    }
    EXPECT_EQ(count, 61);
    // The item lists' buttons keep their captions as names and tips.
    for (QWidget* w : {static_cast<QWidget*>(&delimiters), static_cast<QWidget*>(&wildCards)})
        for (auto [id, caption] : {std::pair{"1315", "Add"}, {"1746", "Modify"}, {"1556", "Delete"}}) {
            auto* b = w->findChild<QPushButton*>(id);
            EXPECT_EQ(b->accessibleName(), caption);
            EXPECT_EQ(b->toolTip(), caption);
        }
    // The captions the pictures replace stay the buttons' names.
    for (auto [w, id, caption] : {std::tuple<QWidget*, const char*, const char*>{&account, "1419", "Connect"},
                                  {&account, "1420", "Disconnect"},
                                  {&account, "1423", "Remove"},
                                  {&frame.ConversionCommands().WorkPad(), "1413", "Convert"},
                                  {&frame.ConversionCommands().WorkPad(), "1343", "x"},
                                  {&frame.ConversionCommands().WorkPad(), "32646", "Left"},
                                  {frame.ConversionCommands().Attributes(), "1454", "Wild-card manager"},
                                  {&sql, "1438", "Update"},
                                  {&sql, "1435", "Delete"}})
        EXPECT_EQ(w->findChild<QPushButton*>(id)->accessibleName(), caption) << id;
    EXPECT_EQ(frame.ConversionCommands().WorkPad().findChild<QPushButton*>("32646")->toolTip(), "Left");
    EXPECT_EQ(frame.ConversionCommands().WorkPad().findChild<QPushButton*>("1343")->toolTip(), "Clear Find edit-box");
    // The add and delete badges read as "+" and a cross at 16 px: the mark is
    // of whole white pixels on the badge's colour, not a blur that reads as
    // a ring.
    for (const char* id : {"1315", "1556"}) {
        const QImage img = Render(delimiters.findChild<QPushButton*>(id)->icon(), 16);
        int white = 0, blurred = 0;
        for (int y = 9; y <= 13; ++y)
            for (int x = 9; x <= 13; ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.lightness() > 235) ++white;
                else if (c.hsvSaturation() < 150) ++blurred;
            }
        EXPECT_GE(white, 5) << id;
        EXPECT_LE(blurred, 1) << id;
    }
    // The hints name the buttons by their colours: the one that finds the
    // text is green, the one that shows the library yellow, and no other.
    auto share = [&](const char* id, auto test) {
        const QImage img = Render(batch->findChild<QPushButton*>(id)->icon(), 32);
        int hit = 0, all = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.alpha() < 128) continue;
                ++all;
                if (test(c)) ++hit;
            }
        return all ? double(hit) / all : 0.0;
    };
    auto green = [](const QColor& c) { return c.hsvHue() >= 100 && c.hsvHue() <= 160 && c.hsvSaturation() > 100; };
    auto yellow = [](const QColor& c) { return c.hsvHue() >= 40 && c.hsvHue() <= 60 && c.hsvSaturation() > 100; };
    batch->SetPreviewLayout(true);
    EXPECT_EQ(batch->findChild<QLineEdit*>("1803")->text(), "Use GREEN button to find text in files");
    EXPECT_GT(share("1796", green), 0.4);
    batch->SetPreviewLayout(false);
    EXPECT_EQ(batch->findChild<QLineEdit*>("1803")->text(),
              "Use YELLOW button to set up your library for the conversion process.");
    EXPECT_GT(share("1861", yellow), 0.4);
    for (const char* id : {"1351", "1528", "1349", "1800", "1806", "1855", "1348", "1737", "1792"}) {
        EXPECT_LT(share(id, green), 0.4) << id;
        EXPECT_LT(share(id, yellow), 0.4) << id;
    }
}

TEST_F(IconsTest, ListPicturesKeepTheirMeaningsApart) {
    auto picture = [](const char* set, int i) { return Render(ListIcon(set, i), 16); };
    // Every image index the lists and trees use is drawn.
    const std::map<std::string, std::vector<int>> used = {
        {"file", {}}, {"basket", {0, 1, 2}}, {"session", {0, 1, 2, 3, 4}},
        {"account", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}}, {"lib", {4, 5}}};
    for (const auto& [set, indices] : used) {
        std::vector<int> all = indices;
        if (set == "file")
            for (int i = 0; i <= 30; ++i) all.push_back(i);
        for (int i : all) {
            SCOPED_TRACE(set + " " + std::to_string(i));
            const QImage img = picture(set.c_str(), i);
            ASSERT_FALSE(img.isNull());
            EXPECT_GT(PaintedPixels(img), 40);
        }
    }
    // The file pictures 0-30 (types, pins, origins and the change marks) are
    // all told apart, except that the mark 25 stands for two states.
    std::map<QByteArray, int> files;
    for (int i = 0; i <= 30; ++i) {
        const QImage img = picture("file", i);
        const QByteArray bits(reinterpret_cast<const char*>(img.constBits()), int(img.sizeInBytes()));
        auto [it, fresh] = files.emplace(bits, i);
        EXPECT_TRUE(fresh) << "file picture " << i << " looks like " << it->second;
    }
    // A basket with local changes, the current session and the current
    // account look different from the plain ones.
    EXPECT_NE(picture("basket", 2), picture("basket", 0));
    EXPECT_NE(picture("session", 4), picture("session", 3));
    EXPECT_NE(picture("session", 3), picture("session", 2));
    for (int status : {2, 4, 6}) EXPECT_NE(picture("account", status + 1), picture("account", status));
    EXPECT_NE(picture("account", 2), picture("account", 4));
    EXPECT_NE(picture("account", 4), picture("account", 6));
    // An index past the drawn ones gives no picture rather than a wrong one.
    EXPECT_TRUE(ListIcon("file", 31).isNull());
}

TEST_F(IconsTest, ResourcesAreWhatTheGeneratorWrites) {
    // The committed SVGs and the resource list come from make_icons.py: run it
    // into a scratch folder and compare file by file.
    const std::filesystem::path gen = tmp / "gen", out = gen / "res";
    std::filesystem::create_directories(out);
    const std::string cmd = "python3 '" + (kRes / "make_icons.py").string() + "' '" + out.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    int files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
        if (!e.is_regular_file()) continue;
        const auto rel = std::filesystem::relative(e.path(), out);
        SCOPED_TRACE(rel.string());
        ASSERT_TRUE(std::filesystem::exists(kRes / rel)) << "not committed";
        EXPECT_TRUE(ReadAll(e.path()) == ReadAll(kRes / rel)) << "differs from the generator's output";
        EXPECT_TRUE(QFile::exists(":/icons/" + QString::fromStdString(rel.generic_string())))
            << "not in the resources";
        ++files;
    }
    for (const auto& e : std::filesystem::recursive_directory_iterator(kRes))
        if (e.path().extension() == ".svg")
            EXPECT_TRUE(std::filesystem::exists(out / std::filesystem::relative(e.path(), kRes)))
                << e.path() << " is no longer drawn by the generator";
    EXPECT_GT(files, 100);
    EXPECT_TRUE(ReadAll(gen / "quorvellian.qrc") == ReadAll(kRes / ".." / "quorvellian.qrc"))
        << "the resource list differs from the generator's output";
}
