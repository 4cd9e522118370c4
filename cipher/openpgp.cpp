#include "cipher/openpgp.h"

#include <gpgme.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace cipher::openpgp {

namespace {

std::string setUp()
{
    // GPGME wants its version check before anything else, once, and the
    // locale for the pinentry it may start.
    if (!gpgme_check_version(nullptr))
        return "GPGME could not be set up";
    gpgme_set_locale(nullptr, LC_CTYPE, std::setlocale(LC_CTYPE, nullptr));
#ifdef LC_MESSAGES
    gpgme_set_locale(nullptr, LC_MESSAGES, std::setlocale(LC_MESSAGES, nullptr));
#endif
    if (gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP) != 0)
        return "GnuPG (gpg) is not installed, or too old";
    return {};
}

const std::string &setUpProblem()
{
    static const std::string problem = setUp();
    return problem;
}

class Context
{
public:
    ~Context()
    {
        if (m_ctx)
            gpgme_release(m_ctx);
    }
    // Empty when it is ready, else why not.
    std::string open()
    {
        if (const std::string &problem = setUpProblem(); !problem.empty())
            return problem;
        if (const gpgme_error_t err = gpgme_new(&m_ctx)) {
            m_ctx = nullptr;
            return gpgme_strerror(err);
        }
        gpgme_set_protocol(m_ctx, GPGME_PROTOCOL_OpenPGP);
        // No dirmngr, so nothing of ours ever goes to a keyserver.
        gpgme_set_offline(m_ctx, 1);
        return {};
    }
    operator gpgme_ctx_t() const { return m_ctx; }

private:
    gpgme_ctx_t m_ctx = nullptr;
};

class Data
{
public:
    ~Data()
    {
        if (m_data)
            gpgme_data_release(m_data);
    }
    gpgme_error_t fromMemory(BytesView bytes)
    {
        // Not copied: GnuPG reads the caller's buffer, so no copy of a
        // plain text is left to wipe.
        return gpgme_data_new_from_mem(&m_data, bytes.data(), bytes.size(), 0);
    }
    gpgme_error_t empty() { return gpgme_data_new(&m_data); }
    operator gpgme_data_t() const { return m_data; }
    // What GPGME wrote, as a buffer of its own that is wiped when it goes.
    Secret take()
    {
        std::size_t size = 0;
        char *bytes = gpgme_data_release_and_get_mem(m_data, &size);
        m_data = nullptr;
        return {bytes, size};
    }

private:
    gpgme_data_t m_data = nullptr;
};

// Hands the password over once, and only when GnuPG asks for a message's
// password: a second ask means GnuPG did not take it, and a key's
// passphrase is for GnuPG's own pinentry to ask.
struct Passphrase
{
    BytesView password;
    bool given = false;
    bool symmetricAsked = false;
    bool keyAsked = false;
};

gpgme_error_t givePassphrase(
    void *hook, const char *uidHint, const char *info, int previousWasBad, int fd)
{
    auto *p = static_cast<Passphrase *>(hook);
    // A message's password comes without a key in the hint, and with the
    // cipher, S2K and hash numbers only.
    const bool symmetric = !uidHint || std::strcmp(uidHint, "OpenPGP") == 0
        || (info && std::count(info, info + std::strlen(info), ' ') == 2);
    (symmetric ? p->symmetricAsked : p->keyAsked) = true;
    if (!symmetric || p->password.empty() || p->given || previousWasBad)
        return gpg_error(GPG_ERR_CANCELED);
    p->given = true;
    // GnuPG reads it as one line: one with a line break is no password it
    // could have been given.
    if (p->password.find_first_of(BytesView("\r\n\0", 3)) != BytesView::npos)
        return gpg_error(GPG_ERR_CANCELED);
    if (gpgme_io_writen(fd, p->password.data(), p->password.size()) != 0
        || gpgme_io_writen(fd, "\n", 1) != 0)
        return gpg_error_from_syserror();
    return 0;
}

// An ask that never came: GnuPG gives up as if the user had canceled when
// it cannot reach its agent.
bool agentUnreachable(gpgme_error_t err, const Passphrase &p)
{
    const auto code = gpg_err_code(err);
    return (code == GPG_ERR_CANCELED || code == GPG_ERR_FULLY_CANCELED) && !p.given
        && !p.symmetricAsked && !p.keyAsked;
}

constexpr const char *kNoAgent = "its agent (gpg-agent) could not be started or reached";

