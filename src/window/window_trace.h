// The window's trace: with VARNOKE_UI_TRACE naming a file, each window
// writes there what it shows (log entries, texts, menus, boxes, its size),
// so that a test driving the real window can read it. Both windows write
// the same lines, "<what> <number> <text>", through window_trace:
//   log <entry> <text>            an entry's text, read back from the list
//   log-count <id> <entries>      after the log was emptied
//   time-column <id> 0|1          the time column taken away or shown
//   text <id> <text>              a control's text, read back
//   enable <id> 0|1               a control's enabled state, read back
//   pick <id> <item>              an item the operator picked from a list
//   title 0 <title>
//   menu <entries> <a|b|...>      the log's menu as it opens, then
//   menu-at <entries> <x>,<y>     where (screen pixels), and
//   menu-pick <index> <entry>     the entry picked (-1: none)
//   clipboard <bytes> <text>      the bytes the clipboard took
//   box <type> caption=.. text=.. a message box, then
//   box-answer <answer> <caption> its answer
//   picker 0|1 <title>            a file picker opens (1: to save), then
//   picked 0|1 <path>             what it gave (0: nothing)
//   size <w> <h> log-lines-shown <n> at <x>,<y>
//                                 the client area, the log lines in view
//                                 (Windows: the rows there is room for) and
//                                 the client area's place on the screen
// The Windows window adds where it was shown and where the layout put the
// bottom rows ("shown", "place").
#pragma once

// Opens the file VARNOKE_UI_TRACE names, if any; true when tracing.
bool window_trace_open();
bool window_tracing();
// One line. A control byte in the text is written as \xNN, so that a line
// stays one line; a backslash stays as it is, so that Windows paths read as
// they are shown.
void window_trace(const char* what, int number, const char* text);
// A message box as it opens: "box <type> caption=<caption> text=<text>".
void window_trace_box(unsigned type, const char* caption, const char* text);
void window_trace_close();
