#include "sim/sim_device.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

std::mutex device_mutex;
DeviceModel device;

std::mutex log_mutex;
FILE* log_file = nullptr;
std::chrono::steady_clock::time_point log_start;

// Text as a quoted string with the bytes that are not printable escaped.
void put_quoted(FILE* f, std::string_view text) {
    fputc('"', f);
    for (char c : text) {
        auto u = uint8_t(c);
        if (c == '"' || c == '\\')
            fprintf(f, "\\%c", c);
        else if (u < 0x20 || u >= 0x7F)
            fprintf(f, "\\x%02X", u);
        else
            fputc(c, f);
    }
    fputc('"', f);
}

// Starts a line with the seconds since the log was opened and the side.
void put_head(const char* side) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - log_start).count();
    fprintf(log_file, "%10.3f %-7s ", seconds, side);
}

} // namespace

std::mutex& sim_device_mutex() {
    return device_mutex;
}
DeviceModel& sim_device_unlocked() {
    return device;
}

void sim_device_reset(uint32_t seed) {
    sim_with_device([seed](DeviceModel& d) { d = DeviceModel(seed); });
}

std::string sim_request(const char* side, std::string_view request) {
    unsigned delay_ms = 0;
    std::string reply = sim_with_device([request, &delay_ms](DeviceModel& d) {
        delay_ms = d.reply_delay_ms;
        return d.handle(request);
    });
    // Outside the device's lock, so that a side on another thread is not held
    // up too.
    if (delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file != nullptr) {
        put_head(side);
        put_quoted(log_file, request);
        fputs(" -> ", log_file);
        put_quoted(log_file, reply);
        fputc('\n', log_file);
        fflush(log_file);
    }
    return reply;
}

void sim_log_note(const char* side, const char* text) {
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file == nullptr) return;
    put_head(side);
    fprintf(log_file, "%s\n", text);
    fflush(log_file);
}

bool sim_log_bytes_on = false;

void sim_log_bytes(const char* side, const void* data, size_t len) {
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file == nullptr || !sim_log_bytes_on) return;
    put_head(side);
    fputc('<', log_file);
    for (size_t i = 0; i < len; ++i)
        fprintf(log_file, " %02X", static_cast<const uint8_t*>(data)[i]);
    fputc('\n', log_file);
    fflush(log_file);
}

bool sim_log_open(const char* path) {
    std::lock_guard<std::mutex> lock(log_mutex);
    FILE* f = strcmp(path, "-") == 0 ? stdout : fopen(path, "a");
    if (f == nullptr) {
        fprintf(stderr, "varnoke-sim: cannot open log '%s': %s\n", path, strerror(errno));
        return false;
    }
    log_file = f;
    log_start = std::chrono::steady_clock::now();
    return true;
}

void sim_log_close() {
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file != nullptr && log_file != stdout) fclose(log_file);
    log_file = nullptr;
}
