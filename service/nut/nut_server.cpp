#include "nut/nut_server.h"

#include <atomic>
#include <string>
#include <vector>

#include "nut/nut_commands.h"
#include "nut/nut_data.h"
#include "nut/nut_words.h"
#include "process.h"
#include "tcp.h"
#include "threads.h"
#include "trace.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The longest one wait lasts: how soon a stop request, an idle connection
// and the end of a lost link are seen.
constexpr int kTickMs = 200;
// Bytes taken from one connection per turn of the loop, so that a client
// that sends without pause gets its turn like the others.
constexpr int kReadChunk = 4096;
// Connections taken from one listener per turn.
constexpr int kAcceptsPerTurn = 8;
constexpr int kStopWaitMs = 3000;
// A polling pass is four commands of one monitor cycle each; the slack
// covers the answers.
constexpr int kPassCommands = 4;
constexpr int kPassSlackMs = 2000;

struct Connection {
  SocketHandle socket = kNoSocket;
  std::string peer;
  NutSession session;
  std::string input;
  std::string output;
  int64_t last_heard_ms = 0;
  /// Close once the reply has gone out (after LOGOUT or a line too long).
  bool closing = false;
  /// Close now (the peer went, failed, or does not read).
  bool dead = false;
};

}  // namespace

struct NutServer::Impl {
  ServiceContext* records = nullptr;
  NutSettings settings;
  NutLimits limits;
  int hold_ms = 0;
  std::vector<SocketHandle> listeners;
  std::vector<uint16_t> ports;
  bool library_started = false;

  // The thread's own.
  std::vector<Connection> connections;
  NutFreshness freshness;
  bool stale = true;

  // Shared with the threads that start, stop and shut down.
  std::atomic<bool> stop_requested{false};
  std::atomic<bool> forced_shutdown{false};
  std::atomic<int> logged_in{0};
  std::atomic<int> wait_limit_ms{0};
  std::unique_ptr<WorkerThread> thread;

  static void Run(void* argument) { static_cast<Impl*>(argument)->Serve(); }

  void Serve();
  void AcceptFrom(SocketHandle listener, int64_t now_ms);
  void Read(Connection& c, int64_t now_ms);
  void Flush(Connection& c);
  void Sweep(int64_t now_ms);
  void CloseAll();
  std::vector<std::string> LoggedInAddresses() const;
};

void NutServer::Impl::Serve() {
  tcp::WaitEntry entries[tcp::kMaxWaitEntries];
  while (!stop_requested.load()) {
    int count = 0;
    for (SocketHandle listener : listeners) {
      entries[count].socket = listener;
      entries[count].want_read = true;
      entries[count].want_write = false;
      ++count;
    }
    const size_t waited = connections.size();
    for (const Connection& c : connections) {
      entries[count].socket = c.socket;
      entries[count].want_read = !c.closing;
      entries[count].want_write = !c.output.empty();
      ++count;
    }
    if (tcp::Wait(entries, count, kTickMs) < 0) SleepMilliseconds(kTickMs);

    const int64_t now_ms = MonotonicMilliseconds();
    stale = UpdateNutFreshness(&freshness, ReadNutLinkFacts(*records), now_ms,
                               hold_ms);
    for (size_t i = 0; i < waited; ++i) {
      Connection& c = connections[i];
      const tcp::WaitEntry& e = entries[listeners.size() + i];
      if (e.writable) Flush(c);
      if (e.readable && !c.dead && !c.closing) Read(c, now_ms);
    }
    for (size_t i = 0; i < listeners.size(); ++i) {
      if (entries[i].readable) AcceptFrom(listeners[i], now_ms);
    }
    Sweep(now_ms);
  }
  CloseAll();
}

