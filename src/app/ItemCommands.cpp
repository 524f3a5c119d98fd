#include "app/ItemCommands.h"

#include "app/MainFrame.h"

CItemCommands::CItemCommands(CMainFrame& frame) : m_frame(frame) {}
CItemCommands::~CItemCommands() = default;

void CItemCommands::Wire() {}
