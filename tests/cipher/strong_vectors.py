#!/usr/bin/env python3
"""An independent reader and writer of the strong block, from
docs/strong-format.md alone: rebuilds every test vector there byte for byte
with the intermediate values it gives, reads each back, and checks the
verdicts the document gives for a wrong password, for damage and for each of
its bad blocks. Python's standard library and PyNaCl (Debian's
python3-nacl) only.

    strong_vectors.py FORMAT.md            check the vectors
    strong_vectors.py FORMAT.md --seeds D  also write fuzzing seeds into D
"""

import base64
import hashlib
import re
import sys

from nacl import bindings as sodium

BEGIN = b"[Encrypted_By_Velmorandquist][Begin_Encryption]"
END = b"[End_Encryption]"
KEY_CHECK_CONTEXT = b"Velmorandquist strong key check"
HEADER_CHECK_CONTEXT = b"Velmorandquist strong header"
BLANKS = b" \t\r\n"
GOOD, WRONG_PASSWORD, DAMAGE, NOT_STRONG = "good", "wrong password", "damage", "not strong"
EMPTY_PASSWORD = "empty password"


def keys(version, password, salt, ops, mem):
    """(cipher key, key check key) as section 3 derives them."""
    k = sodium.crypto_pwhash_alg(64 if version == 2 else 32, password, salt, ops, mem,
                                 sodium.crypto_pwhash_ALG_ARGON2ID13)
    return (k[:32], k[32:]) if version == 2 else (k, k)


def key_check(check_key):
    return hashlib.blake2b(KEY_CHECK_CONTEXT, digest_size=16, key=check_key).digest()


def header_check(header):
    return hashlib.blake2b(header, digest_size=8, key=HEADER_CHECK_CONTEXT).digest()


def seal(version, password, salt, nonce, ops, mem, plain):
    cipher_key, check_key = keys(version, password, salt, ops, mem)
    header = (bytes([version]) + ops.to_bytes(4, "big") + mem.to_bytes(4, "big") + salt + nonce
              + key_check(check_key))
    head = header + header_check(header)
    sealed = sodium.crypto_aead_xchacha20poly1305_ietf_encrypt(
        plain, BEGIN + b"\r\n4" + head, nonce, cipher_key)
    body = b"4" + base64.b64encode(head + sealed)
    lines = [BEGIN] + [body[i:i + 76] for i in range(0, len(body), 76)] + [END]
    return b"\r\n".join(lines)


def header_holds(head):
    return head[0] in (1, 2) and header_check(head[:65]) == head[65:73]


def canonical_b64(text):
    try:
        data = base64.b64decode(text, validate=True)
    except ValueError:
        return None
    return data if base64.b64encode(data) == text else None


def open_block(text, password):
    """(verdict, before + plain + after) by section 4's steps."""
    start = text.find(BEGIN)
    if start < 0:
        return NOT_STRONG, None
    body_at = start + len(BEGIN)
    end = text.find(END, body_at)
    body_end, after_at = (len(text), len(text)) if end < 0 else (end, end + len(END))
    body = bytes(c for c in text[body_at:body_end] if c not in BLANKS)
    if not body.startswith(b"4"):
        searched = bytes(c for c in body if c != ord(">") and c < 128)
        for at in range(3):
            head = canonical_b64(searched[at:at + 100])
            if head is not None and len(head) == 75 and header_holds(head):
                return DAMAGE, None
        return NOT_STRONG, None
    payload = canonical_b64(body[1:])
    if payload is None or len(payload) < 89 or not header_holds(payload):
        return DAMAGE, None
    version, ops, mem = payload[0], int.from_bytes(payload[1:5], "big"), \
        int.from_bytes(payload[5:9], "big")
    if not (1 <= ops <= 4 and 8192 <= mem <= 1 << 30):
        return DAMAGE, None
    if not password:
        return EMPTY_PASSWORD, None
    cipher_key, check_key = keys(version, password, payload[9:25], ops, mem)
    if key_check(check_key) != payload[49:65]:
        return WRONG_PASSWORD, None
    try:
        plain = sodium.crypto_aead_xchacha20poly1305_ietf_decrypt(
            payload[73:], BEGIN + b"\r\n4" + payload[:73], payload[25:49], cipher_key)
    except Exception:  # PyNaCl's CryptoError: the tag failed
        return DAMAGE, None
    return GOOD, text[:start] + plain + text[after_at:]


def section(document, number):
    return re.split(r"^## ", document, flags=re.M)[number]


def fields(part):
    return dict(re.findall(r"^- ([a-z0-9 ]+): `([^`]*)`", part, flags=re.M))


def block_of(part):
    return re.search(r"```text\n(.*?)\n```", part, flags=re.S).group(1) \
        .replace("\n", "\r\n").encode("ascii")


def vectors(document):
    """Each vector's fields as section 5 writes them."""
    found = []
    for part in re.split(r"^### ", section(document, 5), flags=re.M)[1:]:
        field = fields(part)
        plain_line = re.search(r"^- plain text: (.*)$", part, flags=re.M).group(1)
        if "every byte value" in plain_line:
            plain = bytes(range(256))
        elif plain_line.strip() == "empty":
            plain = b""
        else:
            plain = bytes.fromhex(field["plain text"])
        found.append({
            "name": part.splitlines()[0],
            "version": int(re.search(r"\(version (\d)", part).group(1)),
            "password": field["password"].encode("ascii"),
            "salt": bytes.fromhex(field["salt"]),
            "nonce": bytes.fromhex(field["nonce"]),
            "ops": int(field["opslimit"]),
            "mem": int(field["memlimit"]),
            "plain": plain,
            "block": block_of(part),
            "steps": {k: bytes.fromhex(v) for k, v in field.items()
                      if k in ("argon2id output", "cipher key", "key check key", "key check",
                               "header check", "associated data", "ciphertext and tag")},
        })
    return found


