#include "model/ProgramOptionsRules.h"

#include <cctype>
#include <cstdlib>

#include "model/Globals.h"

namespace {

bool IsWholeNumber(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A whole number text, or nothing (leading and trailing blanks allowed).
std::optional<long> ReadNumber(std::string text) {
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!IsWholeNumber(text) || text.size() > 9) return std::nullopt;
    return std::strtol(text.c_str(), nullptr, 10);
}

}  // namespace

OptionsDraft OptionsDraft::FromOptions() {
    OptionsDraft d;
    d.autoUpBasket = g_bAutoUpBasket;
    d.autoUpdate = g_bAutoUpdate;
    d.useBinExt = g_bUseBinExt;
    d.closeLibrary = g_bCloseLibrary;
    d.closeWorkPad = g_bCloseWorkPad;
    d.ftpUpdate = g_bFtpUpdate;
    d.singleClick = g_bSingleClick;
    d.sound = g_bSoundsOn;
    d.trace = g_bTrace;
    d.binExtStr = g_strBinExtStr;
    d.editor = g_strEditor;
    d.telnet = g_strTelnet;
    d.turnOffText = std::to_string(g_nTurnOff);
    d.txtOpnStr = g_strTxtOpnStr;
    d.autoUpdateIncText = std::to_string(g_nAutoUpdateInc);
    d.workMode = g_nWorkMode;
    d.optionSel = g_nOptionSel;
    return d;
}

std::string IntervalRangeMessage() {
    return "Please enter an integer between " + std::to_string(kMinAutoUpdateInc) + " and " +
           std::to_string(kMaxAutoUpdateInc) + ".";
}

std::optional<std::string> OptionsDraft::Validate() const {
    auto n = ReadNumber(autoUpdateIncText);
    if (!n || *n < kMinAutoUpdateInc || *n > kMaxAutoUpdateInc) return IntervalRangeMessage();
    return std::nullopt;
}

void OptionsDraft::Apply() const {
    g_bSingleClick = singleClick;
    g_bCloseLibrary = closeLibrary;
    g_bCloseWorkPad = closeWorkPad;
    g_bAutoUpdate = autoUpdate;
    g_bAutoUpBasket = autoUpBasket;
    g_nAutoUpdateInc = int(ReadNumber(autoUpdateIncText).value_or(kMinAutoUpdateInc));
    g_bFtpUpdate = ftpUpdate;
    g_bSoundsOn = sound;
    g_bTrace = trace;
    g_bUseBinExt = useBinExt;
    g_strEditor = editor;
    g_nTurnOff = TurnOffFromText(turnOffText);
    g_strTelnet = telnet;
    g_strBinExtStr = binExtStr;
    g_strTxtOpnStr = txtOpnStr;
    g_nWorkMode = workMode;
    g_nOptionSel = NormalisedPageCode(optionSel);
}

int TurnOffFromText(const std::string& text) {
    auto n = ReadNumber(text);
    if (!n || *n <= 0) return kDefaultTurnOff;
    return int(*n);
}

void ClampLoadedOptions(int& autoUpdateInc, int& turnOff) {
    if (autoUpdateInc < kMinAutoUpdateInc) autoUpdateInc = 2;
    if (turnOff < 1) turnOff = kDefaultTurnOff;
}

const std::vector<OptionPage>& OptionPages() {
    static const std::vector<OptionPage> pages = {
        {0, "Options", -1},
        {1, "General", 0},
        {101, "Audible Alert", 1},
        {102, "Keystroke mappings", 1},
        {103, "Trace Info", 1},
        {2, "Text Conversion", 0},
        {201, "Work mode", 2},
        {202, "Close Dialog", 2},
        {3, "Editor/Telnet", 0},
        {301, "Editor", 3},
        {302, "Click", 3},
        {303, "Telnet", 3},
        {4, "Auto-Update", 0},
        {401, "Files", 4},
        {402, "Basket", 4},
        {403, "Turn Off", 4},
        {5, "FTP Options", 0},
        {501, "Record Info", 5},
        {502, "Mark BINARY", 5},
    };
    return pages;
}

bool IsOptionPageCode(int code) {
    for (const auto& p : OptionPages())
        if (p.code == code) return true;
    return false;
}

int NormalisedPageCode(int code) { return IsOptionPageCode(code) ? code : 0; }

std::vector<int> PageControls(int code) {
    switch (code) {
        case 101: return {1512};
        case 102: return {1392};
        case 103: return {1523};
        case 201: return {1815, 1814};
        case 202: return {1474};
        case 301: return {1866, 1651, 1372, 1874, 1446, 1667};
        case 302: return {1511};
        case 303: return {1870, 1662, 1443};
        case 401: return {1465, 1596, 1871};
        case 402: return {1464};
        case 403: return {1873, 1665};
        case 501: return {1478};
        case 502: return {1466, 1338, 1598};
        default: return {};
    }
}

