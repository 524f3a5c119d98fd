#include "app/SettingsCommands.h"

#include "app/MainFrame.h"

CSettingsCommands::CSettingsCommands(CMainFrame& frame) : m_frame(frame) {}
CSettingsCommands::~CSettingsCommands() = default;

void CSettingsCommands::Wire() {}
