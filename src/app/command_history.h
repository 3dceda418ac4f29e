// Recall of the commands sent with "Send command" in this run: Up and Down in
// the command field (1001) walk through them, newest first. Nothing is kept
// between runs.
#pragma once

#include <cstddef>

inline constexpr size_t command_history_size = 100;

// Forgets every command (the window's initialisation).
void history_clear();
// A command that was sent. An empty one, or a repeat of the newest, is not
// stored; the oldest goes when the history is full. Ends a walk.
void history_add(const char* command);
// Up (older) or Down (newer): shows the next command in the field. Down past
// the newest brings back what was typed before the walk began; a command
// edited during the walk becomes that text.
void history_recall(bool older);
