// The link record that the three network links share.
#pragma once

#include "base/results.h"
#include "net/ms_timer.h"
#include "net/rmlx_frame.h"

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t address_broadcast = 0xFFFFFFFFu;

// What the TCP and the plain UDP link last received: text, not a frame.
inline constexpr size_t received_text_max = 499; // bytes one read keeps
struct ReceivedText {
    uint16_t length;
    uint8_t kind;                         // plain UDP: what the datagram is (udp.h)
    uint8_t bytes[received_text_max + 1]; // terminated
};
static_assert(sizeof(ReceivedText) <= sizeof(RmlxFrame));

// One for the connection and one for device discovery.
struct NetLink {
    uint8_t synchronised;
    uint32_t target;      // network order; all ones: broadcast, any source accepted
    uint32_t last_source; // network order
    MsTimer sync_timer;
    uint16_t fsn; // 0: never synchronised
    // The RMLX link's last accepted frame, or the TCP or plain UDP link's
    // last received text.
    union {
        RmlxFrame receive;
        ReceivedText received;
    };
    RmlxFrame transmit; // the RMLX link's frame being sent
};

// The connection's record, zeroed before every network connect.
extern NetLink connection_link;

// Copies len bytes into reply and terminates it, cut to reply_size - 1.
void copy_reply(char* reply, size_t reply_size, const uint8_t* data, size_t len);
