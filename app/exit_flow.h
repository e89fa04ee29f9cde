// How the program goes from serving the alarm file to its end: one state, kept
// in one place, that every path leaves defined, an exception included. The
// save at Exit is the "save, and while that fails ask the user" loop of
// common/save_or_ask.h.
//
// Portable: the platform comes in as the save and ask operations, so every
// path is tested natively.
#pragma once

#include "common/save_or_ask.h"

class ExitFlow {
public:
    enum class State {
        Starting,  // the alarm file is not loaded (or could not be): nothing to save
        Serving,   // the normal life: the list is served, hand-overs welcome
        Asking,    // Exit or WM_CLOSE met a failed save and asks the user
        Ending,    // the last save is done or given up; nothing is saved again
    };

    State state() const { return state_; }

    // The alarm file was read or created at start.
    void Started() {
        if (state_ == State::Starting) state_ = State::Serving;
    }

    // Only a copy that serves its file, and is not on its way out, may take
    // a later start's hand-over.
    bool AcceptsHandOver() const { return state_ == State::Serving; }

    // Exit or WM_CLOSE. Saves, asking while that fails. Returns true when the
    // program is to end now; false when it goes on serving (the user kept it
    // running, or an exception ended the attempt), when an exit is asking
    // already, or when the end came meanwhile by another road (a close request
    // while the question was up), which ended the program itself.
    template <typename Save, typename Ask>
    bool Close(Save&& save, Ask&& ask) {
        if (state_ != State::Serving) return false;
        state_ = State::Asking;
        // Back to serving however the attempt ends, unless it ends the program.
        struct BackToServing {
            State& state;
            ~BackToServing() {
                if (state == State::Asking) state = State::Serving;
            }
        } back{state_};
        const SaveOutcome outcome = SaveOrAsk(save, ask);
        if (state_ != State::Asking) return false;
        if (outcome == SaveOutcome::KeepRunning) return false;
        state_ = State::Ending;
        return true;
    }

    // The session ends, or a restart manager asks the program to close: one
    // last save is due now. Returns true when that save is this caller's to
    // make (the program was serving, or asking at exit).
    bool EndNow() {
        if (state_ != State::Serving && state_ != State::Asking) return false;
        state_ = State::Ending;
        return true;
    }

    // The window is being destroyed. Returns true when it still has to save
    // (destroyed by another road than Exit, WM_CLOSE or the session's end).
    bool Destroyed() { return EndNow(); }

private:
    State state_ = State::Starting;
};
