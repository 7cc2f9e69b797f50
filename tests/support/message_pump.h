// The tests' one message pump: dispatches what waits in this thread's queue, so that its windows answer.
#pragma once

#include <windows.h>

// Dispatches every message waiting for this thread (no keyboard translation) and returns.
inline void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}
