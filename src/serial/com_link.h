// COM port names on POSIX systems follow the Wine convention: COMn is the
// device that <prefix>/dosdevices/comN points to, where <prefix> is
// $VARNOKE_PREFIX or else ~/.varnoke; without that link, /dev/ttyS<n-1>.
#pragma once

#include <cstddef>

// The link's path for port n; false when no prefix can be found (no
// $VARNOKE_PREFIX and no $HOME) or the path does not fit.
bool com_link_path(int port, char* out, size_t cap);

// The device that COMn opens: the link if it exists, else /dev/ttyS<n-1>.
bool com_device_path(int port, char* out, size_t cap);
