// One way into the simulated device: the serial line, a network protocol.
// The entry offers each command-line option to every side in turn, starts
// the sides that were asked for, and stops them at SIGINT or SIGTERM. A
// started side serves on threads of its own and answers every request
// through sim_request (sim_device.h).
#pragma once

#include <cstddef>

struct SimSide {
    const char* name;
    const char* usage; // option lines for --help
    // Takes argv[i] (with its value) if it is one of this side's options:
    // returns the number of arguments used, 0 when the option is not this
    // side's, -1 after printing why it is wrong.
    int (*take_option)(int argc, char** argv, int i);
    bool (*requested)(); // whether the options asked for this side
    bool (*start)();     // false after printing why
    void (*stop)();      // called for every side, started or not
};

// Every side, in sides.cpp; when no option asks for one, the first runs.
extern const SimSide* const sim_sides[];
extern const size_t sim_side_count;

// The seed of the run (--seed), for sides that need random choices.
extern unsigned long sim_seed;

// Helpers for take_option. For an option "name VALUE" at argv[i]: parses
// the value (decimal, or hexadecimal after 0x) up to max into out and returns
// 2; 0 when argv[i] is not name; -1 after printing why the value is wrong.
int sim_take_number(int argc, char** argv, int i, const char* name, unsigned long max,
                    unsigned long& out);
// The same for an option with a text value.
int sim_take_text(int argc, char** argv, int i, const char* name, const char*& out);
