#include "app/FtpCommands.h"

#include "app/MainFrame.h"

CFtpCommands::CFtpCommands(CMainFrame& frame) : m_frame(frame) {}
CFtpCommands::~CFtpCommands() = default;

void CFtpCommands::Wire() {}
