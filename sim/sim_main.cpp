// varnoke-sim: a stand-in for the signature device, so that the console can
// be run, shown and tested without hardware.
#include "sim/sim_device.h"
#include "sim/sim_side.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>

namespace {

const char* general_usage =
    "Usage: varnoke-sim [options]\n"
    "Stands in for a signature device until SIGINT (Ctrl+C) or SIGTERM.\n"
    "\n"
    "General options:\n"
    "  --help                this text\n"
    "  --seed N              seed of the device's serial number, its first Z report\n"
    "                        and any random choice (default 1)\n"
    "  --log FILE            one line per request into FILE ('-': standard output)\n"
    "  --log-bytes           log the bytes received too, in hexadecimal\n"
    "  --reply-delay MS      hold every reply back MS milliseconds (default 0)\n"
    "Z reports:\n"
    "  --z-signature MODE    the report's signature line as \"Q\" reads it: kept (the\n"
    "                        default), wrong (its last digit changed) or none (left out)\n"
    "Device faults:\n"
    "  --busy N              answer the next N requests with BUSY (0x0E)\n"
    "  --printer-offline N   then N with PRINTEROFFLINE (0x1A)\n"
    "  --error CODE          answer every request with this error code\n"
    "  --device-status BITS  set these bits in every device status byte\n"
    "  --function-status BITS  and these in every function status byte\n";

DeviceFaults device_faults;
DeviceModel::ZSignature z_signature = DeviceModel::ZSignature::kept;
const char* log_path = nullptr;
unsigned long reply_delay_ms = 0;

// The general options; the same contract as SimSide::take_option.
int take_general(int argc, char** argv, int i) {
    unsigned long value = 0;
    int used = sim_take_number(argc, argv, i, "--seed", 0xFFFFFFFFul, sim_seed);
    if (used == 0) used = sim_take_text(argc, argv, i, "--log", log_path);
    if (used == 0) used = sim_take_number(argc, argv, i, "--reply-delay", 60000, reply_delay_ms);
    if (used == 0 && strcmp(argv[i], "--log-bytes") == 0) {
        sim_log_bytes_on = true;
        used = 1;
    }
    const char* mode = nullptr;
    if (used == 0 && (used = sim_take_text(argc, argv, i, "--z-signature", mode)) > 0) {
        if (strcmp(mode, "kept") == 0) {
            z_signature = DeviceModel::ZSignature::kept;
        } else if (strcmp(mode, "wrong") == 0) {
            z_signature = DeviceModel::ZSignature::wrong;
        } else if (strcmp(mode, "none") == 0) {
            z_signature = DeviceModel::ZSignature::none;
        } else {
            fprintf(stderr, "varnoke-sim: --z-signature wants kept, wrong or none, not '%s'\n",
                    mode);
            used = -1;
        }
    }
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--busy", 100000, value)) > 0)
        device_faults.busy = unsigned(value);
    if (used == 0 &&
        (used = sim_take_number(argc, argv, i, "--printer-offline", 100000, value)) > 0)
        device_faults.printer_offline = unsigned(value);
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--error", 255, value)) > 0)
        device_faults.error_code = uint8_t(value);
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--device-status", 255, value)) > 0)
        device_faults.device_status = uint8_t(value);
    if (used == 0 && (used = sim_take_number(argc, argv, i, "--function-status", 255, value)) > 0)
        device_faults.function_status = uint8_t(value);
    return used;
}

void print_usage(FILE* f) {
    fputs(general_usage, f);
    for (size_t s = 0; s < sim_side_count; ++s) fputs(sim_sides[s]->usage, f);
}

// 0: run; 1: done (help); 2: bad option.
int parse(int argc, char** argv) {
    for (int i = 1; i < argc;) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            print_usage(stdout);
            return 1;
        }
        int used = take_general(argc, argv, i);
        for (size_t s = 0; used == 0 && s < sim_side_count; ++s)
            used = sim_sides[s]->take_option(argc, argv, i);
        if (used == 0) fprintf(stderr, "varnoke-sim: unknown option '%s'\n", argv[i]);
        if (used <= 0) {
            fputs("Try 'varnoke-sim --help'.\n", stderr);
            return 2;
        }
        i += used;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int parsed = parse(argc, argv);
    if (parsed != 0) return parsed == 1 ? 0 : 2;

    sim_device_reset(uint32_t(sim_seed));
    sim_with_device([](DeviceModel& d) {
        d.faults = device_faults;
        d.reply_delay_ms = unsigned(reply_delay_ms);
        d.z_signature = z_signature;
    });
    if (log_path != nullptr && !sim_log_open(log_path)) return 1;

    // The signals come to this thread only, and the sides' threads inherit
    // the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    bool any = false;
    for (size_t s = 0; s < sim_side_count; ++s) any = any || sim_sides[s]->requested();
    bool ok = true;
    for (size_t s = 0; ok && s < sim_side_count; ++s) {
        bool wanted = any ? sim_sides[s]->requested() : s == 0;
        if (wanted) ok = sim_sides[s]->start();
    }

    if (ok) {
        int signal = 0;
        sigwait(&stop_signals, &signal);
    }
    for (size_t s = 0; s < sim_side_count; ++s) sim_sides[s]->stop();
    sim_log_close();
    return ok ? 0 : 1;
}
