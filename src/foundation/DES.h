#pragma once

#include <cstdint>

// Single DES (FIPS PUB 46-3) in ECB mode, as the services expect for their enciphered parameters
// and files. Every operation works in place on the caller's buffer. An instance keeps the round
// keys of the last key it was given, so one instance belongs to one thread at a time.
//
// Round keys are stored pre-arranged for the round function: each round has two words, the first
// holding the 6-bit key groups of S-boxes 1, 3, 5, 7 and the second those of S-boxes 2, 4, 6, 8
// (one group per byte, low six bits), in the order of use, so deciphering is the same loop over
// the reversed schedule.
class DES
{
public:
    enum Mode : int32_t { kEncipher = 0, kDecipher = 1 };

    // Sets the key for enciphering and enciphers blockCount 8-byte blocks of data.
    // 0 when key or data is null or blockCount < 1 (nothing is touched); else 1.
    int32_t encryptKey(const uint8_t* key, uint8_t* data, int32_t blockCount);
    // The same, deciphering.
    int32_t decryptKey(const uint8_t* key, uint8_t* data, int32_t blockCount);

    // Pads the size bytes of data to extend(size) bytes (each pad byte is the complement of the
    // last data byte) and enciphers them; data must hold extend(size) bytes.
    // 0 when key or data is null, size < 1 or the padded length does not fit a count.
    int32_t yencrypt(const uint8_t* key, uint8_t* data, int32_t size);
    // Deciphers blocks blocks; with outSize, strips the padding of yencrypt and stores the data
    // length there, or returns 0 when the padding is not valid.
    int32_t ydecrypt(const uint8_t* key, uint8_t* data, int32_t blocks, int32_t* outSize);

    // The padded length of n data bytes: n rounded toward zero to a multiple of 8, plus 8.
    // Wider than the count so that no n overflows.
    static int64_t extend(int32_t n);

    // Runs des_block over blocks consecutive blocks with the current round keys; in may equal out.
    void des(const uint8_t* in, uint8_t* out, int32_t blocks);
    void des_block(const uint8_t* in, uint8_t* out);

    // Builds the round keys of an 8-byte key (parity bits ignored) for the mode (0 encipher,
    // 1 decipher) and makes them current.
    void deskey(const uint8_t* key, int32_t mode);
    // raw: 32 words, two per round, each holding four 6-bit groups of the round's 48-bit key in
    // order (groups 1-4, then 5-8, the first group in bits 23-18). Rearranges them into the
    // round-function layout and makes them current.
    void cookey(const uint32_t* raw);
    // Makes 32 already arranged round-key words current.
    void usekey(const uint32_t* from);

    // 8 bytes to two words, most significant byte first, and back.
    static void scrunch(const uint8_t* bytes, uint32_t* words);
    static void unscrun(const uint32_t* words, uint8_t* bytes);

    // One block (two words, left then right) through the initial permutation, 16 rounds with
    // the given round keys and the final permutation, in place.
    static void desfunc(uint32_t* block, const uint32_t* keys);

    uint32_t KnL[32] = {};
};
