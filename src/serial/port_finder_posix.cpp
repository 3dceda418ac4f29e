// The ports of this machine's own tree, and the command that takes one as
// COMn: the link under the prefix that the serial device opens.
#include "serial/com_link.h"
#include "serial/port_finder.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

namespace {

// The path as one shell word: quoted when it holds anything beside the
// characters device paths use.
void shell_word(const char* path, char* out, size_t cap) {
    constexpr char plain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                             "/._-+:,@%=";
    if (path[strspn(path, plain)] == '\0') {
        snprintf(out, cap, "%s", path);
        return;
    }
    size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < cap) out[used++] = c;
    };
    put('\'');
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\'') {
            for (char c : std::string_view("'\\''")) put(c);
        } else {
            put(*p);
        }
    }
    put('\'');
    out[used] = '\0';
}

} // namespace

void find_serial_ports(SerialPortList& list) {
    find_serial_ports_under("", com_link_path, list);
}

void format_port_hint(const SerialPortInfo& port, int com, char* out, size_t cap) {
    char description[320];
    describe_port(port, description, sizeof description);
    char link[1024];
    if (port.com == com) {
        snprintf(out, cap, "Port %s: COM%d is linked to %s", description, com, port_path(port));
        return;
    }
    if (!com_link_path(com, link, sizeof link)) {
        snprintf(out, cap, "Port %s: %s", description, port_path(port));
        return;
    }
    char target[1024], link_word[1100];
    shell_word(port_path(port), target, sizeof target);
    shell_word(link, link_word, sizeof link_word);
    // The folder of the link must exist for ln to make it.
    char folder[1024];
    snprintf(folder, sizeof folder, "%s", link);
    if (char* slash = strrchr(folder, '/'); slash != nullptr) *slash = '\0';
    struct stat st;
    if (stat(folder, &st) == 0) {
        snprintf(out, cap, "Port %s as COM%d: ln -sf %s %s", description, com, target, link_word);
        return;
    }
    char folder_word[1100];
    shell_word(folder, folder_word, sizeof folder_word);
    snprintf(out, cap, "Port %s as COM%d: mkdir -p %s && ln -sf %s %s", description, com,
             folder_word, target, link_word);
}
