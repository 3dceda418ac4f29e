#include "net/net_link.h"

#include "app/log.h"
#include "app/state.h"
#include "app/tick.h"
#include "app/window.h"
#include "net/socket.h"

#include <cstdio>
#include <cstring>

void timer_start(MsTimer* timer, uint32_t duration_ms) {
    timer->start = tick_ms();
    timer->duration = duration_ms;
}

bool timer_expired(MsTimer* timer) {
    if (uint32_t(tick_ms() - timer->start) < timer->duration) return false;
    timer->start = 0;
    timer->duration = 0;
    return true;
}

uint32_t timer_remaining(const MsTimer& timer) {
    uint32_t elapsed = tick_ms() - timer.start;
    return elapsed < timer.duration ? timer.duration - elapsed : 0;
}

const char* opcode_name(uint8_t opcode) {
    struct Name {
        uint8_t opcode;
        const char* name;
    };
    static constexpr Name names[] = {
        {op_qry, "QRY"}, {op_act, "ACT"}, {op_rst, "RST"}, {op_syn, "SYN"},
        {op_ack, "ACK"}, {op_nak, "NAK"}, {op_req, "REQ"}, {op_rep, "REP"},
    };
    for (const Name& n : names)
        if (n.opcode == opcode) return n.name;
    return "???";
}

void seal_frame(NetFrame* frame) {
    size_t len = frame->header.length < frame_data_size ? frame->header.length : frame_data_size;
    frame->header.data_sum = rmlx_checksum(frame->data, len);
    frame->header.header_sum = rmlx_checksum(reinterpret_cast<const uint8_t*>(&frame->header), 10);
}

const char* winsock_error_name(int code) {
    struct Name {
        int code;
        const char* name;
    };
    static constexpr Name names[] = {
        {10004, "EINTR"},           {10009, "EBADF"},        {10013, "EACCES"},
        {10014, "EFAULT"},          {10022, "EINVAL"},       {10024, "EMFILE"},
        {10035, "EWOULDBLOCK"},     {10036, "EINPROGRESS"},  {10037, "EALREADY"},
        {10038, "ENOTSOCK"},        {10039, "EDESTADDRREQ"}, {10040, "EMSGSIZE"},
        {10041, "EPROTOTYPE"},      {10042, "ENOPROTOOPT"},  {10043, "EPROTONOSUPPORT"},
        {10044, "ESOCKTNOSUPPORT"}, {10045, "EOPNOTSUPP"},   {10046, "EPFNOSUPPORT"},
        {10047, "EAFNOSUPPORT"},    {10048, "EADDRINUSE"},   {10049, "EADDRNOTAVAIL"},
        {10050, "ENETDOWN"},        {10051, "ENETUNREACH"},  {10052, "ENETRESET"},
        {10053, "ECONNABORTED"},    {10054, "ECONNRESET"},   {10055, "ENOBUFS"},
        {10056, "EISCONN"},         {10057, "ENOTCONN"},     {10058, "ESHUTDOWN"},
        {10059, "ETOOMANYREFS"},    {10060, "ETIMEDOUT"},    {10061, "ECONNREFUSED"},
        {10062, "ELOOP"},           {10063, "ENAMETOOLONG"}, {10064, "EHOSTDOWN"},
        {10065, "EHOSTUNREACH"},    {10066, "ENOTEMPTY"},    {10067, "EPROCLIM"},
        {10068, "EUSERS"},          {10069, "EDQUOT"},       {10070, "ESTALE"},
        {10071, "EREMOTE"},         {10091, "SYSNOTREADY"},  {10092, "VERNOTSUPPORTED"},
        {10093, "NOTINITIALISED"},  {10101, "EDISCON"},      {11001, "HOST_NOT_FOUND"},
        {11002, "TRY_AGAIN"},       {11003, "NO_RECOVERY"},  {11004, "NO_DATA"},
    };
    static char text[24];
    const char* name = nullptr;
    for (const Name& n : names)
        if (n.code == code) name = n.name;
    if (name != nullptr)
        snprintf(text, sizeof text, "%s", name);
    else
        snprintf(text, sizeof text, "Unknown 0x%04X", unsigned(code));
    return text;
}

