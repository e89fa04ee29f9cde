// The callbacks the system calls (window and dialog procedures, timer
// callbacks) run their handlers through CallGuarded: an exception must never
// unwind through the system's frames, which cannot pass it on. The handler's
// operation is abandoned instead. Every change of the alarm list is one step
// that happens whole or not at all (push_back, erase, a swap of two alarms, a
// move into an element), so an abandoned operation leaves the list whole.
// Portable, so it is tested natively too.
#pragma once

// Returns what handler returns, or fallback when it throws.
template <typename Result, typename Handler>
Result CallGuarded(Result fallback, Handler&& handler) noexcept {
    try {
        return handler();
    } catch (...) {
        return fallback;
    }
}

// Runs handler; an exception ends it and goes no further.
template <typename Handler>
void CallGuarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (...) {
    }
}
