#include "netns.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/veth.h>
#include <net/if.h>
#include <net/route.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace netns {
namespace {

int home_fd = -1;        // where leave_private returns to
std::string unavailable; // set once when no namespace can be had

std::string failure(const char* what) {
    return std::string(what) + ": " + strerror(errno);
}

ino_t namespace_inode() {
    struct stat st {};
    if (stat("/proc/thread-self/ns/net", &st) != 0) return 0;
    return st.st_ino;
}

bool write_file(const char* path, const std::string& text) {
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// A user namespace where this process is root, for machines where it is not.
std::string become_namespace_root() {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER) != 0) return failure("unshare(CLONE_NEWUSER)");
    if (!write_file("/proc/self/setgroups", "deny") ||
        !write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
        return failure("writing the user namespace's id maps");
    return "";
}

std::string interface_up(int sock, const char* name) {
    ifreq ifr{};
    strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(sock, SIOCGIFFLAGS, &ifr) != 0) return failure("SIOCGIFFLAGS");
    ifr.ifr_flags = short(ifr.ifr_flags | IFF_UP);
    if (ioctl(sock, SIOCSIFFLAGS, &ifr) != 0) return failure("SIOCSIFFLAGS");
    return "";
}

std::string set_up_loopback(bool default_route) {
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return failure("socket");
    std::string error = interface_up(sock, "lo");
    if (error.empty() && default_route) {
        rtentry rt{};
        auto* dst = reinterpret_cast<sockaddr_in*>(&rt.rt_dst);
        auto* mask = reinterpret_cast<sockaddr_in*>(&rt.rt_genmask);
        dst->sin_family = AF_INET;
        mask->sin_family = AF_INET;
        rt.rt_flags = RTF_UP;
        char dev[] = "lo";
        rt.rt_dev = dev;
        if (ioctl(sock, SIOCADDRT, &rt) != 0) error = failure("SIOCADDRT");
    }
    close(sock);
    return error;
}

// A fresh namespace for the calling thread, checked to differ from the one
// it leaves, so that nothing is ever configured outside a private one.
std::string unshare_checked() {
    ino_t before = namespace_inode();
    if (unshare(CLONE_NEWNET) != 0) return failure("unshare(CLONE_NEWNET)");
    if (namespace_inode() == before) return "the network namespace did not change";
    return "";
}

} // namespace

std::string enter_private(bool default_route) {
    if (!unavailable.empty()) return unavailable;
    if (home_fd < 0) {
        int fd = current_namespace_fd();
        if (fd < 0) return unavailable = failure("opening the network namespace");
        ino_t host = namespace_inode();
        if (unshare(CLONE_NEWNET) != 0) {
            std::string error = errno == EPERM ? become_namespace_root() : failure("unshare");
            if (!error.empty() || unshare(CLONE_NEWNET) != 0) {
                close(fd);
                return unavailable = error.empty() ? failure("unshare(CLONE_NEWNET)") : error;
            }
            // Not root: the first private namespace is home from now on; the
            // one this process started in cannot be entered again.
            close(fd);
            fd = current_namespace_fd();
        }
        home_fd = fd;
        if (namespace_inode() == host) return unavailable = "the network namespace did not change";
    } else if (std::string error = unshare_checked(); !error.empty()) {
        return error;
    }
    std::string error = set_up_loopback(default_route);
    if (!error.empty()) leave_private();
    return error;
}

void leave_private() {
    if (home_fd >= 0) setns(home_fd, CLONE_NEWNET);
}

std::string enter_nested() {
    if (std::string error = unshare_checked(); !error.empty()) return error;
    return set_up_loopback(false);
}

