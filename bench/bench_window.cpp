// The window's rows: the program's start to its first paint and its resident
// memory, then 100,000 lines through log_printf into the real FLTK window,
// and clicks answered while the log is full.
#include "bench.h"

#include "app/dialog.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/window.h"
#include "bench_util.h"
#include "report.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* window_title = "Varnoke v2.24n";

const ControlDef& def_of(int id) {
    for (const ControlDef& d : dialog_controls)
        if (d.id == id) return d;
    abort();
}

// Dialog units to the FLTK window's pixels (as window_fltk.cpp places them).
int px_x(int du) {
    return (du * 6 + 2) / 4;
}
int px_y(int du) {
    return (du * 13 + 4) / 8;
}

// A block of the log's empty middle, white once the window has drawn itself;
// the root window's pattern behind an undrawn window is never white 4 x 4.
bool painted(Display* display, Window window) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display, window, &a) == 0 || a.map_state != IsViewable) return false;
    const ControlDef& log = def_of(idc_log);
    int x = px_x(log.x) + px_x(log.w) / 2, y = px_y(log.y) + px_y(log.h) * 3 / 4;
    XImage* image = XGetImage(display, window, x, y, 4, 4, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    bool white = true;
    for (int i = 0; i < 16 && white; ++i)
        white = (XGetPixel(image, i % 4, i / 4) & 0xFFFFFF) == 0xFFFFFF;
    XDestroyImage(image);
    return white;
}

Window find_window(Display* display) {
    Window root_back, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root_back, &parent, &children, &count) ==
        0)
        return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (strcmp(name, window_title) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

void send_close(Display* display, Window window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &e);
    XFlush(display);
}

// One start of the program: milliseconds from fork to the first paint and
// its resident memory then; false when it did not paint within 10 s.
bool one_start(const char* program, double* ms, long* rss_kb) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    uint64_t start = now_ns();
    pid_t pid = fork();
    if (pid == 0) {
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    Window window = 0;
    bool ok = false;
    while (pid > 0 && now_ns() - start < 10'000'000'000ull) {
        if (window == 0) window = find_window(display);
        if (window != 0 && painted(display, window)) {
            *ms = double(now_ns() - start) / 1e6;
            ok = true;
            break;
        }
        usleep(250);
    }
    if (ok) {
        usleep(200000); // what it touches right after its first paint counts too
        *rss_kb = resident_kb(pid);
    }
    if (pid > 0) {
        if (window != 0) send_close(display, window);
        int status = 0;
        for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    XCloseDisplay(display);
    return ok;
}

// The bench's own window: the program's dialog procedure, and the time at
// which the procedure saw the click on "Details".
uint64_t clicked_at = 0;

bool bench_proc(DialogMsg msg, uint32_t wparam) {
    if (msg == DialogMsg::command && wparam == make_command(idc_details, bn_clicked))
        clicked_at = now_ns();
    return dialog_proc(msg, wparam);
}

Fl_Window* main_window() {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w))
        if (w->label() != nullptr && strcmp(w->label(), window_title) == 0) return w;
    return nullptr;
}

// A press and a release of the left button on "Details", through the X
// server, as the pointer would make them.
void click_details() {
    Fl_Window* w = main_window();
    const ControlDef& d = def_of(idc_details);
    int x = px_x(d.x) + 6, y = px_y(d.y) + px_y(d.h) / 2;
    Window child;
    int root_x = 0, root_y = 0;
    XTranslateCoordinates(fl_display, fl_xid(w), DefaultRootWindow(fl_display), x, y, &root_x,
                          &root_y, &child);
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.display = fl_display;
    e.xbutton.window = fl_xid(w);
    e.xbutton.root = DefaultRootWindow(fl_display);
    e.xbutton.time = CurrentTime;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.x_root = root_x;
    e.xbutton.y_root = root_y;
    e.xbutton.button = Button1;
    e.xbutton.same_screen = True;
    XSendEvent(fl_display, fl_xid(w), True, ButtonPressMask, &e);
    e.xbutton.type = ButtonRelease;
    e.xbutton.state = Button1Mask;
    XSendEvent(fl_display, fl_xid(w), True, ButtonReleaseMask, &e);
    XFlush(fl_display);
}

// Milliseconds from a click to its handler; busy: lines keep coming into the
// log meanwhile, as while a batch runs with "Details". -1 after 5 s.
double click_latency(bool busy) {
    clicked_at = 0;
    uint64_t start = now_ns();
    click_details();
    while (clicked_at == 0 && now_ns() - start < 5'000'000'000ull) {
        if (busy)
            log_printf("Sending '@/%s'", "The quick brown fox jumps over the lazy...");
        else
            ui_wait(no_wait_handle, 50);
        pump_one_message();
    }
    return clicked_at != 0 ? double(clicked_at - start) / 1e6 : -1;
}

// Pumps until the bench's window shows painted; false after 10 s.
bool painted_soon() {
    uint64_t start = now_ns();
    while (now_ns() - start < 10'000'000'000ull) {
        ui_wait(no_wait_handle, 5);
        pump_one_message();
        if (Fl_Window* w = main_window();
            w != nullptr && w->shown() && painted(fl_display, fl_xid(w)))
            return true;
    }
    return false;
}

} // namespace

