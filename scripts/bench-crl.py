#!/usr/bin/env python3
"""A large CRL for scripts/bench-verify.sh, in two steps around openssl's
signature:
  bench-crl.py CA-CERT.der BYTES TBS.der        the list to be signed: the
      CA's subject as issuer, serials 0x40000000 up, about BYTES of entries
  bench-crl.py --assemble TBS.der SIG OUT.der   the signed CRL
"""
import sys


def tlv(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([tag, n])
    else:
        length = n.to_bytes((n.bit_length() + 7) // 8, "big")
        head = bytes([tag, 0x80 | len(length)]) + length
    return head + content


def children(der):
    """The elements inside one DER element, as (start, end) of each whole."""
    def length_at(i):
        first = der[i + 1]
        if first < 0x80:
            return i + 2, first
        count = first & 0x7F
        return i + 2 + count, int.from_bytes(der[i + 2:i + 2 + count], "big")
    start, length = length_at(0)
    end = start + length
    out = []
    i = start
    while i < end:
        body, n = length_at(i)
        out.append((i, body + n))
        i = body + n
    return out


SHA1_WITH_RSA = bytes.fromhex("300d06092a864886f70d0101050500")


def subject_of(certificate):
    tbs_start, tbs_end = children(certificate)[0]
    fields = children(certificate[tbs_start:tbs_end])
    tbs = certificate[tbs_start:tbs_end]
    skip = 1 if tbs[fields[0][0]] == 0xA0 else 0  # [0] version
    start, end = fields[skip + 4]  # serial, algorithm, issuer, validity, subject
    return tbs[start:end]


def tbs_list(certificate, size):
    entry_date = tlv(0x17, b"240601120000Z")
    entries = bytearray()
    serial = 0x40000000
    while len(entries) < size:
        entries += tlv(0x30, tlv(0x02, serial.to_bytes(4, "big")) + entry_date)
        serial += 1
    return tlv(0x30, tlv(0x02, b"\x01") + SHA1_WITH_RSA + subject_of(certificate)
               + tlv(0x17, b"240701000000Z") + tlv(0x17, b"491231235959Z") + tlv(0x30, bytes(entries)))


def main(argv):
    if argv[1] == "--assemble":
        tbs = open(argv[2], "rb").read()
        signature = open(argv[3], "rb").read()
        open(argv[4], "wb").write(tlv(0x30, tbs + SHA1_WITH_RSA + tlv(0x03, b"\x00" + signature)))
    else:
        certificate = open(argv[1], "rb").read()
        open(argv[3], "wb").write(tbs_list(certificate, int(argv[2])))


if __name__ == "__main__":
    main(sys.argv)
