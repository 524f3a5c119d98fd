#include "model/Globals.h"

ProgramOptions g_Options;

void ResetProgramOptions() { g_Options = ProgramOptions{}; }

const std::string g_strBinExtDefault = ".bmp .class .doc .exe .gif .jpeg .jpg .pdf .ppt .zip";
const std::string g_strTxtOpnDefault = ".log .txt .com .bat .c .cpp .cxx .h .hpp .hxx .java";

std::atomic<bool> g_bFtpIdle{true};
std::atomic<bool> g_bFtpBreak{false};
std::atomic<bool> g_bFtpClosing{false};
std::atomic<bool> g_bFtpStraightSend{false};
std::atomic<bool> g_bFtpStraightRecord{false};
std::atomic<bool> g_bFtpTicker{false};
std::atomic<bool> g_bOnDemandLogin{false};
std::atomic<bool> g_bConversionIdle{true};
std::atomic<bool> g_bConversionBreak{false};
std::atomic<bool> g_bConversionTicker{false};
std::atomic<bool> g_bBatchIdle{true};
std::atomic<bool> g_bBatchBreak{false};
std::atomic<bool> g_bBatchTicker{false};
std::atomic<bool> g_bAddFilesIdle{true};
std::atomic<bool> g_bAddFilesBreak{false};
std::atomic<bool> g_bAddFilesTicker{false};
std::atomic<bool> g_bDiffIdle{true};
std::atomic<bool> g_bDiffBreak{false};
std::atomic<bool> g_bAutoSync{false};
std::atomic<bool> g_bBatchMode{false};

void ResetWorkerFlags() {
    g_bFtpIdle = true;
    g_bFtpBreak = false;
    g_bFtpClosing = false;
    g_bFtpTicker = false;
    g_bOnDemandLogin = false;
    g_bConversionIdle = true;
    g_bConversionBreak = false;
    g_bConversionTicker = false;
    g_bBatchIdle = true;
    g_bBatchBreak = false;
    g_bBatchTicker = false;
    g_bAddFilesIdle = true;
    g_bAddFilesBreak = false;
    g_bAddFilesTicker = false;
    g_bDiffIdle = true;
    g_bDiffBreak = false;
    g_bAutoSync = false;
}

std::atomic<int> g_nProgressPos{0};
std::atomic<int> g_nActiveTextWindow{1};
int g_nTextBufferIndex = -1;
bool g_bLibraryFileFound = true;

std::string g_sDefaultLocalDir;
std::string g_strUnixReplacement = "_";
std::string g_strCommonName;
std::string g_strNewExtension;
std::string g_strConcatOutputFile;

static std::string MakeConcatTemplateDefault() {
    std::string t;
    t += "[+]" + std::string(76, '_') + "\r\n";
    t += "[+]{$FileName}\r\n";
    t += "[+]" + std::string(76, '-') + "\r\n";
    t += "{$FileText}\r\n";
    t += "[+]" + std::string(76, '=') + "\r\n";
    return t;
}

const std::string g_strConcatTemplateDefault = MakeConcatTemplateDefault();
std::string g_strConcatTemplateCurrent = g_strConcatTemplateDefault;
std::string g_strColumnDelimiter = "|";
std::string g_strColumnGap = "4";
std::string g_strTabulateText;
std::vector<std::string> g_DiffIgnoreList;
std::string g_strInputFile;
std::string g_strOutputFile;
std::string g_strPaletteFile;
std::vector<std::string> g_TextBuffer;
std::string g_strTransferNote;
