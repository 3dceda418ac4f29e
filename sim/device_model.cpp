#include "sim/device_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t z_line_text_max = 49; // what the console keeps of a line

struct Answer {
    uint8_t code = dev_ok;
    std::string data;
};

Answer fail(uint8_t code) {
    return {code, {}};
}

std::string hex_digest(Sha1& s) {
    char hex[41];
    sha1_hex(sha1_final(s), hex);
    return hex;
}

// A decimal field of digits only, at most max.
bool parse_number(std::string_view text, unsigned max, unsigned& out) {
    if (text.empty() || text.size() > 9) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > max) return false;
    out = value;
    return true;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict RFC 4648 decoding: whole quads, "=" only as padding at the end.
bool base64_decode(std::string_view text, std::string& out) {
    if (text.empty() || text.size() % 4 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        int pad = 0;
        if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
        uint32_t quad = 0;
        for (int k = 0; k < 4; ++k) {
            int v = k < 4 - pad ? base64_value(text[i + k]) : 0;
            if (v < 0) return false;
            quad = quad << 6 | uint32_t(v);
        }
        out.push_back(char(quad >> 16));
        if (pad < 2) out.push_back(char(quad >> 8));
        if (pad < 1) out.push_back(char(quad));
    }
    return true;
}

// Splits text at "/" into at most n fields; returns the number found.
size_t split_fields(std::string_view text, std::string_view* fields, size_t n) {
    size_t count = 0;
    while (count < n) {
        size_t slash = text.find('/');
        fields[count++] = text.substr(0, slash);
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
    }
    return count;
}

