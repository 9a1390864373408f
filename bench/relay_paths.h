#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "bench/bench_net.h"
#include "bench/child_process.h"
#include "bench/game_stream.h"
#include "decoding/decoding_sessions.h"
#include "relay/log_event.h"
#include "relay/mapped_port.h"
#include "speech/speech_packets.h"

// The ways from a game client on loopback to a game server for the relay benchmark:
//   direct  - the client talks to the server itself;
//   tap     - through TIdMappedPortTCP with the tap decoding the game stream, wired like
//             the main window (TIdLogEvent, DecodingSessions) to a window that keeps nothing;
//   plain   - through TIdMappedPortTCP with the tap inactive;
//   socat   - through `socat TCP-LISTEN:port,reuseaddr,fork TCP:127.0.0.1:port`, socat's
//             default buffer, when socat is installed.
// Made on the benchmark's main thread; the relays run their own threads.
namespace velmor::bench {

enum class Path { kDirect, kTap, kPlain, kSocat };
constexpr Path kPaths[] = {Path::kDirect, Path::kTap, Path::kPlain, Path::kSocat};

inline const char* PathName(Path path) {
  switch (path) {
    case Path::kDirect:
      return "direct";
    case Path::kTap:
      return "tap";
    case Path::kPlain:
      return "plain";
    case Path::kSocat:
      return "socat";
  }
  return "";
}

// Keeps nothing, but counts the lines, to show that the tap really decoded the stream.
class NullSpeechWindow : public SpeechWindow {
 public:
  TColor GetHueColor(int) override { return clBlack; }
  std::string TimeText() override { return {}; }
  void AppendLogLine(const LogLine&) override { lines.fetch_add(1, std::memory_order_relaxed); }
  void PlayMusicFile(const std::string&) override {}
  void PlaySoundFile(const std::string&) override {}
  std::atomic<std::int64_t> lines{0};
};

// A tap wired as the main window wires IdLogEvent1: each block to the client goes through
// the connection's decoder, and a closing connection drops it.
struct WiredTap {
  explicit WiredTap(bool active) {
    tap.OnSend = [this](TIdConnectionIntercept&, TIdTCPConnection& connection,
                        TMemoryStream& block) {
      sessions.HandleServerBlock(ConnectionIdOf(connection), block.data, client_port, sink);
    };
    tap.OnDisconnect = [this](TIdConnectionIntercept&, TIdTCPConnection& connection) {
      sessions.Forget(ConnectionIdOf(connection));
    };
    tap.Active = active;
  }

  int client_port = 2592;
  NullSpeechWindow window;
  SpeechPackets sink{window};
  DecodingSessions sessions;
  TIdLogEvent tap;
};

// One relay in front of the game server, with a tap of its own.
struct Relay {
  Relay(std::uint16_t server_port, bool decoding) : wired(decoding) {
    relay.MappedHost = "127.0.0.1";
    relay.MappedPort = server_port;
    relay.DefaultPort = 0;
    relay.Intercept = &wired.tap;
    relay.AddBinding();
    relay.SetActive(true);
    wired.client_port = relay.BoundPort(0);
  }

  WiredTap wired;
  TIdMappedPortTCP relay;  // last: its workers use the tap
};

// The game server, the relays and socat, made once for the whole run.
class Paths {
 public:
  // `stream`: the game stream the server sends on every path.
  explicit Paths(CompressedStream stream)
      : stream_(std::move(stream)),
        server_(ListenLoopback()),
        tap_(server_.LocalPort(), true),
        plain_(server_.LocalPort(), false) {
    socat_port_ = UnusedPort();
    const std::string listen = "TCP-LISTEN:" + std::to_string(socat_port_) + ",reuseaddr,fork";
    const std::string connect = "TCP:127.0.0.1:" + std::to_string(server_.LocalPort());
    socat_ok_ = socat_.Start({"socat", listen, connect}) &&
                WaitUntilListening(socat_port_, std::chrono::seconds(5));
  }
  ~Paths() { socat_.Stop(std::chrono::seconds(5)); }

  const CompressedStream& Stream() const { return stream_; }
  bool Available(Path path) const { return path != Path::kSocat || socat_ok_; }
  pid_t SocatPid() const { return socat_.Pid(); }
  std::int64_t DecodedLines() const { return tap_.wired.window.lines.load(); }

  struct Pair {
    Socket client;  // the game client's end
    Socket server;  // the game server's end
  };
  Pair Connect(Path path) {
    Pair pair;
    pair.client = ConnectTo(Port(path));
    pair.server = AcceptWithin(server_);
    return pair;
  }

 private:
  std::uint16_t Port(Path path) const {
    switch (path) {
      case Path::kDirect:
        return server_.LocalPort();
      case Path::kTap:
        return static_cast<std::uint16_t>(tap_.relay.BoundPort(0));
      case Path::kPlain:
        return static_cast<std::uint16_t>(plain_.relay.BoundPort(0));
      case Path::kSocat:
        return socat_port_;
    }
    return 0;
  }

  CompressedStream stream_;
  Socket server_;
  Relay tap_;
  Relay plain_;
  ChildProcess socat_;
  std::uint16_t socat_port_ = 0;
  bool socat_ok_ = false;
};

}  // namespace velmor::bench
