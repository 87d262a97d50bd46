#include "foundation/DES.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// ---------------------------------------------------------------------------------------------
// The standard tables. Bit numbers are 1-based with bit 1 the most significant, as the standard
// writes them; everything the cipher runs on is generated from these at compile time.

constexpr std::array<uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::array<uint8_t, 32> kPermutationP = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::array<uint8_t, 56> kPermutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::array<uint8_t, 48> kPermutedChoice2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

// Left rotations of C and D before each round, accumulated from C0 and D0.
constexpr std::array<uint8_t, 16> kTotalRotation = {1, 2, 4, 6, 8, 10, 12, 14, 15, 17, 19, 21, 23, 25, 27, 28};

// S-box k, row r (outer bits), column c (inner four bits).
constexpr uint8_t kSBoxes[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// Bit `bit` (1-based from the most significant end) of a width-bit value.
constexpr uint64_t bitAt(uint64_t value, unsigned width, unsigned bit)
{
    return (value >> (width - bit)) & 1u;
}

// Output bit i (1-based) of an outWidth-bit result is input bit table[i-1] of an inWidth-bit value.
template <std::size_t N>
constexpr uint64_t permute(uint64_t value, unsigned inWidth, const std::array<uint8_t, N>& table)
{
    uint64_t out = 0;
    for (std::size_t i = 0; i < N; ++i)
        out = (out << 1) | bitAt(value, inWidth, table[i]);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Combined S-box and P tables. The round function works on both halves rotated left by one bit:
// then the six expansion bits that feed S-box k are contiguous, either in R itself (even k, at
// shifts 24, 16, 8, 0) or in R rotated right by four (odd k, same shifts). Each table entry is
// P of the S-box output, rotated the same way, so no per-round expansion or permutation is left.

using SPTable = std::array<uint32_t, 64>;

constexpr std::array<SPTable, 8> makeSPTables()
{
    std::array<SPTable, 8> tables{};
    for (unsigned box = 0; box < 8; ++box) {
        for (unsigned six = 0; six < 64; ++six) {
            const unsigned row = ((six >> 4) & 2u) | (six & 1u);
            const unsigned column = (six >> 1) & 0xfu;
            const uint32_t sOut = static_cast<uint32_t>(kSBoxes[box][row][column]) << (28 - 4 * box);
            const auto p = static_cast<uint32_t>(permute(sOut, 32, kPermutationP));
            tables[box][six] = std::rotl(p, 1);
        }
    }
    return tables;
}

alignas(64) constexpr std::array<SPTable, 8> kSP = makeSPTables();
constexpr const SPTable& SP1 = kSP[0];
constexpr const SPTable& SP2 = kSP[1];
constexpr const SPTable& SP3 = kSP[2];
constexpr const SPTable& SP4 = kSP[3];
constexpr const SPTable& SP5 = kSP[4];
constexpr const SPTable& SP6 = kSP[5];
constexpr const SPTable& SP7 = kSP[6];
constexpr const SPTable& SP8 = kSP[7];

// ---------------------------------------------------------------------------------------------
// Initial and final permutations as five exchanges of bit groups between the halves; the final
// one is the same exchanges undone in reverse order. Both are checked against the table below.

constexpr void exchange(uint32_t& a, uint32_t& b, unsigned shift, uint32_t mask)
{
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

constexpr void initialPermutation(uint32_t& left, uint32_t& right)
{
    exchange(left, right, 4, 0x0f0f0f0fu);
    exchange(left, right, 16, 0x0000ffffu);
    exchange(right, left, 2, 0x33333333u);
    exchange(right, left, 8, 0x00ff00ffu);
    exchange(left, right, 1, 0x55555555u);
}

constexpr void finalPermutation(uint32_t& left, uint32_t& right)
{
    exchange(left, right, 1, 0x55555555u);
    exchange(right, left, 8, 0x00ff00ffu);
    exchange(right, left, 2, 0x33333333u);
    exchange(left, right, 16, 0x0000ffffu);
    exchange(left, right, 4, 0x0f0f0f0fu);
}

constexpr std::array<uint8_t, 64> inverse(const std::array<uint8_t, 64>& table)
{
    std::array<uint8_t, 64> inv{};
    for (unsigned i = 0; i < 64; ++i)
        inv[table[i] - 1u] = static_cast<uint8_t>(i + 1);
    return inv;
}

// Both permutations are linear, so agreeing on every single-bit block proves them equal.
constexpr bool exchangesMatchTable(bool finalOne)
{
    const std::array<uint8_t, 64> table = finalOne ? inverse(kInitialPermutation) : kInitialPermutation;
    for (unsigned bit = 0; bit < 64; ++bit) {
        const uint64_t block = uint64_t{1} << bit;
        auto left = static_cast<uint32_t>(block >> 32);
        auto right = static_cast<uint32_t>(block);
        if (finalOne)
            finalPermutation(left, right);
        else
            initialPermutation(left, right);
        if (((uint64_t{left} << 32) | right) != permute(block, 64, table))
            return false;
    }
    return true;
}
static_assert(exchangesMatchTable(false), "initial permutation exchanges disagree with the table");
static_assert(exchangesMatchTable(true), "final permutation exchanges disagree with the table");

// ---------------------------------------------------------------------------------------------

[[gnu::always_inline]] inline uint32_t roundFunction(uint32_t right, const uint32_t* key)
{
    const uint32_t odd = std::rotr(right, 4) ^ key[0];
    const uint32_t even = right ^ key[1];
    return SP1[odd >> 24 & 0x3f] ^ SP3[odd >> 16 & 0x3f] ^ SP5[odd >> 8 & 0x3f] ^ SP7[odd & 0x3f]
         ^ SP2[even >> 24 & 0x3f] ^ SP4[even >> 16 & 0x3f] ^ SP6[even >> 8 & 0x3f] ^ SP8[even & 0x3f];
}

[[gnu::always_inline]] inline void cipherBlock(uint32_t& left, uint32_t& right, const uint32_t* keys)
{
    initialPermutation(left, right);
    uint32_t l = std::rotl(left, 1);
    uint32_t r = std::rotl(right, 1);
    for (int round = 0; round < 16; round += 2, keys += 4) {
        l ^= roundFunction(r, keys);
        r ^= roundFunction(l, keys + 2);
    }
    // The last round does not swap the halves.
    left = std::rotr(r, 1);
    right = std::rotr(l, 1);
    finalPermutation(left, right);
}

[[gnu::always_inline]] inline uint32_t loadBig(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

[[gnu::always_inline]] inline void storeBig(uint32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

constexpr std::size_t byteCount(int32_t blocks)
{
    return static_cast<std::size_t>(blocks) * 8u;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int32_t DES::encryptKey(const uint8_t* key, uint8_t* data, int32_t blockCount)
{
    if (key == nullptr || data == nullptr || blockCount < 1)
        return 0;
    deskey(key, kEncipher);
    des(data, data, blockCount);
    return 1;
}

int32_t DES::decryptKey(const uint8_t* key, uint8_t* data, int32_t blockCount)
{
    if (key == nullptr || data == nullptr || blockCount < 1)
        return 0;
    deskey(key, kDecipher);
    des(data, data, blockCount);
    return 1;
}

int32_t DES::yencrypt(const uint8_t* key, uint8_t* data, int32_t size)
{
    if (key == nullptr || data == nullptr || size < 1)
        return 0;
    const int64_t padded = extend(size);
    if (padded > std::numeric_limits<int32_t>::max())
        return 0;
    const uint8_t fill = static_cast<uint8_t>(~data[size - 1]);
    for (int64_t i = size; i < padded; ++i)
        data[i] = fill;
    return encryptKey(key, data, static_cast<int32_t>(padded / 8));
}

int32_t DES::ydecrypt(const uint8_t* key, uint8_t* data, int32_t blocks, int32_t* outSize)
{
    if (decryptKey(key, data, blocks) == 0)
        return 0;
    if (outSize == nullptr)
        return 1;
    const std::size_t total = byteCount(blocks);
    const uint8_t pad = data[total - 1];
    std::size_t runStart = total - 1;
    while (runStart > 0 && data[runStart - 1] == pad)
        --runStart;
    if (runStart == 0 || data[runStart - 1] != static_cast<uint8_t>(~pad))
        return 0;
    *outSize = static_cast<int32_t>(runStart);
    return 1;
}

int64_t DES::extend(int32_t n)
{
    return int64_t{n} / 8 * 8 + 8;
}

void DES::des(const uint8_t* in, uint8_t* out, int32_t blocks)
{
    if (in == nullptr || out == nullptr)
        return;
    const uint32_t* keys = KnL;
    for (int32_t b = 0; b < blocks; ++b, in += 8, out += 8) {
        uint32_t left = loadBig(in);
        uint32_t right = loadBig(in + 4);
        cipherBlock(left, right, keys);
        storeBig(left, out);
        storeBig(right, out + 4);
    }
}

void DES::des_block(const uint8_t* in, uint8_t* out)
{
    uint32_t work[2];
    scrunch(in, work);
    desfunc(work, KnL);
    unscrun(work, out);
}

void DES::deskey(const uint8_t* key, int32_t mode)
{
    uint64_t block = 0;
    for (int i = 0; i < 8; ++i)
        block = (block << 8) | key[i];
    const uint64_t cd = permute(block, 64, kPermutedChoice1);
    const auto c0 = static_cast<uint32_t>(cd >> 28);
    const auto d0 = static_cast<uint32_t>(cd & 0x0fffffffu);
    const auto rotl28 = [](uint32_t v, unsigned s) { return ((v << s) | (v >> (28 - s))) & 0x0fffffffu; };

    uint32_t raw[32];
    for (int round = 0; round < 16; ++round) {
        const unsigned shift = kTotalRotation[static_cast<std::size_t>(round)];
        const uint64_t rotated = (uint64_t{rotl28(c0, shift)} << 28) | rotl28(d0, shift);
        const uint64_t k = permute(rotated, 56, kPermutedChoice2);
        const int slot = mode == kDecipher ? 15 - round : round;
        raw[2 * slot] = static_cast<uint32_t>(k >> 24);
        raw[2 * slot + 1] = static_cast<uint32_t>(k & 0x00ffffffu);
    }
    cookey(raw);
}

void DES::cookey(const uint32_t* raw)
{
    uint32_t cooked[32];
    for (int round = 0; round < 16; ++round) {
        const uint32_t first = raw[2 * round];   // groups 1-4
        const uint32_t second = raw[2 * round + 1];  // groups 5-8
        const auto group = [](uint32_t half, unsigned index) { return (half >> (18 - 6 * index)) & 0x3fu; };
        cooked[2 * round] = group(first, 0) << 24 | group(first, 2) << 16 | group(second, 0) << 8 | group(second, 2);
        cooked[2 * round + 1] = group(first, 1) << 24 | group(first, 3) << 16 | group(second, 1) << 8 | group(second, 3);
    }
    usekey(cooked);
}

void DES::usekey(const uint32_t* from)
{
    for (int i = 0; i < 32; ++i)
        KnL[i] = from[i];
}

void DES::scrunch(const uint8_t* bytes, uint32_t* words)
{
    words[0] = loadBig(bytes);
    words[1] = loadBig(bytes + 4);
}

void DES::unscrun(const uint32_t* words, uint8_t* bytes)
{
    storeBig(words[0], bytes);
    storeBig(words[1], bytes + 4);
}

void DES::desfunc(uint32_t* block, const uint32_t* keys)
{
    cipherBlock(block[0], block[1], keys);
}
