#include "decoding/connection_decoder.h"

#include <algorithm>

#include "decoding/login_stage.h"

namespace velmor {

void ConnectionDecoder::HandleServerBlock(std::span<std::uint8_t> block, int client_port,
                                          PacketSink& sink) {
  const auto n = static_cast<std::int32_t>(
      std::min<std::size_t>(block.size(), static_cast<std::size_t>(kTapWindow)));
  if (n == 0) return;
  std::uint8_t* bytes = block.data();
  if (login_stage_) {
    if (IsRedirectBlock(bytes, n)) {
      RewriteRedirect(bytes, n, client_port);
      framer_.ProcessChunk(sink, bytes, n, PacketFramer::BlockKind::kPlain);
      return;
    }
    if (IsServerListBlock(bytes, n)) {
      framer_.ProcessChunk(sink, bytes, n, PacketFramer::BlockKind::kPlain);
      return;
    }
    login_stage_ = false;
  }
  framer_.ProcessChunk(sink, bytes, n, PacketFramer::BlockKind::kCompressed);
}

}  // namespace velmor
