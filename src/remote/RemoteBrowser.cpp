#include "remote/RemoteBrowser.h"

#include <future>
#include <mutex>

#include "model/Globals.h"
#include "model/TextUtil.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "remote/Collect.h"
#include "remote/FtpClient.h"
#include "remote/FtpConnections.h"
#include "remote/RemoteDelete.h"

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Cuts a filter at ",", " " and ";" and tests the words against the name.
bool FilterHits(const std::string& name, const std::string& filter) {
    if (filter == "*.*" || filter == "*") return true;
    size_t start = 0;
    while (start <= filter.size()) {
        size_t cut = filter.find_first_of(", ;", start);
        std::string token = filter.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        std::string word;
        for (char c : token)
            if (c != '*' && c != ' ') word += c;
        if (!word.empty() && name.find(word) != std::string::npos) return true;
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return false;
}

// Every use of a connection from the window is one step under the lock that
// a worker holds for its run, so that the keep-alive never talks beside it.
template <class F>
void FtpStep(F&& f) {
    std::lock_guard<std::mutex> g(FtpConnectionsInUse());
    f();
}

const char* kNotSure = "Click \"No\", if you're not sure.";

}  // namespace

bool PassesNameFilters(const std::string& name, const std::string& keep,
                       const std::string& exclude) {
    return FilterHits(name, keep) && !FilterHits(name, exclude);
}

void NormalizeRemoteFolder(std::string& folder) {
    // A VMS folder is left as it is; a UNIX folder's name may hold "]", and
    // a folder with "/" is never a VMS one.
    const size_t bracket = folder.find(']');
    if (bracket != std::string::npos && bracket > 0 && folder.find('/') == std::string::npos) return;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    size_t at;
    while ((at = folder.find("//")) != std::string::npos) folder.erase(at, 1);
}

std::string ChildRemoteFolder(const std::string& folder, const std::string& name,
                              const std::string& hostType) {
    if (hostType == "VMS") {
        if (folder.empty()) return "[." + name + "]";
        return folder.substr(0, folder.size() - 1) + "." + name + "]";
    }
    std::string out = folder;
    if (!out.empty() && out.back() != '/') out += '/';
    return out + name + "/";
}

std::string ListingSummaryText(int folders, int files) {
    std::string s;
    if (folders > 0) s += std::to_string(folders) + " " + (folders == 1 ? "directory" : "directories");
    if (folders > 0 && files > 0) s += ", ";
    if (files > 0) s += std::to_string(files) + " " + (files == 1 ? "file" : "files");
    return s.empty() ? "Empty..." : s + " found.";
}

std::string BrowserCaption(const std::string& pattern, const std::string& host) {
    return std::string(pattern == "*.DIR" ? "Directory - " : "Files - ") + Upper(ShortHostName(host));
}

bool IsUsableListedName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\r\n\0", 4)) == std::string::npos;
}

bool RunOnWorkerAndWait(const std::function<bool()>& job) {
    return std::async(std::launch::async, job).get();
}

// ---------------------------------------------------------------- the browser

CRemoteBrowser::CRemoteBrowser(const std::string& pattern, const CHost& account)
    : m_strHost(account.m_strHost), m_strUser(account.m_strUser),
      m_strPassword(account.m_strPassword), m_pattern(pattern), m_account(account),
      m_strCurrentFolder(account.m_strLastFolder),
      m_strCaption(BrowserCaption(pattern, ToLowerAscii(account.m_strHost))) {}

CRemoteBrowser::~CRemoteBrowser() = default;

void CRemoteBrowser::RunStep(const std::function<void()>& step) {
    if (m_bCancelled) throw CFtpClient::FTPException("Cancelled.");
    // The step runs away from the window thread; its failure comes back here.
    std::exception_ptr failure;
    ++m_nBusy;
    m_runner([&] {
        try {
            FtpStep(step);
        } catch (...) {
            failure = std::current_exception();
        }
        return true;
    });
    --m_nBusy;
    if (m_client && m_client->Aborted()) {
        // A cancelled step leaves the connection out of step: the next use
        // connects again.
        DropOpenConnection(m_client->Host(), m_client->User());
        if (!failure) failure = std::make_exception_ptr(CFtpClient::FTPException("Cancelled.", true));
    }
    if (failure) std::rethrow_exception(failure);
}

