// The FLTK window on a real X server (run under xvfb_run.sh), driven with
// real input events from xdotool.
#include "base/dialog_template.h"
#include "base/layout.h"
#include "base/window.h"

// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::pair<DialogMsg, uint32_t>> received;

bool record(DialogMsg msg, uint32_t wparam) {
    received.emplace_back(msg, wparam);
    return true;
}

bool got(DialogMsg msg, uint32_t wparam = 0) {
    for (auto& r : received)
        if (r.first == msg && r.second == wparam) return true;
    return false;
}

bool got_command(int id, unsigned notification) {
    return got(DialogMsg::command, make_command(id, notification));
}

// Dispatches window events until done() holds; false after 5 s without.
bool pump_until(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ui_wait(no_wait_handle, 20);
        pump_one_message();
    }
    return true;
}

bool viewable(Fl_Window* w) {
    XWindowAttributes a;
    return w->shown() && XGetWindowAttributes(fl_display, fl_xid(w), &a) != 0 &&
           a.map_state == IsViewable;
}

Fl_Window* window_titled(const std::string& title) {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w))
        if (w->label() != nullptr && title == w->label()) return w;
    return nullptr;
}

Fl_Window* main_window() {
    return window_titled("Varnoke v2.24n");
}

void xdo(const std::string& args) {
    std::string command = "xdotool " + args;
    ASSERT_EQ(system(command.c_str()), 0) << command;
}

// Pointer moves and clicks relative to a window's client area.
void click_in(Fl_Window* w, int x, int y) {
    xdo("mousemove --sync --window " + std::to_string(fl_xid(w)) + " " + std::to_string(x) + " " +
        std::to_string(y) + " click 1");
}

// Dialog units to pixels for the 8-point base font: 1.5 px across and
// 1.625 px down, rounded to the nearest pixel.
int px_x(int du) {
    return int(std::lround(du * 1.5));
}
int px_y(int du) {
    return int(std::lround(du * 1.625));
}

const ControlDef& def_of(int id) {
    for (const ControlDef& d : dialog_controls)
        if (d.id == id) return d;
    std::abort();
}

void click_control(int id, int dx, int dy) {
    const ControlDef& d = def_of(id);
    click_in(main_window(), px_x(d.x) + dx, px_y(d.y) + dy);
}

// Every widget below w, depth first.
void for_each_widget(Fl_Widget* w, const std::function<void(Fl_Widget*)>& visit) {
    visit(w);
    if (Fl_Group* g = w->as_group())
        for (int i = 0; i < g->children(); ++i) for_each_widget(g->child(i), visit);
}

Fl_Browser* log_browser() {
    Fl_Browser* found = nullptr;
    for_each_widget(main_window(), [&](Fl_Widget* w) {
        if (auto* b = dynamic_cast<Fl_Browser*>(w)) found = b;
    });
    return found;
}

std::string text_of(int id) {
    char buf[1024];
    ui_get_text(id, buf, sizeof buf);
    return buf;
}

void send_close_request(Fl_Window* w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = fl_xid(w);
    e.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, fl_xid(w), False, NoEventMask, &e);
    XFlush(fl_display);
}

class FltkWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        received.clear();
        ASSERT_TRUE(ui_create_dialog(record));
        ui_show_dialog();
        ASSERT_TRUE(pump_until([] { return main_window() && viewable(main_window()); }));
        received.clear();
    }
    void TearDown() override {
        ui_destroy_dialog();
        pump_one_message();
    }
};

TEST_F(FltkWindow, ClientAreaFollowsTheDialogUnits) {
    Fl_Window* w = main_window();
    EXPECT_EQ(w->w(), px_x(dialog_def.w));
    EXPECT_EQ(w->h(), px_y(dialog_def.h));
    EXPECT_EQ(w->w(), 570);
    EXPECT_EQ(w->h(), 419);
}