// The signed bytes of a text block: tab and line ends are text, other
// control characters are not.
bool text_block_ok(std::string_view data) {
    for (char c : data) {
        auto u = uint8_t(c);
        if (u < 0x20 && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}

ZReport make_z_report(const DeviceModel& dev, unsigned number,
                      const std::vector<std::string>& signatures) {
    ZReport z;
    z.number = number;
    char line[80];
    snprintf(line, sizeof line, "1/%s %s", dev.model.c_str(), dev.serial_number.c_str());
    z.lines.push_back(line);
    snprintf(line, sizeof line, "1/Z REPORT %04u", number);
    z.lines.push_back(line);

    std::vector<std::string> body;
    snprintf(line, sizeof line, "SIGNATURES %zu", signatures.size());
    body.push_back(line);
    for (size_t i = 0; i < signatures.size(); ++i) {
        snprintf(line, sizeof line, "%04zu %s", i + 1, signatures[i].c_str());
        body.push_back(line);
    }
    snprintf(line, sizeof line, "END OF Z %04u", number);
    body.push_back(line);

    // The digest covers the lines as the console stores them.
    Sha1 digest;
    for (auto& text : body) {
        std::string_view kept(text);
        kept = kept.substr(0, z_line_text_max);
        sha1_update(digest, kept.data(), kept.size());
        sha1_update(digest, "\r\n", 2);
        z.lines.push_back("0/" + text);
    }
    z.lines.push_back("2/" + hex_digest(digest));
    z.lines.push_back("3/");
    return z;
}

Answer issue_z(DeviceModel& dev, std::string_view args) {
    if (args.empty()) return fail(dev_numfields);
    if (args != "2" && args != "5") return fail(dev_fieldcheck);
    if (dev.block_open) return fail(dev_inprogress);
    unsigned number = dev.z_reports.empty() ? 1 : dev.z_reports.back().number + 1;
    bool zero = dev.day_signatures.empty();
    dev.z_reports.push_back(make_z_report(dev, number, dev.day_signatures));
    dev.day_signatures.clear();
    dev.z_selected = dev.z_reports.size() - 1;
    dev.q_cursor = 0;
    char data[8];
    snprintf(data, sizeof data, "%04u", number);
    return {zero ? dev_zero_z : dev_ok, data};
}

Answer select_z(DeviceModel& dev, std::string_view args) {
    size_t index = dev.z_reports.size() - 1;
    if (!args.empty()) {
        unsigned number = 0;
        if (!parse_number(args, 9999, number)) return fail(dev_fieldcheck);
        for (index = 0; index < dev.z_reports.size(); ++index)
            if (dev.z_reports[index].number == number) break;
    }
    if (dev.z_reports.empty() || index >= dev.z_reports.size()) return fail(dev_znotfound);
    dev.z_selected = index;
    dev.q_cursor = 0;
    const ZReport& z = dev.z_reports[index];
    char data[8];
    snprintf(data, sizeof data, "%04u", z.number);
    return {dev_ok, data + dev.z_identifier(z.number)};
}

// Reads the selected report one line at a time; the closing line repeats.
Answer read_z_line(DeviceModel& dev) {
    if (dev.z_selected >= dev.z_reports.size()) return fail(dev_znotfound);
    const auto& lines = dev.z_reports[dev.z_selected].lines;
    auto next = [&dev, &lines]() {
        std::string line = lines[dev.q_cursor];
        if (dev.q_cursor + 1 < lines.size()) ++dev.q_cursor;
        return line;
    };
    std::string line = next();
    bool signature = line.rfind("2/", 0) == 0;
    if (signature && dev.z_signature == DeviceModel::ZSignature::none) line = next();
    if (signature && dev.z_signature == DeviceModel::ZSignature::wrong)
        line.back() = line.back() == '0' ? '1' : '0';
    return {dev_ok, line};
}

// "$/bitmap/width/height/row/HEX/": one row of a logo bitmap.
Answer logo_row(DeviceModel& dev, std::string_view args) {
    std::string_view f[7];
    size_t n = split_fields(args, f, 7);
    if (n < 6) return fail(dev_numfields);
    if (n > 6 || !f[5].empty()) return fail(dev_fieldcheck);
    unsigned bitmap = 0, width = 0, height = 0, row = 0;
    if (!parse_number(f[0], 7, bitmap) || !parse_number(f[1], 256, width) || width == 0 ||
        !parse_number(f[2], 256, height) || height == 0 || !parse_number(f[3], height, row) ||
        row == 0)
        return fail(dev_fieldcheck);
    size_t row_bytes = (width + 7) / 8;
    if (f[4].size() != 2 * row_bytes) return fail(dev_fieldsize);
    std::vector<uint8_t> bytes(row_bytes);
    for (size_t i = 0; i < row_bytes; ++i) {
        int hi = hex_value(f[4][2 * i]), lo = hex_value(f[4][2 * i + 1]);
        if (hi < 0 || lo < 0) return fail(dev_fieldcheck);
        bytes[i] = uint8_t(hi << 4 | lo);
    }
    LogoBitmap& logo = dev.logos[bitmap];
    if (logo.width != width || logo.height != height) {
        logo = LogoBitmap{width, height, std::vector<uint8_t>(row_bytes * height),
                          std::vector<bool>(height)};
    }
    std::copy(bytes.begin(), bytes.end(), logo.rows.begin() + ptrdiff_t((row - 1) * row_bytes));
    logo.received[row - 1] = true;
    return {};
}

Answer sign_data(DeviceModel& dev, std::string_view data, bool base64) {
    if (!dev.block_open) return fail(dev_notopen);
    if (data.empty()) return fail(dev_nodata);
    std::string decoded;
    if (base64) {
        if (!base64_decode(data, decoded)) return fail(dev_signdataerr);
        data = decoded;
    } else if (!text_block_ok(data)) {
        return fail(dev_badchar);
    }
    sha1_update(dev.block, data.data(), data.size());
    return {};
}

Answer execute(DeviceModel& dev, std::string_view request) {
    if (request.empty()) return fail(dev_badreq);
    std::string_view args;
    bool has_args = request.size() >= 2 && request[1] == '/';
    if (has_args) args = request.substr(2);
    bool bare = request.size() == 1;

    switch (request[0]) {
    case 'v':
        if (!bare) break;
        return {dev_ok, dev.model + "/" + dev.serial_number + "/" + dev.firmware};
    case '?': {
        if (!bare) break;
        char data[40];
        unsigned last_z = dev.z_reports.empty() ? 0 : dev.z_reports.back().number;
        snprintf(data, sizeof data, "%04u/%zu/%u", last_z, dev.day_signatures.size(),
                 dev.block_open ? 1u : 0u);
        return {dev_ok, data};
    }
    case '{':
        if (!bare && !has_args) break;
        if (args.empty()) return fail(dev_numfields);
        if (args != "0" && args != "1") return fail(dev_prntype);
        if (dev.block_open) return fail(dev_inprogress);
        dev.block_open = true;
        dev.block = Sha1{};
        return {};
    case '@':
    case '&':
        if (!has_args) break;
        return sign_data(dev, args, request[0] == '&');
    case '}': {
        if (!bare) break;
        if (!dev.block_open) return fail(dev_notopen);
        dev.block_open = false;
        std::string signature = hex_digest(dev.block);
        dev.day_signatures.push_back(signature);
        return {dev_ok, signature};
    }
    case '$':
        if (!has_args) break;
        return logo_row(dev, args);
    case 'A':
        if (!bare && !has_args) break;
        return select_z(dev, args);
    case 'Q':
        if (!bare) break;
        return read_z_line(dev);
    case 'x':
        if (!bare && !has_args) break;
        return issue_z(dev, args);
    default:
        break;
    }
    return fail(dev_badreq);
}

} // namespace

uint64_t sim_random(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

DeviceModel::DeviceModel(uint32_t seed) {
    uint64_t state = seed;
    char text[32];
    snprintf(text, sizeof text, "VK%08u", unsigned(sim_random(state) % 100000000u));
    serial_number = text;

    // The factory day: a few signatures, closed by Z number 1.
    unsigned count = 1 + unsigned(sim_random(state) % 4);
    std::vector<std::string> signatures;
    for (unsigned i = 0; i < count; ++i) {
        snprintf(text, sizeof text, "factory %u/%u", seed, i);
        Sha1 s;
        sha1_update(s, text, strlen(text));
        signatures.push_back(hex_digest(s));
    }
    z_reports.push_back(make_z_report(*this, 1, signatures));
}

std::string DeviceModel::z_identifier(unsigned number) const {
    char id[16];
    snprintf(id, sizeof id, "_%04u", number);
    return serial_number + id;
}

std::string DeviceModel::handle(std::string_view request) {
    Answer answer;
    uint8_t device_status = faults.device_status;
    if (faults.error_code != 0) {
        answer = fail(faults.error_code);
    } else if (faults.busy > 0) {
        --faults.busy;
        answer = fail(dev_busy);
        device_status |= dev_status_busy;
    } else if (faults.printer_offline > 0) {
        --faults.printer_offline;
        answer = fail(dev_printeroffline);
    } else {
        answer = execute(*this, request);
    }
    uint8_t function_status = faults.function_status;
    if (block_open) function_status |= fn_status_sip;
    if (!day_signatures.empty()) function_status |= fn_status_day;

    char status[16];
    snprintf(status, sizeof status, "%02X/%02X/%02X/", answer.code, device_status, function_status);
    return status + answer.data;
}
