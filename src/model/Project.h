// The upper levels of the session tree.
#pragma once

#include <string>
#include <vector>

#include "model/Session.h"

class CProject {
public:
    CProject() = default;
    explicit CProject(const std::string& name, int sessInd = 0) : m_strName(name), m_nSessInd(sessInd) {}
    std::string m_strName = "My Project";
    std::vector<CSession> m_Sessions;
    int m_nSessInd = 0;  // current session
};

class CProjectList {
public:
    std::string m_strName = "All My Projects";
    std::vector<CProject> m_Projects;
    int m_nProjInd = 0;  // current project
};
