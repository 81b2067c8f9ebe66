#include "common/failure_note.h"

namespace {

FailureNote g_failureNote;

}  // namespace

void ClearFailureNote() {
    g_failureNote = FailureNote{};
}

void NoteFailure(int cause, const char* name, uint64_t neededBytes, uint64_t freeBytes) {
    if (g_failureNote.noted) return;
    g_failureNote.noted = 1;
    g_failureNote.cause = cause;
    CopyText(g_failureNote.name, name != nullptr ? name : "");
    g_failureNote.neededBytes = neededBytes;
    g_failureNote.freeBytes = freeBytes;
}

const FailureNote& NotedFailure() {
    return g_failureNote;
}
