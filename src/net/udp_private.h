// What the plain UDP link keeps to itself, seen by its own tests.
#pragma once

#include "net/net_link.h"

// The received text's checksum digits match its text.
bool text_checksum_ok(const ReceivedText& text);