// GnuPG asks for a message's password here, through loopback pinentry,
// and the agent keeps nothing of it.
void useLoopback(gpgme_ctx_t ctx, Passphrase &passphrase)
{
    gpgme_set_pinentry_mode(ctx, GPGME_PINENTRY_MODE_LOOPBACK);
    gpgme_set_passphrase_cb(ctx, givePassphrase, &passphrase);
    gpgme_set_ctx_flag(ctx, "no-symkey-cache", "1");
}

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'f')
            c = char(c - 'a' + 'A');
    return s;
}

std::string userIdOf(gpgme_key_t key)
{
    if (!key || !key->uids)
        return {};
    const gpgme_user_id_t uid = key->uids;
    if (uid->uid)
        return uid->uid;
    return {};
}

const char *validityWord(gpgme_validity_t v)
{
    switch (v) {
    case GPGME_VALIDITY_ULTIMATE:
        return "ultimate";
    case GPGME_VALIDITY_FULL:
        return "full";
    case GPGME_VALIDITY_MARGINAL:
        return "marginal";
    case GPGME_VALIDITY_NEVER:
        return "never";
    case GPGME_VALIDITY_UNDEFINED:
    case GPGME_VALIDITY_UNKNOWN:
    default:
        return "unknown";
    }
}

Key keyOf(gpgme_key_t key)
{
    Key k;
    if (key->subkeys) {
        k.fingerprint = key->subkeys->fpr ? key->subkeys->fpr : "";
        k.keyId = key->subkeys->keyid ? key->subkeys->keyid : "";
        k.expires = key->subkeys->expires;
    }
    if (key->uids) {
        k.name = key->uids->name ? key->uids->name : "";
        k.email = key->uids->email ? key->uids->email : "";
    }
    k.validity = key->uids ? validityWord(key->uids->validity) : "unknown";
    k.whyNot = key->revoked ? "revoked"
        : key->expired      ? "expired"
        : key->disabled     ? "disabled"
        : key->invalid      ? "invalid"
        : !key->can_encrypt ? "no encryption subkey"
                            : "";
    if (key->revoked || key->expired || key->disabled || key->invalid)
        k.validity = k.whyNot;
    k.canEncrypt = k.whyNot.empty();
    k.secret = key->secret;
    return k;
}

// Every key the pattern matches (all of them for none), public or secret.
template<typename Each>
gpgme_error_t eachKey(gpgme_ctx_t ctx, const char *pattern, bool secret, Each each)
{
    gpgme_set_keylist_mode(ctx, GPGME_KEYLIST_MODE_LOCAL);
    gpgme_error_t err = gpgme_op_keylist_start(ctx, pattern, secret ? 1 : 0);
    gpgme_key_t key = nullptr;
    while (!err && !(err = gpgme_op_keylist_next(ctx, &key))) {
        each(key);
        gpgme_key_unref(key);
    }
    gpgme_op_keylist_end(ctx);
    return gpg_err_code(err) == GPG_ERR_EOF ? 0 : err;
}

std::vector<Key> keysMatching(const char *pattern)
{
    Context ctx;
    if (!ctx.open().empty())
        return {};
    std::set<std::string> secret;
    eachKey(ctx, pattern, true, [&](gpgme_key_t key) {
        if (key->subkeys && key->subkeys->fpr)
            secret.insert(key->subkeys->fpr);
    });
    std::vector<Key> keys;
    eachKey(ctx, pattern, false, [&](gpgme_key_t key) {
        Key k = keyOf(key);
        k.secret = secret.count(k.fingerprint) != 0;
        keys.push_back(std::move(k));
    });
    return keys;
}

Outcome failed(gpgme_error_t err)
{
    switch (gpg_err_code(err)) {
    case GPG_ERR_BAD_PASSPHRASE:
        return Outcome::WrongPassword;
    case GPG_ERR_NO_SECKEY:
        return Outcome::NoSecretKey;
    case GPG_ERR_CANCELED:
    case GPG_ERR_FULLY_CANCELED:
        return Outcome::Canceled;
    case GPG_ERR_NO_AGENT:
    case GPG_ERR_AGENT:
    case GPG_ERR_INV_ENGINE:
    case GPG_ERR_ENGINE_TOO_OLD:
        return Outcome::NoGnuPG;
    default:
        return Outcome::Damaged;
    }
}

