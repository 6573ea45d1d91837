#!/usr/bin/env python3
"""Prints the known answers of CipherModesTest.cpp and EntryEncryptionTest.cpp.

The block cipher and the digest are OpenSSL's (the openssl command with its
legacy provider: BF-ECB one block at a time, MD4); the chaining modes, the
MAC and the entry format are written out here from their definitions, apart
from the library's code. Run it again to check the constants in the tests.
"""
import subprocess

PROVIDERS = ["-provider", "legacy", "-provider", "default"]


def E(key: bytes, block: bytes) -> bytes:
    assert len(block) == 8
    out = subprocess.run(["openssl", "enc", "-bf-ecb", "-nopad", "-K", key.hex()] + PROVIDERS,
                         input=block, capture_output=True, check=True).stdout
    assert len(out) == 8
    return out


def MD4(data: bytes) -> bytes:
    out = subprocess.run(["openssl", "dgst", "-md4", "-binary"] + PROVIDERS,
                         input=data, capture_output=True, check=True).stdout
    assert len(out) == 16
    return out


def xor(a: bytes, b: bytes) -> bytes:
    return bytes(x ^ y for x, y in zip(a, b))


def tail(key, f, rest):
    """The stream tail of cmCTS and cmCBC: W = E(F); out = rest xor W; F ^= W."""
    w = E(key, f)
    return xor(rest, w), xor(f, w)


def cts(key, f, data):
    out = b""
    whole = len(data) // 8 * 8
    for i in range(0, whole, 8):
        y = E(key, xor(data[i:i + 8], f))
        out += y
        f = xor(f, y)
    if whole < len(data):
        t, f = tail(key, f, data[whole:])
        out += t
    return out, f


def cbc(key, f, data):
    out = b""
    whole = len(data) // 8 * 8
    for i in range(0, whole, 8):
        f = E(key, xor(data[i:i + 8], f))
        out += f
    if whole < len(data):
        t, f = tail(key, f, data[whole:])
        out += t
    return out, f


def cfb(key, f, data):
    out = b""
    for x in data:
        w = E(key, f)
        y = x ^ w[0]
        out += bytes([y])
        f = f[1:] + bytes([y])
    return out, f


def ofb(key, f, data):
    out = b""
    for x in data:
        w = E(key, f)
        out += bytes([x ^ w[0]])
        f = f[1:] + w[:1]
    return out, f


def ecb(key, data, w=bytes(8)):
    """Whole blocks on their own; a tail overwrites the start of the work
    block W (all zero after a key schedule) and is replaced by the start of
    E(W)."""
    out = b""
    whole = len(data) // 8 * 8
    for i in range(0, whole, 8):
        out += E(key, data[i:i + 8])
    if whole < len(data):
        r = len(data) - whole
        out += E(key, data[whole:] + w[r:])[:r]
    return out


def mac(key, v, data, mode):
    """F after the data in a MAC mode, then CalcMAC: T = F reached, coded in
    the same mode from F = V; the code is the F that results."""
    f = v
    if mode in ("cts", "cbc"):
        whole = len(data) // 8 * 8
        for i in range(0, whole, 8):
            w = E(key, xor(data[i:i + 8], f))
            f = xor(f, w) if mode == "cts" else w
        if whole < len(data):
            f = xor(f, E(key, f))
        w = E(key, xor(f, v))
        return xor(v, w) if mode == "cts" else w
    for x in data:
        w = E(key, f)
        f = f[1:] + bytes([x ^ w[0]])
    return cfb(key, v, f)[1]


def hexs(b: bytes) -> str:
    return " ".join("%02X" % x for x in b)


def main():
    key = bytes.fromhex("0123456789ABCDEFF0E1D2C3B4A59687")
    iv = bytes.fromhex("A1B2C3D4E5F60718")
    msg = b"Limpet binds files to an EXE!"
    assert len(msg) == 29
    print("key", hexs(key))
    print("iv ", hexs(iv))
    print("msg", repr(msg))
    print("cmCTS", hexs(cts(key, iv, msg)[0]))
    print("cmCBC", hexs(cbc(key, iv, msg)[0]))
    print("cmCFB", hexs(cfb(key, iv, msg)[0]))
    print("cmOFB", hexs(ofb(key, iv, msg)[0]))
    print("cmECB", hexs(ecb(key, msg)))
    for mode in ("cts", "cbc", "cfb"):
        print("MAC", mode, hexs(mac(key, iv, msg, mode)))

    for password, payload in ((b"secret", b"Hello, world!"), (b"secret", b""),
                              (b"pa\x00ss", bytes(range(20)))):
        k = MD4(password)
        v = E(k, b"\xff" * 8)
        body = cts(k, v, payload)[0]
        check = cts(k, v, b"LMPE")[0]
        print("entry", password, payload, "->", hexs(body + check))


main()