def bad_blocks(document, first_block):
    """Section 6: (name, block, password, verdict) for each bad block."""
    found = []
    for part in re.split(r"^### ", section(document, 6), flags=re.M)[1:]:
        field = fields(part)
        inserted = re.search(r"^- block: vector 1's block with `([0-9a-f]+)` put before the mark",
                             part, flags=re.M)
        block = first_block.replace(b"\r\n4", b"\r\n" + bytes.fromhex(inserted.group(1)) + b"4", 1) \
            if inserted else block_of(part)
        password = field["password"].encode("ascii") if "password" in field else b""
        verdict = re.search(r"^- verdict: (.*)$", part, flags=re.M).group(1).strip()
        found.append((part.splitlines()[0], block, password, verdict))
    return found


def check_steps(v, expect):
    """Section 3's values on the way, where the vector gives them."""
    steps = v["steps"]
    if not steps:
        return
    k = sodium.crypto_pwhash_alg(64, v["password"], v["salt"], v["ops"], v["mem"],
                                 sodium.crypto_pwhash_ALG_ARGON2ID13)
    header = (bytes([2]) + v["ops"].to_bytes(4, "big") + v["mem"].to_bytes(4, "big") + v["salt"]
              + v["nonce"] + key_check(k[32:]))
    ad = BEGIN + b"\r\n4" + header + header_check(header)
    sealed = sodium.crypto_aead_xchacha20poly1305_ietf_encrypt(v["plain"], ad, v["nonce"], k[:32])
    computed = {"argon2id output": k, "cipher key": k[:32], "key check key": k[32:],
                "key check": key_check(k[32:]), "header check": header_check(header),
                "associated data": ad, "ciphertext and tag": sealed}
    for name, value in steps.items():
        expect(name, computed[name] == value)


def check(document):
    failures = 0
    tested = vectors(document)
    for v in tested:
        def expect(what, condition):
            nonlocal failures
            if not condition:
                failures += 1
                print(f"FAIL {v['name']}: {what}")

        block = v["block"]
        n = len(v["plain"])
        b = 4 * -(-(n + 89) // 3)
        expect("block size formula", len(block) == b + 2 * -(-(b + 1) // 76) + 66)
        check_steps(v, expect)
        written = seal(v["version"], v["password"], v["salt"], v["nonce"], v["ops"], v["mem"],
                       v["plain"])
        expect("written block differs from the document's", written == block)
        # Re-wrapped and quoted in a mail with LF line ends.
        mail = b"Hi,\n" + block.replace(b"\r\n", b"\n ") + b"\nBye"
        expect("good", open_block(mail, v["password"]) == (GOOD, b"Hi,\n" + v["plain"] + b"\nBye"))
        expect("wrong password", open_block(block, v["password"] + b"!")[0] == WRONG_PASSWORD)
        body_at = len(BEGIN) + 3
        damaged = block[:body_at + 80] + (b"B" if block[body_at + 80] != ord("B") else b"C") \
            + block[body_at + 81:]
        expect("changed character", open_block(damaged, v["password"])[0] == DAMAGE)
        for mark in (b"%", b"^", b"&", b"%4", b"^4", b"&4", b""):
            marked = block.replace(b"\r\n4", b"\r\n" + mark, 1)
            expect("damaged mark " + mark.decode(), open_block(marked, v["password"])[0] == DAMAGE)
    if not tested[0]["steps"]:
        failures += 1
        print("FAIL: vector 1 gives no intermediate values")
    bad = bad_blocks(document, tested[0]["block"])
    for name, block, password, verdict in bad:
        got = open_block(block, password)
        if got[0] != verdict or got[1] is not None and verdict != GOOD:
            failures += 1
            print(f"FAIL {name}: the document says {verdict}, the reader finds {got[0]}")
    if len(bad) < 10:
        failures += 1
        print(f"FAIL: expected the bad blocks of section 6, found {len(bad)}")
    versions = sorted(v["version"] for v in tested)
    if versions != [1, 2, 2]:
        failures += 1
        print(f"FAIL: expected two version 2 vectors and one version 1, found {versions}")
    print(f"{len(tested)} vectors and {len(bad)} bad blocks checked, {failures} failures")
    return failures == 0


def write_seeds(folder):
    """Inputs for fuzz/strong_fuzz.cpp, whose last byte picks its mode. Mode 0
    reads a password up to a backslash, then the text: blocks of both
    versions, whole and with a damaged mark. The others seal a text of their
    own, then read what they change in it."""
    import os
    password = b"fuzzing passphrase"
    salt, nonce = bytes(range(16)), bytes(range(24))
    seeds = {}
    for version in (1, 2):
        block = seal(version, password, salt, nonce, 1, 8192, b"seed text\r\nline two")
        seeds[f"version{version}-block"] = password + b"\\\n" + block + b"\x00"
        seeds[f"version{version}-damaged-mark"] = \
            password + b"\\\n" + block.replace(b"\r\n4", b"\r\n^4", 1) + b"\x00"
    seeds["mutated-body"] = b"a text to seal\\\n" + b"\x40A\x60=" + b"\x01"
    seeds["rewrapped-body"] = b"a text to seal\\\n" + b"\x07after the block" + b"\x02"
    seeds["mark-and-legacy"] = b"a text to seal\\\n%\\\n`\\\nQUJDRA==\r\nplain" + b"\x03"
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as f:
        ok = check(f.read())
    if len(sys.argv) == 4 and sys.argv[2] == "--seeds":
        write_seeds(sys.argv[3])
    sys.exit(0 if ok else 1)
