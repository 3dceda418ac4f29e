// The simulator's network sides: RMLX devices on UDP port 24222 (with
// discovery), the TCP side and the plain UDP side on port 9101. One thread
// serves every socket; faults can be injected while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Each count says how many times the fault strikes: on the next occasions
// of its kind, after which it wears off.
struct NetFaults {
    unsigned silent = 0;         // datagrams or TCP requests dropped unanswered
    unsigned ignore_sync = 0;    // SYN (RMLX) or ENQ (plain UDP) unanswered
    unsigned ignore_request = 0; // REQ, text or TCP request unanswered
    unsigned rst = 0;            // request answered with RST (RMLX) or 0x10 (plain UDP)
    unsigned nak = 0;            // request answered with NAK
    unsigned bad_data_sum = 0;   // reply with a wrong data checksum / wrong digits
    // Sent before a reply, each a datagram a console must drop:
    unsigned late = 0;           // RMLX: the previous reply again, with its fsn.
                                 // TCP: the reply comes tcp_late_ms late.
    unsigned foreign = 0;        // the reply from the foreign address
    unsigned bad_header_sum = 0; // RMLX frames with a flaw each
    unsigned wrong_length = 0;   // length field 2 more than the data
    unsigned wrong_id = 0;       // id 0xE18F
    unsigned too_short = 0;      // RMLX: 11 bytes; plain UDP: a lone 0x22 and a 4-byte text
    unsigned too_long = 0;       // RMLX: 513 bytes; plain UDP: a 600-byte text
    unsigned stray_ack = 0;      // plain UDP: a lone 0x06
    unsigned stray_byte = 0;     // plain UDP: a lone 0x41
    unsigned enq_other = 0;      // plain UDP: ENQ answered with 0x15
    unsigned pieces = 0;         // TCP: the reply in two pieces, 30 ms apart
    unsigned hang_up = 0;        // TCP: the connection closed instead of a reply
    unsigned resend_differs = 0; // RMLX: a repeated REQ, plain UDP: a NAK of the
                                 // reply, answered with another reply text
    unsigned act_fsn = 0;        // RMLX: QRY answered with an ACT of another fsn
    std::optional<std::string> fixed_reply; // the reply text to every request
};

// The counted faults by their option names ("--net-nak"), for the command
// line and for the simulator's log.
struct NetFaultName {
    const char* option;
    unsigned NetFaults::*count;
};
extern const NetFaultName net_fault_names[20];

// One datagram or stream chunk as it crossed the wire.
struct WireRecord {
    char side;      // 'r' RMLX, 't' TCP, 'u' plain UDP
    bool inbound;   // sent by the console
    uint32_t peer;  // the console's address (inbound) or the destination
    uint32_t local; // the simulator's address it came to or left from
    std::string bytes;
};

struct NetSidesConfig {
    std::vector<uint32_t> rmlx_devices; // one device per address (network order)
    bool rmlx_broadcast = false;        // answer a broadcast QRY (wildcard listener)
    uint32_t tcp_address = 0;           // 0: no TCP side
    uint32_t udp_address = 0;           // 0: no plain UDP side
    uint32_t foreign_address = 0;       // source of the foreign fault's datagrams
    bool keep_wire = true;              // record what crosses the wire (see wire())
    // How long after its request a --net-late reply goes out on TCP: past the
    // console's 5000 ms wait, before its next request.
    uint32_t tcp_late_ms = 5500;
    // Answers for device 0 (the TCP side, the plain UDP side and the first
    // RMLX device) when set: the simulator's one shared device. Called on the
    // serving thread. The other devices, and device 0 when unset, each have a
    // DeviceModel of their own (seeded 1, 2, ...).
    std::function<std::string(const char* side, std::string_view request)> shared_device;
    // A line for the simulator's log about what is not a request; may be unset.
    std::function<void(const char* side, const std::string& text)> note;
    // Every datagram or stream chunk that came from the console; may be unset.
    std::function<void(const char* side, const std::string& bytes)> received;
};

class NetSides {
  public:
    NetSides() = default;
    ~NetSides();
    NetSides(const NetSides&) = delete;
    NetSides& operator=(const NetSides&) = delete;

    // Opens every socket in the calling thread's network namespace. False
    // with the reason in error.
    bool open(const NetSidesConfig& config, std::string& error);
    // Serves on the calling thread until stop().
    void serve();
    // Serves on a thread of its own.
    void start();
    // Ends serving (from any thread) and joins the thread start() made.
    void stop();

    // Returns once the serving thread has handled every datagram and chunk
    // that has reached its sockets, and none has come for a moment more.
    void settle();

    void set_faults(const NetFaults& faults);
    NetFaults faults();
    std::vector<WireRecord> wire();
    void clear_wire();

    struct State; // the serving thread's sockets and devices

  private:
    State* state_ = nullptr;
    std::thread thread_;
};
