#include "net/net_link.h"

#include <cstring>

NetLink connection_link;

void copy_reply(char* reply, size_t reply_size, const uint8_t* data, size_t len) {
    if (reply_size == 0) return;
    if (len > reply_size - 1) len = reply_size - 1;
    memcpy(reply, data, len);
    reply[len] = '\0';
}
