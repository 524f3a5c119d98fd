#include "app/FileCommands.h"

#include <QAction>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "app/ControlPanelBar.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "filelist/AddFileItems.h"
#include "filelist/NewFileItem.h"
#include "filelist/OutputNames.h"
#include "filelist/RenameFiles.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "platform/Prompter.h"

namespace {
const char* const kConfirmDelete =
    "Are you sure you want to delete the selected file(s)\r\n"
    "from your local disk permanently?\r\n\r\n"
    "Select \"Yes\" to continue, and \"No\", if you are not sure.";
const char* const kConfirmNewFiles =
    "This will create a set of new files based on the lines found in Output Window.\r\n"
    "The new files will then be included in the main list.\r\n\r\nContinue?";
const char* const kNotCreatedTitle =
    "Some of the files could not be created. They already exist in local directory:";

// A typed path for a new file: a valid name whose file-name part, when
// there is one, names a file and not a folder.
bool IsUsableNewPath(const std::string& path) {
    const std::string name = GetNamePart(path);
    return IsValidFileName(path) && (name.empty() || IsBareFileName(name));
}

// Makes the item's empty file unless a file is there already. False (with
// the reason) when the path cannot be used.
bool EnsureLocalFile(CFileItem& item, std::string& error) {
    const int made = item.CreateEmptyLocalFile(error);
    if (made == 1) return true;
    if (made == 0 && IsRegularFile(item.GetLocalPath())) return true;
    if (made == 0) error = "Not a file: " + item.GetLocalPath();
    if (error.empty()) error = "Failed to create the file: " + item.GetLocalPath();
    return false;
}
}  // namespace

CFileCommands::CFileCommands(CMainFrame& frame) : m_frame(frame) {}
CFileCommands::~CFileCommands() { QObject::disconnect(m_tick); }

void CFileCommands::Wire() {
    m_frame.SetCommandHandler(32530, [this] { NewFile(); });
    m_frame.SetCommandHandler(32527, [this] { DuplicateFile(); });
    m_frame.SetCommandHandler(32531, [this] { NewFilesFromOutputWindow(); });
    m_frame.SetCommandHandler(32532, [this] { RenameFile(); });
    m_frame.SetCommandHandler(32526, [this] { DeleteSelectedLocalFiles(); });
    RefreshCommandStates();
    m_tick = QObject::connect(&m_frame.Timer(), &QTimer::timeout, &m_frame, [this] { RefreshCommandStates(); });
}

void CFileCommands::RefreshCommandStates() {
    if (QAction* a = m_frame.Action(32531)) a->setEnabled(g_pOutputWindow != nullptr);
}

// ---------------------------------------------------------------- helpers

bool CFileCommands::RefuseWhileBusy() {
    // The workers read the basket's items by index and their files by path.
    if (CMainPresenter::RefuseWhileFtp()) return true;
    if (!g_bAddFilesIdle) {
        CMainPresenter::LogMessage("Thread on session...[x]");
        return true;
    }
    return false;
}

bool CFileCommands::StartAddingItems() {
    if (!m_frame.ControlPanel().CheckSessionSelected()) return false;
    CProgramData& d = m_frame.Data();
    if (d.EnsureCurrentBasket() != 0) {
        m_frame.Presenter().ShowCurrentPosition();
        m_frame.Presenter().ShowSession(d.GetCurProject(), d.GetCurSession(), d.GetCurBasket());
    }
    return true;
}

FileRow CFileCommands::RowOf(const CFileItem& item, bool selected) {
    return FileRow{item.FileName, GetShortHostName(item.RemHost), item.GetImageIndex(), selected};
}

bool CFileCommands::IsRowSelected(int row) const {
    const auto& rows = m_frame.Presenter().FileRows();
    return row >= 0 && row < int(rows.size()) && rows[std::size_t(row)].selected;
}

