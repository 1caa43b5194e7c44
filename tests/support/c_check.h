/* Checks of the plain C test clients: each failed check is printed and
   counted in c_check_failures, and main's exit code is 1 when any failed. */
#ifndef TESTSUPPORT_C_CHECK_H
#define TESTSUPPORT_C_CHECK_H

#include <stdio.h>

static int c_check_failures = 0;

#define CHECK(condition)                                                          \
    do {                                                                          \
        if (!(condition)) {                                                       \
            printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++c_check_failures;                                                   \
        }                                                                         \
    } while (0)

#endif
