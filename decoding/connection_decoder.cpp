#include "decoding/connection_decoder.h"

#include <algorithm>
#include <vector>

namespace velmor {

void ConnectionDecoder::HandleServerBlock(std::span<std::uint8_t> block, int client_port,
                                          PacketSink& sink) {
  const auto n = static_cast<std::int32_t>(
      std::min<std::size_t>(block.size(), static_cast<std::size_t>(kTapWindow)));
  if (n == 0) return;
  std::uint8_t* bytes = block.data();
  PacketFramer::BlockKind kind = PacketFramer::BlockKind::kCompressed;
  if (!login_.Over()) {
    const LoginStage::Verdict verdict =
        login_.Take(bytes, n, client_port, framer_.CarryLength() > 0);
    if (verdict == LoginStage::Verdict::kHeld) return;
    if (verdict == LoginStage::Verdict::kPlain) kind = PacketFramer::BlockKind::kPlain;
    const std::vector<std::uint8_t> held = login_.TakeHeld();
    Feed(sink, held.data(), held.size(), kind);
  }
  Feed(sink, bytes, static_cast<std::size_t>(n), kind);
}

void ConnectionDecoder::Feed(PacketSink& sink, const std::uint8_t* bytes, std::size_t n,
                             PacketFramer::BlockKind kind) {
  if (n > 0) framer_.ProcessChunk(sink, bytes, static_cast<std::int32_t>(n), kind);
}

}  // namespace velmor
