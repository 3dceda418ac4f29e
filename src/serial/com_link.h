// Windows names on POSIX systems follow the Wine convention, under <prefix>,
// which is $VARNOKE_PREFIX or else ~/.varnoke: COMn is the device that
// <prefix>/dosdevices/comN points to (without that link, /dev/ttyS<n-1>),
// and drive C is the folder <prefix>/drive_c.
#pragma once

#include <cstddef>

// <prefix>/tail; false when no prefix can be found or the path does not fit.
bool prefix_path(const char* tail, char* out, size_t cap);

// The link's path for port n; false when no prefix can be found (no
// $VARNOKE_PREFIX and no $HOME) or the path does not fit.
bool com_link_path(int port, char* out, size_t cap);

// The device that COMn opens: the link if it exists, else /dev/ttyS<n-1>.
bool com_device_path(int port, char* out, size_t cap);
