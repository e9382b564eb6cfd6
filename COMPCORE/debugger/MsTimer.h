// MsTimer: the millisecond clock and the one-shot deadline the target link, the exceptions and
// the IDE use where they wait for the target or stamp an event.
// The clock is the host services' millisecond clock (`GetMillisecondClock`, which tests may
// replace), so every time stamp and every deadline of the program runs on one clock. That clock
// has millisecond resolution on every host we build for, so an interval is kept as given.
// Std-only; a deadline is plain data and may be used on any thread, `MsTimerWait` on the GUI
// thread only.
#pragma once

#include <cstdint>

// The current time in milliseconds; wraps around after 2^32 ms.
uint32_t MsTimerNow();

// A one-shot deadline: the interval given at construction, armed by `MsTimerStart`.
class MsTimer {
public:
    explicit MsTimer(uint32_t milliseconds) : m_interval(milliseconds) {}

    // deadline = now + interval; a deadline that would be 0 is 1, so 0 always means "not
    // started". Returns the start time.
    uint32_t MsTimerStart();
    // True once the deadline has passed: (deadline - now) taken as a signed 32-bit value is
    // below 1, which holds across the wrap of the millisecond count. A timer never started has
    // expired.
    bool MsTimerExpired() const;
    // Milliseconds until the deadline; 0 once it has passed (or was never set).
    uint32_t MsTimerLeft() const;

    uint32_t interval() const { return m_interval; }
    uint32_t deadline() const { return m_deadline; }

private:
    uint32_t m_interval;
    uint32_t m_deadline = 0;
};

// Waits the given time while the status box dispatches one pending window message per pass.
// When the user closes the status box meanwhile, the pump throws `xUserCancel`, which ends the
// wait and passes on. Without a status box it only waits.
void MsTimerWait(uint32_t milliseconds);
