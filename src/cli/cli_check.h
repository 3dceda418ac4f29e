// varnoke-cli --check and --check-list: the device check on the link of the
// options, its lines, JSON and JUnit report.
#pragma once

#include "cli/cli_options.h"

// The exit status: 0 no check failed, 1 one did, 2 the link could not be
// opened, 64 a --check-only that names no check or a report not written.
int run_device_check(const CliOptions& options);