const std::vector<int>& AllPageControls() {
    static const std::vector<int> all = [] {
        std::vector<int> v;
        for (const auto& p : OptionPages())
            for (int id : PageControls(p.code)) v.push_back(id);
        return v;
    }();
    return all;
}

std::string PageComment(int code) {
    switch (code) {
        case 101:
            return "Comment: Makes sound after major tasks such as file transfer and data save.\n\n"
                   "It is useful especially when the mode is set to auto-sync. In that case, locally "
                   "modified files are transferred to the remote host in the background and an audio "
                   "confirmation becomes very convenient.";
        case 102:
            return "Comment: By default various keystrokes are mapped to various events.\r\n\r\n"
                   "If you choose to re-arrange these keystrokes mappings, for extra convenience, you "
                   "may do so using this utility.";
        case 103:
            return "Comment: If checked, various tracing information is dumped on the Message "
                   "Window.\r\n\r\nThis trace information is useful to resolve user reported problems "
                   "which are due to possible logical problems inside the main engine.";
        case 201:
            return "Comment: Interactive Text Conversion mode allows you to cut-and-paste a block of "
                   "text onto Input Window, and generate the output onto Output Window. You may use "
                   "WorkPad or a library to convert your text.\r\n\r\nBatch Text Conversion mode "
                   "allows you to convert a set of files using a library.";
        case 202:
            return "Comment: If checked, Library dialog is automatically closed after Export (->) "
                   "button is clicked, since at this stage Work Pad dialog is of interest.";
        case 301:
            return "Comment: If you double-click on a file with one of above extensions, it is opened "
                   "in Notepad (by default) or in an editor of your choice.\n\nSpecify absolute name "
                   "of editor image of your choice. Use >> button to locate the image.\n\n[+] All "
                   "other files are opened by their corresponding applications, per Windows "
                   "convention.";
        case 302:
            return "Comment: If you want to open files using single click, check above button. "
                   "Otherwise, a double-click will open the file from the list.\n\nSingle-click "
                   "opening is sometimes convenient, especially when you have a volume editing on "
                   "your editor and have Quorvellian to behave as a control panel to open files.";
        case 303:
            return "Comment: When you click on Launch telnet button, image specified here will be "
                   "launched for the telnet session.\n\nThis is convenient when you have a "
                   "pre-configured telnet client and you want to use it straight from Quorvellian.";
        case 401:
            return "Comment: If checked, Quorvellian continuously checks if any files of the current "
                   "session have been modified by other applications. If so, their icons change "
                   "automatically.\n\nRecommended - Checked, even though it consumes some CPU in the "
                   "background.\n\nAuto-update is automatically shut off when a basket has more than "
                   "1000 files.";
        case 402:
            return "Comment: If checked, Quorvellian performs auto-update on files for the current "
                   "basket only. This works in conjunction with Auto-Update | Files option.\n\nBy "
                   "checking this item you will save some CPU from auto-update feature.";
        case 403:
            return "Comment: If a session contains a large number of files, auto-update may become "
                   "very cpu-intensive. To avoid this undesirable situation, you should specify a "
                   "limit above so that if your session contains files more than the limit, "
                   "auto-update will automatically turn off.\n\nStrongly recommended 1000 (default) "
                   "or less.";
        case 501:
            return "Comment: If checked, Quorvellian records remote modification time of files just "
                   "transferred to or from remote system. To receive the remote modification time, "
                   "FTP sends one extra command to the remote systems, which amounts to about 10% "
                   "extra time.\n\nRecommended - Checked.";
        case 502:
            return "Comment: Files with the above extentions will be marked as BINARY for FTP "
                   "transfer, whenever they are added to the session list.\r\n\r\nYou may choose to "
                   "add to above list. Use Reset to restore the original list.";
        default:
            return "         Select a sub category for more information.";
    }
}

bool IsWindowsProgramPath(const std::string& stored) {
    std::string lower;
    for (char c : stored) lower += char(std::tolower(static_cast<unsigned char>(c)));
    const bool exe = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0;
    const bool drive = lower.size() > 2 && std::isalpha(static_cast<unsigned char>(lower[0])) &&
                       lower[1] == ':' && (lower[2] == '\\' || lower[2] == '/');
    return exe || drive || lower.find('\\') != std::string::npos;
}

std::string ResolveEditorProgram(const std::string& stored) {
    if (!stored.empty() && !IsWindowsProgramPath(stored)) return stored;
    const char* v = std::getenv("VISUAL");
    const char* e = std::getenv("EDITOR");
    return (v && *v) ? v : (e && *e) ? e : "xdg-open";
}
