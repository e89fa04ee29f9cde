// "Save, and while that fails ask the user": written once, for the save at the
// close of the alarm list and for the save at Exit.
//
// Portable: the platform comes in as the save and ask operations, so every
// path is tested natively.
#pragma once

enum class SaveAnswer {
    Retry,        // try the save again
    EndUnsaved,   // at exit only: end without the changes since the last save
    KeepRunning,  // give up this save; the list stays in memory
};

enum class SaveOutcome { Saved, EndUnsaved, KeepRunning };

// save() returns 0 or the error met; ask(error) returns a SaveAnswer. Saves
// until it works or the answer is not Retry.
template <typename Save, typename Ask>
SaveOutcome SaveOrAsk(Save&& save, Ask&& ask) {
    for (;;) {
        const auto error = save();
        if (error == 0) return SaveOutcome::Saved;
        switch (ask(error)) {
        case SaveAnswer::Retry: continue;
        case SaveAnswer::EndUnsaved: return SaveOutcome::EndUnsaved;
        case SaveAnswer::KeepRunning: return SaveOutcome::KeepRunning;
        }
        return SaveOutcome::KeepRunning;  // an answer of no known kind keeps the list
    }
}
