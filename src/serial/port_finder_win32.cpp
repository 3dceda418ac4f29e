// The ports Windows lists under HARDWARE\DEVICEMAP\SERIALCOMM: the system's
// device name and the COM name of each. The registry functions are looked
// up when the list is asked for, so that the programs import no DLL beyond
// the ones they always have; the friendly names would need the setup API,
// which they do not import, so the device name describes the port.
#include "serial/port_finder.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using OpenKeyFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using EnumValueFn = LONG(WINAPI*)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using CloseKeyFn = LONG(WINAPI*)(HKEY);

// "COM3": 3; 0 for another name.
int com_number(const char* name) {
    if (_strnicmp(name, "COM", 3) != 0 || name[3] == '\0') return 0;
    char* end = nullptr;
    long n = strtol(name + 3, &end, 10);
    return *end == '\0' && n > 0 && n < 1000 ? int(n) : 0;
}

template <typename Fn> Fn lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

void find_serial_ports(SerialPortList& list) {
    list.count = 0;
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr) return;
    auto open_key = lookup<OpenKeyFn>(advapi, "RegOpenKeyExA");
    auto enum_value = lookup<EnumValueFn>(advapi, "RegEnumValueA");
    auto close_key = lookup<CloseKeyFn>(advapi, "RegCloseKey");
    HKEY key;
    if (open_key != nullptr && enum_value != nullptr && close_key != nullptr &&
        open_key(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
        for (DWORD i = 0; list.count < list.ports.size(); ++i) {
            char name[128], data[64];
            DWORD name_size = sizeof name, data_size = sizeof data - 1, type = 0;
            LONG status = enum_value(key, i, name, &name_size, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &data_size);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS || type != REG_SZ) continue; // too long, or not a name
            data[data_size] = '\0';
            int com = com_number(data);
            if (com == 0) continue;
            SerialPortInfo& port = list.ports[list.count++];
            port = SerialPortInfo{};
            snprintf(port.kernel, sizeof port.kernel, "%s", name);
            snprintf(port.device, sizeof port.device, "\\\\.\\COM%d", com);
            port.com = com;
        }
        close_key(key);
    }
    FreeLibrary(advapi);
    std::sort(list.ports.begin(), list.ports.begin() + list.count,
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.com < b.com; });
}

// A COM name here is the port's own: there is no link to make.
void format_port_hint(const SerialPortInfo& port, int /*com*/, char* out, size_t cap) {
    char description[320];
    describe_port(port, description, sizeof description);
    snprintf(out, cap, "Serial port found: COM%d (%s)", port.com, description);
}
