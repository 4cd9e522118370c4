#pragma once

// OpenPGP through GPGME over the user's own GnuPG: their keys, agent,
// pinentry and smartcards stay theirs. No Qt here, and no OpenPGP of our
// own: GnuPG reads and writes every packet. Each call makes its own GPGME
// context, so calls may run on any thread (one job each); the first call
// of a session may start gpg-agent, which takes a second or two.

#include "cipher/cipher.h"

#include <optional>
#include <string>
#include <vector>

namespace cipher::openpgp {

// Whether GPGME could be set up and finds a GnuPG that speaks OpenPGP;
// when not, why in words.
bool available(std::string *why = nullptr);

// A key an OpenPGP message is encrypted to.
struct Recipient
{
    std::string keyId; // 16 hex digits, as GnuPG names it
    std::string userId; // "Name <address>"; empty when the key is unknown here
    bool secretKeyHeld = false;
};

// A key for the key picker.
struct Key
{
    std::string fingerprint, keyId, name, email;
    // "ultimate", "full", "marginal", "unknown", "never", "expired",
    // "revoked", "disabled", "invalid"
    std::string validity;
    long long expires = 0; // seconds since the epoch; 0 never
    bool canEncrypt = false;
    // When it cannot: "expired", "revoked", "disabled", "no encryption
    // subkey", "invalid".
    std::string whyNot;
    bool secret = false; // the user holds its secret key
};

// The user's public keys, with those whose secret key they hold marked.
// Local keyring only: nothing is looked up on a keyserver.
std::vector<Key> listKeys();

// GnuPG's default-key when it is set and can encrypt, else the first
// secret key that can.
std::optional<Key> defaultSecretKey();

// The keys a pattern GnuPG understands (fingerprint, key ID, address,
// name) matches in the local keyring.
std::vector<Key> findKeys(const std::string &pattern);

// --- For the encryption service ---------------------------------------------
// The service splices what these give into the text and turns their
// outcomes into its verdicts.

enum class Outcome {
    Good,
    WrongPassword,
    PasswordNeeded, // a message for a password, and none was given
    NoSecretKey, // what: the key IDs, with their user IDs where known
    NotIntegrityProtected,
    Damaged, // what: GnuPG's reason
    NoGnuPG, // what: why
    Canceled,
    KeyUnusable, // what: the key and why
};

struct Signature
{
    enum class Status { None, Good, Bad, UnknownKey } status = Status::None;
    std::string signer; // "Name <address>", else the key ID
};

// A buffer GPGME filled with a secret: wiped and given back to GPGME when
// it goes.
class Secret
{
public:
    Secret() = default;
    Secret(char *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    { }
    Secret(Secret &&other) noexcept;
    Secret &operator=(Secret &&other) noexcept;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    ~Secret();
    BytesView view() const { return {m_data ? m_data : "", m_size}; }

private:
    char *m_data = nullptr;
    std::size_t m_size = 0;
};

struct Done
{
    Outcome outcome = Outcome::Good;
    std::string what;
    Signature signature;
    Secret plain; // the decrypted text, when Good
    Bytes armor; // the encrypted message, when Good
};

// Decrypts an armored message (unquoted) and checks its signature if it
// has one. The password goes to GnuPG only when it asks for the message's
// password: through loopback pinentry, once, and the agent caches nothing.
// A secret key's passphrase is asked by GnuPG's own pinentry.
Done decrypt(BytesView armor, BytesView password);

// What opening the message takes, without decrypting it and without
// asking anybody: recipients empty and needsKey false for a password;
// needsKey with no recipients for a message that is only signed.
struct Needed
{
    bool needsKey = false;
    std::vector<Recipient> recipients;
    Outcome outcome = Outcome::Good; // NoGnuPG or Damaged when it cannot tell
    std::string what;
};
Needed inspect(BytesView armor);

// An armored message for the password (symmetric, with integrity
// protection), readable by any OpenPGP program.
Done encryptWithPassword(BytesView plain, BytesView password);
// An armored message to the keys named by their fingerprints. The user
// chose each key by name, so the web of trust is not asked again.
Done encryptTo(BytesView plain, const std::vector<std::string> &fingerprints);

} // namespace cipher::openpgp
