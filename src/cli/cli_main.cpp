// varnoke-cli: the console's operations from a terminal.
#include "cli/cli_run.h"

int main(int argc, char** argv) {
    return cli_main(argc, argv);
}
