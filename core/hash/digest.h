// Message digests MD2, MD4, MD5, SHA-0 and SHA-1, each with start, update and
// finish operations, and the dispatcher that selects one by digest type.
#pragma once
#include <cstddef>
#include <cstdint>

// Digest types; for MD2, MD4 and MD5 the value is also the last arc of the
// algorithm's identifier under 1.2.840.113549.2.
enum : std::uint32_t {
    kDigestMd2 = 2,
    kDigestSha0 = 3,
    kDigestMd4 = 4,
    kDigestMd5 = 5,
    kDigestSha1 = 6,
};

// Toolkit status codes the digest operations answer.
enum : int {
    kStatusDigestAlgorithm = 1026,  // not a digest type
    kStatusSignature = 1035,        // DigestInfo blocks name different digests
};

enum : std::size_t {
    kMaxDigestLength = 20,
    kMaxDigestInfoLength = 35,  // SHA-1's; the MD family's is 34
};

struct Md2State {
    unsigned char state[16];
    unsigned char checksum[16];
    std::uint32_t count;  // bytes buffered, 0..15
    unsigned char buffer[16];
};

struct Md4State {
    std::uint32_t state[4];
    std::uint32_t count[2];  // bit count, low word first
    unsigned char buffer[64];
};

struct Md5State {
    std::uint32_t state[4];
    std::uint32_t count[2];
    unsigned char buffer[64];
};

// SHA-0 and SHA-1 share the state; they differ only in the message schedule.
struct ShaState {
    std::uint32_t state[5];
    std::uint32_t count[2];
    unsigned char buffer[64];
};

// Owned by the caller; holds no pointers. The type selects the state in use.
struct DigestContext {
    std::uint32_t digestType;
    union {
        Md2State md2;
        Md4State md4;
        Md5State md5;
        ShaState sha;
    } state;
};

// Per-algorithm operations. Finish writes 16 bytes (20 for SHA) and wipes
// the state; the state must be started again before further use.
void InitMd2(Md2State* state);
void UpdateMd2(Md2State* state, const unsigned char* data, std::size_t length);
void FinalMd2(unsigned char digest[16], Md2State* state);

void InitMd4(Md4State* state);
void UpdateMd4(Md4State* state, const unsigned char* data, std::size_t length);
void FinalMd4(unsigned char digest[16], Md4State* state);

void InitMd5(Md5State* state);
void UpdateMd5(Md5State* state, const unsigned char* data, std::size_t length);
void FinalMd5(unsigned char digest[16], Md5State* state);

void InitSha0(ShaState* state);
void UpdateSha0(ShaState* state, const unsigned char* data, std::size_t length);
void FinalSha0(unsigned char digest[20], ShaState* state);

void InitSha1(ShaState* state);
void UpdateSha1(ShaState* state, const unsigned char* data, std::size_t length);
void FinalSha1(unsigned char digest[20], ShaState* state);

// Dispatcher: 0, or kStatusDigestAlgorithm for a type other than 2 to 6.
// InitDigest stores the type even when it refuses it.
int InitDigest(DigestContext* context, std::uint32_t digestType);
int UpdateDigest(DigestContext* context, const unsigned char* data, std::size_t length);
// Writes the length first (20 for types 3 and 6, else 16, also for a bad
// type), then the digest, and wipes the state.
int FinalDigest(DigestContext* context, unsigned char* digest, std::size_t* digestLength);

// One-shot digest on a context of its own, wiped before return. The digest
// buffer holds 20 bytes when the type may be 3 or 6.
int DigestDataBlock(unsigned char* digest, std::size_t* digestLength, const unsigned char* data,
                    std::size_t length, std::uint32_t digestType);

// DER DigestInfo of a digest: 34 bytes for MD2, MD4 and MD5, 35 for SHA-1
// (identifier 1.3.14.3.2.26). Returns the bytes written; 0 and nothing
// written for SHA-0 or a bad type. out holds kMaxDigestInfoLength bytes.
std::size_t BuildDigestInfo(unsigned char* out, std::uint32_t digestType, const unsigned char* digest);

// 0 when two blocks made by BuildDigestInfo name the same digest, else
// kStatusSignature. Reads the first 14 bytes of each.
int CompareDigestInfoAlgorithm(const unsigned char* first, const unsigned char* second);
