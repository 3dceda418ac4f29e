#include "pty_pair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
    }
    char name[128];
    ptsname_r(master, name, sizeof name);
    slave_path = name;
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(slave, 0);
}

PtyPair::~PtyPair() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
}

namespace {
struct Prefix {
    std::string path;
    Prefix() {
        char tmpl[] = "/tmp/varnoke-serial-XXXXXX";
        path = mkdtemp(tmpl);
        std::filesystem::create_directory(path + "/dosdevices");
        setenv("VARNOKE_PREFIX", path.c_str(), 1);
    }
    ~Prefix() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};
} // namespace

const std::string& test_com_prefix() {
    static Prefix prefix;
    return prefix.path;
}

void link_com(int port, const std::string& target) {
    std::string link = test_com_prefix() + "/dosdevices/com" + std::to_string(port);
    unlink(link.c_str());
    if (!target.empty()) {
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
    }
}
