// Push reader of BER: the input arrives in blocks of any size, split
// anywhere (inside a header too), and is walked element by element with a
// stack of the open elements. What each element is, and what becomes of its
// content, the handler decides at its header: descend into it, take its
// content as it passes, or skip it.
//
// Caps (a larger input fails, it is never read further):
//   - one identifier byte: the high-tag-number form is refused;
//   - definite lengths of at most kDERMaxLengthBytes (4) length bytes;
//   - the indefinite form only for constructed elements, closed by 00 00;
//   - at most kBerMaxDepth open elements, the outermost level included;
//   - one element at the outermost level: a byte after it fails.
// A definite element's children must end within it, and offsets count in 64
// bits, so no input overruns or wraps.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/der.h"

enum : std::size_t { kBerMaxDepth = 32 };

// Why a push failed.
enum class BerStatus {
    Ok,
    Handler,   // a handler call answered false
    BadTag,    // high tag number
    Corrupt,   // misplaced end of contents, primitive indefinite, a child past its parent's end
    TooLarge,  // too many length bytes, too deep
    Trailing,  // bytes after the outermost element
};

// An open element. label, field and route are the handler's: what the
// element is, which of its fields have been seen, where its content goes.
struct BerFrame {
    int label;
    int field;
    int route;
    std::size_t children;  // headers seen directly inside
    bool indefinite;
    bool skipping;         // passed over with all it holds
    std::uint64_t end;     // of a definite element
    std::uint64_t limit;   // end of the innermost definite element around
};

struct BerHeader {
    unsigned char id;
    bool indefinite;
    std::uint64_t length;        // 0 when indefinite
    const unsigned char* bytes;  // identifier and length bytes
    std::size_t size;
};

// What becomes of an element whose header was read.
struct BerDecision {
    enum Kind { Descend, Take, Skip } kind;
    int label;  // of the frame a Descend opens
    int route;
};

// Callbacks; each answers false to stop the push (BerStatus::Handler).
class BerPushHandler {
public:
    virtual ~BerPushHandler() = default;
    // A header directly inside parent (whose children already counts it).
    // The handler may update parent's field.
    virtual bool OnHeader(BerFrame& parent, const BerHeader& header, BerDecision* decision) = 0;
    // Content of a taken element, in pieces as they arrive.
    virtual bool OnContent(const unsigned char* data, std::size_t length) = 0;
    // A taken element's content has passed in full (at once for an empty one).
    virtual bool OnTaken() = 0;
    // A descended element has ended.
    virtual bool OnClose(const BerFrame& frame) = 0;
};

struct BerPushReader {
    enum class Mode { Header, Take, Skip };
    std::vector<BerFrame> stack;
    Mode mode;
    unsigned char header[2 + kDERMaxLengthBytes];
    std::size_t headerLength;
    std::uint64_t offset;     // bytes pushed so far
    std::uint64_t remaining;  // of the element taken or skipped
};

void InitBerPushReader(BerPushReader* reader);
// The next block; the reader stops at the first failure and should not be
// pushed to again.
BerStatus PushBer(BerPushReader* reader, BerPushHandler* handler, const unsigned char* data, std::size_t length);
// The outermost element has been read in full and nothing is pending.
bool BerComplete(const BerPushReader& reader);
