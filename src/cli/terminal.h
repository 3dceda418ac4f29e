// The window seam in a terminal (window_terminal.cpp): the controls live in
// memory, the log goes to standard output, a message box is a line on
// standard error answered from the options, a file picker is answered
// "cancel". These set it up; the rest is base/window.h.
#pragma once

#include "base/log.h"

#include <cstdint>

// Catches the stop signals (Ctrl+C, SIGTERM) and sets the console's output
// up; a closed output pipe stops nothing (the run ends as it would have).
// Before anything else.
void terminal_start();

// Whether log entries are written, and whether each begins with its date
// and time. Off at start.
void terminal_show_log(bool shown, bool timestamps);
// Writes one line of the program's own as the log entries are written.
void terminal_print(const char* text8);
// Writes "varnoke-cli: " and the formatted message as a line on standard
// error, its control bytes shown as \xNN, after what standard output holds.
void terminal_error(const char* format, ...) VARNOKE_PRINTF(1, 2);

// The answer to a Yes/No box: id_yes, id_no, or 0, which answers No and
// says that --yes or --no was wanted.
void terminal_set_answer(int answer);
// While set, decides each Yes/No box before the fixed answer: id_yes, id_no
// (why then holds the words shown after the answer), or 0 to leave it to
// the fixed answer.
using YesNoDecider = int (*)(const char** why);
void terminal_set_decider(YesNoDecider decider);
// Message boxes shown since the start.
unsigned terminal_boxes();

// The stop signal that came (SIGINT, SIGTERM, ...), or 0.
int terminal_stop_signal();
const char* terminal_signal_name(int signal);
// Called from the first wait or message pump after a stop signal came; it
// must not return (it ends the program).
using StopHandler = void (*)(int signal);
void terminal_on_stop(StopHandler handler);