// Each button answers a click near each of its corners, so its pixel
// rectangle is where the template puts it; disabled ones stay silent.
TEST_F(FltkWindow, ButtonsAnswerOverTheirWholeRectangle) {
    for (const ControlDef& d : dialog_controls) {
        if (d.kind != ControlKind::button) continue;
        int w = px_x(d.x + d.w) - px_x(d.x), h = px_y(d.y + d.h) - px_y(d.y);
        for (auto [dx, dy] : {std::pair{2, 2}, std::pair{w - 3, h - 3}}) {
            received.clear();
            click_control(d.id, dx, dy);
            if (d.disabled) {
                // Input events arrive in order: once a later click is in,
                // the one on the disabled button has been dealt with.
                click_control(idc_exit, 5, 5);
                ASSERT_TRUE(pump_until([] { return got_command(idc_exit, bn_clicked); }));
                EXPECT_FALSE(got_command(d.id, bn_clicked)) << d.text << " is disabled";
            } else {
                EXPECT_TRUE(pump_until([&] { return got_command(d.id, bn_clicked); }))
                    << d.text << " at " << dx << "," << dy;
            }
        }
    }
}

TEST_F(FltkWindow, EnableAndCheckFollowTheCalls) {
    ui_enable(idc_send, true);
    click_control(idc_send, 5, 5);
    EXPECT_TRUE(pump_until([] { return got_command(idc_send, bn_clicked); }));
    ui_enable(idc_exit, false);
    click_control(idc_exit, 5, 5);
    click_control(idc_connect, 5, 5);
    ASSERT_TRUE(pump_until([] { return got_command(idc_connect, bn_clicked); }));
    EXPECT_FALSE(got_command(idc_exit, bn_clicked));

    ui_check(idc_details, true);
    click_control(idc_details, 6, 8);
    EXPECT_TRUE(pump_until([] { return !ui_is_checked(idc_details); }));
    EXPECT_TRUE(got_command(idc_details, bn_clicked));
}

// The address box: a pick selects, typing leaves no item selected, and
// picking the same item again after typing takes it back.
TEST_F(FltkWindow, EditComboSelectionAsOnWindows) {
    ui_combo_reset(idc_address);
    for (const char* rate : {"9600", "19200", "38400"}) ui_combo_add(idc_address, rate);
    ui_combo_select(idc_address, 1);
    EXPECT_EQ(ui_combo_selection(idc_address), 1);
    EXPECT_EQ(text_of(idc_address), "19200");

    const ControlDef& d = def_of(idc_address);
    int arrow = px_x(d.x + d.w) - px_x(d.x) - 8;
    for (int round = 0; round < 2; ++round) {
        click_control(idc_address, 10, 10);
        xdo("key ctrl+a");
        xdo("type 1x");
        ASSERT_TRUE(pump_until([] { return text_of(idc_address) == "1x"; }));
        EXPECT_EQ(ui_combo_selection(idc_address), -1);

        received.clear();
        click_control(idc_address, arrow, 10);
        xdo("key Down Return");
        ASSERT_TRUE(pump_until([] { return got_command(idc_address, cbn_selchange); }))
            << "round " << round;
        EXPECT_EQ(ui_combo_selection(idc_address), 0);
        EXPECT_EQ(text_of(idc_address), "9600");
    }

    ui_combo_select(idc_address, -1);
    EXPECT_EQ(text_of(idc_address), "");
    ui_combo_select(idc_address, 2);
    ui_combo_reset(idc_address);
    EXPECT_EQ(text_of(idc_address), "");
    EXPECT_EQ(ui_combo_count(idc_address), 0);
    EXPECT_EQ(ui_combo_selection(idc_address), -1);
    char buf[8] = "unset";
    EXPECT_EQ(ui_combo_item_text(idc_address, 0, buf, sizeof buf), -1);
}

TEST_F(FltkWindow, KindListPickSendsSelectionChange) {
    ui_combo_reset(idc_kind);
    for (const char* kind : {"COM1", "COM2", "Network"}) ui_combo_add(idc_kind, kind);
    ui_combo_select(idc_kind, 0);
    click_control(idc_kind, 4, 10); // where "ESD" overlaps the list
    xdo("key Down Return");
    ASSERT_TRUE(pump_until([] { return got_command(idc_kind, cbn_selchange); }));
    EXPECT_EQ(ui_combo_selection(idc_kind), 1);
    EXPECT_EQ(text_of(idc_kind), "COM2");
    EXPECT_FALSE(ui_is_checked(idc_esd)) << "the click went to the check box below the list";
    ui_combo_select(idc_kind, 7);
    EXPECT_EQ(ui_combo_selection(idc_kind), -1);
    EXPECT_EQ(text_of(idc_kind), "");
}

