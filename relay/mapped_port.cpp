#include "relay/mapped_port.h"

#include <array>
#include <exception>
#include <optional>

#include "platform/socket_address.h"
#include "relay/host_address.h"

namespace velmor {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

// True when a connection to `address`:`port` would arrive at one of the relay's listeners.
bool IsOwnListener(const ServerState& state, std::uint32_t address, std::uint16_t port) {
  for (const ServerState::Endpoint& endpoint : state.listening) {
    if (endpoint.port != port) continue;
    if (endpoint.address == 0 ? IsThisMachineAddress(address)
                              : endpoint.address == (address == 0 ? kLoopback : address)) {
      return true;
    }
  }
  return false;
}

}  // namespace

WorkerFactory TIdMappedPortTCP::MakeWorkerFactory() {
  return [host = MappedHost, port = MappedPort, lookup = Lookup, greeting = Greeting](
             std::shared_ptr<ServerState> state,
             std::unique_ptr<TIdTCPServerConnection> connection) -> std::shared_ptr<TIdPeerThread> {
    return std::make_shared<TIdMappedPortThread>(std::move(state), std::move(connection), host,
                                                 port, lookup, greeting);
  };
}

TIdMappedPortThread::TIdMappedPortThread(std::shared_ptr<ServerState> state,
                                         std::unique_ptr<TIdTCPServerConnection> connection,
                                         std::string host, std::int32_t port, HostLookup lookup,
                                         std::string greeting)
    : TIdPeerThread(std::move(state), std::move(connection)),
      host_(std::move(host)),
      port_(port),
      lookup_(std::move(lookup)),
      greeting_(std::move(greeting)) {}

TIdMappedPortThread::~TIdMappedPortThread() = default;

void TIdMappedPortThread::BeforeRun() {
  Connection().Intercept = State().intercept;
  if (!greeting_.empty()) {
    Connection().WriteChunk(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(greeting_.data()), greeting_.size()));
  }
  ConnectToServer();
  if (!Connection().Connected()) StopSelf();
}

void TIdMappedPortThread::ConnectToServer() {
  try {
    const std::uint32_t address = ResolveHost(host_, lookup_, State().stopping);
    if (IsOwnListener(State(), address, static_cast<std::uint16_t>(port_))) {
      Connection().Close();
      return;
    }
    auto client = std::make_unique<TIdTCPClient>(host_, port_);
    client->ConnectTo(address, &State().stopping);
    std::lock_guard lock(wake_mutex_);
    outbound_ = std::move(client);
    // A stop that came during the connect attempt found nothing to shut down here.
    if (Stopped()) outbound_->Interrupt();
  } catch (...) {
    Connection().Close();
  }
}

void TIdMappedPortThread::Run() {
  TIdTCPServerConnection& client = Connection();
  TIdTCPClient& server = *outbound_;
  if (!client.Connected() || !server.Connected()) {
    client.Close();
    StopSelf();
    return;
  }

  std::array<int, 2> handles{client.Handle(), server.Handle()};
  std::array<bool, 2> readable{};
  WaitForReadable(handles, readable, -1);

  std::optional<int> socket_error;
  std::exception_ptr other_error;
  try {
    if (readable[0]) {
      std::vector<std::uint8_t> block = client.ReadChunk();
      if (!block.empty()) server.WriteChunk(block);
    }
    if (readable[1]) {
      std::vector<std::uint8_t> block = server.ReadChunk();
      if (!block.empty()) client.WriteChunk(block);
    }
  } catch (const EIdSocketError& error) {
    socket_error = error.LastError();
  } catch (const EIdClosedSocket&) {
    // Dropped: the checks below see which side has gone.
  } catch (...) {
    other_error = std::current_exception();
  }

  if (!server.Connected()) client.Close();
  if (socket_error) {
    bool fatal = *socket_error == kWsaConnAborted || *socket_error == kWsaConnReset;
    if (fatal || previous_cycle_failed_) client.Close();
  }
  previous_cycle_failed_ = socket_error.has_value();
  if (other_error || !client.Connected()) StopSelf();
}

void TIdMappedPortThread::AfterRun() {
  // Closed while Stop() can still reach it: the close may wait for the server to take the
  // client's last blocks.
  if (outbound_) outbound_->Close();
  std::unique_ptr<TIdTCPClient> released;
  {
    std::lock_guard lock(wake_mutex_);
    released.swap(outbound_);
  }
}

void TIdMappedPortThread::WakeMore() noexcept {
  if (outbound_) outbound_->Interrupt();
}

}  // namespace velmor
