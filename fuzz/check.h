// A property a harness checks: when it fails, the input is a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);       \
            abort();                                                                               \
        }                                                                                          \
    } while (0)