TEST_F(FltkWindow, CloseBoxAsksTheDialogAndEscapeDoesNothing) {
    click_control(idc_command, 5, 5); // pointer and focus in the window
    xdo("key Escape");
    click_control(idc_exit, 5, 5);
    ASSERT_TRUE(pump_until([] { return got_command(idc_exit, bn_clicked); }));
    EXPECT_FALSE(got(DialogMsg::close));

    send_close_request(main_window());
    ASSERT_TRUE(pump_until([] { return got(DialogMsg::close); }));
    EXPECT_TRUE(viewable(main_window())) << "the dialog procedure decides, not the toolkit";
}

// Every byte of an 8-bit text survives the way through the window, and
// what FLTK holds is valid UTF-8.
TEST_F(FltkWindow, EightBitTextsRoundTripAsUtf8) {
    std::string all;
    for (int c = 0x20; c <= 0xFF; ++c) all += char(c);
    for (int id :
         {int(idc_request), int(idc_command), int(idc_address), int(idc_connect), int(idc_bat)}) {
        ui_set_text(id, all.c_str());
        EXPECT_EQ(text_of(id), all) << id;
    }
    ui_combo_add(idc_kind, all.c_str());
    ui_combo_select(idc_kind, ui_combo_count(idc_kind) - 1);
    EXPECT_EQ(text_of(idc_kind), all);
    char item[512];
    ui_combo_item_text(idc_kind, ui_combo_count(idc_kind) - 1, item, sizeof item);
    EXPECT_EQ(item, all);
    ui_list_insert_column(idc_log, 0, "Varnoke messages", 2000);
    ui_list_set_item_text(idc_log, ui_list_insert_item(idc_log, 0), 0, all.c_str());

    auto valid = [](const char* s) { return s == nullptr || fl_utf8test(s, unsigned(strlen(s))); };
    int texts = 0;
    for_each_widget(main_window(), [&](Fl_Widget* w) {
        EXPECT_TRUE(valid(w->label())) << w->label();
        if (auto* in = dynamic_cast<Fl_Input*>(w)) {
            EXPECT_TRUE(valid(in->value()));
        }
        if (auto* b = dynamic_cast<Fl_Browser*>(w)) {
            for (int i = 1; i <= b->size(); ++i) EXPECT_TRUE(valid(b->text(i)));
        }
        if (auto* m = dynamic_cast<Fl_Menu_*>(w)) {
            for (int i = 0; i < m->size() - 1; ++i) EXPECT_TRUE(valid(m->menu()[i].label()));
        }
        ++texts;
    });
    EXPECT_GT(texts, 60);
}

TEST_F(FltkWindow, LogShowsColumnZeroAndScrollsToTheEnsuredItem) {
    ui_list_insert_column(idc_log, 0, "Varnoke messages", 2000);
    for (int i = 0; i < 200; ++i) {
        int item = ui_list_insert_item(idc_log, ui_list_count(idc_log));
        ASSERT_EQ(item, i);
        ui_list_set_item_text(idc_log, item, 0, ("line " + std::to_string(i)).c_str());
    }
    ui_list_set_item_text(idc_log, 0, 1, "second column");
    Fl_Browser* b = log_browser();
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->text(1), "line 0");

    ui_list_ensure_visible(idc_log, 199);
    pump_one_message();
    EXPECT_TRUE(b->displayed(200));
    EXPECT_FALSE(b->displayed(1));
    ui_list_ensure_visible(idc_log, 0);
    pump_one_message();
    EXPECT_TRUE(b->displayed(1));
    // An entry below the view ends up at its bottom, where FLTK's bottomline
    // (which adds up the heights of all the lines above) puts it too.
    ui_list_ensure_visible(idc_log, 150);
    int position = b->position();
    b->bottomline(151);
    EXPECT_EQ(b->position(), position);
    pump_one_message();
    EXPECT_TRUE(b->displayed(151));
    EXPECT_FALSE(b->displayed(152));

    ui_list_delete_all(idc_log);
    EXPECT_EQ(ui_list_count(idc_log), 0);
}

// Answers the next box titled `title` by clicking its button `button`,
// once the box is on the screen; optionally asks it to close first.
struct BoxClick {
    std::string title;
    std::string button;
    bool close_first = false;
    std::string text = {}; // the box's message as drawn, filled when answered
};

