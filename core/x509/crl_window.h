// A CRL file read forwards, once, through a window of buffered bytes: small
// elements are taken whole and decoded with the in-memory DER reader, large
// ones entered by their header or passed over in pieces. Offsets are our
// own (no seek or tell per element), and every byte taken can go, as it
// passes, to the digest of the signed region and to a copy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/bytes.h"
#include "core/hash/digest.h"
#include "core/io/stream.h"

enum : std::size_t {
    kCRLWindowBlock = 65536,     // bytes asked of the stream at a time
    kCRLMaxElementSize = 65536,  // the largest element taken whole
};

// An element's header as it stands in the window.
struct CRLHeader {
    unsigned char identifier = 0;
    std::size_t length = 0;      // of the content
    std::size_t headerSize = 0;
};

struct CRLWindow {
    DataStream* stream = nullptr;  // a raw stream started for reading
    std::vector<unsigned char> buffer;
    std::size_t start = 0;         // unread bytes are [start, end)
    std::size_t end = 0;
    std::uint64_t offset = 0;      // stream offset of buffer[start]
    bool streamEnded = false;

    // Bytes taken below signedTo are digested; until the digest type is
    // known they wait in pending.
    std::uint64_t signedTo = 0;
    bool digestStarted = false;
    bool digestFailed = false;
    DigestContext digest{};
    std::vector<unsigned char> pending;

    // While copying, bytes taken are written to copy as well.
    DataStream* copy = nullptr;
    bool copying = false;
    bool copyFailed = false;
};

// Over a raw stream already started for reading; false without memory.
bool InitCRLWindow(CRLWindow* window, DataStream* stream);
// Forgets the buffered bytes, for a stream started again from its start.
void RestartCRLWindow(CRLWindow* window);

// No byte is left in the stream.
bool CRLWindowAtEnd(CRLWindow* window);
// The next header, nothing taken. kCRLHeaderFailed when the stream ends
// inside it; kCRLStructure for a form DER does not allow here (high tag
// number, indefinite length, more than four length bytes).
int PeekCRLHeader(CRLWindow* window, CRLHeader* header);
// The element whole (header included), taken: kCRLArgument when it is
// larger than maxSize, kCRLHeaderFailed when the stream ends first. The
// view lasts until the next call on the window.
int TakeCRLElement(CRLWindow* window, const CRLHeader& header, std::size_t maxSize, ByteBuffer* whole);
// Takes the header only: the content follows.
void TakeCRLHeader(CRLWindow* window, const CRLHeader& header);
// Takes count bytes in pieces; kCRLHeaderFailed when the stream ends first.
int PassCRLBytes(CRLWindow* window, std::uint64_t count);

// The signed region runs from here to `to`.
void BeginCRLSignedRegion(CRLWindow* window, std::uint64_t to);
// Its digest type, once the algorithm is read; 0 drops the digest.
void StartCRLDigest(CRLWindow* window, std::uint32_t digestType);
// False unless the whole region was digested.
bool FinishCRLDigest(CRLWindow* window, unsigned char* digest, std::size_t* digestLength);
