#pragma once
// PROVISIONAL: replaced by the openpgp branch's header at the merge.
#include <optional>
#include <string>
#include <vector>
namespace cipher::openpgp {
struct Key
{
    std::string fingerprint, keyId, name, email;
    std::string validity;
    long long expires = 0;
    bool canEncrypt = false;
    std::string whyNot;
    bool secret = false;
};
} // namespace cipher::openpgp
namespace cipher::openpgp {
bool available(std::string *why = nullptr);
struct Recipient
{
    std::string keyId;
    std::string userId;
    bool secretKeyHeld = false;
};
std::vector<Key> listKeys();
std::optional<Key> defaultSecretKey();
} // namespace cipher::openpgp
