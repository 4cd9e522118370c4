#include "cipher/strong.h"

#include "cipher/internal.h"

#include <mutex>
#include <sodium.h>

namespace cipher::strong {

namespace {

constexpr std::string_view kKeyCheckContext = "Velmorandquist strong key check";
constexpr std::string_view kHeaderCheckContext = "Velmorandquist strong header";
constexpr std::size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::string_view kBlanks = " \t\r\n";

static_assert(kSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(kKeyCheckAt + kKeyCheckSize == kHeaderSize);

const unsigned char *bytes(BytesView v)
{
    return reinterpret_cast<const unsigned char *>(v.data());
}

bool knownVersion(unsigned char version)
{
    return version >= kFirstVersion && version <= kVersion;
}

// What Argon2id gives a version: one key for both uses in version 1; in
// version 2 twice as much, the cipher's key first and the key check's after
// it, so learning one tells nothing of the other.
std::size_t derivedSize(unsigned char version)
{
    return version == 1 ? kKeySize : 2 * kKeySize;
}

// The derived keys in guarded memory that is wiped when freed.
class SecretKey
{
public:
    explicit SecretKey(unsigned char version)
        : m_size(derivedSize(version))
        , m_key(static_cast<unsigned char *>(sodium_malloc(m_size)))
    { }
    ~SecretKey()
    {
        if (m_key)
            sodium_free(m_key);
    }
    SecretKey(const SecretKey &) = delete;
    SecretKey &operator=(const SecretKey &) = delete;
    unsigned char *data() const { return m_key; }
    std::size_t size() const { return m_size; }
    const unsigned char *cipherKey() const { return m_key; }
    const unsigned char *checkKey() const { return m_key + m_size - kKeySize; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    std::size_t m_size;
    unsigned char *m_key;
};

// The password is copied into guarded memory so its only copy made here is
// wiped; Argon2 allocates its own memory, already checked as affordable.
bool deriveKey(SecretKey &key, BytesView password, Params params, const unsigned char *salt)
{
    if (!key || !affordable(params))
        return false;
    unsigned char *copy = static_cast<unsigned char *>(sodium_malloc(password.size() + 1));
    if (!copy)
        return false;
    std::copy(password.begin(), password.end(), copy);
    const int rc = crypto_pwhash(key.data(), key.size(), reinterpret_cast<const char *>(copy),
        password.size(), salt, params.opslimit, params.memlimit, crypto_pwhash_ALG_ARGON2ID13);
    sodium_free(copy);
    return rc == 0;
}

void keyCheck(unsigned char *out, const SecretKey &key)
{
    crypto_generichash(out, kKeyCheckSize, bytes(kKeyCheckContext), kKeyCheckContext.size(),
        key.checkKey(), kKeySize);
}

void headerCheck(unsigned char *out, const unsigned char *header)
{
    crypto_generichash(out, kHeaderCheckSize, header, kHeaderSize, bytes(kHeaderCheckContext),
        kHeaderCheckContext.size());
}

// Whether a payload's first kHeaderSize + kHeaderCheckSize bytes are a
// header of a known version that passes its check.
bool headerHolds(const unsigned char *p)
{
    unsigned char check[kHeaderCheckSize];
    headerCheck(check, p);
    return knownVersion(p[0]) && sodium_memcmp(check, p + kHeaderSize, kHeaderCheckSize) == 0;
}

void putBE(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint32_t getBE(const unsigned char *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8
        | std::uint32_t(p[3]);
}

// The marker line and the mark: everything of the block before the payload.
Bytes associatedData()
{
    Bytes ad(kBeginMarker);
    ad += kLineBreak;
    ad += kMark;
    return ad;
}

} // namespace

bool ready()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

bool affordable(Params params)
{
    return params.opslimit >= kMinOpslimit && params.opslimit <= kMaxOpslimit
        && params.memlimit >= kMinMemlimit && params.memlimit <= kMaxMemlimit;
}

namespace detail {

Bytes encryptWith(
    BytesView plain, BytesView password, Params params, const Salt &salt, const Nonce &nonce)
{
    if (!ready() || password.empty())
        return {};
    SecretKey key(kVersion);
    if (!deriveKey(key, password, params, salt.data()))
        return {};

    Bytes payload(kSealedAt + plain.size() + kTagSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(payload.data());
    p[0] = kVersion;
    putBE(p + kOpslimitAt, params.opslimit);
    putBE(p + kMemlimitAt, params.memlimit);
    std::copy(salt.begin(), salt.end(), p + kSaltAt);
    std::copy(nonce.begin(), nonce.end(), p + kNonceAt);
    keyCheck(p + kKeyCheckAt, key);
    headerCheck(p + kHeaderSize, p);

    Bytes ad = associatedData();
    ad.append(payload, 0, kSealedAt);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(p + kSealedAt, &written, bytes(plain),
            plain.size(), bytes(ad), ad.size(), nullptr, nonce.data(), key.cipherKey())
        != 0)
        return {};

    Bytes encoded(sodium_base64_encoded_len(payload.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(
        encoded.data(), encoded.size(), p, payload.size(), sodium_base64_VARIANT_ORIGINAL);
    encoded.pop_back(); // the terminating zero

    // The mark and the base64 in lines a mail program leaves alone.
    Bytes body(1, kMark);
    body += encoded;
    Bytes block(kBeginMarker);
    block.reserve(
        block.size() + body.size() + body.size() / kLineLength * 2 + 2 + kEndMarker.size() + 2);
    for (std::size_t at = 0; at < body.size(); at += kLineLength) {
        block += kLineBreak;
        block.append(body, at, kLineLength);
    }
    block += kLineBreak;
    block += kEndMarker;
    return block;
}

std::optional<Bytes> decodeBody(BytesView body)
{
    if (!ready())
        return std::nullopt;
    Bytes out(body.size() / 4 * 3 + 3, '\0');
    std::size_t size = 0;
    const char *end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char *>(out.data()), out.size(), body.data(),
            body.size(), Bytes(kBlanks).c_str(), &size, &end, sodium_base64_VARIANT_ORIGINAL)
            != 0
        || end != body.data() + body.size())
        return std::nullopt;
    out.resize(size);
    return out;
}

std::optional<Params> readParams(BytesView payload)
{
    if (payload.size() < kSaltAt)
        return std::nullopt;
    return Params {getBE(bytes(payload) + kOpslimitAt), getBE(bytes(payload) + kMemlimitAt)};
}

} // namespace detail

Bytes encryptText(BytesView plain, BytesView password, Params params)
{
    if (!ready())
        return {};
    detail::Salt salt;
    detail::Nonce nonce;
    randombytes_buf(salt.data(), salt.size());
    randombytes_buf(nonce.data(), nonce.size());
    return detail::encryptWith(plain, password, params, salt, nonce);
}

namespace {

// Where the mark stands in the body, or npos when the body is not level 4.
std::size_t markAt(BytesView body)
{
    const std::size_t at = body.find_first_not_of(kBlanks);
    return at != BytesView::npos && body[at] == kMark ? at : BytesView::npos;
}

// Base64 characters that cover a payload's header and its check.
constexpr std::size_t kHeadChars = (kSealedAt + 2) / 3 * 4;

// What the search for a payload whose mark was damaged passes over besides
// blanks: a mail quote's ">" and bytes beyond ASCII (a no-break space, a
// byte order mark), which a legacy body never holds. Such a block is damage,
// never a legacy one that the password fails.
bool passedOver(char c)
{
    return kBlanks.find(c) != BytesView::npos || c == '>' || static_cast<unsigned char>(c) >= 128;
}

std::size_t nextCounted(BytesView body, std::size_t from)
{
    while (from < body.size() && passedOver(body[from]))
        ++from;
    return from < body.size() ? from : BytesView::npos;
}

// Whether the base64 from body[from] on (what passedOver() names skipped)
// starts with a header that holds. Only the head is decoded: a body damaged
// further on is still known for what it is.
bool headerAt(BytesView body, std::size_t from)
{
    char head[kHeadChars];
    std::size_t n = 0;
    for (std::size_t i = from; i < body.size() && n < kHeadChars; ++i) {
        if (!passedOver(body[i]))
            head[n++] = body[i];
    }
    unsigned char decoded[kHeadChars / 4 * 3];
    std::size_t size = 0;
    return n == kHeadChars
        && sodium_base642bin(decoded, sizeof decoded, head, n, nullptr, &size, nullptr,
               sodium_base64_VARIANT_ORIGINAL)
        == 0
        && size == sizeof decoded && headerHolds(decoded);
}

enum class Kind { NotStrong, Marked, Unmarked };

// A damaged mark stands in the place of "4" or before it, or is gone, so the
// payload starts at one of the body's first three characters (of those
// passedOver() does not skip).
Kind kindOf(BytesView body)
{
    if (markAt(body) != BytesView::npos)
        return Kind::Marked;
    if (!ready())
        return Kind::NotStrong;
    std::size_t at = nextCounted(body, 0);
    for (int tried = 0; tried < 3 && at != BytesView::npos; ++tried) {
        if (headerAt(body, at))
            return Kind::Unmarked;
        at = nextCounted(body, at + 1);
    }
    return Kind::NotStrong;
}

} // namespace

bool containsStrongBlock(BytesView text)
{
    // The legacy scan's cut, without copying a long legacy text.
    const std::optional<cipher::detail::Cut> cut = cipher::detail::cutText(text);
    return cut
        && kindOf(text.substr(cut->bodyStart, cut->bodyEnd - cut->bodyStart)) != Kind::NotStrong;
}

Decryption decryptText(BytesView text, BytesView password)
{
    Decryption result;
    const std::optional<SplitText> parts = splitText(text);
    if (!parts)
        return result;
    const Kind kind = kindOf(parts->body);
    if (kind == Kind::NotStrong)
        return result;
    result.found = true;
    // Unmarked: a strong payload whose mark was damaged. Its mark is part of
    // what the tag covers, so it could never authenticate: damage, and no
    // key derivation spent on it.
    result.verdict = Verdict::ChecksumError;
    if (kind == Kind::Unmarked || !ready())
        return result;

    const std::size_t mark = markAt(parts->body);
    const std::optional<Bytes> payload =
        detail::decodeBody(BytesView(parts->body).substr(mark + 1));
    if (!payload || payload->size() < kMinPayload)
        return result;
    const auto *p = bytes(*payload);
    if (!headerHolds(p))
        return result;
    const Params params = *detail::readParams(*payload);
    // Refused here, before Argon2 allocates anything.
    if (!affordable(params))
        return result;

    result.verdict = Verdict::WrongPassword;
    if (password.empty())
        return result;
    SecretKey key(p[0]);
    if (!deriveKey(key, password, params, p + kSaltAt)) {
        result.verdict = Verdict::ChecksumError;
        return result;
    }
    unsigned char kc[kKeyCheckSize];
    keyCheck(kc, key);
    if (sodium_memcmp(kc, p + kKeyCheckAt, kKeyCheckSize) != 0)
        return result;

    result.verdict = Verdict::ChecksumError;
    Bytes ad = associatedData();
    ad.append(*payload, 0, kSealedAt);
    Bytes plain(payload->size() - kSealedAt - kTagSize, '\0');
    unsigned long long plainSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plain.data()),
            &plainSize, nullptr, p + kSealedAt, payload->size() - kSealedAt, bytes(ad), ad.size(),
            p + kNonceAt, key.cipherKey())
        != 0) {
        sodium_memzero(plain.data(), plain.size());
        return result;
    }
    result.verdict = Verdict::Good;
    result.text.reserve(parts->before.size() + plain.size() + parts->after.size());
    result.text = parts->before;
    result.text += plain;
    result.text += parts->after;
    sodium_memzero(plain.data(), plain.size());
    return result;
}

} // namespace cipher::strong
