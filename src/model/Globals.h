// Program-wide option values, worker flags and shared values.
#pragma once

#include <atomic>
#include <string>
#include <vector>

// Every option of the "Program Option: " line and the library option line,
// with its start value. One object; the familiar global names below refer
// into it. Only the GUI thread changes options.
struct ProgramOptions {
    bool bSingleClick = false;        // "SingleClick="
    bool bAutoUpdate = true;          // "AutoUpdate="
    bool bAutoUpBasket = true;        // "AutoUpBasket="
    int nAutoUpdateInc = 1;           // "AutoUpdateInc="
    int nTurnOff = 1000;              // "TurnOff="
    int nOptionSel = 0;               // "OptionSel="
    bool bFtpUpdate = true;           // "FTPUpdate="
    bool bDiffLinear = true;          // "DiffLinear="
    bool bDiffIgnoreCase = false;     // "DiffIgnoreCase="
    bool bDiffIgnoreIdent = false;    // "DiffIgnoreIdent="
    bool bDiffReportInter = false;    // "DiffReportInter="
    std::string strEditor;  // "Editor=": empty opens with the platform's editor
    std::string strTelnet = "cmd (Windows built-in Telnet)";     // "Telnet="
    std::string strImportLibraryFile;  // "ImportQVFile="
    std::string strExportLibraryFile;  // "ExportQVFile="
    bool bSoundsOn = false;           // "Sound="
    bool bTrace = false;              // "Trace="
    bool bCloseLibrary = false;       // "CloseLibrary="
    bool bCloseWorkPad = false;       // "CloseWorkPad="
    bool bAutoBasketCreate = true;    // "AutoBasketCreate="
    bool bUseBinExt = true;           // "UseBinExt="
    std::string strBinExtStr = ".bmp .class .doc .exe .gif .jpeg .jpg .pdf .ppt .zip";  // "BinExtStr="
    std::string strTxtOpnStr = ".log .txt .com .bat .c .cpp .cxx .h .hpp .hxx .java";   // "TxtOpnStr="
    int nTabWidth = 8;                // "TabWidth="
    bool bBookmarkRecord = true;      // "BookmarkRecord="
    bool bSortAscend = true;          // "SortAscend="
    bool bSortMatchCase = true;       // "SortMatchCase="
    bool bSortRemDuplicity = false;   // "SortRemDuplicity="
    bool bWrapXmlTag = false;         // "WrapXmlTag="
    int nWorkMode = 0;                // "WorkMode=" (library file)
    int nLibIndex = 0;                // "FR_LibIndex=" (library file)
};

extern ProgramOptions g_Options;

// Resets every option to its start value.
void ResetProgramOptions();

inline bool& g_bSingleClick = g_Options.bSingleClick;
inline bool& g_bAutoUpdate = g_Options.bAutoUpdate;
inline bool& g_bAutoUpBasket = g_Options.bAutoUpBasket;
inline int& g_nAutoUpdateInc = g_Options.nAutoUpdateInc;
inline int& g_nTurnOff = g_Options.nTurnOff;
inline int& g_nOptionSel = g_Options.nOptionSel;
inline bool& g_bFtpUpdate = g_Options.bFtpUpdate;
inline bool& g_bDiffLinear = g_Options.bDiffLinear;
inline bool& g_bDiffIgnoreCase = g_Options.bDiffIgnoreCase;
inline bool& g_bDiffIgnoreIdent = g_Options.bDiffIgnoreIdent;
inline bool& g_bDiffReportInter = g_Options.bDiffReportInter;
inline std::string& g_strEditor = g_Options.strEditor;
inline std::string& g_strTelnet = g_Options.strTelnet;
inline std::string& g_strImportLibraryFile = g_Options.strImportLibraryFile;
inline std::string& g_strExportLibraryFile = g_Options.strExportLibraryFile;
inline bool& g_bSoundsOn = g_Options.bSoundsOn;
inline bool& g_bTrace = g_Options.bTrace;
inline bool& g_bCloseLibrary = g_Options.bCloseLibrary;
inline bool& g_bCloseWorkPad = g_Options.bCloseWorkPad;
inline bool& g_bAutoBasketCreate = g_Options.bAutoBasketCreate;
inline bool& g_bUseBinExt = g_Options.bUseBinExt;
inline std::string& g_strBinExtStr = g_Options.strBinExtStr;
inline std::string& g_strTxtOpnStr = g_Options.strTxtOpnStr;
inline int& g_nTabWidth = g_Options.nTabWidth;
inline bool& g_bBookmarkRecord = g_Options.bBookmarkRecord;
inline bool& g_bSortAscend = g_Options.bSortAscend;
inline bool& g_bSortMatchCase = g_Options.bSortMatchCase;
inline bool& g_bSortRemDuplicity = g_Options.bSortRemDuplicity;
inline bool& g_bWrapXmlTag = g_Options.bWrapXmlTag;
inline int& g_nWorkMode = g_Options.nWorkMode;
inline int& g_nLibIndex = g_Options.nLibIndex;

