// The openssl command line as an independent peer, from the native tests and
// from the Windows tests under Wine alike; file names are host paths.
#pragma once
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include "tests/support/host_openssl.h"
#else
#include <sys/wait.h>
#endif

namespace testsupport::openssl_cli {

// Runs openssl with the arguments (a shell line without double quotes),
// what it says on stderr to the file `said`; its exit status, -1 when it
// could not be run.
inline int Run(const std::string& arguments, const std::string& said = "/dev/null")
{
#ifdef _WIN32
    return testsupport::openssl::Run(arguments + " 2>" + said);
#else
    int status = std::system(("OPENSSL_CONF=/dev/null openssl " + arguments + " 2>" + said).c_str());
    return status == -1 ? -1 : WEXITSTATUS(status);
#endif
}

}  // namespace testsupport::openssl_cli