void report_socket_error(const char* message) {
    log_printf("%s: %s", message, winsock_error_name(net_last_error()));
}

const char* dotted(uint32_t address) {
    static char text[16];
    uint8_t b[4];
    memcpy(b, &address, 4);
    snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

void copy_reply(char* reply, size_t reply_size, const uint8_t* data, size_t len) {
    if (reply_size == 0) return;
    if (len > reply_size - 1) len = reply_size - 1;
    memcpy(reply, data, len);
    reply[len] = '\0';
}

namespace {
// Characters below 32 up to the terminator become '.'.
void blank_controls(char* text) {
    for (; *text != '\0'; ++text)
        if (uint8_t(*text) < 32) *text = '.';
}
} // namespace

void trace_frame(const NetFrame& frame, bool received, uint32_t address) {
    if (details == 0) return;
    constexpr size_t shown = 120;
    char text[shown + 4];
    size_t len = frame.header.length < frame_data_size ? frame.header.length : frame_data_size;
    if (len > shown) {
        memcpy(text, frame.data, shown);
        memcpy(text + shown, "...", 4);
    } else {
        memcpy(text, frame.data, len);
        text[len] = '\0';
    }
    blank_controls(text);
    log_printf(received ? "%s --> %s(fsn=0x%04X) '%s'" : "%s <-- %s(fsn=0x%04X) '%s'",
               dotted(address), opcode_name(frame.header.opcode), unsigned(frame.header.fsn), text);
}

void log_request_line(const char* request) {
    if (details == 0) return;
    constexpr size_t shown = 40;
    char text[shown + 4];
    size_t len = strnlen(request, shown);
    memcpy(text, request, len);
    if (len == shown)
        memcpy(text + shown, "...", 4);
    else
        text[len] = '\0';
    blank_controls(text);
    log_printf("Sending '%s'", text);
}

void wait_for_input(const SocketSlot& slot, const MsTimer& timer) {
    uint32_t remaining = timer_remaining(timer);
    if (slot.socket == no_socket) return ui_wait(no_wait_handle, remaining);
    // Without a handle to watch, look again every millisecond.
    WaitHandle handle = net_wait_handle(slot.socket);
    ui_wait(handle, handle == no_wait_handle && remaining > 1 ? 1 : remaining);
}

int next_input(NetLink& link, MsTimer& timer, const SocketSlot& slot, ReceiveOne receive,
               bool* got) {
    *got = false;
    // The wait comes first: a caller comes here after sending, when the
    // answer cannot be there yet, and a wait returns at once for what is.
    while (!timer_expired(&timer)) {
        wait_for_input(slot, timer);
        pump_one_message();
        if (receive(link, got) != net_ok) return net_socket_failure;
        if (*got) return net_ok;
    }
    return net_ok;
}

int init_slot(SocketSlot& slot, const char* prefix, SocketKind kind, uint32_t address,
              uint16_t port) {
    if (slot.initialised) {
        log_printf("%s: already initialized", prefix);
        return net_ok;
    }
    int rc = net_startup();
    if (rc != 0) {
        log_printf("%s: winsock init failed: %s", prefix, winsock_error_name(rc));
        close_slot(slot);
        return net_socket_failure;
    }
    char message[40];
    slot.socket = net_open(kind);
    if (slot.socket == no_socket) {
        snprintf(message, sizeof message, "%s: failed opening socket", prefix);
        report_socket_error(message);
        close_slot(slot);
        return net_socket_failure;
    }
    bool datagram = kind == SocketKind::datagram;
    if (datagram ? !net_bind(slot.socket, 0, port) : !net_connect(slot.socket, address, port)) {
        snprintf(message, sizeof message, "%s: failed binding socket", prefix);
        report_socket_error(message);
        close_slot(slot);
        return net_socket_failure;
    }
    if (datagram) net_enable_broadcast(slot.socket);
    log_printf("%s: protocol init ok", prefix);
    slot.initialised = true;
    return net_ok;
}

void close_slot(SocketSlot& slot) {
    net_close(slot.socket);
    slot.socket = no_socket;
    slot.initialised = false;
}