void click_box_button(void* data) {
    auto* c = static_cast<BoxClick*>(data);
    Fl_Window* box = window_titled(c->title);
    if (box == nullptr || !viewable(box)) {
        Fl::repeat_timeout(0.05, click_box_button, data);
        return;
    }
    if (c->close_first) send_close_request(box);
    for_each_widget(box, [&](Fl_Widget* w) {
        if (w->label() != nullptr && !dynamic_cast<Fl_Button*>(w)) c->text = w->label();
        if (w->label() != nullptr && c->button == w->label() && dynamic_cast<Fl_Button*>(w))
            click_in(box, w->x() + w->w() / 2, w->y() + w->h() / 2);
    });
}

TEST_F(FltkWindow, MessageBoxesReturnTheButtonPressed) {
    BoxClick ok{" Error ", "OK"};
    Fl::add_timeout(0.05, click_box_button, &ok);
    EXPECT_EQ(ui_message_box(true, "Not connected!", " Error ", mb_ok | mb_iconerror), id_ok);

    BoxClick no{"Question", "No"};
    Fl::add_timeout(0.05, click_box_button, &no);
    EXPECT_EQ(ui_message_box(true, "Go on?", "Question", mb_yesno), id_no);

    // A Yes/No box has no close: only its buttons answer it.
    BoxClick yes{"Question", "Yes", true};
    Fl::add_timeout(0.05, click_box_button, &yes);
    EXPECT_EQ(ui_message_box(false, "\xC5rror", "Question", mb_yesno), id_yes);
    EXPECT_EQ(yes.text, "\u00C5rror");

    // Windows line ends break the line, as there.
    BoxClick lines{"Lines", "OK"};
    Fl::add_timeout(0.05, click_box_button, &lines);
    EXPECT_EQ(ui_message_box(true, "one \r\n\r\n two", "Lines", mb_ok), id_ok);
    EXPECT_EQ(lines.text, "one \n\n two");
}

void watchdog(void* fired) {
    *static_cast<bool*>(fired) = true;
}

TEST_F(FltkWindow, WaitReturnsForAReadableHandleOrTheDeadline) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    bool fired = false;
    Fl::add_timeout(10.0, watchdog, &fired);
    ui_wait(fds[0], 20); // nothing readable: returns at the deadline
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ui_wait(fds[0], wait_forever);
    EXPECT_FALSE(fired) << "the readable handle did not end the wait";
    Fl::remove_timeout(watchdog, &fired);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(FltkWindow, WaitForInputHandlesWindowEventsAndLetsTimersRun) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0); // never readable
    click_control(idc_details, 6, 8);
    for (int i = 0; i < 100 && !got_command(idc_details, bn_clicked); ++i)
        ui_wait(fds[0], wait_forever);
    EXPECT_TRUE(got_command(idc_details, bn_clicked)) << "the wait left the click undelivered";

    // FLTK's timers run in the caller's pump between its waits.
    bool fired = false;
    Fl::add_timeout(0.01, watchdog, &fired);
    for (int i = 0; i < 100 && !fired; ++i) {
        ui_wait(fds[0], wait_forever);
        pump_one_message();
    }
    EXPECT_TRUE(fired);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(FltkWindow, SameTextAgainIsNoChangeToRedraw) {
    ui_set_text(idc_reply, "00/00/00/ESD-SIM");
    ASSERT_TRUE(pump_until([] { return Fl::damage() == 0; }));
    ui_set_text(idc_reply, "00/00/00/ESD-SIM");
    EXPECT_EQ(Fl::damage(), 0);
    ui_set_text(idc_reply, "00/00/04/");
    EXPECT_NE(Fl::damage(), 0);
    EXPECT_EQ(text_of(idc_reply), "00/00/04/");
    // Beyond ASCII the texts differ from their labels in UTF-8.
    for (const char* text : {"00/00/00/\xC5rror", "00/00/00/\xC5rro"}) {
        ui_set_text(idc_reply, text);
        ASSERT_TRUE(pump_until([] { return Fl::damage() == 0; }));
        ui_set_text(idc_reply, text);
        EXPECT_EQ(Fl::damage(), 0) << text;
        EXPECT_EQ(text_of(idc_reply), text);
    }
    ui_set_text(idc_reply, "00/00/00/\xC5rr");
    EXPECT_NE(Fl::damage(), 0);
}