void window_start_rows(const char* program) {
    constexpr int starts = 8; // the fewest whose extremes hold the median at 95%
    report_section("The window: start and memory",
                   text("The program (`varnoke`) started as it stands, %d times; the first paint "
                        "is the moment the log's empty middle shows white on the X server, seen "
                        "by another X client; resident memory (VmRSS) is read 0.2 s after that "
                        "paint.",
                        starts));
    Fl_Window* own = main_window();
    bool reshow = own != nullptr && own->shown();
    if (reshow) {
        own->hide();
        Fl::flush();
    }
    std::vector<double> ms_all;
    long rss = 0;
    for (int i = 0; i < starts; ++i) {
        double ms = 0;
        long kb = 0;
        if (!one_start(program, &ms, &kb)) {
            report_skip("start to first paint", text("%s did not paint within 10 s", program));
            ms_all.clear();
            break;
        }
        ms_all.push_back(ms);
        rss = std::max(rss, kb);
    }
    if (reshow) {
        own->show();
        painted_soon();
    }
    if (ms_all.empty()) return;
    report_row({text("start to first paint (median of %d)", starts),
                text("slowest %.0f ms", percentile(ms_all, 1.0)),
                "",
                "",
                {Goal::below, 150, " ms"},
                estimate(ms_all),
                0});
    report_row({text("resident memory after start (largest of %d)", starts),
                "",
                "",
                "",
                {Goal::below, 15, " MB"},
                single(double(rss) / 1024),
                1});
}

bool bench_window_open() {
    // The X server may refuse a connection for a moment after the program's
    // starts; the next attempt gets through.
    bool created = false;
    for (int i = 0; i < 5 && !created; ++i) {
        created = ui_create_dialog(bench_proc);
        if (!created) usleep(200000);
    }
    if (!created) return false;
    ui_show_dialog();
    return painted_soon();
}

void log_rows(int lines) {
    report_section(
        "The log at 100,000 lines",
        text("%d lines appended through `log_printf` to the log of the real FLTK window, each "
             "followed by one `pump_one_message` (so the window redraws what changed, as during "
             "a signing or a batch with \"Details\"). The clicks are a press and a release on "
             "\"Details\" sent through the X server; the time runs to the dialog procedure's "
             "call.",
             lines));
    long rss_before = resident_kb();
    constexpr int window = 1000, block = 100;
    double append_first = 0, append_last = 0, pump_first = 0, pump_last = 0;
    // Each hundred lines of the last thousand against the same hundred of
    // the first: ten ratios, so that a stall spoils one of them only.
    std::vector<double> block_first(window / block), block_last(window / block);
    uint64_t total = now_ns();
    for (int i = 0; i < lines; ++i) {
        uint64_t t0 = now_ns();
        switch (i % 3) {
        case 0:
            log_printf("TEXT block #%u (%u of %u bytes)", unsigned(i + 1), 750u, 75000000u);
            break;
        case 1:
            log_printf("Sending '@/%.38s...'", "The quick brown fox jumps over the lazy dog");
            break;
        default:
            log_printf("Replied frame [00/00/04/%08X]", unsigned(i));
            break;
        }
        uint64_t t1 = now_ns();
        pump_one_message();
        uint64_t t2 = now_ns();
        if (i < window) {
            append_first += double(t1 - t0);
            pump_first += double(t2 - t1);
            block_first[size_t(i / block)] += double(t2 - t0);
        } else if (i >= lines - window) {
            append_last += double(t1 - t0);
            pump_last += double(t2 - t1);
            block_last[size_t((i - (lines - window)) / block)] += double(t2 - t0);
        }
    }
    double seconds = double(now_ns() - total) / 1e9;
    long rss_after = resident_kb();
    double first = (append_first + pump_first) / window / 1e3;
    double last = (append_last + pump_last) / window / 1e3;
    std::vector<double> growth;
    for (size_t b = 0; b < block_first.size(); ++b)
        growth.push_back(block_last[b] / block_first[b]);
    report_row({"one line, the first thousand (append + redraw)",
                text("%.1f us (%.1f + %.1f)", first, append_first / window / 1e3,
                     pump_first / window / 1e3),
                "",
                "",
                {},
                {},
                1});
    report_row(
        {"one line, the last thousand (append + redraw)",
         text("%.1f us (%.1f + %.1f)", last, append_last / window / 1e3, pump_last / window / 1e3),
         "the first thousand, by the hundred",
         "",
         {Goal::at_most, 2, "x"},
         estimate(growth),
         2});
    report_row({text("all %d lines", lines), text("%.1f s", seconds), "", "", {}, {}, 1});
    report_row({"resident memory of the bench before and after the lines",
                text("%.1f MB, then %.1f MB (+%.0f bytes a line)", double(rss_before) / 1024,
                     double(rss_after) / 1024, double(rss_after - rss_before) * 1024 / lines),
                "",
                "",
                {},
                {},
                1});

    for (bool busy : {false, true}) {
        std::vector<double> ms;
        for (int i = 0; i < 20; ++i) {
            double t = click_latency(busy);
            if (t < 0) {
                report_skip("click to handler", "the click did not arrive within 5 s");
                return;
            }
            ms.push_back(t);
        }
        report_row({busy ? "click to handler, log full, lines still coming (20 clicks)"
                         : "click to handler, log full, idle (20 clicks)",
                    text("slowest %.2f ms", percentile(ms, 1.0)),
                    "",
                    "",
                    {Goal::below, 50, " ms"},
                    estimate(ms),
                    2});
    }
    report_note("The memory a line takes is its entry in the list (its text, about 40 bytes "
                "here, and the list's own 40), its time (8 bytes) and its slot in the time "
                "column (32), with the allocator's overhead.");
    ui_check(idc_details, false);
    log_clear();
    pump_one_message();
}
