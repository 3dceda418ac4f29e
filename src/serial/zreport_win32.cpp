// C:\out\ is the folder itself.
#include "serial/zreport.h"

#include <cstdio>

bool zreport_out_path(const char* name, char* out, size_t cap) {
    int n = snprintf(out, cap, "C:\\out\\%s", name);
    return n > 0 && size_t(n) < cap;
}
