#include "decoding/decoding_sessions.h"

namespace velmor {

void DecodingSessions::HandleServerBlock(ConnectionId connection, std::span<std::uint8_t> block,
                                         int client_port, PacketSink& sink) {
  std::shared_ptr<ConnectionDecoder> decoder;
  {
    std::lock_guard lock(mutex_);
    std::shared_ptr<ConnectionDecoder>& slot = decoders_[connection];
    if (!slot) slot = std::make_shared<ConnectionDecoder>();
    decoder = slot;
  }
  // Shared, so a Forget from another thread cannot pull the state from under this block.
  decoder->HandleServerBlock(block, client_port, sink);
}

void DecodingSessions::Forget(ConnectionId connection) {
  std::shared_ptr<ConnectionDecoder> dropped;
  {
    std::lock_guard lock(mutex_);
    auto found = decoders_.find(connection);
    if (found == decoders_.end()) return;
    dropped = std::move(found->second);
    decoders_.erase(found);
  }
  // The buffers are freed here, outside the lock.
}

std::size_t DecodingSessions::Count() const {
  std::lock_guard lock(mutex_);
  return decoders_.size();
}

}  // namespace velmor
