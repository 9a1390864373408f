#pragma once

// How POSIX failures become Windows Sockets numbers (platform/socket_error.h).
namespace velmor {

// The Windows Sockets number for a POSIX errno value. A value without a counterpart is
// returned unchanged (it then has no description).
int WsaErrorFromErrno(int error);

// The Windows Sockets number for a getaddrinfo() failure code.
int WsaErrorFromLookup(int gai_error);

}  // namespace velmor
