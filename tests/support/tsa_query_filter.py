#!/usr/bin/env python3
"""Rewrites a TimeStampReq (DER on stdin, DER on stdout) before the test TSA
signs it, so the answer differs from what the client asked for in one way:

  wrong-imprint  the imprint's last byte changed
  wrong-nonce    the nonce's last byte changed
  no-nonce       the nonce left out
  sha256-imprint the imprint replaced by a SHA-256 one
"""
import sys


def read_tlv(data, at):
    """(tag, content start, content length) of the TLV at offset at."""
    tag, first = data[at], data[at + 1]
    if first < 0x80:
        return tag, at + 2, first
    count = first & 0x7F
    return tag, at + 2 + count, int.from_bytes(data[at + 2:at + 2 + count], "big")


def encode_length(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def flip_last(tlv):
    return tlv[:-1] + bytes([tlv[-1] ^ 0x01])


def main():
    mode = sys.argv[1]
    query = sys.stdin.buffer.read()
    _, start, length = read_tlv(query, 0)
    items, at = [], start
    while at < start + length:
        _, content, size = read_tlv(query, at)
        items.append(query[at:content + size])
        at = content + size
    # version, messageImprint, then optional reqPolicy, nonce, certReq, extensions
    out = items[:2]
    for item in items[2:]:
        if item[0] == 0x02:
            if mode == "no-nonce":
                continue
            if mode == "wrong-nonce":
                item = flip_last(item)
        out.append(item)
    if mode == "wrong-imprint":
        out[1] = flip_last(out[1])
    if mode == "sha256-imprint":
        algorithm = bytes.fromhex("300d06096086480165030402010500")
        digest = b"\x04\x20" + bytes(range(32))
        out[1] = b"\x30" + encode_length(len(algorithm) + len(digest)) + algorithm + digest
    body = b"".join(out)
    sys.stdout.buffer.write(b"\x30" + encode_length(len(body)) + body)


if __name__ == "__main__":
    main()
