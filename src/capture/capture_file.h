// The wire capture as a pcapng file: the network records as IPv4 packets
// with the UDP or TCP headers made for them (a TCP stream opens with a
// handshake and numbers its bytes, so that it can be reassembled), the
// serial runs as packets of an interface of their own (link type USER0)
// that names the port and its line settings. Every packet carries its
// direction in its flags.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the capture to path whole or not at all: into a file beside it,
// which then takes the path's place. False with the reason in error (a
// terminated text, cut to error_size). *packets, when given, receives the
// number of packets written.
bool save_wire_capture(const char* path, char* error, size_t error_size,
                       uint32_t* packets = nullptr);

// The name a save proposes: varnoke-YYYYMMDD-hhmmss.pcapng with the local
// date and time, as the log's; cut to size, terminated.
void wire_capture_default_name(char* out, size_t size);

// The operator's "Save wire capture...", once a path has been chosen: saves
// and logs the outcome; a failure is also shown in the error box.
void save_wire_capture_command(const char* path);