// Reset values of the two extension lists.
extern const std::string g_strBinExtDefault;
extern const std::string g_strTxtOpnDefault;

// Worker flags, one set per kind of worker. A starter refuses while its
// kind runs; Stop raises the break flag only; a kind becomes idle when its
// worker's end routine runs.
extern std::atomic<bool> g_bFtpIdle;
extern std::atomic<bool> g_bFtpBreak;
extern std::atomic<bool> g_bFtpTicker;
// Raised by the window's close (an end signal too) before g_bFtpBreak: a
// file being sent straight over the server's copy goes on to its end
// within the close's wait, rather than leaving that copy cut.
extern std::atomic<bool> g_bFtpClosing;
// A file is being sent straight over the server's copy: the close waits
// for it.
extern std::atomic<bool> g_bFtpStraightSend;
// A straight send is under way or being recorded: the close waits for the
// record too, so that a file it let finish keeps the server's time.
extern std::atomic<bool> g_bFtpStraightRecord;
extern std::atomic<bool> g_bOnDemandLogin;
extern std::atomic<bool> g_bConversionIdle;
extern std::atomic<bool> g_bConversionBreak;
extern std::atomic<bool> g_bConversionTicker;
extern std::atomic<bool> g_bBatchIdle;
extern std::atomic<bool> g_bBatchBreak;
extern std::atomic<bool> g_bBatchTicker;
extern std::atomic<bool> g_bAddFilesIdle;
extern std::atomic<bool> g_bAddFilesBreak;
extern std::atomic<bool> g_bAddFilesTicker;
// The diff the File Diff Manager builds on its worker.
extern std::atomic<bool> g_bDiffIdle;
extern std::atomic<bool> g_bDiffBreak;
extern std::atomic<bool> g_bAutoSync;
extern std::atomic<bool> g_bBatchMode;

// Puts every worker flag back to its start value (tests, a fresh run).
void ResetWorkerFlags();

// Progress bar of the status bar.
constexpr int g_nProgressStep = 100;
constexpr int g_nProgressRange = 1000;
extern std::atomic<int> g_nProgressPos;

// Which text pane the text commands act on: 1 Input, 2 Output, 3 Message Window.
extern std::atomic<int> g_nActiveTextWindow;
extern int g_nTextBufferIndex;       // text-buffer entry shown last; -1 none
extern bool g_bLibraryFileFound;     // cleared when the library file cannot be opened

// Shared texts and lists of the GUI thread.
extern std::string g_sDefaultLocalDir;   // default local folder of new sessions and items
extern std::string g_strUnixReplacement; // "_"
extern std::string g_strCommonName;
extern std::string g_strNewExtension;
extern std::string g_strConcatOutputFile;
extern const std::string g_strConcatTemplateDefault;
extern std::string g_strConcatTemplateCurrent;
extern std::string g_strColumnDelimiter;  // "|"
extern std::string g_strColumnGap;        // "4"
extern std::string g_strTabulateText;
extern std::vector<std::string> g_DiffIgnoreList;
extern std::string g_strInputFile;
extern std::string g_strOutputFile;
extern std::string g_strPaletteFile;
extern std::vector<std::string> g_TextBuffer;
extern std::string g_strTransferNote;

// Program identity.
constexpr const char* kProgramVersion = "1.0.735.0";
constexpr const char* kApplicationName = "Quorvellian";
constexpr const char* kRegistryKeyPrefix = "QuorvellianToolbars-";
constexpr const char* kToolbarStatePrefix = "QuorvellianToolbarState-";
