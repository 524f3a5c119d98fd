#include "app/FileListCommands.h"

#include "app/MainFrame.h"

CFileListCommands::CFileListCommands(CMainFrame& frame) : m_frame(frame) {}
CFileListCommands::~CFileListCommands() = default;

void CFileListCommands::Wire() {}