bool CRemoteBrowser::Init() {
    m_client = SelectOpenConnection(m_strHost, m_strUser);
    if (!m_client) {
        Prompter().Message("Connection must be established first.", MsgIcon::Stop);
        return false;
    }
    try {
        RunStep([&] { m_strHostType = m_client->GetSystemType(); });
    } catch (const std::exception& e) {
        Prompter().Message(std::string("Failed to build connection to the server.") + e.what(),
                           MsgIcon::Stop);
    }
    if (m_strHostType != "UNIX" && m_strHostType != "VMS") {
        Prompter().Message("Unknown Host type.", MsgIcon::Stop);
        return true;
    }
    if (m_strHostType == "VMS") m_strUser = ToLowerAscii(m_account.m_strUser);
    m_strHost = ToLowerAscii(m_account.m_strHost);
    m_strCaption = BrowserCaption(m_pattern, m_strHost);

    if (m_strCurrentFolder.empty()) {
        try {
            RunStep([&] { m_strCurrentFolder = m_client->GetCurrentDirectory(); });
            RefreshListing();
        } catch (const std::exception& e) {
            WriteTrace(std::string("Unable to set initial directory: ") + e.what());
        }
        return true;
    }
    std::string error;
    if (TryCwd(m_strCurrentFolder, error)) {
        RefreshListing();
        return true;
    }
    WriteTrace("Setting to last good directory from History: " + error);
    for (size_t i = m_account.m_Bookmarks.size(); i-- > 0;) {
        const std::string folder = m_account.m_Bookmarks[i].RemDir;
        if (TryCwd(folder, error)) {
            m_strCurrentFolder = folder;
            RefreshListing();
            return true;
        }
        WriteTrace("Bad History: " + folder + " " + error);
        try {
            RunStep([&] { m_strCurrentFolder = m_client->GetCurrentDirectory(); });
            RefreshListing();
        } catch (const std::exception& e) {
            WriteTrace(std::string("All options failed to set initial dir: ") + e.what());
        }
    }
    return true;
}