void CFileCommands::SelectRows(const std::vector<int>& rows) {
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    d.SetSelection(p, s, b, rows);
    m_frame.Presenter().ShowFileSelection(rows);
    m_frame.Presenter().SetStatusText(d.GetSelectionStatusText(p, s, b));
}

void CFileCommands::ReportFileList(const std::string& title, const std::string& list) {
    const std::string text = FormatFileListReport(title, list);
    if (!text.empty()) Prompter().Message(text, MsgIcon::None);
}

void CFileCommands::ReportDuplicateFiles(const std::string& list) {
    ReportFileList("Some of the files could not be added. They already exist in the list:", list);
}

std::vector<CFileItem> CFileCommands::SelectedItems() const {
    const CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    std::vector<CFileItem> items;
    for (int f : d.GetSelection(p, s, b)) items.push_back(d.GetFileItem(p, s, b, f));
    return items;
}

// ---------------------------------------------------------------- commands

void CFileCommands::NewFile() {
    if (RefuseWhileBusy() || !StartAddingItems()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    CFileItem like;
    std::string initial = "NewFile.txt";
    if (!sel.empty()) {
        like = d.GetFileItem(p, s, b, sel.front());
        initial = "New-" + like.FileName;
    }
    const auto name = Prompter().AskText("New File", "Enter new filename:", initial);
    if (!name) return;
    if (!IsUsableNewPath(*name)) {
        ShowInvalidNamesMessage();
        return;
    }
    CFileItem item = MakeLocalFileItem(*name, like);
    std::string error;
    // An existing file is taken as it is, never emptied.
    if (!EnsureLocalFile(item, error)) {
        Prompter().Message(error, MsgIcon::Stop);
        return;
    }
    const int count = d.GetFileItemCount(p, s, b);
    const int pos = sel.empty() ? count : std::min(sel.front() + 1, count);
    if (!AddFileItem(d, p, s, b, pos, item, &error)) {
        Prompter().Message(error, MsgIcon::Stop);
        return;
    }
    m_frame.Presenter().InsertFileRow(pos, RowOf(item, true));
    SelectRows({pos});
}

void CFileCommands::DuplicateFile() {
    if (RefuseWhileBusy() || !StartAddingItems()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    if (sel.empty()) return;
    const CFileItem source = d.GetFileItem(p, s, b, sel.front());
    const auto name = Prompter().AskText("New File", "Enter new filename:", "Dup-" + source.FileName);
    if (!name) return;
    if (!IsUsableNewPath(*name)) {
        ShowInvalidNamesMessage();
        return;
    }
    CFileItem copy = MakeLocalFileItem(*name, source);
    std::string error;
    // Never over an existing file: that is refused with its reason.
    if (copy.CopyFileWithCheck(source, error) != 1) {
        Prompter().Message(error.empty() ? "Failed to copy the file to " + copy.GetLocalPath() : error,
                           MsgIcon::Stop);
        return;
    }
    const int pos = std::min(sel.front() + 1, d.GetFileItemCount(p, s, b));
    if (!AddFileItem(d, p, s, b, pos, copy, &error)) {
        Prompter().Message(error, MsgIcon::Stop);
        return;
    }
    m_frame.Presenter().InsertFileRow(pos, RowOf(copy, true));
    std::vector<int> rows{pos};
    for (int f : sel) rows.push_back(f >= pos ? f + 1 : f);
    std::sort(rows.begin(), rows.end());
    SelectRows(rows);
}

void CFileCommands::NewFilesFromOutputWindow() {
    if (RefuseWhileBusy() || !StartAddingItems()) return;
    if (Prompter().Ask(kConfirmNewFiles, MsgIcon::Question, false) != Answer::Yes) return;
    const std::vector<std::string> lines = SplitOutputLines(GetOutputWindowText());
    bool valid = AreValidFileNames(lines, -1);
    for (const std::string& line : lines) valid = valid && IsUsableNewPath(line);
    if (!valid) {
        ShowInvalidNamesMessage();
        return;
    }
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    CFileItem like;
    if (!sel.empty()) like = d.GetFileItem(p, s, b, sel.front());
    const int count = d.GetFileItemCount(p, s, b);
    int pos = sel.empty() ? count : std::min(sel.front() + 1, count);
    std::string notCreated, notAdded, error;
    std::vector<int> made;
    for (const std::string& line : lines) {
        CFileItem item = MakeLocalFileItem(line, like);
        if (!EnsureLocalFile(item, error)) {
            notCreated += "    " + item.FileName + "\r\n";
            continue;
        }
        if (!AddFileItem(d, p, s, b, pos, item, &error)) {
            notAdded += "    " + item.FileName + "\r\n";
            continue;
        }
        m_frame.Presenter().InsertFileRow(pos, RowOf(item, true));
        made.push_back(pos++);
    }
    if (!made.empty()) SelectRows(made);
    ReportFileList(kNotCreatedTitle, notCreated);
    ReportDuplicateFiles(notAdded);
}

void CFileCommands::RenameFile() {
    if (RefuseWhileBusy()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    if (sel.empty()) return;
    const int f = sel.front();
    CFileItem item = d.GetFileItem(p, s, b, f);
    const auto name = Prompter().AskText("Rename File", "Enter new filename:", item.FileName);
    if (!name || *name == item.FileName) return;
    // The new name stays in the item's folder; an existing file is never replaced.
    std::string error = "Invalid file name.";
    if (!IsBareFileName(*name) || !RenameLocalFile(item.GetLocalPath(), item.LocalDir + *name, error)) {
        Prompter().Message("Failed to rename the file. " + error, MsgIcon::Stop);
        return;
    }
    d.SetFileName(p, s, b, f, *name);
    item.FileName = *name;
    m_frame.Presenter().SetFileRow(f, RowOf(item, IsRowSelected(f)));
}

void CFileCommands::DeleteSelectedLocalFiles() {
    if (RefuseWhileBusy()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const std::vector<int> sel = d.GetSelection(p, s, b);
    if (sel.empty()) return;
    if (Prompter().AskDefaultNo(kConfirmDelete, MsgIcon::Stop) != Answer::Yes) return;
    std::string failures;
    for (int f : sel) {
        const CFileItem item = d.GetFileItem(p, s, b, f);
        if (item.GetLocalStatus() == "LocalMissing") continue;
        if (::unlink(item.GetLocalPath().c_str()) != 0) {
            if (errno != ENOENT) failures += "    " + item.FileName + "\r\n";
            continue;
        }
        FileRow row = RowOf(item, IsRowSelected(f));
        row.text = "~" + item.FileName;
        row.image = 26;
        m_frame.Presenter().SetFileRow(f, row);
    }
    ReportFileList("Failed to delete the following files:", failures);
}

void CFileCommands::RenameSelectedFiles(const std::vector<std::string>& names) {
    if (RefuseWhileBusy()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    for (int f : RenameFilesToNewNames(d, p, s, b, names))
        m_frame.Presenter().SetFileRow(f, RowOf(d.GetFileItem(p, s, b, f), IsRowSelected(f)));
}

void CFileCommands::DuplicateFilesToNewNames(const std::vector<std::string>& names) {
    if (RefuseWhileBusy() || !StartAddingItems()) return;
    CProgramData& d = m_frame.Data();
    const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
    const DuplicateOutcome done = ::DuplicateFilesToNewNames(d, p, s, b, names);
    if (!done.ran) return;
    for (int f : done.newIndices) m_frame.Presenter().InsertFileRow(f, RowOf(d.GetFileItem(p, s, b, f), true));
    if (!done.newIndices.empty()) SelectRows(done.newIndices);
    ReportFileList(kNotCreatedTitle, done.notCreated);
    ReportDuplicateFiles(done.notAdded);
}
