#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "sim/clock.h"
#include "sim/poll_wait.h"
#include "sim/serve.h"

namespace torvex::sim {
namespace {

// Reads per round from a client, so one that never pauses cannot hold off the stop signals and
// the answers.
constexpr int kReadsPerRound = 16;

}  // namespace

int ServeTcp(const TcpListener& listener, const std::function<std::unique_ptr<Conversation>()>& converse,
             StopSignals& stop, Observer& observer, bool closeAfterAnswer) {
  // A client that has gone shows as a failed write, not as a signal that ends the simulator.
  ::signal(SIGPIPE, SIG_IGN);
  std::optional<TcpConnection> client;
  std::unique_ptr<Conversation> conversation;
  // `why` empty: closed after an answer, without a word.
  auto letGo = [&](const std::string& why) {
    if (!why.empty()) observer.Say("client " + client->Peer() + " " + why);
    conversation.reset();
    client.reset();
  };

  // Reads all the client has sent (within a bound), so its end is seen as soon as it is there.
  std::array<std::uint8_t, 4096> buffer{};
  auto hear = [&](std::int64_t nowUs) {
    for (int reads = 0; client && conversation->WantsInput(nowUs) && reads < kReadsPerRound; ++reads) {
      const ssize_t n = ::read(client->Fd(), buffer.data(), buffer.size());
      if (n > 0) {
        if (auto lost = conversation->Receive(std::span(buffer.data(), static_cast<std::size_t>(n)), nowUs)) {
          letGo("sent " + *lost + "; the stream has lost its step, so its connection is closed");
        }
      } else if (n == 0) {
        letGo("disconnected");
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return;
      } else if (errno != EINTR) {
        letGo(std::string("is gone: ") + std::strerror(errno));
      }
    }
  };

  for (;;) {
    std::int64_t now = NowMicros();
    const bool writing = conversation && conversation->Output().HasDue(now);
    std::optional<std::int64_t> wake;
    if (conversation) {
      wake = conversation->Deadline();
      if (!writing) Earliest(wake, conversation->Output().NextDue());
    }
    const bool reading = conversation && conversation->WantsInput(now);
    pollfd fds[3] = {{stop.Fd(), POLLIN, 0},
                     {listener.Fd(), POLLIN, 0},
                     {client ? client->Fd() : -1, static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0)), 0}};
    if (!PollUntil(fds, wake, now)) {
      observer.Say(std::string("waiting for clients failed: ") + std::strerror(errno));
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      stop.Take();
      return 0;
    }

    now = NowMicros();
    if (fds[2].revents != 0) hear(now);
    // A reset or hang-up is reported whether or not the loop reads; while it does not, that
    // report is the client's end.
    if (client && (fds[2].revents & (POLLERR | POLLHUP)) && !conversation->WantsInput(now)) {
      letGo("is gone");
    }
    if (fds[1].revents & POLLIN) {
      while (std::optional<TcpConnection> caller = listener.Accept()) {
        // A client that has closed (and perhaps reconnects now) is gone, not in the way; only
        // one still connected makes the caller a second client.
        hear(now);
        if (client) {
          observer.Say("refused a second client from " + caller->Peer() + ": one connection at a time");
          continue;  // closed as it goes out of scope
        }
        client = std::move(caller);
        conversation = converse();
        if (closeAfterAnswer) {
          conversation->CloseAfterEachAnswer();
        } else {
          observer.Say("client " + client->Peer() + " connected");
        }
      }
    }
    if (conversation) {
      conversation->Advance(now);
      if (!conversation->Output().Flush(client->Fd(), now)) {
        letGo(std::string("is gone: ") + std::strerror(errno));
      } else if (conversation->Output().Closing()) {
        letGo({});
      }
    }
  }
}

}  // namespace torvex::sim
