#pragma once

#include <system_error>

// Windows error numbers (GetLastError) as error codes.
namespace velmor {

// The code for a Windows error number, described by the system in the user's language. The
// numbers the logic asks about by their portable name match it, so that
// `error == std::errc::file_exists` holds on Windows as on POSIX. ERROR_SUCCESS becomes an
// input/output error: the call failed without saying why.
std::error_code WindowsError(unsigned long code);

}  // namespace velmor
