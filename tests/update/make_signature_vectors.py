#!/usr/bin/env python3
"""Writes signature vectors for the launcher's signature check, made with the openssl command.

usage: make_signature_vectors.py <private key PEM> <output file>

Each line reads "<expected> <case> <key> <message> <signature>": the expected verdict (valid,
wrong or badkey), a case name without blanks, the public key as 128 hexadecimal digits (X, Y),
the message in hexadecimal ("-" when empty) and the signature as 128 hexadecimal digits (r, s).
ECDSA signs with a random nonce, so every build checks fresh signatures made by another
implementation than the one under test. The short message is a manifest listing one game file.
"""
import os
import subprocess
import sys
import tempfile

# The game file that the short message, a manifest, lists (signed_workers_test.cpp serves it).
SIGNED_PATH = "data/signed.bin"
SIGNED_FILE = b"The bytes of a game file that a signed manifest vouches for.\n"

# The order n of the P-256 group.
ORDER = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551


def openssl(*args):
    return subprocess.run(["openssl", *args], capture_output=True, check=True).stdout


def public_key(pem):
    # The DER SubjectPublicKeyInfo of a P-256 key ends in the point 04 || X || Y.
    return openssl("pkey", "-in", pem, "-pubout", "-outform", "DER")[-64:]


def der_integers(der):
    """r and s of a DER ECDSA-Sig-Value: SEQUENCE { INTEGER r, INTEGER s }."""
    assert der[0] == 0x30 and der[1] == len(der) - 2, "unexpected signature encoding"
    numbers, at = [], 2
    for _ in range(2):
        assert der[at] == 0x02
        length = der[at + 1]
        numbers.append(int.from_bytes(der[at + 2:at + 2 + length], "big"))
        at += 2 + length
    return numbers


def raw(r, s):
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def sign(pem, message, folder):
    path = os.path.join(folder, "message")
    with open(path, "wb") as out:
        out.write(message)
    r, s = der_integers(openssl("dgst", "-sha256", "-sign", pem, path))
    return r, s


def xxh3(data, folder):
    """The launcher's hash text of `data`: XXH3-64 in 16 lower-case digits, from xxhsum."""
    path = os.path.join(folder, "hashed")
    with open(path, "wb") as out:
        out.write(data)
    line = subprocess.run(["xxhsum", "-H3", path], capture_output=True, check=True, text=True)
    digits = line.stdout.split()[-1]
    assert len(digits) == 16 and all(c in "0123456789abcdef" for c in digits), line.stdout
    return digits


def flip(data, index, bit=1):
    changed = bytearray(data)
    changed[index] ^= bit
    return bytes(changed)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pem, output = sys.argv[1:]
    with tempfile.TemporaryDirectory() as folder:
        other = os.path.join(folder, "other.pem")
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", other)
        key = public_key(pem)
        # A manifest of one game file, SIGNED_FILE at SIGNED_PATH (the tests serve it).
        short = ('{"version": "2.0", "files": [{"path": "%s", "hash": "%s", "size": %d}]}\n' %
                 (SIGNED_PATH, xxh3(SIGNED_FILE, folder), len(SIGNED_FILE))).encode()
        large = bytes(i % 251 for i in range(300000))
        r, s = sign(pem, short, folder)
        good = raw(r, s)
        cases = [
            ("valid", "short_message", key, short, good),
            ("valid", "empty_message", key, b"", raw(*sign(pem, b"", folder))),
            ("valid", "large_message", key, large, raw(*sign(pem, large, folder))),
            ("wrong", "message_one_bit_changed", key, flip(short, 3), good),
            ("wrong", "message_one_byte_longer", key, short + b" ", good),
            ("wrong", "r_one_bit_changed", key, short, flip(good, 31)),
            ("wrong", "s_one_bit_changed", key, short, flip(good, 63)),
            ("wrong", "r_and_s_swapped", key, short, raw(s, r)),
            ("wrong", "r_zero", key, short, raw(0, s)),
            ("wrong", "s_zero", key, short, raw(r, 0)),
            ("wrong", "r_is_the_order", key, short, raw(ORDER, s)),
            ("wrong", "s_is_the_order", key, short, raw(r, ORDER)),
            ("wrong", "other_keys_signature", key, short, raw(*sign(other, short, folder))),
            ("wrong", "signature_checked_with_other_key", public_key(other), short, good),
            ("badkey", "key_off_the_curve", flip(key, 63), short, good),
            ("badkey", "key_zero", bytes(64), short, good),
        ]
    with open(output + ".tmp", "w") as out:
        for expected, name, public, message, signature in cases:
            out.write(f"{expected} {name} {public.hex()} {message.hex() or '-'} {signature.hex()}\n")
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
