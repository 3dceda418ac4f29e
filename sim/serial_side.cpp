#include "sim/serial_side.h"

#include "sim/pty_port.h"

#include "codec/frame_checksum.h"
#include "serial/control_chars.h"
#include "sim/sim_device.h"
#include "sim/sim_side.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t frame_max = 4096; // longer request frames are refused

enum class State {
    idle,
    await_frame,     // enquiry acknowledged
    in_frame,        // between STX and ETX
    await_reply_ack, // reply frame sent
};

struct Side {
    PtyPort pty;
    int stop_pipe[2] = {-1, -1};
    std::thread thread;

    std::mutex mutex; // everything below
    SerialSideConfig config;
    SerialFaults faults;
    uint64_t random = 1;
    State state = State::idle;
    std::string frame; // request frame body being received
    std::string reply; // reply frame body with its separator and digits
    std::deque<std::string> raw_bodies;
    std::string received, sent;
    uint64_t line_free_ns = 0; // pacing: when the line can take the device's next byte

    std::atomic<unsigned> silences{0};
    std::atomic<uint64_t> last_write_ns{0};
};

Side side;

uint64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

void sleep_until_ns(uint64_t t) {
    timespec ts{time_t(t / 1000000000u), long(t % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void write_all(const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(side.pty.master, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= size_t(w);
    }
}

void send(const std::string& bytes) {
    side.sent += bytes;
    auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    // The last byte is stamped as it goes: a reader woken on this thread's
    // core may run before this thread comes back from the write.
    if (!side.config.pace) {
        side.last_write_ns = now_ns();
        write_all(p, bytes.size());
    } else {
        // A byte takes 10 bit times (start, 8 data, stop) and arrives whole.
        // The bytes of one send follow each other without a gap, however
        // late a sleep wakes.
        uint64_t byte_ns = 10ull * 1000000000u / side.config.baud;
        uint64_t done = std::max(now_ns(), side.line_free_ns);
        for (size_t i = 0; i < bytes.size(); ++i) {
            done += byte_ns;
            sleep_until_ns(done);
            if (i + 1 == bytes.size()) side.last_write_ns = now_ns();
            write_all(p + i, 1);
        }
        side.line_free_ns = done;
    }
}

void send_byte(uint8_t byte) {
    send(std::string(1, char(byte)));
}

void stay_silent(const char* note) {
    sim_log_note("serial", note);
    ++side.silences;
}

// Takes one from a fault's count.
bool take(unsigned& count) {
    if (count == 0) return false;
    --count;
    return true;
}

void answer_enquiry() {
    SerialFaults& f = side.faults;
    side.state = State::idle;
    if (take(f.enq_other)) {
        sim_log_note("serial", "enquiry answered with another byte");
        send_byte(f.enq_other_byte);
    } else if (take(f.enq_silent)) {
        stay_silent("enquiry left unanswered");
    } else if (take(f.enq_can)) {
        sim_log_note("serial", "enquiry refused with CAN");
        send_byte(can);
    } else {
        send_byte(ack);
        side.state = State::await_frame;
    }
}

void send_reply() {
    SerialFaults& f = side.faults;
    std::string out;
    for (unsigned i = 0; i < f.noise; ++i) {
        auto byte = uint8_t(sim_random(side.random) % 255);
        out += char(byte >= stx ? byte + 1 : byte);
    }
    std::string body = side.reply;
    bool stall = false;
    if (!side.raw_bodies.empty()) {
        body = side.raw_bodies.front();
        side.raw_bodies.pop_front();
    } else if (take(f.bad_checksum)) {
        sim_log_note("serial", "reply sent with a wrong checksum");
        body.back() = body.back() == '9' ? '0' : char(body.back() + 1);
    } else {
        stall = take(f.stall);
    }
    out += char(stx);
    if (stall) {
        out += body.substr(0, body.size() / 2);
        send(out);
        stay_silent("reply stalled halfway");
    } else {
        out += body;
        out += char(etx);
        send(out);
    }
    side.state = State::await_reply_ack;
}

// A whole request frame: its text, "/", two checksum digits.
void frame_received() {
    const std::string& body = side.frame;
    side.state = State::await_frame;
    size_t n = body.size();
    bool good = n >= 3 && n <= frame_max && body[n - 3] == '/' && isdigit(uint8_t(body[n - 2])) &&
                isdigit(uint8_t(body[n - 1])) &&
                unsigned((body[n - 2] - '0') * 10 + (body[n - 1] - '0')) ==
                    frame_checksum(body.data(), n - 3);
    SerialFaults& f = side.faults;
    if (!good) {
        sim_log_note("serial", "bad request frame refused with NAK");
        send_byte(nak);
        return;
    }
    if (take(f.frame_nak)) {
        sim_log_note("serial", "request frame answered with NAK");
        send_byte(nak);
        return;
    }
    if (take(f.frame_silent)) {
        stay_silent("request frame left unanswered");
        return;
    }
    if (take(f.frame_can)) {
        sim_log_note("serial", "request frame refused with CAN");
        send_byte(can);
        side.state = State::idle;
        return;
    }
    send_byte(ack);
    side.state = State::idle;
    if (take(f.reply_silent)) {
        stay_silent("request acknowledged, reply withheld");
        return;
    }
    std::string text = sim_request("serial", std::string_view(body).substr(0, n - 3));
    if (text.size() < f.reply_length) text.append(f.reply_length - text.size(), '.');
    char digits[4];
    snprintf(digits, sizeof digits, "/%02u", frame_checksum(text.data(), text.size()));
    side.reply = text + digits;
    send_reply();
}

void on_byte(uint8_t byte) {
    side.received += char(byte);
    if (side.state == State::in_frame) {
        if (byte == etx) {
            frame_received();
        } else if (byte == stx) {
            side.frame.clear(); // the console started the frame again
        } else if (side.frame.size() <= frame_max) {
            side.frame += char(byte);
        }
        return;
    }
    switch (byte) {
    case can:
        side.state = State::idle;
        break;
    case enq:
        answer_enquiry();
        break;
    case stx:
        if (side.state == State::await_frame) {
            side.frame.clear();
            side.state = State::in_frame;
        }
        break;
    case ack:
        if (side.state == State::await_reply_ack) side.state = State::idle;
        break;
    case nak:
        if (side.state != State::await_reply_ack) break;
        if (take(side.faults.resend_differs)) {
            // The same request's reply, but not the same text: a "." more.
            sim_log_note("serial", "reply resent with another text");
            std::string first = side.reply;
            std::string text = first.substr(0, first.size() - 3) + ".";
            char digits[4];
            snprintf(digits, sizeof digits, "/%02u", frame_checksum(text.data(), text.size()));
            side.reply = text + digits;
            send_reply();
            side.reply = first;
        } else {
            send_reply();
        }
        break;
    default:
        break; // a device ignores what it does not expect
    }
}

void serve() {
    prctl(PR_SET_TIMERSLACK, 1); // pacing sleeps of tens of microseconds
    const uint64_t byte_ns = 10ull * 1000000000u / side.config.baud;
    uint64_t line_in_free_ns = 0; // pacing: when the console's next byte can start
    uint8_t buf[512];
    for (;;) {
        pollfd fds[2] = {{side.pty.master, POLLIN, 0}, {side.stop_pipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) break;
        ssize_t n = read(side.pty.master, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno != EINTR && errno != EAGAIN) usleep(10000);
            continue;
        }
        sim_log_bytes("serial", buf, size_t(n));
        if (!side.config.pace) {
            std::lock_guard<std::mutex> lock(side.mutex);
            for (ssize_t i = 0; i < n; ++i) on_byte(buf[i]);
            continue;
        }
        // The pseudo-terminal hands over at once what a line carries one byte
        // after another: each byte is the device's only once it has crossed.
        uint64_t arrived = std::max(now_ns(), line_in_free_ns);
        for (ssize_t i = 0; i < n; ++i) {
            arrived += byte_ns;
            sleep_until_ns(arrived);
            std::lock_guard<std::mutex> lock(side.mutex);
            on_byte(buf[i]);
        }
        line_in_free_ns = arrived;
    }
}

void close_all() {
    pty_close(side.pty);
    for (int& fd : side.stop_pipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

// Command-line options of the side.
SerialSideConfig cli_config;
SerialFaults cli_faults;
bool cli_requested = false;

int take_option(int argc, char** argv, int i) {
    if (strcmp(argv[i], "--serial") == 0) {
        cli_requested = true;
        return 1;
    }
    if (strcmp(argv[i], "--pace") == 0) {
        cli_config.pace = true;
        return 1;
    }
    unsigned long value = 0;
    int used = sim_take_number(argc, argv, i, "--com", 99, value);
    if (used > 0) {
        if (value == 0) {
            fprintf(stderr, "varnoke-sim: --com wants a port number from 1\n");
            return -1;
        }
        cli_config.com = int(value);
    }
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--baud", 4000000, value)) > 0) {
        if (value < 50) {
            fprintf(stderr, "varnoke-sim: --baud wants a rate of at least 50\n");
            return -1;
        }
        cli_config.baud = uint32_t(value);
    }
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--enq-other-byte", 255, value)) > 0)
        cli_faults.enq_other_byte = uint8_t(value);
    for (const SerialFaultName& o : serial_fault_names) {
        if (used != 0) break;
        used = sim_take_number(argc, argv, i, o.option, 100000, value);
        if (used > 0) cli_faults.*o.count = unsigned(value);
    }
    return used;
}

bool requested() {
    return cli_requested;
}

bool start() {
    cli_config.seed = sim_seed;
    if (!serial_sim_start(cli_config)) return false;
    serial_sim_set_faults(cli_faults);
    printf("serial: %s\n", serial_sim_slave_path());
    if (side.pty.link_path[0] != '\0')
        printf("serial: COM%d is %s\n", cli_config.com, side.pty.link_path);
    fflush(stdout);
    return true;
}

} // namespace

const SerialFaultName serial_fault_names[12] = {
    {"--enq-other", &SerialFaults::enq_other},
    {"--enq-silent", &SerialFaults::enq_silent},
    {"--enq-can", &SerialFaults::enq_can},
    {"--frame-nak", &SerialFaults::frame_nak},
    {"--frame-silent", &SerialFaults::frame_silent},
    {"--frame-can", &SerialFaults::frame_can},
    {"--reply-silent", &SerialFaults::reply_silent},
    {"--bad-checksum", &SerialFaults::bad_checksum},
    {"--stall", &SerialFaults::stall},
    {"--resend-differs", &SerialFaults::resend_differs},
    {"--noise", &SerialFaults::noise},
    {"--reply-length", &SerialFaults::reply_length},
};

bool serial_sim_start(const SerialSideConfig& config) {
    side.config = config;
    side.random = config.seed;
    if (!pty_open(side.pty) || pipe2(side.stop_pipe, O_CLOEXEC) != 0) {
        fprintf(stderr, "varnoke-sim: cannot open a pseudo-terminal: %s\n", strerror(errno));
        close_all();
        return false;
    }
    if (config.com > 0 && !pty_link_com(side.pty, config.com)) {
        close_all();
        return false;
    }
    side.thread = std::thread(serve);
    return true;
}

void serial_sim_stop() {
    if (!side.thread.joinable()) return;
    char stop = 1;
    if (write(side.stop_pipe[1], &stop, 1) != 1) perror("varnoke-sim: stop");
    side.thread.join();
    close_all();
}

const char* serial_sim_slave_path() {
    return side.pty.slave_path;
}

void serial_sim_set_faults(const SerialFaults& faults) {
    std::lock_guard<std::mutex> lock(side.mutex);
    side.faults = faults;
}

SerialFaults serial_sim_faults() {
    std::lock_guard<std::mutex> lock(side.mutex);
    return side.faults;
}

void serial_sim_reset() {
    std::lock_guard<std::mutex> lock(side.mutex);
    side.faults = {};
    side.raw_bodies.clear();
    side.random = side.config.seed;
    side.state = State::idle;
    side.received.clear();
    side.sent.clear();
    side.silences = 0;
}

std::string serial_sim_received() {
    std::lock_guard<std::mutex> lock(side.mutex);
    return side.received;
}

std::string serial_sim_sent() {
    std::lock_guard<std::mutex> lock(side.mutex);
    return side.sent;
}

void serial_sim_send_raw(const std::vector<std::string>& bodies) {
    std::lock_guard<std::mutex> lock(side.mutex);
    side.raw_bodies.assign(bodies.begin(), bodies.end());
}

unsigned serial_sim_silences() {
    return side.silences;
}

uint64_t serial_sim_last_write_ns() {
    return side.last_write_ns;
}

extern const SimSide serial_side = {
    "serial",
    "Serial side (a pseudo-terminal that the console opens as a COM port):\n"
    "  --serial              run the serial side (the default when no side is chosen)\n"
    "  --com N               link it as COMN: <prefix>/dosdevices/comN, where <prefix> is\n"
    "                        $VARNOKE_PREFIX or else ~/.varnoke\n"
    "  --pace                carry bytes both ways at the line's real speed (10 bit\n"
    "                        times per byte)\n"
    "  --baud RATE           line speed for --pace (default 115200)\n"
    "Serial faults (N: for the next N occasions; on one occasion the first\n"
    "that applies in this list is taken):\n"
    "  --enq-other N         answer the enquiry with another byte\n"
    "  --enq-other-byte B    that byte (default 0x15, NAK)\n"
    "  --enq-silent N        leave the enquiry unanswered\n"
    "  --enq-can N           refuse the enquiry with CAN\n"
    "  --frame-nak N         answer a good request frame with NAK\n"
    "  --frame-silent N      leave the request frame unanswered\n"
    "  --frame-can N         refuse the request frame with CAN\n"
    "  --reply-silent N      acknowledge the request but send no reply\n"
    "  --bad-checksum N      send the reply frame with a wrong checksum\n"
    "  --stall N             stop halfway through the reply frame\n"
    "  --resend-differs N    answer a NAK of the reply with another reply text\n"
    "  --noise N             send N random bytes before every reply frame\n"
    "  --reply-length N      pad every reply text with '.' to N characters\n",
    take_option,
    requested,
    start,
    serial_sim_stop,
};
