#include "app/dialog.h"

// The program takes nothing from its command line.
int main() {
    return app_main();
}
