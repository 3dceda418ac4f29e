// A pseudo-terminal for the serial tests: the test holds the master (the
// device's end) and a slave descriptor of its own, and links the slave as
// COMn in a private dosdevices folder.
#pragma once

#include <string>

struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slave_path;

    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
};

// Makes a fresh folder the COM prefix ($VARNOKE_PREFIX) for this process
// and returns it; removed at exit.
const std::string& test_com_prefix();

// Points COMn at target (replacing an earlier link); an empty target removes it.
void link_com(int port, const std::string& target);
