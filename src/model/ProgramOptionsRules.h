// The rules of the Program Options dialog: the working copies of the
// options, their check before anything is written, the page tree with its
// codes, the controls and comment of each page, and the programs that the
// stored editor and terminal values stand for on this platform.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The values the dialog edits. Nothing reaches the program's options until
// Apply() runs after a successful Validate().
struct OptionsDraft {
    bool autoUpBasket = true;
    bool autoUpdate = true;
    bool useBinExt = true;
    bool closeLibrary = false;
    bool closeWorkPad = false;
    bool ftpUpdate = true;
    bool singleClick = false;
    bool sound = false;
    bool trace = false;
    std::string binExtStr;
    std::string editor;
    std::string telnet;
    std::string turnOffText;  // the file limit as typed
    std::string txtOpnStr;
    std::string autoUpdateIncText;  // the interval as typed
    int workMode = 0;
    int optionSel = 0;

    // The copies of the current options.
    static OptionsDraft FromOptions();
    // The message that refuses the values, or nothing when they may be written.
    std::optional<std::string> Validate() const;
    // Writes every value to the options. Call only after Validate().
    void Apply() const;
};

// The interval the auto-update check accepts, in seconds.
constexpr int kMinAutoUpdateInc = 1;
constexpr int kMaxAutoUpdateInc = 600;
// The default file limit of auto-update.
constexpr int kDefaultTurnOff = 1000;

// The message of an interval outside its range.
std::string IntervalRangeMessage();
// The file limit a typed text stands for: 0, an empty text, a text that is
// no whole positive number becomes 1000.
int TurnOffFromText(const std::string& text);
// A zero or negative interval or file limit read from the master file
// becomes its default.
void ClampLoadedOptions(int& autoUpdateInc, int& turnOff);

// One item of the page tree.
struct OptionPage {
    int code;
    const char* title;
    int parentCode;  // -1 for the root
};
// The tree in insertion order: the root, then each folder followed by its leaves.
const std::vector<OptionPage>& OptionPages();
// The code of a page title path; unknown items give 0.
bool IsOptionPageCode(int code);
// A code that is no page shows the root.
int NormalisedPageCode(int code);
// The control ids a page shows.
std::vector<int> PageControls(int code);
// The comment text of a page.
std::string PageComment(int code);
// Every control id that belongs to some page.
const std::vector<int>& AllPageControls();

// The program that opens text files for a stored editor value: an empty
// value, "notepad.exe" or another Windows program path means the
// platform's editor ($VISUAL, else $EDITOR, else xdg-open).
std::string ResolveEditorProgram(const std::string& stored);
// Whether a stored program value names a Windows program ("x.exe", "C:\...").
bool IsWindowsProgramPath(const std::string& stored);
