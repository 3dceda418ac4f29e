// BSD sockets report errno values; the log names WinSock codes.
#pragma once

// The WinSock code of the same meaning as err; an errno value that has none
// is passed on unchanged.
int winsock_code_for_errno(int err);
