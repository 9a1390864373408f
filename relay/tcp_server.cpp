#include "relay/tcp_server.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>

#include "platform/socket_address.h"
#include "relay/host_address.h"

namespace velmor {

namespace {

constexpr int kCheckIntervalMs = 250;

// The address to bind an endpoint to: every local address, or an address text. Host names
// are not looked up here (this runs on the main thread).
std::uint32_t BindAddress(const std::string& ip) {
  if (ip.empty()) return 0;
  return ResolveHost(
      ip, [](const std::string&) -> std::uint32_t { throw EIdSocketError(kWsaAddressNotAvail); });
}

// The message the user can act on when a port is taken.
constexpr const char* kAddressInUse = "Could not bind socket. Address and port are already in use.";

// Runs a bind or listen step; a port that is taken gets that message.
template <typename Step>
void ReportAddressInUse(Step step) {
  try {
    step();
  } catch (const EIdSocketError& error) {
    if (error.LastError() == kWsaAddressInUse) throw Exception(kAddressInUse);
    throw;
  }
}

}  // namespace

TIdTCPServer::TIdTCPServer() {
  StartSocketLayer();
}

TIdTCPServer::~TIdTCPServer() {
  try {
    SetActive(false);
  } catch (...) {
    // A timed-out deactivation: leftover workers end by themselves.
  }
  CloseListeners();
  if (state_) state_->intercept->Detach();
}

TIdSocketHandle& TIdTCPServer::AddBinding() {
  bindings_.push_back(std::make_unique<TIdSocketHandle>());
  bindings_.back()->Port = DefaultPort;
  return *bindings_.back();
}

std::int32_t TIdTCPServer::BoundPort(std::size_t index) const {
  const TIdSocketHandle& binding = *bindings_.at(index);
  if (binding.Listener.IsOpen()) return binding.Listener.LocalPort();
  return binding.Port;
}

std::size_t TIdTCPServer::ConnectionCount() const {
  if (!state_) return 0;
  std::lock_guard lock(state_->mutex);
  return state_->threads.size();
}

void TIdTCPServer::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    Activate();
  } else {
    Deactivate();
  }
}

void TIdTCPServer::Activate() {
  if (bindings_.empty()) AddBinding();
  std::shared_ptr<ServerState> state;
  try {
    try {
      state = std::make_shared<ServerState>(std::make_shared<InterceptLink>(Intercept));
    } catch (const EIdSocketError&) {
      throw Exception("Cannot allocate socket.");
    }
    for (auto& binding : bindings_) {
      try {
        binding->Listener = Socket::Open();
      } catch (const EIdSocketError&) {
        throw Exception("Cannot allocate socket.");
      }
      if (ReuseSocket == TIdReuseSocket::rsOSDependent) {
        // Otherwise a Stop with clients connected would block the port for a minute on
        // platforms that keep closed connections in TIME_WAIT.
        binding->Listener.AllowPromptRebind();
      } else {
        binding->Listener.SetReuseAddress(ReuseSocket == TIdReuseSocket::rsTrue);
      }
      const std::uint32_t address = BindAddress(binding->IP);
      const auto port = static_cast<std::uint16_t>(binding->Port);
      // Two endpoints of this server on one port: each system refuses the second its own way
      // (Windows as "access denied" once the first claims the port exclusively).
      const auto same_port = [&](const ServerState::Endpoint& taken) {
        return taken.port == port &&
               (taken.address == address || taken.address == 0 || address == 0);
      };
      if (port != 0 && std::any_of(state->listening.begin(), state->listening.end(), same_port)) {
        throw Exception(kAddressInUse);
      }
      ReportAddressInUse([&] { binding->Listener.Bind(address, port); });
      state->listening.push_back({address, binding->Listener.LocalPort()});
    }
    WorkerFactory factory = MakeWorkerFactory();
    for (auto& binding : bindings_) {
      // With address reuse on, a port that another socket holds may be refused only here.
      ReportAddressInUse([&] { binding->Listener.Listen(ListenQueue); });
      listeners_.push_back(
          std::make_unique<TIdListenerThread>(binding->Listener, state, factory, MaxConnections));
      try {
        listeners_.back()->Start();
      } catch (const std::system_error& error) {
        throw Exception(error.what());
      }
    }
  } catch (...) {
    CloseListeners();
    throw;
  }
  state_ = std::move(state);
  active_ = true;
}

void TIdTCPServer::CloseListeners() noexcept {
  for (auto& listener : listeners_) listener->Stop();
  listeners_.clear();
  for (auto& binding : bindings_) binding->Listener.Close();
}

void TIdTCPServer::Deactivate() {
  ServerState& state = *state_;
  // First, so the listeners end at once and no worker starts another connect attempt.
  state.stopping.Signal();
  CloseListeners();
  std::unique_lock lock(state.mutex);
  for (auto& thread : state.threads) thread->Stop();
  // Checks a quarter second apart, ending early as soon as the last worker has left.
  int checks = std::max(1, TerminateWaitTime / kCheckIntervalMs);
  auto interval = std::chrono::milliseconds(std::clamp(TerminateWaitTime, 0, kCheckIntervalMs));
  for (int check = 0; check < checks && !state.threads.empty(); ++check) {
    state.emptied.wait_for(lock, interval, [&] { return state.threads.empty(); });
  }
  if (!state.threads.empty()) throw Exception("Terminate Thread Timeout");
  lock.unlock();
  state_.reset();
  active_ = false;
}

}  // namespace velmor
