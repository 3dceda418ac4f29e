#include "codec/base64.h"

size_t base64_encode(const unsigned char* src, size_t len, char* out) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t o = 0;
    size_t i = 0;
    for (; i + 3 <= len; i += 3) {
        unsigned v = unsigned(src[i]) << 16 | unsigned(src[i + 1]) << 8 | src[i + 2];
        out[o++] = alphabet[v >> 18];
        out[o++] = alphabet[(v >> 12) & 63];
        out[o++] = alphabet[(v >> 6) & 63];
        out[o++] = alphabet[v & 63];
    }
    if (len - i == 1) {
        unsigned v = unsigned(src[i]) << 16;
        out[o++] = alphabet[v >> 18];
        out[o++] = alphabet[(v >> 12) & 63];
        out[o++] = '=';
        out[o++] = '=';
    } else if (len - i == 2) {
        unsigned v = unsigned(src[i]) << 16 | unsigned(src[i + 1]) << 8;
        out[o++] = alphabet[v >> 18];
        out[o++] = alphabet[(v >> 12) & 63];
        out[o++] = alphabet[(v >> 6) & 63];
        out[o++] = '=';
    }
    out[o] = '\0';
    return o;
}
