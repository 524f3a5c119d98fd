#include "app/TimerWork.h"

#include "app/MainFrame.h"

CTimerWork::CTimerWork(CMainFrame& frame) : m_frame(frame) {}
CTimerWork::~CTimerWork() = default;

void CTimerWork::Wire() {}

void CTimerWork::ResetCounters() {}

void CTimerWork::OnTimerTick() {}
