#include "app/CompareCommands.h"

#include "app/MainFrame.h"

CCompareCommands::CCompareCommands(CMainFrame& frame) : m_frame(frame) {}
CCompareCommands::~CCompareCommands() = default;

void CCompareCommands::Wire() {}
