// Throughput of CRC-32 and FindText on message-sized data, as ratios against simple baselines
// measured in the same run: a one-table byte-at-a-time CRC-32, and std::string_view::find /
// a naive folded scan for the search.
#include "base/Crc32.h"
#include "base/TextUtils.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

using namespace corvanthelix;

namespace {

std::array<uint32_t, 256> byteTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[b] = c;
    }
    return t;
}

uint32_t byteAtATimeCrc32(const std::array<uint32_t, 256>& t, const std::string& s) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : s) crc = (crc >> 8) ^ t[(crc ^ c) & 0xFF];
    return ~crc;
}

long naiveFoldedFind(std::string_view text, const std::string& pattern) {
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() && fold(text[i + k]) == fold(pattern[k])) ++k;
        if (k == pattern.size()) return long(i);
    }
    return -1;
}

// `f(r)` gets the round number so that no compiler can lift the work out of the loop.
template <class F>
double secondsFor(int rounds, F&& f) {
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) f(r);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

volatile uint64_t sink;

} // namespace

int main() {
    // A 64 KB message body of mixed-case words.
    std::mt19937 rng(1);
    std::string body;
    const char* words[] = {"Hello ", "offer ", "Meeting ", "tomorrow ", "PRICE ", "the ", "and\r\n"};
    while (body.size() < 64 * 1024) body += words[rng() % 7];
    const int rounds = 400;

    const auto table = byteTable();
    double baseCrc = secondsFor(rounds, [&](int r) { sink = sink + byteAtATimeCrc32(table, body) + r; });
    double ourCrc = secondsFor(rounds, [&](int r) { sink = sink + crc32(body) + r; });
    double mb = double(body.size()) * rounds / 1e6;
    std::printf("CRC-32 slicing-by-8: %.2fx the byte-at-a-time table (%.0f vs %.0f MB/s)\n", baseCrc / ourCrc,
                mb / ourCrc, mb / baseCrc);

    // A pattern that is not there, made of common letters, makes every search scan the whole body.
    const std::string missing = "the meeting offer";
    auto shifted = [&](int r) { return std::string_view(body).substr(r & 1); };
    double baseFind = secondsFor(rounds, [&](int r) { sink = sink + shifted(r).find(missing); });
    double ourFind = secondsFor(rounds, [&](int r) { sink = sink + findText(shifted(r), missing, true); });
    std::printf("FindText case-sensitive: %.2fx std::string_view::find\n", baseFind / ourFind);

    double baseFolded = secondsFor(rounds, [&](int r) { sink = sink + naiveFoldedFind(shifted(r), missing); });
    double ourFolded = secondsFor(rounds, [&](int r) { sink = sink + findText(shifted(r), missing, false); });
    std::printf("FindText case-insensitive: %.2fx a naive folded scan\n", baseFolded / ourFolded);
    return 0;
}
