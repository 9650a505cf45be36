// Streaming inflate with CRC-32, zlib against ISA-L, and libdeflate's whole-buffer inflate for
// scale, on text-like and random data made here. Each decoder writes into a 64 KiB window, as the
// archivers do; libdeflate needs the whole output at once. Built and run by bench/inflate_bench.sh.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kWindow = 64 * 1024;

// Words of a small vocabulary in lines: compresses about as well as prose or source code.
Bytes textLike(size_t size) {
    static const char* const kWords[] = {"archive", "entry",  "the",   "of",    "data",  "file",
                                         "header",  "length", "check", "value", "name",  "and",
                                         "size",    "folder", "test",  "a",     "return"};
    std::mt19937 generator(7);
    Bytes bytes;
    bytes.reserve(size + 16);
    while (bytes.size() < size) {
        const std::string word = kWords[generator() % std::size(kWords)];
        bytes.insert(bytes.end(), word.begin(), word.end());
        bytes.push_back(generator() % 11 == 0 ? '\n' : ' ');
    }
    bytes.resize(size);
    return bytes;
}

Bytes random(size_t size) {
    std::mt19937_64 generator(11);
    Bytes bytes(size);
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(generator());
    }
    return bytes;
}

Bytes deflateRaw(const Bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

uint32_t zlibInflate(const Bytes& packed, Bytes& window) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    uLong crc = crc32_z(0, nullptr, 0);
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = window.data();
        stream.avail_out = kWindow;
        rc = inflate(&stream, Z_NO_FLUSH);
        crc = crc32_z(crc, window.data(), kWindow - stream.avail_out);
    }
    inflateEnd(&stream);
    return static_cast<uint32_t>(crc);
}

// ISA-L computing the CRC as it inflates (as for a gzip member), or zlib's CRC over its output
// (as the ZIP reader does).
uint32_t isalInflate(const Bytes& packed, Bytes& window, bool ownCrc) {
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ownCrc ? ISAL_GZIP_NO_HDR : ISAL_DEFLATE;
    state.next_in = const_cast<uint8_t*>(packed.data());
    state.avail_in = static_cast<uint32_t>(packed.size());
    uLong crc = crc32_z(0, nullptr, 0);
    while (state.block_state != ISAL_BLOCK_FINISH) {
        state.next_out = window.data();
        state.avail_out = kWindow;
        if (isal_inflate(&state) != ISAL_DECOMP_OK) {
            std::abort();
        }
        if (!ownCrc) {
            crc = crc32_z(crc, window.data(), kWindow - state.avail_out);
        }
    }
    return ownCrc ? state.crc : static_cast<uint32_t>(crc);
}

uint32_t libdeflateInflate(const Bytes& packed, Bytes& whole) {
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    size_t size = 0;
    libdeflate_deflate_decompress(decompressor, packed.data(), packed.size(), whole.data(),
                                  whole.size(), &size);
    libdeflate_free_decompressor(decompressor);
    return libdeflate_crc32(0, whole.data(), size);
}

template <typename Run>
void time(const char* name, size_t size, uint32_t expected, Run run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const uint32_t crc = run();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (crc != expected) {
            std::printf("%s: wrong CRC\n", name);
            std::exit(1);
        }
        best = std::min(best, seconds);
    }
    std::printf("  %-34s %7.3f s  %7.0f MB/s\n", name, best,
                static_cast<double>(size) / best / 1e6);
}

void bench(const char* label, const Bytes& data) {
    const Bytes packed = deflateRaw(data);
    const uint32_t expected = static_cast<uint32_t>(crc32_z(0, data.data(), data.size()));
    std::printf("%s: %zu MB, deflated to %zu MB\n", label, data.size() >> 20, packed.size() >> 20);
    Bytes window(kWindow);
    Bytes whole(data.size());
    time("zlib inflate + zlib crc32", data.size(), expected,
         [&] { return zlibInflate(packed, window); });
    time("ISA-L isal_inflate + zlib crc32", data.size(), expected,
         [&] { return isalInflate(packed, window, false); });
    time("ISA-L isal_inflate, its own CRC", data.size(), expected,
         [&] { return isalInflate(packed, window, true); });
    time("libdeflate whole buffer + its crc32", data.size(), expected,
         [&] { return libdeflateInflate(packed, whole); });
    time("zlib crc32 alone", data.size(), expected,
         [&] { return static_cast<uint32_t>(crc32_z(0, data.data(), data.size())); });
    time("ISA-L crc32_gzip_refl alone", data.size(), expected,
         [&] { return crc32_gzip_refl(0, data.data(), data.size()); });
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
    bench("text-like", textLike(megabytes << 20));
    bench("random", random(megabytes << 20));
}
