// The wait in passes that the datagram links share, driven by a scripted
// receive on a clock that the waits move: each window takes the frames its
// pass is given, then closes.
#include "net/net_passes.h"
#include "support/fake_clock.h"
#include "support/headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What each pass's window receives, one character a frame: its verdict
// ('I' ignored, 'R' resend, 'A' answered, 'X' refused, 'S' socket failure),
// or '!' for a receive that fails.
std::vector<std::string> script;
size_t pass = 0;  // the pass whose window is open, from 1
size_t taken = 0; // frames of it taken so far
char last = 0;    // the frame being judged

Result scripted_receive(NetLink&, bool* received) {
    *received = false;
    if (pass == 0 || pass > script.size() || taken >= script[pass - 1].size()) return result_ok;
    last = script[pass - 1][taken++];
    if (last == '!') return net_socket_failure;
    *received = true;
    return result_ok;
}

Heard verdict_of(char c) {
    switch (c) {
    case 'R':
        return Heard::resend;
    case 'A':
        return Heard::answered;
    case 'X':
        return Heard::refused;
    case 'S':
        return Heard::socket_failure;
    default:
        return Heard::ignored;
    }
}

class NetPassesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        headless::reset();
        fake_clock::install(1000, 0);
        // Time moves in steps of 100 ms, so that a window of 400 ms takes up
        // to four frames.
        headless::set_wait_hook(
            [](WaitHandle, uint32_t ms) { fake_clock::advance(ms < 100 ? ms : 100); });
        pass = taken = 0;
    }
    void TearDown() override {
        fake_clock::uninstall();
        headless::reset();
    }
};

TEST_F(NetPassesTest, PassesEndAsTheirFramesSay) {
    const struct {
        const char* what;
        int count;
        std::vector<std::string> frames;
        size_t send_fails_at; // the pass whose send fails; 0: none
        int result;
        bool ran_out;
        size_t sends, closed, heard;
    } cases[] = {
        {"a silent device", 3, {}, 0, net_protocol_failure, true, 3, 3, 0},
        {"answered in the second pass", 3, {"", "A"}, 0, result_ok, false, 2, 1, 1},
        {"ignored frames keep the window open", 3, {"II", "IA"}, 0, result_ok, false, 2, 1, 4},
        {"a resend does not count as a pass",
         2,
         {"R", "R", "R"},
         0,
         net_protocol_failure,
         true,
         5,
         2,
         3},
        {"a refusal ends at once", 5, {"IX"}, 0, net_protocol_failure, false, 1, 0, 2},
        {"a failed answer is a socket failure", 5, {"S"}, 0, net_socket_failure, false, 1, 0, 1},
        {"a failed receive is a socket failure", 5, {"I!"}, 0, net_socket_failure, false, 1, 0, 1},
        {"a failed send ends with its result", 5, {""}, 2, net_socket_failure, false, 2, 1, 0},
        {"no passes, no send", 0, {}, 0, net_protocol_failure, true, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        script = c.frames;
        pass = taken = 0;
        size_t sends = 0, closed = 0, heard = 0;
        NetLink link{};
        SocketSlot slot;
        auto send = [&]() -> Result {
            ++sends;
            if (sends == c.send_fails_at) return net_socket_failure;
            ++pass;
            taken = 0;
            return result_ok;
        };
        auto judge = [&] {
            ++heard;
            return verdict_of(last);
        };
        auto on_closed = [&] { ++closed; };
        PassesEnd end =
            run_passes(link, slot, scripted_receive, Passes{c.count, 400}, send, judge, on_closed);
        EXPECT_EQ(end.result, c.result);
        EXPECT_EQ(end.ran_out, c.ran_out);
        EXPECT_EQ(sends, c.sends);
        EXPECT_EQ(closed, c.closed);
        EXPECT_EQ(heard, c.heard);
    }
}

// Each pass's window is its own: a window of 400 ms opens at each send.
TEST_F(NetPassesTest, EachPassWaitsItsWholeWindow) {
    script = {};
    NetLink link{};
    SocketSlot slot;
    uint32_t start = fake_clock::now();
    std::vector<uint32_t> sent_at;
    auto send = [&] {
        sent_at.push_back(fake_clock::now() - start);
        return result_ok;
    };
    PassesEnd end = run_passes(
        link, slot, scripted_receive, Passes{3, 400}, send, [] { return Heard::ignored; }, [] {});
    EXPECT_TRUE(end.ran_out);
    EXPECT_EQ(sent_at, (std::vector<uint32_t>{0, 400, 800}));
    EXPECT_EQ(fake_clock::now() - start, 1200u);
}

} // namespace