// FLTK's own picker (not GTK's, which a machine may lack) answers Return over
// it with its OK: the preset file. A path that does not fit the caller's
// buffer is refused.
void press_return_in_picker(void*) {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (w != main_window() && viewable(w)) {
            xdo("mousemove --sync --window " + std::to_string(fl_xid(w)) + " 5 5 key Return");
            return;
        }
    }
    Fl::repeat_timeout(0.05, press_return_in_picker);
}

TEST_F(FltkWindow, FilePickerReturnsThePathWithinTheBuffer) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("varnoke_picker_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path file = dir / "chosen.txt";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);

    Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
    char path[512] = "chosen.txt";
    OpenFileRequest r{"txt files", "*.txt", dir.c_str(), "Pick", "txt", path, sizeof path};
    Fl::add_timeout(0.05, press_return_in_picker);
    ASSERT_TRUE(ui_open_file_dialog(r));
    EXPECT_EQ(fs::path(path), file);

    char small[12] = "chosen.txt";
    OpenFileRequest tight{"txt files", "*.txt", dir.c_str(), "Pick", "txt", small, sizeof small};
    Fl::add_timeout(0.05, press_return_in_picker);
    EXPECT_FALSE(ui_open_file_dialog(tight));
    EXPECT_STREQ(small, "chosen.txt");
    fs::remove_all(dir);
}

// Dispatches window events for a moment, so that the window is drawn.
void settle() {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    pump_until([until] { return std::chrono::steady_clock::now() > until; });
}

// The log with its column and `count` lines "line 0", "line 1", ...
Fl_Browser* fill_log(int count) {
    ui_list_insert_column(idc_log, 0, "Varnoke messages", 2000);
    ui_list_set_full_row_select(idc_log);
    for (int i = 0; i < count; ++i)
        ui_list_set_item_text(idc_log, ui_list_insert_item(idc_log, i), 0,
                              ("line " + std::to_string(i)).c_str());
    Fl_Browser* b = log_browser();
    b->topline(1);
    settle(); // the lines have their places once drawn
    return b;
}

// The middle of a visible line (from 1) of the browser, in window pixels.
int line_y(Fl_Browser* b, int line) {
    fl_font(b->textfont(), b->textsize());
    return b->y() + (2 * (line - b->topline()) + 1) * fl_height() / 2;
}

// Absolute moves, so that a held button makes a drag.
void click_line(Fl_Browser* b, int line, const std::string& how = "click 1") {
    Fl_Window* w = main_window();
    xdo("mousemove --sync " + std::to_string(w->x() + b->x() + 40) + " " +
        std::to_string(w->y() + line_y(b, line)) + " " + how);
}

std::vector<int> selected_items() {
    std::vector<int> items;
    for (int i = ui_list_next_selected(idc_log, -1); i >= 0; i = ui_list_next_selected(idc_log, i))
        items.push_back(i);
    return items;
}

TEST_F(FltkWindow, ContextMenuIsAskedForOverTheEntryWithoutChangingTheSelection) {
    Fl_Browser* b = fill_log(20);
    b->select(1);
    click_line(b, 3, "click 3");
    ASSERT_TRUE(pump_until([] { return got(DialogMsg::context_menu, 2); }));
    EXPECT_EQ(selected_items(), std::vector<int>{0});

    ui_list_delete_all(idc_log);
    ui_list_set_item_text(idc_log, ui_list_insert_item(idc_log, 0), 0, "only");
    received.clear();
    click_line(b, 4, "click 3"); // below the last entry
    ASSERT_TRUE(pump_until([] { return got(DialogMsg::context_menu, no_item); }));

    // From the keyboard, while the log has the focus.
    click_line(b, 1);
    ASSERT_TRUE(pump_until([] { return Fl::focus() == log_browser(); }));
    for (const char* keys : {"shift+F10", "Menu"}) {
        received.clear();
        xdo(std::string("key ") + keys);
        EXPECT_TRUE(pump_until([] { return got(DialogMsg::context_menu, no_item); })) << keys;
    }
    // Not from the command field.
    click_control(idc_command, 5, 5);
    received.clear();
    xdo("key shift+F10");
    click_control(idc_exit, 5, 5);
    ASSERT_TRUE(pump_until([] { return got_command(idc_exit, bn_clicked); }));
    EXPECT_FALSE(got(DialogMsg::context_menu, no_item));
}

