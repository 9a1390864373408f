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
  using Kind = PacketFramer::BlockKind;
  if (login_.Game()) {
    Feed(sink, bytes, static_cast<std::size_t>(n), Kind::kCompressed);
    return;
  }
  const LoginStage::Reading reading = login_.Take(bytes, n, client_port);
  Feed(sink, reading.front.data(), reading.front.size(),
       reading.front_plain ? Kind::kPlain : Kind::kCompressed);
  Feed(sink, bytes, static_cast<std::size_t>(reading.plain), Kind::kPlain);
  if (reading.rest == LoginStage::Reading::Rest::kGame) {
    Feed(sink, bytes + reading.plain, static_cast<std::size_t>(n - reading.plain),
         Kind::kCompressed);
  }
}

void ConnectionDecoder::Feed(PacketSink& sink, const std::uint8_t* bytes, std::size_t n,
                             PacketFramer::BlockKind kind) {
  if (n > 0) framer_.ProcessChunk(sink, bytes, static_cast<std::int32_t>(n), kind);
}

}  // namespace velmor