// "KEYID (Name <address>)" for each recipient, as NoSecretKey names them.
std::string namesOf(const std::vector<Recipient> &recipients)
{
    std::string names;
    for (const Recipient &r : recipients) {
        if (!names.empty())
            names += ", ";
        names += r.keyId;
        if (!r.userId.empty())
            names += " (" + r.userId + ")";
    }
    return names;
}

std::vector<Recipient> recipientsOf(gpgme_ctx_t ctx, gpgme_decrypt_result_t result)
{
    std::vector<Recipient> recipients;
    if (!result)
        return recipients;
    for (gpgme_recipient_t r = result->recipients; r; r = r->next) {
        Recipient one;
        one.keyId = upper(r->keyid ? r->keyid : "");
        // The key of an anonymous recipient is not named: no lookup.
        if (one.keyId.find_first_not_of('0') != std::string::npos) {
            gpgme_key_t key = nullptr;
            if (gpgme_get_key(ctx, one.keyId.c_str(), &key, 0) == 0) {
                one.userId = userIdOf(key);
                gpgme_key_unref(key);
            }
            if (gpgme_get_key(ctx, one.keyId.c_str(), &key, 1) == 0) {
                one.secretKeyHeld = true;
                gpgme_key_unref(key);
            }
        }
        recipients.push_back(std::move(one));
    }
    return recipients;
}

Signature signatureOf(gpgme_ctx_t ctx)
{
    Signature s;
    const gpgme_verify_result_t verified = gpgme_op_verify_result(ctx);
    if (!verified || !verified->signatures)
        return s;
    const gpgme_signature_t sig = verified->signatures;
    const std::string fpr = sig->fpr ? sig->fpr : "";
    // A signature that matches, from a key that has expired or was revoked
    // since, is good and says so after the signer.
    const char *since = nullptr;
    switch (gpg_err_code(sig->status)) {
    case GPG_ERR_NO_ERROR:
        s.status = Signature::Status::Good;
        break;
    case GPG_ERR_SIG_EXPIRED:
        since = " (the signature has expired)";
        break;
    case GPG_ERR_KEY_EXPIRED:
        since = " (the key has expired)";
        break;
    case GPG_ERR_CERT_REVOKED:
        since = " (the key is revoked)";
        break;
    case GPG_ERR_NO_PUBKEY:
        s.status = Signature::Status::UnknownKey;
        break;
    default:
        s.status = Signature::Status::Bad;
        break;
    }
    if (since)
        s.status = Signature::Status::Good;
    gpgme_key_t key = nullptr;
    if (!fpr.empty() && s.status != Signature::Status::UnknownKey
        && gpgme_get_key(ctx, fpr.c_str(), &key, 0) == 0) {
        s.signer = userIdOf(key);
        gpgme_key_unref(key);
    }
    if (s.signer.empty())
        s.signer = upper(fpr.size() > 16 ? fpr.substr(fpr.size() - 16) : fpr);
    if (since)
        s.signer += since;
    return s;
}

Done fail(Outcome outcome, std::string what = {})
{
    Done done;
    done.outcome = outcome;
    done.what = std::move(what);
    return done;
}

} // namespace

