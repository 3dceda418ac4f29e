#include "net/socket_errors.h"

#include "base/ipv4_text.h"
#include "base/log.h"
#include "base/state.h"
#include "net/socket.h"

#include <cstdio>
#include <cstring>

const char* winsock_error_name(int code) {
    struct Name {
        int code;
        const char* name;
    };
    static constexpr Name names[] = {
        {10004, "EINTR"},           {10009, "EBADF"},        {10013, "EACCES"},
        {10014, "EFAULT"},          {10022, "EINVAL"},       {10024, "EMFILE"},
        {10035, "EWOULDBLOCK"},     {10036, "EINPROGRESS"},  {10037, "EALREADY"},
        {10038, "ENOTSOCK"},        {10039, "EDESTADDRREQ"}, {10040, "EMSGSIZE"},
        {10041, "EPROTOTYPE"},      {10042, "ENOPROTOOPT"},  {10043, "EPROTONOSUPPORT"},
        {10044, "ESOCKTNOSUPPORT"}, {10045, "EOPNOTSUPP"},   {10046, "EPFNOSUPPORT"},
        {10047, "EAFNOSUPPORT"},    {10048, "EADDRINUSE"},   {10049, "EADDRNOTAVAIL"},
        {10050, "ENETDOWN"},        {10051, "ENETUNREACH"},  {10052, "ENETRESET"},
        {10053, "ECONNABORTED"},    {10054, "ECONNRESET"},   {10055, "ENOBUFS"},
        {10056, "EISCONN"},         {10057, "ENOTCONN"},     {10058, "ESHUTDOWN"},
        {10059, "ETOOMANYREFS"},    {10060, "ETIMEDOUT"},    {10061, "ECONNREFUSED"},
        {10062, "ELOOP"},           {10063, "ENAMETOOLONG"}, {10064, "EHOSTDOWN"},
        {10065, "EHOSTUNREACH"},    {10066, "ENOTEMPTY"},    {10067, "EPROCLIM"},
        {10068, "EUSERS"},          {10069, "EDQUOT"},       {10070, "ESTALE"},
        {10071, "EREMOTE"},         {10091, "SYSNOTREADY"},  {10092, "VERNOTSUPPORTED"},
        {10093, "NOTINITIALISED"},  {10101, "EDISCON"},      {11001, "HOST_NOT_FOUND"},
        {11002, "TRY_AGAIN"},       {11003, "NO_RECOVERY"},  {11004, "NO_DATA"},
    };
    static char text[24];
    const char* name = nullptr;
    for (const Name& n : names)
        if (n.code == code) name = n.name;
    if (name != nullptr)
        snprintf(text, sizeof text, "%s", name);
    else
        snprintf(text, sizeof text, "Unknown 0x%04X", unsigned(code));
    return text;
}

bool socket_error_words(int code, uint32_t address, uint16_t port, char* out, size_t cap) {
    char at[16];
    snprintf(at, sizeof at, "%s", dotted(address));
    unsigned p = port;
    switch (code) {
    case 10061: // ECONNREFUSED
        snprintf(out, cap, "nothing listens at %s port %u", at, p);
        return true;
    case 10048: // EADDRINUSE
        snprintf(out, cap, "port %u of this machine is taken by another program", p);
        return true;
    case 10051: // ENETUNREACH
    case 10065: // EHOSTUNREACH
        snprintf(out, cap, "no route to %s", at);
        return true;
    case 10060: // ETIMEDOUT
        snprintf(out, cap, "%s port %u does not answer: no device there, or a firewall drops it",
                 at, p);
        return true;
    case 10054: // ECONNRESET
        snprintf(out, cap, "%s port %u reset the connection", at, p);
        return true;
    case 10049: // EADDRNOTAVAIL
        snprintf(out, cap, "%s cannot be reached from this machine's addresses", at);
        return true;
    case 10050: // ENETDOWN
        snprintf(out, cap, "the network of this machine is down");
        return true;
    case 10013: // EACCES
        snprintf(out, cap, "this machine does not let this program use %s port %u", at, p);
        return true;
    default:
        if (cap > 0) out[0] = '\0';
        return false;
    }
}

void report_socket_error(const char* message, uint32_t address, uint16_t port) {
    int code = net_last_error();
    log_printf("%s: %s", message, winsock_error_name(code));
    char words[160];
    if (!socket_error_words(code, address, port, words, sizeof words)) return;
    int prefix = int(strcspn(message, ":"));
    snprintf(link_failure_reason, sizeof link_failure_reason, "%s", words);
    log_printf("%.*s: %s", prefix, message, words);
}
