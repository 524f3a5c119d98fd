#include "app/RemoteCommands.h"

#include "app/MainFrame.h"

CRemoteCommands::CRemoteCommands(CMainFrame& frame) : m_frame(frame) {}
CRemoteCommands::~CRemoteCommands() = default;

void CRemoteCommands::Wire() {}
