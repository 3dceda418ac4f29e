// "Sign File": the whole content of the file named in the window sent to
// the device as one signature block.
#pragma once

#include <cstdint>

void sign_file();

// What the last Sign File did, as its log lines tell it: the data blocks
// sent and the bytes of the file read, and for a transfer that reached
// "Done." its time (from the first data block to the finish) and rate.
struct SigningSummary {
    uint32_t blocks;
    uint32_t bytes;
    bool done;
    uint32_t elapsed_ms;
    float rate; // bytes per second
};
const SigningSummary& last_signing();
