// Pieces the TSP codecs share. Internal to tsp_protocol.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/der/der_builder.h"

namespace tsp_der {

// SEQUENCE { OID [, NULL] }: the code, -1 for an identifier we do not know.
bool ReadHashAlgorithm(DERCursor* cursor, int* code);

// Runs the steps backwards in a kTspWorkSize buffer and copies the DER to
// output; false when a step failed or it does not fit.
template <class Steps>
bool EncodeWith(Steps steps, unsigned char* output, std::size_t capacity, std::size_t* outputLength);

// Replaces the view by a heap copy (value and NUL); false when allocation
// fails, the slot then empty.
bool HoldCopy(ByteBuffer* slot);

void FreeHeld(ByteBuffer* slot);

}  // namespace tsp_der

#include "tsp/protocol/tsp_codecs.h"

namespace tsp_der {

template <class Steps>
bool EncodeWith(Steps steps, unsigned char* output, std::size_t capacity, std::size_t* outputLength)
{
    unsigned char work[kTspWorkSize];
    DERBuilder builder;
    InitDERBuilder(&builder, work, sizeof work);
    steps(&builder);
    if (builder.status != kDERBuildOk || !output || !outputLength) return false;
    const ByteBuffer written = DERBuilderWritten(&builder);
    if (written.length == 0 || written.length > capacity) return false;
    CopyBytes(output, written.pointer, written.length);
    *outputLength = written.length;
    return true;
}

}  // namespace tsp_der
