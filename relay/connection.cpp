#include "relay/connection.h"

#include <chrono>
#include <exception>

namespace velmor {

namespace {

// How often a close waiting for delivery looks at the peer's progress.
constexpr int kDeliverySliceMs = 2;
// Most receives a close makes to clear the input once everything has arrived.
constexpr int kDrainReceives = 16;

}  // namespace

TIdTCPConnection::TIdTCPConnection() : receive_buffer_(new std::uint8_t[RecvBufferSize]) {}

TIdTCPConnection::TIdTCPConnection(Socket socket)
    : socket_(std::move(socket)), receive_buffer_(new std::uint8_t[RecvBufferSize]) {}

TIdTCPConnection::~TIdTCPConnection() {
  try {
    Close();
  } catch (...) {
    // Releasing a connection closes it; nobody is left to hear about a failure.
  }
}

void TIdTCPConnection::AttachSocket(Socket socket) {
  std::lock_guard lock(handle_mutex_);
  socket_ = std::move(socket);
}

std::vector<std::uint8_t> TIdTCPConnection::ReadChunk() {
  if (Connected()) {
    int handle = socket_.Handle();
    bool readable = false;
    WaitForReadable(std::span<const int>(&handle, 1), std::span<bool>(&readable, 1), -1);
    if (!Connected()) throw EIdClosedSocket();
    std::size_t count = 0;
    try {
      count = socket_.Receive(receive_buffer_.get(), RecvBufferSize);
    } catch (const EIdSocketError& error) {
      if (error.LastError() == kWsaShutdown || error.LastError() == kWsaConnAborted) {
        Close();
        if (input_.empty()) throw;
      } else {
        throw;
      }
    }
    if (count == 0) {
      if (Connected()) Close();
    } else {
      TMemoryStream block;
      block.data.assign(receive_buffer_.get(), receive_buffer_.get() + count);
      InterceptReceive(block);
      input_.insert(input_.end(), block.data.begin(), block.data.end());
    }
  }
  std::vector<std::uint8_t> result;
  result.swap(input_);
  return result;
}

void TIdTCPConnection::WriteChunk(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (!Connected()) throw EIdClosedSocket();
  TMemoryStream block;
  block.data.assign(bytes.begin(), bytes.end());
  InterceptSend(block);
  std::size_t sent = 0;
  while (sent < block.data.size()) {
    std::size_t count = 0;
    try {
      count = socket_.Send(block.data.data() + sent, block.data.size() - sent);
    } catch (const EIdSocketError& error) {
      int code = error.LastError();
      if (code == kWsaShutdown || code == kWsaConnAborted || code == kWsaConnReset) Close();
      throw;
    }
    if (count == 0) {
      Close();
      throw EIdClosedSocket();
    }
    sent += count;
  }
}

void TIdTCPConnection::Close() {
  if (!Connected()) return;
  std::exception_ptr tap_error;
  try {
    InterceptDisconnect();
  } catch (...) {
    tap_error = std::current_exception();
  }
  // Asked before the FIN joins the queue. Mostly everything has arrived and there is no wait.
  bool undelivered = socket_.PendingOutput() > 0;
  {
    std::lock_guard lock(handle_mutex_);
    socket_.Shutdown(Socket::Direction::kSend);
  }
  // Unlocked: Interrupt() must still reach the socket to end the wait.
  if (undelivered) AwaitDelivery();
  {
    std::lock_guard lock(handle_mutex_);
    socket_.Close();
  }
  if (tap_error) std::rethrow_exception(tap_error);
}

void TIdTCPConnection::AwaitDelivery() noexcept {
  try {
    int handle = socket_.Handle();
    bool readable = false;
    std::size_t pending = socket_.PendingOutput();
    auto last_progress = std::chrono::steady_clock::now();
    // The FIN counts as one byte; a reset that only it would meet loses nothing.
    while (pending > 1 && !interrupted_.load()) {
      if (WaitForReadable({&handle, 1}, {&readable, 1}, kDeliverySliceMs) > 0 &&
          socket_.Receive(receive_buffer_.get(), RecvBufferSize) == 0) {
        return;  // the peer has closed: nothing more arrives, so the close stays orderly
      }
      std::size_t now_pending = socket_.PendingOutput();
      auto now = std::chrono::steady_clock::now();
      if (now_pending < pending) {
        last_progress = now;
      } else if (now - last_progress > std::chrono::milliseconds(kDeliveryStallMs)) {
        return;
      }
      pending = now_pending;
    }
    // Everything has arrived; drop what came meanwhile so the close is orderly if it can be.
    for (int i = 0; i < kDrainReceives && WaitForReadable({&handle, 1}, {&readable, 1}, 0) > 0;
         ++i) {
      if (socket_.Receive(receive_buffer_.get(), RecvBufferSize) == 0) return;
    }
  } catch (const EIdSocketError&) {
    // Reset or shut down: nothing is left to deliver.
  }
}

void TIdTCPConnection::Interrupt() noexcept {
  interrupted_.store(true);
  std::lock_guard lock(handle_mutex_);
  socket_.Shutdown(Socket::Direction::kBoth);
}

TIdTCPServerConnection::~TIdTCPServerConnection() {
  // Closed here, while the tap's hook is still this class's: the tap hears of every close.
  try {
    Close();
  } catch (...) {
  }
}

void TIdTCPServerConnection::InterceptReceive(TMemoryStream& block) {
  if (Intercept) Intercept->Receive(*this, block);
}

void TIdTCPServerConnection::InterceptSend(TMemoryStream& block) {
  if (Intercept) Intercept->Send(*this, block);
}

void TIdTCPServerConnection::InterceptDisconnect() {
  if (Intercept) Intercept->Disconnect(*this);
}

void TIdTCPClient::Connect(const HostLookup& lookup) {
  ConnectTo(ResolveHost(Host, lookup));
}

void TIdTCPClient::ConnectTo(std::uint32_t address, const WakeEvent* wake) {
  Socket socket = Socket::Open();
  socket.Bind(0, 0);
  // Ports are taken as typed; the socket layer uses their low 16 bits.
  socket.Connect(address, static_cast<std::uint16_t>(Port),
                 wake != nullptr ? wake->Handle() : Socket::kNoHandle);
  AttachSocket(std::move(socket));
}

}  // namespace velmor
