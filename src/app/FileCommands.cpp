#include "app/FileCommands.h"

#include "app/MainFrame.h"

CFileCommands::CFileCommands(CMainFrame& frame) : m_frame(frame) {}
CFileCommands::~CFileCommands() = default;

void CFileCommands::Wire() {}
