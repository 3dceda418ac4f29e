// C:\out\ as Wine maps drive C: <prefix>/drive_c/out/.
#include "serial/com_link.h"
#include "serial/zreport.h"

#include <cstdio>

bool zreport_out_path(const char* name, char* out, size_t cap) {
    char tail[128];
    int n = snprintf(tail, sizeof tail, "drive_c/out/%s", name);
    return n > 0 && size_t(n) < sizeof tail && prefix_path(tail, out, cap);
}
