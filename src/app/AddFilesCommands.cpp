#include "app/AddFilesCommands.h"

#include "app/MainFrame.h"

CAddFilesCommands::CAddFilesCommands(CMainFrame& frame) : m_frame(frame) {}
CAddFilesCommands::~CAddFilesCommands() = default;

void CAddFilesCommands::Wire() {}