TEST_F(FltkWindow, SeveralEntriesAreSelectedWithShiftCtrlOrADrag) {
    Fl_Browser* b = fill_log(10);
    click_line(b, 2);
    click_line(b, 5, "keydown shift click 1 keyup shift");
    ASSERT_TRUE(pump_until([] { return selected_items() == std::vector<int>{1, 2, 3, 4}; }));
    click_line(b, 8, "keydown ctrl click 1 keyup ctrl");
    ASSERT_TRUE(pump_until([] { return selected_items() == std::vector<int>{1, 2, 3, 4, 7}; }));
    // FLTK takes the pointer's moves after the other events that wait: the
    // drag is handled before the button goes up.
    click_line(b, 1, "mousedown 1");
    ASSERT_TRUE(pump_until([] { return selected_items() == std::vector<int>{0}; }));
    click_line(b, 3, "");
    ASSERT_TRUE(pump_until([] { return selected_items() == std::vector<int>{0, 1, 2}; }));
    xdo("mouseup 1");
}

TEST_F(FltkWindow, TimeColumnStandsBeforeTheTextWhichReadsBackAlone) {
    Fl_Browser* b = fill_log(1);
    ui_list_show_time_column(idc_log, true);
    ui_list_set_time_text(idc_log, 0, "12:00:00.000");
    ui_list_set_item_text(idc_log, ui_list_insert_item(idc_log, 1), 0, "new \xE9");
    ui_list_set_time_text(idc_log, 1, "12:00:02.000");
    EXPECT_STREQ(b->text(2), "12:00:02.000\tnew \xC3\xA9");
    char text[64];
    EXPECT_EQ(ui_list_item_text(idc_log, 1, 0, text, sizeof text), 5);
    EXPECT_STREQ(text, "new \xE9");
    ui_list_show_time_column(idc_log, false);
    EXPECT_STREQ(b->text(1), "line 0");
}

// Entries come in as the log writes them: the line first, then its time and
// its text.
TEST_F(FltkWindow, LogWithTheTimeColumnFollowsItsNewEntries) {
    Fl_Browser* b = fill_log(1);
    ui_list_show_time_column(idc_log, true);
    for (int item = 1; item < 40; ++item) {
        ASSERT_EQ(ui_list_insert_item(idc_log, item), item);
        ui_list_set_time_text(idc_log, item, "12:00:00.000");
        ui_list_set_item_text(idc_log, item, 0, "entry");
        ui_list_ensure_visible(idc_log, item);
        pump_one_message();
    }
    EXPECT_TRUE(b->displayed(40)) << "the newest entry is out of view";
    EXPECT_FALSE(b->displayed(1));
}

TEST_F(FltkWindow, GrownWindowKeepsEveryControlInItsCornerAndClickable) {
    Fl_Browser* b = fill_log(200);
    b->bottomline(200);
    auto shown = [b] {
        int n = 0;
        for (int line = 1; line <= b->size(); ++line) n += b->displayed(line) ? 1 : 0;
        return n;
    };
    int before = shown();
    Fl_Window* w = main_window();
    std::string id = std::to_string(fl_xid(w));
    xdo("windowmove --sync " + id + " 0 0");
    xdo("windowsize --sync " + id + " 1000 800");
    ASSERT_TRUE(pump_until([w] { return w->w() == 1000 && w->h() == 800; }));
    settle();
    EXPECT_GT(shown(), 2 * before) << before << " lines before";
    EXPECT_TRUE(b->displayed(200)) << "the last entry stays in view";

    for_each_widget(w, [w](Fl_Widget* c) {
        if (c == w) return;
        EXPECT_TRUE(c->x() >= 0 && c->y() >= 0 && c->x() + c->w() <= w->w() &&
                    c->y() + c->h() <= w->h())
            << (c->label() ? c->label() : "(no label)");
    });
    for (const ControlDef& d : dialog_controls) {
        if (d.kind != ControlKind::button) continue;
        ui_enable(d.id, true);
        PixelRect start{px_x(d.x), px_y(d.y), px_x(d.x + d.w) - px_x(d.x),
                        px_y(d.y + d.h) - px_y(d.y)};
        PixelRect r = anchored_rect(start, anchor_of(d.id), 1000 - 570, 800 - 419);
        for (auto [dx, dy] : {std::pair{2, 2}, std::pair{r.w - 3, r.h - 3}}) {
            received.clear();
            click_in(w, r.x + dx, r.y + dy);
            EXPECT_TRUE(pump_until([&] { return got_command(d.id, bn_clicked); }))
                << d.text << " at " << r.x + dx << "," << r.y + dy;
        }
    }
}