Secret::Secret(Secret &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{ }

Secret &Secret::operator=(Secret &&other) noexcept
{
    if (this != &other) {
        Secret gone(std::move(*this));
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

Secret::~Secret()
{
    if (m_data) {
        wipe(m_data, m_size);
        gpgme_free(m_data);
    }
}

bool available(std::string *why)
{
    const std::string &problem = setUpProblem();
    if (why)
        *why = problem;
    return problem.empty();
}

std::vector<Key> listKeys()
{
    return keysMatching(nullptr);
}

std::vector<Key> findKeys(const std::string &pattern)
{
    if (pattern.empty())
        return {};
    return keysMatching(pattern.c_str());
}

std::optional<Key> defaultSecretKey()
{
    std::string wanted;
    {
        // gpg's own default-key, as gpgconf reads it from gpg.conf.
        Context conf;
        gpgme_conf_comp_t components = nullptr;
        if (conf.open().empty() && gpgme_set_protocol(conf, GPGME_PROTOCOL_GPGCONF) == 0
            && gpgme_op_conf_load(conf, &components) == 0) {
            for (gpgme_conf_comp_t c = components; c; c = c->next) {
                if (!c->name || std::strcmp(c->name, "gpg") != 0)
                    continue;
                for (gpgme_conf_opt_t o = c->options; o; o = o->next) {
                    if (o->name && std::strcmp(o->name, "default-key") == 0 && o->value
                        && o->value->value.string)
                        wanted = o->value->value.string;
                }
            }
            gpgme_conf_release(components);
        }
    }
    // gpgconf keeps the quote that marks a string value.
    if (!wanted.empty() && wanted.front() == '"')
        wanted.erase(0, 1);
    std::vector<Key> keys = listKeys();
    const auto usable = [](const Key &k) { return k.secret && k.canEncrypt; };
    if (!wanted.empty()) {
        for (const Key &k : findKeys(wanted)) {
            if (usable(k))
                return k;
        }
    }
    for (const Key &k : keys) {
        if (usable(k))
            return k;
    }
    return std::nullopt;
}

namespace {

// One decryption, through loopback pinentry when passphrase is given, else
// through GnuPG's own.
Done decryptOnce(BytesView armor, Passphrase *passphrase)
{
    Context ctx;
    if (std::string why = ctx.open(); !why.empty())
        return fail(Outcome::NoGnuPG, why);
    if (passphrase)
        useLoopback(ctx, *passphrase);
    Data in;
    Data out;
    if (in.fromMemory(armor) || out.empty())
        return fail(Outcome::Damaged, "no memory");
    gpgme_error_t err = gpgme_op_decrypt_verify(ctx, in, out);
    // A message that is signed but not encrypted has no data to decrypt;
    // GnuPG gives its text all the same, and the signature is what counts.
    if (gpg_err_code(err) == GPG_ERR_NO_DATA && gpgme_op_verify_result(ctx)
        && gpgme_op_verify_result(ctx)->signatures)
        err = 0;
    // Taken back at once: wiped however it ends.
    Secret plain = out.take();
    const gpgme_decrypt_result_t result = gpgme_op_decrypt_result(ctx);
    // Without a modification detection code the cipher mode is plain CFB,
    // which anyone on the way could have changed unseen.
    const bool noMdc = result
        && (result->legacy_cipher_nomdc
            || (result->symkey_algo && std::strstr(result->symkey_algo, ".PGPCFB")));
    if (noMdc)
        return fail(Outcome::NotIntegrityProtected);
    if (err && passphrase && agentUnreachable(err, *passphrase))
        return fail(Outcome::NoGnuPG, kNoAgent);
    if (err) {
        Outcome outcome = failed(err);
        // Asked again: GnuPG did not take the password.
        if (passphrase && passphrase->given && outcome == Outcome::Canceled)
            outcome = Outcome::WrongPassword;
        if (passphrase && passphrase->symmetricAsked && !passphrase->given)
            outcome = Outcome::PasswordNeeded;
        if (outcome == Outcome::NoSecretKey)
            return fail(outcome, namesOf(recipientsOf(ctx, result)));
        return fail(outcome, gpgme_strerror(err));
    }
    Done done;
    done.signature = signatureOf(ctx);
    done.plain = std::move(plain);
    return done;
}

} // namespace

Done decrypt(BytesView armor, BytesView password)
{
    Passphrase passphrase;
    passphrase.password = password;
    Done done = decryptOnce(armor, &passphrase);
    // A secret key with a passphrase: GnuPG's own pinentry asks for it, as
    // it does for every GnuPG program.
    if (done.outcome != Outcome::Good && passphrase.keyAsked && !passphrase.given)
        done = decryptOnce(armor, nullptr);
    return done;
}

Needed inspect(BytesView armor)
{
    Needed needed;
    Context ctx;
    if (std::string why = ctx.open(); !why.empty()) {
        needed.outcome = Outcome::NoGnuPG;
        needed.what = why;
        return needed;
    }
    // Every ask for a password is refused, so GnuPG names the keys (or asks
    // for the message's password) and stops there; a secret key without a
    // passphrase would open the message, so nothing is kept of what comes.
    Passphrase passphrase;
    useLoopback(ctx, passphrase);
    Data in;
    gpgme_data_t sink = nullptr;
    static gpgme_data_cbs cbs = [] {
        gpgme_data_cbs refusing {};
        refusing.write = [](void *, const void *, size_t) -> ssize_t {
            // Nothing is wanted of the plain text: GnuPG is told to stop.
            errno = EPIPE;
            return -1;
        };
        return refusing;
    }();
    if (in.fromMemory(armor) || gpgme_data_new_from_cbs(&sink, &cbs, nullptr)) {
        needed.outcome = Outcome::Damaged;
        needed.what = "no memory";
        return needed;
    }
    const gpgme_error_t err = gpgme_op_decrypt(ctx, in, sink);
    gpgme_data_release(sink);
    needed.recipients = recipientsOf(ctx, gpgme_op_decrypt_result(ctx));
    const bool anyHeld = std::any_of(needed.recipients.begin(), needed.recipients.end(),
        [](const Recipient &r) { return r.secretKeyHeld; });
    needed.needsKey = !needed.recipients.empty() && (anyHeld || !passphrase.symmetricAsked);
    // GnuPG went on to the text without asking for anything: a message that
    // is only signed.
    if (needed.recipients.empty() && !passphrase.symmetricAsked
        && gpg_err_code(err) == GPG_ERR_EPIPE) {
        needed.needsKey = true;
        return needed;
    }
    if (needed.recipients.empty() && !passphrase.symmetricAsked) {
        if (agentUnreachable(err, passphrase)) {
            needed.outcome = Outcome::NoGnuPG;
            needed.what = kNoAgent;
            return needed;
        }
        const Outcome outcome = err ? failed(err) : Outcome::Damaged;
        if (outcome == Outcome::NoGnuPG || outcome == Outcome::Damaged) {
            needed.outcome = outcome;
            needed.what = err ? gpgme_strerror(err) : "no encrypted data";
        }
    }
    return needed;
}

Done encryptWithPassword(BytesView plain, BytesView password)
{
    Context ctx;
    if (std::string why = ctx.open(); !why.empty())
        return fail(Outcome::NoGnuPG, why);
    Passphrase passphrase;
    passphrase.password = password;
    useLoopback(ctx, passphrase);
    gpgme_set_armor(ctx, 1);
    Data in;
    Data out;
    if (in.fromMemory(plain) || out.empty())
        return fail(Outcome::Damaged, "no memory");
    const gpgme_error_t err =
        gpgme_op_encrypt(ctx, nullptr, GPGME_ENCRYPT_SYMMETRIC, in, out);
    Secret armor = out.take();
    if (err) {
        // Nothing the user did can fail an encryption for a password.
        return fail(Outcome::NoGnuPG, agentUnreachable(err, passphrase) ? kNoAgent : gpgme_strerror(err));
    }
    Done done;
    done.armor.assign(armor.view());
    return done;
}

Done encryptTo(BytesView plain, const std::vector<std::string> &fingerprints)
{
    Context ctx;
    if (std::string why = ctx.open(); !why.empty())
        return fail(Outcome::NoGnuPG, why);
    gpgme_set_armor(ctx, 1);
    std::vector<gpgme_key_t> keys;
    struct Unref
    {
        std::vector<gpgme_key_t> &keys;
        ~Unref()
        {
            for (gpgme_key_t k : keys)
                if (k)
                    gpgme_key_unref(k);
        }
    } unref {keys};
    if (fingerprints.empty())
        return fail(Outcome::KeyUnusable, "no key given");
    for (const std::string &fpr : fingerprints) {
        gpgme_key_t key = nullptr;
        if (gpgme_get_key(ctx, fpr.c_str(), &key, 0) != 0 || !key)
            return fail(Outcome::KeyUnusable, fpr + ": no such key here");
        keys.push_back(key);
        const Key k = keyOf(key);
        if (!k.canEncrypt) {
            const std::string uid = userIdOf(key);
            return fail(Outcome::KeyUnusable,
                k.keyId + (uid.empty() ? "" : " (" + uid + ")") + ": " + k.whyNot);
        }
    }
    keys.push_back(nullptr);
    Data in;
    Data out;
    if (in.fromMemory(plain) || out.empty())
        return fail(Outcome::Damaged, "no memory");
    const gpgme_error_t err = gpgme_op_encrypt(ctx, keys.data(), GPGME_ENCRYPT_ALWAYS_TRUST, in, out);
    Secret armor = out.take();
    if (err) {
        const gpgme_encrypt_result_t result = gpgme_op_encrypt_result(ctx);
        if (result && result->invalid_recipients) {
            const char *fpr = result->invalid_recipients->fpr;
            return fail(Outcome::KeyUnusable,
                std::string(fpr ? fpr : "a key") + ": "
                    + gpgme_strerror(result->invalid_recipients->reason));
        }
        const Outcome outcome = failed(err);
        return fail(outcome == Outcome::Damaged ? Outcome::NoGnuPG : outcome, gpgme_strerror(err));
    }
    Done done;
    done.armor.assign(armor.view());
    return done;
}

} // namespace cipher::openpgp