int current_namespace_fd() {
    return open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

namespace {

struct Message {
    alignas(NLMSG_ALIGNTO) char buf[512];
    nlmsghdr* header() { return reinterpret_cast<nlmsghdr*>(buf); }
    char* tail() { return buf + NLMSG_ALIGN(header()->nlmsg_len); }

    rtattr* add(unsigned short type, const void* data, size_t len) {
        auto* a = reinterpret_cast<rtattr*>(tail());
        a->rta_type = type;
        a->rta_len = (unsigned short)RTA_LENGTH(len);
        if (len > 0) memcpy(RTA_DATA(a), data, len);
        header()->nlmsg_len = NLMSG_ALIGN(header()->nlmsg_len) + RTA_ALIGN(a->rta_len);
        return a;
    }
    void end(rtattr* nest) {
        nest->rta_len = (unsigned short)(tail() - reinterpret_cast<char*>(nest));
    }
};

} // namespace

std::string add_veth(const char* name, const char* peer, int peer_ns_fd) {
    Message m{};
    m.header()->nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    m.header()->nlmsg_type = RTM_NEWLINK;
    m.header()->nlmsg_flags = NLM_F_REQUEST | NLM_F_CREATE | NLM_F_EXCL | NLM_F_ACK;
    m.add(IFLA_IFNAME, name, strlen(name) + 1);
    rtattr* info = m.add(IFLA_LINKINFO, nullptr, 0);
    m.add(IFLA_INFO_KIND, "veth", 4);
    rtattr* data = m.add(IFLA_INFO_DATA, nullptr, 0);
    rtattr* peer_info = m.add(VETH_INFO_PEER, nullptr, 0);
    ifinfomsg peer_if{};
    memcpy(m.tail(), &peer_if, sizeof peer_if);
    m.header()->nlmsg_len += NLMSG_ALIGN(sizeof peer_if);
    m.add(IFLA_IFNAME, peer, strlen(peer) + 1);
    uint32_t ns = uint32_t(peer_ns_fd);
    m.add(IFLA_NET_NS_FD, &ns, sizeof ns);
    m.end(peer_info);
    m.end(data);
    m.end(info);

    int sock = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (sock < 0) return failure("netlink socket");
    std::string error;
    if (send(sock, m.buf, m.header()->nlmsg_len, 0) < 0) {
        error = failure("netlink send");
    } else {
        char reply[1024];
        ssize_t n = recv(sock, reply, sizeof reply, 0);
        auto* h = reinterpret_cast<nlmsghdr*>(reply);
        if (n < ssize_t(sizeof(nlmsghdr))) {
            error = failure("netlink receive");
        } else if (h->nlmsg_type == NLMSG_ERROR) {
            int code = reinterpret_cast<nlmsgerr*>(NLMSG_DATA(h))->error;
            if (code != 0) error = std::string("creating the veth pair: ") + strerror(-code);
        }
    }
    close(sock);
    return error;
}

std::string set_address(const char* interface, uint32_t address) {
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return failure("socket");
    ifreq ifr{};
    strncpy(ifr.ifr_name, interface, IFNAMSIZ - 1);
    auto* sa = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr);
    sa->sin_family = AF_INET;
    sa->sin_addr.s_addr = address;
    std::string error;
    if (ioctl(sock, SIOCSIFADDR, &ifr) != 0) error = failure("SIOCSIFADDR");
    sa->sin_addr.s_addr = ipv4(255, 255, 255, 0);
    if (error.empty() && ioctl(sock, SIOCSIFNETMASK, &ifr) != 0) error = failure("SIOCSIFNETMASK");
    if (error.empty()) error = interface_up(sock, interface);
    close(sock);
    return error;
}

namespace {

// The interface's operational state as the link watcher last set it, or -1.
int operstate(int sock, unsigned index) {
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.info.ifi_index = int(index);
    if (send(sock, &request, sizeof request, 0) < 0) return -1;
    alignas(nlmsghdr) char reply[4096];
    ssize_t n = recv(sock, reply, sizeof reply, 0);
    auto* h = reinterpret_cast<nlmsghdr*>(reply);
    if (n < ssize_t(sizeof(nlmsghdr)) || h->nlmsg_type != RTM_NEWLINK) return -1;
    int len = int(IFLA_PAYLOAD(h));
    for (auto* a = IFLA_RTA(NLMSG_DATA(h)); RTA_OK(a, len); a = RTA_NEXT(a, len))
        if (a->rta_type == IFLA_OPERSTATE) return *reinterpret_cast<uint8_t*>(RTA_DATA(a));
    return -1;
}

} // namespace

std::string wait_running(const char* interface) {
    unsigned index = if_nametoindex(interface);
    if (index == 0) return failure(interface);
    int sock = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (sock < 0) return failure("netlink socket");
    std::string error = std::string(interface) + " did not start running";
    for (int i = 0; i < 1000; ++i) {
        if (operstate(sock, index) == 6) { // IF_OPER_UP (linux/if.h clashes with net/if.h)
            error.clear();
            break;
        }
        usleep(5000);
    }
    close(sock);
    return error;
}

std::string start_behind_veth(std::thread& thread, uint32_t local_address, uint32_t remote_address,
                              std::function<std::string()> open, std::function<void()> serve) {
    std::promise<int> ns_fd;
    std::promise<std::string> linked, opened;
    auto ns_future = ns_fd.get_future();
    auto opened_future = opened.get_future();
    thread = std::thread([&, linked_future = linked.get_future(), open, serve]() mutable {
        std::string error = enter_nested();
        ns_fd.set_value(error.empty() ? current_namespace_fd() : -1);
        if (error.empty()) error = linked_future.get();
        if (error.empty()) error = set_address("vb", remote_address);
        if (error.empty()) error = wait_running("vb");
        if (error.empty()) error = open();
        bool ok = error.empty();
        opened.set_value(error);
        if (ok) serve();
    });
    int fd = ns_future.get();
    std::string error = fd < 0 ? "no nested namespace" : add_veth("va", "vb", fd);
    if (fd >= 0) close(fd);
    if (error.empty()) error = set_address("va", local_address);
    linked.set_value(error);
    error = opened_future.get();
    if (error.empty()) error = wait_running("va");
    return error;
}

uint32_t ipv4(unsigned a, unsigned b, unsigned c, unsigned d) {
    return htonl(a << 24 | b << 16 | c << 8 | d);
}

} // namespace netns
