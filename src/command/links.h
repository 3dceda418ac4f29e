// The kinds of link, one row each: everything the program does differently
// for one kind of link is reached through its row.
#pragma once

#include "base/results.h"

#include <array>
#include <cstddef>
#include <cstdint>

struct LinkKind {
    // In the connection kind list: the name of a one-kind row as it is, that
    // of a row of several kinds with the number, "COM1" to "COM12".
    const char* name;
    int32_t first, last; // the connection_kind values the row serves
    bool network;        // Disconnect says "Closed network services", not the port
    // Connect: opens the link of connection_kind to what the operator chose
    // in the address/rate box; false after saying why it could not.
    bool (*open)();
    // The link transaction: sends request and writes the terminated reply
    // text into reply (reply_size bytes); result_ok or the link's code.
    // details: the "Details" box of the request, whether the link traces it.
    Result (*transaction)(const char* request, char* reply, size_t reply_size, bool details);
    // Releases the link of connection_kind, also after a failed Connect.
    void (*close)();
    // What choosing the kind in the connection kind list does.
    void (*chosen)();
    // File signing: bytes of the file in one data request, and in one BASE64
    // request, whose text is a third longer.
    size_t sign_block;
    size_t sign_base64_block;
};

// Bytes of the file that a data request of any link carries at the most.
inline constexpr size_t sign_block_max = 750;

// In the order of the connection kind list, whose item index + 1 is the
// kind: each row's first kind is the last kind of the row before + 1.
extern const std::array<LinkKind, 4> link_kinds;

// The row that serves kind; the serial row for a value no row serves, as a
// port that does not exist.
const LinkKind& link_of(int32_t kind);
