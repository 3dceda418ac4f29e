// The log's record: entry times, and what its context menu copies and saves.
#include "app/log_menu.h"
#include "base/dialog_template.h"
#include "base/log.h"
#include "base/save_file.h"
#include "base/wall_clock.h"
#include "capture/capture_file.h"
#include "capture/wire_capture.h"
#include "support/fake_clock.h"
#include "support/fixture.h"
#include "support/test_files.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// 2024-02-29 23:59:58.250, local.
constexpr int64_t leap_evening = 1709251198250;

class LogRecordTest : public WindowTest {
  protected:
    void SetUp() override {
        fake_clock::install_wall(leap_evening);
        WindowTest::SetUp();
        dir = fs::temp_directory_path() / ("varnoke_log_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        set_whole_file_ops(nullptr);
        fake_clock::uninstall_wall();
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
        WindowTest::TearDown();
    }
    // Opens the log's menu over an entry and picks an item.
    void pick(const std::string& item, uint32_t over = no_item) {
        headless::answer_menu(item);
        headless::queue_context_menu(over);
        pump_one_message();
    }
    void save_to(const fs::path& path) {
        headless::answer_file(path.string());
        pick("Save log as...");
    }
    size_t files_in_dir() const {
        return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    fs::path dir;
};

TEST_F(LogRecordTest, EachEntryKeepsTheTimeItWasWritten) {
    // "Varnoke started" came at leap_evening.
    fake_clock::set_wall(leap_evening + 1750); // past midnight: 2024-03-01 00:00:00.000
    log_printf("first\nsecond");
    fake_clock::set_wall(leap_evening + 1751);
    log_printf("%s", std::string(300, 'x').c_str()); // two entries, one call each
    EXPECT_EQ(headless::log_lines().size(), 5u);
    EXPECT_EQ(log_entry_time(0), leap_evening);
    EXPECT_EQ(log_entry_time(1), leap_evening + 1750);
    EXPECT_EQ(log_entry_time(2), leap_evening + 1750);
    EXPECT_EQ(log_entry_time(3), leap_evening + 1751);
    EXPECT_EQ(log_entry_time(4), leap_evening + 1751);
    EXPECT_EQ(log_entry_time(5), 0) << "no such entry";

    // "X" forgets the times with the entries.
    headless::queue_click(idc_clear);
    pump_one_message();
    fake_clock::set_wall(leap_evening + 5000);
    log_printf("after");
    EXPECT_EQ(log_entry_time(0), leap_evening + 5000);
    EXPECT_EQ(headless::log_lines(), Lines{"after"});
}

TEST_F(LogRecordTest, TimesFromTheSystemClockNeverGoBack) {
    fake_clock::uninstall_wall();
    int64_t before = platform_clock_local_ms();
    for (int i = 0; i < 200; ++i) log_printf("line %d", i);
    int64_t after = platform_clock_local_ms();
    for (int i = 1; i <= 200; ++i) { // entry 0 came from the fake clock
        if (i > 1) {
            ASSERT_GE(log_entry_time(i), log_entry_time(i - 1)) << i;
        }
        ASSERT_GE(log_entry_time(i), before);
        ASSERT_LE(log_entry_time(i), after);
    }
    // The local time lies within a day of UTC.
    int64_t utc = int64_t(time(nullptr)) * 1000;
    EXPECT_LT(std::llabs(after - utc), 86400000LL);
}

TEST_F(LogRecordTest, CopyTakesTheSelectionElseTheEntryUnderThePointer) {
    log_printf("one\ttab field\ntwo");
    log_printf("%s", "");
    log_printf("three \xE9");
    // 0 "Varnoke started", 1 "one", 2 "two", 3 "", 4 "three \xE9"
    pick("Copy", 2);
    EXPECT_EQ(headless::clipboard(), "two");

    headless::select_entries({1, 3, 4});
    pick("Copy", 2);
    EXPECT_EQ(headless::clipboard(), "one\n\nthree \xE9");

    pick("Copy all");
    EXPECT_EQ(headless::clipboard(), "Varnoke started\none\ntwo\n\nthree \xE9");

    // Over no entry and with nothing selected, the clipboard keeps its text.
    headless::select_entries({});
    pick("Copy", no_item);
    pick("Copy", 99);
    EXPECT_EQ(headless::clipboard(), "Varnoke started\none\ntwo\n\nthree \xE9");
    ASSERT_EQ(headless::menus().size(), 5u);
    EXPECT_EQ(headless::menus()[0].texts, (Lines{"Copy", "Copy all", "Show times", "Save log as...",
                                                 "Save wire capture...", "Clear"}));
}

TEST_F(LogRecordTest, ShowTimesTogglesTheTimeColumn) {
    fake_clock::set_wall(leap_evening + 1750);
    log_printf("later");
    EXPECT_FALSE(headless::time_column_shown());
    pick("Show times");
    EXPECT_TRUE(headless::time_column_shown());
    EXPECT_EQ(headless::time_texts(), (Lines{"23:59:58.250", "00:00:00.000"}));
    EXPECT_EQ(headless::log_lines(), (Lines{"Varnoke started", "later"})) << "texts unchanged";
    fake_clock::set_wall(leap_evening + 1750 + 3600000 + 61001);
    log_printf("new");
    EXPECT_EQ(headless::time_texts().back(), "01:01:01.001");
    // Copied lines show their times as the log does.
    pick("Copy all");
    EXPECT_EQ(headless::clipboard(), "23:59:58.250  Varnoke started\n"
                                     "00:00:00.000  later\n"
                                     "01:01:01.001  new");

    pick("Show times");
    ASSERT_EQ(headless::menus().size(), 3u);
    EXPECT_EQ(headless::menus()[0].checked,
              (std::vector<bool>{false, false, false, false, false, false}));
    EXPECT_EQ(headless::menus()[2].checked,
              (std::vector<bool>{false, false, true, false, false, false}));
    EXPECT_FALSE(headless::time_column_shown());
    log_printf("hidden");
    EXPECT_EQ(headless::time_texts().back(), "");
}

TEST_F(LogRecordTest, SaveWritesEveryEntryWithDateAndTimeInUtf8) {
    fake_clock::set_wall(leap_evening + 1750);
    log_printf("caf\xE9 \x80 5\tnot shown");
    log_printf("%s", "");
    fs::path file = dir / "session.log";
    save_to(file);

    ASSERT_EQ(headless::file_requests().size(), 1u);
    const auto& r = headless::file_requests()[0];
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.title, "Save log as");
    EXPECT_EQ(r.default_ext, "log");
    EXPECT_EQ(r.initial_name, "varnoke-20240301-000000.log");
    EXPECT_EQ(r.save_filters,
              (std::vector<std::pair<std::string, std::string>>{{"Log files (*.log)", "*.log"},
                                                                {"Text files (*.txt)", "*.txt"}}));
    EXPECT_EQ(read_file(file), "2024-02-29 23:59:58.250  Varnoke started\n"
                               "2024-03-01 00:00:00.000  caf\xC3\xA9 \xE2\x82\xAC 5\n"
                               "2024-03-01 00:00:00.000  \n");
    EXPECT_EQ(files_in_dir(), 1u) << "no temporary file left";
    EXPECT_EQ(headless::log_lines().back(), "Log saved to [" + file.string() + "]");

    // Saving again replaces the file whole; cancelling writes nothing.
    pick("Clear");
    EXPECT_TRUE(headless::log_lines().empty());
    log_printf("only");
    save_to(file);
    EXPECT_EQ(read_file(file), "2024-03-01 00:00:00.000  only\n");
    headless::answer_file(std::nullopt);
    pick("Save log as...");
    EXPECT_EQ(files_in_dir(), 1u);
    EXPECT_TRUE(headless::boxes().empty());

    // The platform's own line end.
    EXPECT_EQ(log_file_text("\r\n"), "2024-03-01 00:00:00.000  only\r\n"
                                     "2024-03-01 00:00:00.000  Log saved to [" +
                                         file.string() + "]\r\n");

    // The new file has the mode of the one it replaced (not the temporary
    // file's owner-only one).
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    save_to(file);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Steps of the platform that fail as a full disk makes them fail.
int failing_step = 0; // 1 write, 2 close, 3 replace
size_t written_before_failure = 0;

size_t short_write(const void* data, size_t size, FILE* file) {
    if (failing_step != 1) return platform_whole_file_ops.write(data, size, file);
    size_t part = std::min(size, written_before_failure);
    platform_whole_file_ops.write(data, part, file);
    errno = ENOSPC;
    return part;
}
int failing_close(FILE* file) {
    int result = platform_whole_file_ops.close(file);
    if (failing_step != 2) return result;
    errno = ENOSPC;
    return EOF;
}
bool failing_replace(const char* temp, const char* path) {
    if (failing_step != 3) return platform_whole_file_ops.replace(temp, path);
    errno = EXDEV;
    return false;
}
const WholeFileOps full_disk{platform_whole_file_ops.create_beside, short_write, failing_close,
                             failing_replace, platform_whole_file_ops.remove};

TEST_F(LogRecordTest, FailedSaveSaysSoAndLeavesNoHalfFile) {
    for (int i = 0; i < 100; ++i) log_printf("entry %d", i);
    fs::path kept = dir / "kept.log";
    save_to(kept);
    std::string before = read_file(kept);
    ASSERT_GT(before.size(), 3000u);
    size_t lines_before = headless::log_lines().size();

    set_whole_file_ops(&full_disk);
    struct Case {
        int step;
        const char* reason;
    } cases[] = {{1, "No space left on device"},
                 {2, "No space left on device"},
                 {3, "Invalid cross-device link"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        failing_step = c.step;
        written_before_failure = 1000;
        for (const fs::path& target : {dir / "new.log", kept}) {
            headless::answer_box(id_ok);
            save_to(target);
            ASSERT_FALSE(headless::boxes().empty());
            EXPECT_EQ(headless::boxes().back().text,
                      "Cannot save the log to [" + target.string() + "]: " + c.reason);
            EXPECT_EQ(headless::boxes().back().caption, " Error ");
            EXPECT_FALSE(fs::exists(dir / "new.log"));
            EXPECT_EQ(read_file(kept), before) << "the old file is whole";
            EXPECT_EQ(files_in_dir(), 1u) << "no temporary file left";
        }
    }
    EXPECT_EQ(headless::log_lines().size(), lines_before) << "no \"Log saved\" line";

    // A folder that does not exist.
    set_whole_file_ops(nullptr);
    headless::answer_box(id_ok);
    save_to(dir / "missing" / "x.log");
    EXPECT_EQ(headless::boxes().back().text, "Cannot save the log to [" +
                                                 (dir / "missing" / "x.log").string() +
                                                 "]: No such file or directory");
}

TEST_F(LogRecordTest, SaveWireCaptureWritesTheChosenFile) {
    // Named by the time as the log's save names its file, so that two
    // captures of one day do not take the same name.
    fake_clock::set_wall(leap_evening + 1750);
    wire_capture_reset();
    wire_serial_opened(1, 115200, 'N', 8, 1);
    wire_serial_byte(WireDirection::outbound, 0x05);
    fs::path file = dir / "wire.pcapng";
    headless::answer_file(file.string());
    pick("Save wire capture...");
    ASSERT_EQ(headless::file_requests().size(), 1u);
    EXPECT_TRUE(headless::file_requests()[0].save);
    EXPECT_EQ(headless::file_requests()[0].default_ext, "pcapng");
    EXPECT_EQ(headless::file_requests()[0].initial_name, "varnoke-20240301-000000.pcapng");
    fake_clock::set_wall(leap_evening + 1750 + 36000000 + 754000); // 10:12:34
    char name[32];
    wire_capture_default_name(name, sizeof name);
    EXPECT_STREQ(name, "varnoke-20240301-101234.pcapng");
    wire_capture_default_name(name, 12);
    EXPECT_STREQ(name, "varnoke-202") << "cut to the size given";
    // What the file holds is the capture tests' concern.
    EXPECT_TRUE(fs::exists(file));
    headless::answer_file(std::nullopt);
    pick("Save wire capture...");
    EXPECT_EQ(files_in_dir(), 1u) << "a cancelled picker writes nothing";
    wire_capture_reset();
}

TEST_F(LogRecordTest, FolderWithoutWritePermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes whatever the permissions say";
    fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    headless::answer_box(id_ok);
    save_to(locked / "x.log");
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(headless::boxes().back().text,
              "Cannot save the log to [" + (locked / "x.log").string() + "]: Permission denied");
    EXPECT_TRUE(fs::is_empty(locked));
}

} // namespace
