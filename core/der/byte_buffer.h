/* The one carrier of encoded data: a pointer and a length (two 32-bit words
   on 32-bit Windows). Plain C, so the client libraries' exported headers
   and C callers share the core's type. */
#ifndef TAVOMIR_BYTE_BUFFER_H
#define TAVOMIR_BYTE_BUFFER_H

#include <stddef.h>

typedef struct ByteBuffer {
    unsigned char* pointer;
    size_t length;
} ByteBuffer;

#endif