bool CRemoteBrowser::TryCwd(const std::string& target, std::string& error) {
    try {
        RunStep([&] { m_client->ChangeDirectory(target); });
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

void CRemoteBrowser::RefreshListing() {
    Prompter().SetWaitCursor(true);
    m_items.clear();
    m_strListingCut.clear();
    try {
        if (!m_client) throw CFtpClient::FTPException("Not connected.");
        std::vector<CDirEntry> entries;
        RunStep([&] {
            if (m_strHostType == "VMS") m_client->ListDirectoryVms(m_pattern, entries);
            else m_client->ListDirectoryUnix(m_pattern, entries);
            m_strListingCut = m_client->ListingCut();
        });
        // What the server left out is not in the list: the user is told.
        if (!m_strListingCut.empty())
            WriteTrace("-?- The server cut the listing of " + m_strCurrentFolder + " short: " + m_strListingCut);
        for (const CDirEntry& e : entries) {
            if (!IsUsableListedName(e.strName)) continue;
            if (e.bIsDir) m_items.push_back({e.strName, true});
            else if (PassesNameFilters(e.strName, m_strKeep, m_strExclude))
                m_items.push_back({e.strName, false});
        }
        SelectFolderInCombo(m_strCurrentFolder);
        NormalizeRemoteFolder(m_strCurrentFolder);
        RecordAccessedFolder(m_strCurrentFolder);
    } catch (const std::exception& e) {
        if (!m_bCancelled)
            Prompter().Message(std::string("Failed to get directory listing: ") + e.what(), MsgIcon::Stop);
    }
    Summarize();
    Prompter().SetWaitCursor(false);
}

void CRemoteBrowser::Summarize() {
    int folders = 0, files = 0;
    for (const BrowserItem& i : m_items) (i.folder ? folders : files)++;
    m_strStatus = ListingSummaryText(folders, files);
    if (!m_strListingCut.empty()) m_strStatus += std::string(" ") + kListingCutNote;
}

void CRemoteBrowser::SelectFolderInCombo(const std::string& folder) {
    bool found = false;
    for (const std::string& f : m_dirCombo) found = found || f == folder;
    if (!found) m_dirCombo.push_back(folder);
    m_strDirectoryText = folder;
}

int CRemoteBrowser::FindBookmarkByFolder(const std::string& folder) const {
    for (size_t i = 0; i < m_account.m_Bookmarks.size(); ++i)
        if (m_account.m_Bookmarks[i].RemDir == folder) return static_cast<int>(i);
    return -1;
}

void CRemoteBrowser::RecordAccessedFolder(const std::string& folder) {
    if (g_bBookmarkRecord && FindBookmarkByFolder(folder) < 0) {
        CRemoteBookmark b;
        b.RemName = "-Accessed-";
        b.RemDir = folder;
        m_account.m_Bookmarks.push_back(b);
    }
    m_account.m_strLastFolder = folder;
}

void CRemoteBrowser::Navigate(const std::string& target, bool pwdAfter, const char* failText,
                              const char* restoreText) {
    Prompter().SetWaitCursor(true);
    const std::string saved = m_strCurrentFolder;
    try {
        RunStep([&] {
            m_client->ChangeDirectory(target);
            m_strCurrentFolder = pwdAfter ? m_client->GetCurrentDirectory() : target;
        });
        RefreshListing();
    } catch (const std::exception& e) {
        if (m_bCancelled) {
            Prompter().SetWaitCursor(false);
            return;
        }
        Prompter().Message(failText + std::string(e.what()), MsgIcon::Stop);
        try {
            RunStep([&] { m_client->ChangeDirectory(saved); });
            m_strCurrentFolder = saved;
            RefreshListing();
        } catch (const std::exception& e2) {
            Prompter().Message(restoreText + std::string(e2.what()), MsgIcon::Stop);
        }
    }
    Prompter().SetWaitCursor(false);
}

void CRemoteBrowser::Up() {
    if (!m_client) return;
    Navigate(m_strHostType == "VMS" ? "[-]" : "..", true, "Error setting directory: ",
             "Error reloading original directory: ");
}

void CRemoteBrowser::SetDirectory(const std::string& folder) {
    if (!m_client) return;
    m_strDirectoryText = folder;
    SelectFolderInCombo(folder);
    Navigate(folder, false, "Unable to change directories: ", "Unable to reload original directory: ");
}

void CRemoteBrowser::EnterFolder(const std::string& name) {
    if (!m_client || !IsUsableListedName(name)) return;
    Navigate(ChildRemoteFolder(m_strCurrentFolder, name, m_strHostType), false,
             "Unable to switch directories: ", "Unable to reload original directory: ");
}

void CRemoteBrowser::ChooseBookmark(int index) {
    if (index < 0 || index >= static_cast<int>(m_account.m_Bookmarks.size())) return;
    SelectFolderInCombo(m_account.m_Bookmarks[static_cast<size_t>(index)].RemDir);
}

void CRemoteBrowser::RemoveBookmark(int index) {
    if (index < 0 || index >= static_cast<int>(m_account.m_Bookmarks.size())) return;
    m_account.m_Bookmarks.erase(m_account.m_Bookmarks.begin() + index);
}

void CRemoteBrowser::ToggleSaveHistory() { g_bBookmarkRecord = !g_bBookmarkRecord; }

void CRemoteBrowser::Select(const std::vector<int>& rows) {
    m_selectedFolders.clear();
    m_selectedFiles.clear();
    if (rows.empty()) {
        Summarize();
        return;
    }
    for (int r : rows) {
        if (r < 0 || r >= static_cast<int>(m_items.size())) continue;
        const BrowserItem& it = m_items[static_cast<size_t>(r)];
        if (it.folder) {
            m_selectedFolders.push_back(it.name);
            m_strStatus = "Directory selected";
            return;
        }
        m_selectedFiles.push_back(it.name);
    }
    const size_t n = m_selectedFiles.size();
    m_strStatus = std::to_string(n) + (n > 1 ? " files " : " file ") + "selected";
}

bool CRemoteBrowser::Ok(const std::vector<int>& rows) {
    if (rows.empty()) {
        m_result.clear();
        NormalizeRemoteFolder(m_strCurrentFolder);
        return true;
    }
    m_result.clear();
    for (int r : rows) {
        if (r < 0 || r >= static_cast<int>(m_items.size())) continue;
        const BrowserItem& it = m_items[static_cast<size_t>(r)];
        if (it.folder) {
            if (FolderPicking()) {
                m_strCurrentFolder = ChildRemoteFolder(m_strCurrentFolder, it.name, m_strHostType);
                NormalizeRemoteFolder(m_strCurrentFolder);
                m_account.m_strLastFolder = m_strCurrentFolder;
                return true;
            }
            m_result.clear();
            EnterFolder(it.name);
            return false;
        }
        CDirEntry e;
        e.strName = it.name;
        e.strLocalDir = g_sDefaultLocalDir;
        m_result.push_back(e);
    }
    NormalizeRemoteFolder(m_strCurrentFolder);
    for (CDirEntry& e : m_result) e.strRemoteDir = m_strCurrentFolder;
    return true;
}

bool CRemoteBrowser::DoubleClick(int row) {
    if (row < 0 || row >= static_cast<int>(m_items.size())) return false;
    const BrowserItem it = m_items[static_cast<size_t>(row)];
    if (it.folder) {
        EnterFolder(it.name);
        return false;
    }
    m_result.clear();
    NormalizeRemoteFolder(m_strCurrentFolder);
    CDirEntry e;
    e.strName = it.name;
    e.strRemoteDir = m_strCurrentFolder;
    e.strLocalDir = g_sDefaultLocalDir;
    m_result.push_back(e);
    return !m_strCurrentFolder.empty();
}

void CRemoteBrowser::Cancel() {
    m_result.clear();
    g_bStopRemoteCollect = true;
    m_bCancelled = true;
    // A step waiting on the server ends now rather than at its time-out.
    if (m_nBusy > 0 && m_client) m_client->Abort();
}

// ---------------------------------------------------------------- create and delete

void CRemoteBrowser::CreateDirectory() {
    if (!m_client) return;
    std::optional<std::string> name = Prompter().AskText("Remote Directory", "Enter directory name:", "");
    if (!name) return;
    try {
        RunStep([&] { m_client->MakeDirectory(*name); });
        RefreshListing();
    } catch (const std::exception& e) {
        if (!m_bCancelled)
            Prompter().Message(std::string("Unable to create directory.\r\n") + e.what(), MsgIcon::Stop);
    }
}

namespace {

bool ConfirmFolderDelete(const std::string& name) {
    return Prompter().AskDefaultNo("This will remove the directory " + name + " and its contents.\r\n" +
                                      "Are you sure?\r\n" + kNotSure,
                                   MsgIcon::Stop) == Answer::Yes;
}

bool ConfirmFilesDelete() {
    return Prompter().AskDefaultNo(std::string("This will remove the selected files.\r\n") + "Are you sure?\r\n" +
                                      kNotSure,
                                   MsgIcon::None) == Answer::Yes;
}

}  // namespace

void CRemoteBrowser::Delete(const std::vector<int>& rows) {
    if (rows.empty() || !m_client) return;
    Select(rows);
    std::vector<std::string> folders, files;
    for (const std::string& n : m_selectedFolders)
        if (IsUsableListedName(n)) folders.push_back(n);
    for (const std::string& n : m_selectedFiles)
        if (IsUsableListedName(n)) files.push_back(n);
    Prompter().SetWaitCursor(true);
    const bool vms = m_strHostType == "VMS";
    auto byScript = [&](const std::vector<std::string>& names, bool folderFlag) {
        if (names.empty()) return false;
        std::string remoteFolder;
        try {
            RunStep([&] { remoteFolder = m_client->GetCurrentDirectory(); });
        } catch (const std::exception& e) {
            WriteTrace(std::string("Unable to retrieve file: ") + e.what());
            return false;
        }
        const std::string name =
            MakeUniqueScriptName(vms ? ".COM" : ".txt", std::time(nullptr), LocalHostName());
        std::vector<std::string> lines;
        if (vms) {
            std::string error;
            if (!VmsDeleteScript(name, remoteFolder, names, folderFlag, lines, error)) {
                WriteTrace(error);
                return false;
            }
        } else {
            lines = UnixDeleteScript(name, remoteFolder, names, folderFlag);
        }
        const std::string local = g_strDriveRoot + name;
        if (!WriteScriptFile(local, lines)) {
            WriteTrace("Unable to write " + local);
            return false;
        }
        const std::string remote = RemoteScriptPath(m_strHostType, remoteFolder, name);
        std::shared_ptr<CFtpClient> client = m_client;
        const std::string type = m_strHostType, host = m_strHost, user = m_strUser,
                          password = m_strPassword;
        return m_runner([=] {
            std::lock_guard<std::mutex> g(FtpConnectionsInUse());
            return RunRemoteDelete(*client, type, host, user, password, local, remote);
        });
    };
    if (!folders.empty()) {
        // One question: when the script cannot run (its failure is in the
        // Message Window), plain FTP commands do the work.
        if (ConfirmFolderDelete(folders.front()) && !byScript({folders.front()}, true)) {
            try {
                RunStep([&] { m_client->RemoveDirectory(vms ? folders.front() + ";*" : folders.front()); });
            } catch (const std::exception& e) {
                if (!m_bCancelled)
                    Prompter().Message(std::string("Failed to delete directory.") + e.what(), MsgIcon::Stop);
            }
        }
    } else if (!files.empty()) {
        if (ConfirmFilesDelete() && !byScript(files, false)) {
            for (const std::string& f : files) {
                try {
                    RunStep([&] { m_client->DeleteFile(vms ? f + ";*" : f); });
                } catch (const std::exception& e) {
                    if (!m_bCancelled)
                        Prompter().Message(std::string("Failed to delete file.") + e.what(), MsgIcon::Stop);
                }
            }
        }
    }
    RefreshListing();
    Prompter().SetWaitCursor(false);
}
