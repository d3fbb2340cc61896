// One implementation of the AES-128 block work behind the AES_ functions, on
// the expanded key of an AES_ctx. Callers pass blocks >= 1 and length >= 1.
#pragma once

#include <cstddef>
#include <cstdint>

struct AesBackend {
    void (*encrypt_block)(const std::uint8_t* round_keys, std::uint8_t* block);
    void (*decrypt_block)(const std::uint8_t* round_keys, std::uint8_t* block);
    // CBC over whole blocks; iv ends as the last output block.
    void (*cbc_encrypt)(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks);
    // CBC inverse over whole blocks; iv ends as the last input block.
    void (*cbc_decrypt)(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks);
    // CTR from a fresh key-stream block at iv; iv ends as the counter after the
    // last block used.
    void (*ctr_xcrypt)(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                       std::uint64_t length);
};

// The implementation in portable C++, for every processor.
const AesBackend& aesPortableBackend();

// The implementation on the processor's AES instructions, or null when this
// processor or this build has none.
const AesBackend* aesHardwareBackend();