void NutServer::Impl::AcceptFrom(SocketHandle listener, int64_t now_ms) {
  for (int n = 0; n < kAcceptsPerTurn; ++n) {
    std::string peer;
    SocketHandle socket = tcp::Accept(listener, &peer);
    if (socket == kNoSocket) return;
    if (connections.size() >= limits.connections) {
      // The connection heard from longest ago that is not logged in makes
      // room; logged-in secondaries are never pushed out by newcomers.
      Connection* oldest = nullptr;
      for (Connection& c : connections) {
        if (c.dead || c.session.logged_in) continue;
        if (oldest == nullptr || c.last_heard_ms < oldest->last_heard_ms) {
          oldest = &c;
        }
      }
      if (oldest == nullptr) {
        tcp::Close(socket);
        continue;
      }
      tcp::Close(oldest->socket);
      *oldest = Connection();
      oldest->socket = socket;
      oldest->peer = peer;
      oldest->last_heard_ms = now_ms;
      continue;
    }
    Connection c;
    c.socket = socket;
    c.peer = peer;
    c.last_heard_ms = now_ms;
    connections.push_back(std::move(c));
  }
}

void NutServer::Impl::Read(Connection& c, int64_t now_ms) {
  char buffer[kReadChunk];
  const int n = tcp::Receive(c.socket, buffer, sizeof buffer);
  if (n == tcp::kWouldBlock) return;
  if (n <= 0) {
    c.dead = true;
    return;
  }
  c.last_heard_ms = now_ms;
  c.input.append(buffer, static_cast<size_t>(n));

  // The data are read once for all the lines of this turn.
  bool have_data = false;
  NutUpsData data;
  NutServerView view;
  view.identity = &settings.identity;
  view.read_data = [&]() {
    if (!have_data) {
      data = ReadNutUpsData(*records, settings.identity.version, stale,
                            forced_shutdown.load(kRelaxed));
      have_data = true;
    }
    return data;
  };
  view.logged_in = [this]() { return LoggedInAddresses(); };

  size_t start = 0;
  for (;;) {
    const size_t end = c.input.find('\n', start);
    const size_t length =
        (end == std::string::npos ? c.input.size() : end) - start;
    if (length > kNutMaxLineLength) {
      c.output += kNutTooLongReply;
      c.closing = true;
      break;
    }
    if (end == std::string::npos) break;
    if (HandleNutRequest(view, &c.session, c.input.data() + start, length,
                         &c.output)) {
      c.closing = true;
      start = end + 1;
      break;
    }
    start = end + 1;
    // A client that sends requests but does not read the replies is
    // dropped before its replies pile up.
    if (c.output.size() > limits.unsent_bytes) {
      Flush(c);
      if (c.dead) return;
    }
  }
  if (c.closing) {
    c.input.clear();
  } else {
    c.input.erase(0, start);
  }
  Flush(c);
}

void NutServer::Impl::Flush(Connection& c) {
  while (!c.output.empty() && !c.dead) {
    const int n =
        tcp::Send(c.socket, c.output.data(), static_cast<int>(c.output.size()));
    if (n == tcp::kWouldBlock) break;
    if (n < 0) {
      c.dead = true;
      break;
    }
    c.output.erase(0, static_cast<size_t>(n));
  }
  if (c.output.size() > limits.unsent_bytes) c.dead = true;
}

void NutServer::Impl::Sweep(int64_t now_ms) {
  int logins = 0;
  size_t kept = 0;
  for (size_t i = 0; i < connections.size(); ++i) {
    Connection& c = connections[i];
    const bool done = c.dead || (c.closing && c.output.empty()) ||
                      now_ms - c.last_heard_ms >= limits.idle_ms;
    if (done) {
      // A closed connection counts as a logout.
      tcp::Close(c.socket);
      continue;
    }
    if (c.session.logged_in) ++logins;
    if (kept != i) connections[kept] = std::move(c);
    ++kept;
  }
  connections.resize(kept);
  logged_in.store(logins);
}

void NutServer::Impl::CloseAll() {
  for (Connection& c : connections) tcp::Close(c.socket);
  connections.clear();
  logged_in.store(0);
}

std::vector<std::string> NutServer::Impl::LoggedInAddresses() const {
  std::vector<std::string> out;
  for (const Connection& c : connections) {
    if (c.session.logged_in && !c.dead) out.push_back(c.peer);
  }
  return out;
}