// Return goes to the dialog procedure from the command field and the
// address/rate box, each with its own id; in the other fields it stays the
// field's. A click on "Exit" after each Return marks when its events are in.
TEST_F(FltkWindow, ReturnInTheCommandFieldAndTheAddressBoxGoesToTheProcedure) {
    ui_enable(idc_exit, true);
    struct Case {
        int field;
        bool asks;
    } cases[] = {
        {idc_command, true}, {idc_address, true}, {idc_sign_path, false}, {idc_batch_path, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        received.clear();
        click_control(c.field, 5, 5);
        xdo("key Return");
        click_control(idc_exit, 5, 5);
        ASSERT_TRUE(pump_until([] { return got_command(idc_exit, bn_clicked); }));
        EXPECT_EQ(got(DialogMsg::key, make_command(c.field, vk_return)), c.asks);
        int keys = 0;
        for (auto& r : received) keys += r.first == DialogMsg::key ? 1 : 0;
        EXPECT_EQ(keys, c.asks ? 1 : 0);
    }
    // With a modifier, Return is not the button's.
    received.clear();
    click_control(idc_command, 5, 5);
    xdo("key shift+Return");
    click_control(idc_exit, 5, 5);
    ASSERT_TRUE(pump_until([] { return got_command(idc_exit, bn_clicked); }));
    EXPECT_FALSE(got(DialogMsg::key, make_command(idc_command, vk_return)));
}

// Grown to 1000 x 800, the command field, the two path fields and the Reply
// field take the new width, and each button stays within 12 pixels of its
// field, on its row; the far end of a field takes a click.
TEST_F(FltkWindow, GrownWindowKeepsEachButtonBesideItsField) {
    Fl_Window* w = main_window();
    // The widgets by their place at start, before the layout moves them.
    auto widget_at = [w](int id) {
        const ControlDef& d = def_of(id);
        int inset = d.kind == ControlKind::static_left ? 3 : 0;
        Fl_Widget* found = nullptr;
        for_each_widget(w, [&](Fl_Widget* c) {
            if (found == nullptr && c != w && c->x() == px_x(d.x) - inset && c->y() == px_y(d.y))
                found = c;
        });
        return found;
    };
    struct Pair {
        int field, button;
        Fl_Widget *f, *b;
    } pairs[] = {{idc_command, idc_send, nullptr, nullptr},
                 {idc_sign_path, idc_pick_sign, nullptr, nullptr},
                 {idc_batch_path, idc_pick_batch, nullptr, nullptr}};
    for (Pair& p : pairs) {
        p.f = widget_at(p.field);
        p.b = widget_at(p.button);
        ASSERT_TRUE(p.f != nullptr && p.b != nullptr) << p.field;
    }
    Fl_Widget* reply = widget_at(idc_reply);
    ASSERT_NE(reply, nullptr);
    int reply_w = reply->w();

    std::string id = std::to_string(fl_xid(w));
    xdo("windowmove --sync " + id + " 0 0");
    xdo("windowsize --sync " + id + " 1000 800");
    ASSERT_TRUE(pump_until([w] { return w->w() == 1000 && w->h() == 800; }));
    settle();
    for (const Pair& p : pairs) {
        int gap = p.b->x() - (p.f->x() + p.f->w());
        EXPECT_TRUE(gap >= 0 && gap <= 12) << p.field << ": " << gap << " pixels to its button";
        EXPECT_LE(std::abs(p.b->y() - p.f->y()), 12) << p.field;
        EXPECT_EQ(p.b->x(), px_x(def_of(p.button).x) + 1000 - 570) << "the button went right";
    }
    EXPECT_EQ(reply->w(), reply_w + 1000 - 570);

    Fl_Widget* command = pairs[0].f;
    ui_set_text(idc_command, "");
    click_in(w, command->x() + command->w() - 4, command->y() + 4);
    xdo("type x");
    EXPECT_TRUE(pump_until([] { return text_of(idc_command) == "x"; }));
}

} // namespace
