#pragma once

// The cipher as its algorithm reads, one step at a time, with nothing folded
// or vectorised: the reference the cipher core's tests and fuzz target check
// the real code against.

#include "cipher/cipher.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace reference {

inline int value(char c)
{
    return static_cast<signed char>(c);
}

inline char add(char a, char k)
{
    int s = value(a) + value(k);
    while (s > 126)
        s -= 96;
    return static_cast<char>(s);
}

inline char subtract(char a, char k)
{
    int s = value(a) - value(k);
    while (s < 32)
        s += 96;
    return static_cast<char>(s);
}

inline void pass(std::string &target, const std::string &key, char (*step)(char, char))
{
    const std::size_t n = target.size();
    for (std::size_t i = 0; i < n; ++i)
        target[i] = step(target[i], key[i % key.size()]);
}

inline std::int32_t sum(const std::string &plain)
{
    std::int64_t s = 0;
    for (const char c : plain)
        s += value(c);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(s));
}

inline std::string field(std::int32_t checksum)
{
    std::string digits = std::to_string(checksum);
    while (digits.size() < 10)
        digits = "0" + digits;
    return digits;
}

inline std::string encipher(const std::string &plain, const std::string &password, int level)
{
    std::string working = field(sum(plain));
    // A sum of -1,000,000,000 or less has 11 characters; the first is never
    // stored, so the field keeps its last ten.
    if (working.size() > 10)
        working.erase(0, working.size() - 10);
    pass(working, "T&52rB-k3W", add);
    working += plain;
    for (std::size_t i = 0; i + 1 < working.size(); ++i) {
        if (working[i] == '\r' && working[i + 1] == '\n') {
            working[i] = 'P';
            working[i + 1] = '^';
        }
    }
    for (int l = 0; l < level; ++l)
        pass(working, password, add);
    return working;
}

inline std::string block(const std::string &plain, const std::string &password, int level)
{
    std::string enciphered = encipher(plain, password, level);
    enciphered[0] = "%^&"[level - 1];
    return "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n" + enciphered
        + "\r\n[End_Encryption]";
}

struct Result
{
    std::string plain;
    cipher::Verdict verdict;
};

inline Result decipher(std::string body, int level, const std::string &password)
{
    if (body.empty())
        return {{}, cipher::Verdict::WrongPassword};
    body[0] = '0';
    std::string head = body.substr(0, 10);
    pass(head, "T&52rB-k3W", subtract);
    body.replace(0, head.size(), head);
    for (int l = 0; l < level; ++l)
        pass(body, password, subtract);
    body[0] = '0';
    for (std::size_t i = 0; i + 1 < body.size(); ++i) {
        if (body[i] == 'P' && body[i + 1] == '^') {
            body[i] = '\r';
            body[i + 1] = '\n';
        }
    }
    if (body.size() < 10)
        return {{}, cipher::Verdict::WrongPassword};
    const std::string fieldText = body.substr(0, 10);
    const long stored = std::strtol(fieldText.c_str(), nullptr, 10);
    const std::string plain = body.substr(10);
    if (stored == 0)
        return {plain,
            plain.empty() && fieldText == "0000000000" ? cipher::Verdict::Good
                                                       : cipher::Verdict::WrongPassword};
    return {plain, stored == sum(plain) ? cipher::Verdict::Good : cipher::Verdict::ChecksumError};
}

} // namespace reference
