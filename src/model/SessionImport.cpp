// Taking sessions in from another master-format file or an older
// single-session work file.
#include <sstream>

#include "model/KeyValue.h"
#include "model/ProgramData.h"
#include "model/SafeFile.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

bool CProgramData::ImportSessions(const std::string& path) {
    Prompter().SetWaitCursor(true);
    struct Restore {
        ~Restore() { Prompter().SetWaitCursor(false); }
    } restore;
    std::string bytes, why;
    if (!ReadRegularFile(path, bytes, why)) {
        WriteTraceString("Import failed: " + why);
        Prompter().Message("The sessions could not be imported:\r\n" + why, MsgIcon::Stop);
        return false;
    }
    std::istringstream in(bytes);
    std::string line;
    if (!ReadLine(in, line)) return true;
    if (line.find("Session ID:") != std::string::npos) {
        m_ProjectList.m_Projects.emplace_back();
        m_ProjectList.m_nProjInd = 0;
        CSession session;
        session.ReadLegacy(in);
        if (!IsSafeBoxFileName(session.BoxFileName)) session.BoxFileName.clear();
        SweepItemFolders(session);
        m_ProjectList.m_Projects[0].m_Sessions.push_back(std::move(session));
        return true;
    }
    do {
        if (line.find("Session Box:") != std::string::npos)
            ReadSessionBoxes(line);
        else if (line.find("Session ID:") != std::string::npos)
            ReadSessionBlock(in);
    } while (ReadLine(in, line));
    const std::string folder = GetDirectoryPart(path);
    if (folder.empty()) {
        Prompter().Message("what happened?", MsgIcon::Info);
        return true;
    }
    bool failed = false;
    for (auto& pr : m_ProjectList.m_Projects)
        for (auto& se : pr.m_Sessions) {
            if (se.BoxFileName.empty() || !se.Read(folder)) {
                WriteTraceString("Failed to locate " + folder + se.BoxFileName + ".");
                failed = true;
            } else {
                SweepItemFolders(se);
            }
        }
    if (!failed) return true;
    for (auto& pr : m_ProjectList.m_Projects) {
        std::vector<CSession> kept;
        for (auto& se : pr.m_Sessions)
            if (se.IsLoaded) kept.push_back(std::move(se));
        pr.m_Sessions = std::move(kept);
        if (pr.m_nSessInd >= static_cast<int>(pr.m_Sessions.size())) pr.m_nSessInd = 0;
    }
    return true;
}
