// BER push reader: the input pushed whole and pushed in pieces cut where
// its first bytes say must tell the handler the same and end the same.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/der/ber_push_reader.h"
#include "tests/support/ber_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    // Two cut points and the identifier to skip, from the first three bytes.
    const std::vector<unsigned char> input(data + 3, data + size);
    std::size_t first = data[0] % (input.size() + 1);
    std::size_t second = data[1] % (input.size() + 1);
    if (second < first) std::swap(first, second);
    const int skipId = data[2] == 0 ? -1 : data[2];

    testsupport::ber::TraceHandler whole(skipId);
    bool wholeComplete = false;
    const BerStatus wholeStatus = testsupport::ber::PushInPieces(input, {}, &whole, &wholeComplete);
    testsupport::ber::TraceHandler split(skipId);
    bool splitComplete = false;
    const BerStatus splitStatus = testsupport::ber::PushInPieces(input, {first, second}, &split, &splitComplete);
    if (wholeStatus != splitStatus || wholeComplete != splitComplete || whole.trace != split.trace) std::abort();
    return 0;
}
