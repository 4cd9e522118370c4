#pragma once

// The strong level (4): Argon2id key derivation and XChaCha20-Poly1305 from
// libsodium, inside the same mail-safe block as the legacy levels. The body
// is the mark "4" and standard base64, which never holds "[" and so can never
// spell the end marker. Takes any bytes (UTF-8 text in practice). No Qt here.
// docs/strong-format.md describes the block for other readers.

#include "cipher/cipher.h"

#include <array>
#include <cstdint>

namespace cipher::strong {

inline constexpr int kLevel = 4;
inline constexpr char kMark = '4';
// The version written. Version 1 keyed the cipher and the key check with the
// same Argon2id output; version 2 asks Argon2id for 64 bytes and gives each
// its own half. Both are read.
inline constexpr unsigned char kVersion = 2;
inline constexpr unsigned char kFirstVersion = 1;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 24;
inline constexpr std::size_t kKeyCheckSize = 16;
inline constexpr std::size_t kHeaderCheckSize = 8;
inline constexpr std::size_t kTagSize = 16;
// version, opslimit and memlimit (32-bit big-endian), salt, nonce, key check.
inline constexpr std::size_t kHeaderSize = 1 + 4 + 4 + kSaltSize + kNonceSize + kKeyCheckSize;
// Header, its check, then ciphertext and tag.
inline constexpr std::size_t kMinPayload = kHeaderSize + kHeaderCheckSize + kTagSize;
// Where the fields lie in the payload.
inline constexpr std::size_t kOpslimitAt = 1;
inline constexpr std::size_t kMemlimitAt = 5;
inline constexpr std::size_t kSaltAt = 9;
inline constexpr std::size_t kNonceAt = kSaltAt + kSaltSize;
inline constexpr std::size_t kKeyCheckAt = kNonceAt + kNonceSize;
inline constexpr std::size_t kSealedAt = kHeaderSize + kHeaderCheckSize;
inline constexpr std::size_t kMinPasswordLength = 12;
// Argon2id takes a password of any length; this bound only keeps a password
// file of megabytes from being read whole.
inline constexpr std::size_t kMaxPasswordBytes = 4096;
inline constexpr std::size_t kLineLength = 76;

struct Params
{
    std::uint32_t opslimit = 0;
    std::uint32_t memlimit = 0; // bytes
};
// Measured on the development machine: 0.48 s on an idle core (libsodium
// 1.0.18), up to 1.7 s while the other core builds.
inline constexpr Params kDefaultParams {3, 256u << 20};
// What a reader affords; a block asking for more is refused before anything
// is allocated, so a hostile block cannot demand gigabytes or minutes.
inline constexpr std::uint32_t kMinOpslimit = 1;
inline constexpr std::uint32_t kMaxOpslimit = 4;
inline constexpr std::uint32_t kMinMemlimit = 8u << 10;
inline constexpr std::uint32_t kMaxMemlimit = 1u << 30;
bool affordable(Params params);

// Calls sodium_init() once; false when the library cannot start.
bool ready();

// The whole block for plain under password; empty when the library fails
// (out of memory, for one). The password must not be empty.
Bytes encryptText(BytesView plain, BytesView password, Params params = kDefaultParams);

// Whether the text's block (as the legacy scan cuts it) is a level 4 block:
// its mark "4" comes before anything but blanks and line breaks, or, whatever
// its mark says (another level's mark in its place or before it, or none),
// the body from one of its first three characters on starts with base64
// whose header has a known version and passes its header check. A legacy
// body never does (see docs/strong-format.md), so legacy blocks read as ever.
bool containsStrongBlock(BytesView text);

// The decrypt road for a level 4 block: text is before-text + plain text +
// after-text only when the verdict is Good; otherwise it is empty and no
// unauthenticated byte leaves. WrongPassword: the key check differs.
// ChecksumError: the block is damaged (its mark is not "4", bad base64,
// short, unknown version, its header check fails, parameters outside what
// the reader affords, or the tag fails).
Decryption decryptText(BytesView text, BytesView password);

namespace detail {
using Salt = std::array<unsigned char, kSaltSize>;
using Nonce = std::array<unsigned char, kNonceSize>;
// encryptText() with the salt and nonce fixed: known-answer tests only.
Bytes encryptWith(
    BytesView plain, BytesView password, Params params, const Salt &salt, const Nonce &nonce);
// The decoded body of the block after the mark, or nullopt when it is not
// base64 (blanks and line breaks ignored).
std::optional<Bytes> decodeBody(BytesView body);
// The parameters as a payload states them (nullopt when it is too short).
std::optional<Params> readParams(BytesView payload);
} // namespace detail

} // namespace cipher::strong
