#include "app/ConversionCommands.h"

#include "app/MainFrame.h"

CConversionCommands::CConversionCommands(CMainFrame& frame) : m_frame(frame) {}
CConversionCommands::~CConversionCommands() = default;

void CConversionCommands::Wire() {}