NutServer::NutServer() : impl_(new Impl) {}

NutServer::~NutServer() { Stop(); }

int NutServer::Start(ServiceContext& records, const NutSettings& settings,
                     const NutLimits& limits) {
  Impl& m = *impl_;
  if (m.thread) return static_cast<int>(m.listeners.size());
  if (settings.listen.empty()) return 0;
  for (const std::string& complaint : settings.complaints) {
    TraceFormat("NUT server: %s\n", complaint.c_str());
  }
  if (tcp::StartLibrary() != 0) {
    Trace("NUT server: the socket library did not start\n");
    return 0;
  }
  m.library_started = true;
  for (const std::string& address : settings.listen) {
    std::string error;
    SocketHandle listener = tcp::Listen(
        address.c_str(), static_cast<uint16_t>(settings.port), &error);
    if (listener == kNoSocket) {
      TraceFormat("NUT server: cannot listen on %s port %d: %s\n",
                  address.c_str(), settings.port, error.c_str());
      continue;
    }
    m.listeners.push_back(listener);
    m.ports.push_back(tcp::LocalPort(listener));
    TraceFormat("NUT server: listening on %s port %d\n", address.c_str(),
                static_cast<int>(m.ports.back()));
  }
  if (m.listeners.empty()) {
    Stop();
    return 0;
  }
  m.records = &records;
  m.settings = settings;
  m.limits = limits;
  // Every connection and listener must fit in one wait.
  const size_t room = tcp::kMaxWaitEntries - m.listeners.size();
  if (m.limits.connections > room) m.limits.connections = room;
  m.hold_ms = kPassCommands * settings.monitor_cycle_ms + kPassSlackMs;
  m.freshness = NutFreshness();
  m.stop_requested.store(false);
  m.forced_shutdown.store(false);
  m.logged_in.store(0);
  m.wait_limit_ms.store(settings.host_sync_seconds * 1000);
  auto thread = std::make_unique<WorkerThread>();
  if (!thread->CreateSuspended(&Impl::Run, &m)) {
    Trace("NUT server: no thread\n");
    Stop();
    return 0;
  }
  m.thread = std::move(thread);
  m.thread->Resume();
  return static_cast<int>(m.listeners.size());
}

void NutServer::Stop() {
  Impl& m = *impl_;
  bool ended = true;
  if (m.thread) {
    m.stop_requested.store(true);
    ended = m.thread->Join(kStopWaitMs);
    if (!ended) {
      // Its sockets are left to it; it ends with the process.
      Trace("NUT server: the thread did not stop\n");
      m.thread->ForceEnd();
    }
    m.thread.reset();
  }
  if (ended) {
    for (SocketHandle listener : m.listeners) tcp::Close(listener);
  }
  m.listeners.clear();
  m.ports.clear();
  m.logged_in.store(0);
  if (m.library_started) {
    tcp::CleanupLibrary();
    m.library_started = false;
  }
}

bool NutServer::Running() const { return impl_->thread != nullptr; }

int NutServer::ListeningPort(size_t index) const {
  return index < impl_->ports.size() ? impl_->ports[index] : 0;
}

void NutServer::BeginShutdown() { impl_->forced_shutdown.store(true); }

int NutServer::PeersLoggedIn() const { return impl_->logged_in.load(); }

int NutServer::WaitLimitMs() const { return impl_->wait_limit_ms.load(); }

namespace {

NutServer& ProcessNutServer() {
  // Lives as long as the process: the UPS shutdown may still ask it about
  // the secondaries on another thread while the body stops it.
  static NutServer* server = new NutServer;
  return *server;
}

}  // namespace

void StartProcessNutServer(ServiceContext& context) {
  NutServer& server = ProcessNutServer();
  if (server.Start(context, ReadNutSettings()) > 0) {
    context.shutdown_peers.store(&server);
  }
}

void StopProcessNutServer(ServiceContext& context) {
  context.shutdown_peers.store(nullptr);
  ProcessNutServer().Stop();
}

}  // namespace zep
