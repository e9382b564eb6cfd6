// MsTimer: millisecond clock and deadlines (see MsTimer.h).
#include "MsTimer.h"

#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"

#include <chrono>
#include <thread>

uint32_t MsTimerNow() { return GetMillisecondClock(); }

uint32_t MsTimer::MsTimerStart()
{
    const uint32_t now = MsTimerNow();
    m_deadline = now + m_interval;
    if (m_deadline == 0)
        m_deadline = 1;
    return now;
}

bool MsTimer::MsTimerExpired() const
{
    if (m_deadline == 0)
        return true;
    return static_cast<int32_t>(m_deadline - MsTimerNow()) < 1;
}

uint32_t MsTimer::MsTimerLeft() const
{
    if (MsTimerExpired())
        return 0;
    return m_deadline - MsTimerNow();
}

void MsTimerWait(uint32_t milliseconds)
{
    MsTimer timer(milliseconds);
    timer.MsTimerStart();
    while (!timer.MsTimerExpired()) {
        gDialogControl.PumpStatusBoxMessages();
        // The pump takes at most one message and does not wait for one: give the time back.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
