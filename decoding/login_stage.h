#pragma once

#include <cstdint>

// The login server's plain answers, which come before a connection's stream is compressed.
namespace velmor {

// A server list (0xA8) that fits the block: its length field is 6 + 40 * its server
// count and no longer than the block.
bool IsServerListBlock(const std::uint8_t* bytes, std::int32_t n);

// A block that is exactly one redirect (0x8C, 11 bytes). The login server sends nothing
// else with it, and a compressed block that merely starts with 0x8C rarely has this size.
bool IsRedirectBlock(const std::uint8_t* bytes, std::int32_t n);

// Points a redirect at this machine: bytes 1-4 become 127.0.0.1, bytes 5-6 the client
// port, high byte first. Only the bytes among the block's n are written.
void RewriteRedirect(std::uint8_t* bytes, std::int32_t n, int client_port);

}  // namespace velmor
