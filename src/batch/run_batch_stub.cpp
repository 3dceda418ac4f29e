// Stub until the batch runner issue fills it.
#include "app/handlers.h"

void run_batch() {}
