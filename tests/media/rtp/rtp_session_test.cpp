#include "media/rtp/rtp_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "loopback.h"

namespace corvel {
namespace {

using testing::kLoopback;
using testing::LoopbackSession;
using testing::Peer;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

Bytes Pattern(int length, int seed) {
  Bytes bytes(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(seed + i);
  return bytes;
}

Bytes PayloadOf(const RtpPacket& packet) {
  return Bytes(packet.payload.begin(), packet.payload.begin() + packet.payloadLength);
}

const Bytes kUnmarked = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

// Fills the receive queue to exactly its capacity, in batches small enough for the socket's
// buffer, each waited for, so that no datagram is lost on the way and none is left over.
bool FillReceiveQueue(const RtpSession& session, Peer& flooder) {
  constexpr int kBatch = 100;
  for (int queued = 0; queued < RtpSession::kReceiveQueueCapacity; queued += kBatch) {
    for (int i = 0; i < kBatch; ++i) {
      if (flooder.Send(kUnmarked, session.rtpPort()) <= 0) return false;
    }
    const Clock::time_point start = Clock::now();
    while (session.pendingCount() < queued + kBatch) {
      if (MsSince(start) > 5000) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return session.pendingCount() == RtpSession::kReceiveQueueCapacity;
}

// A session sending to one plain peer.
struct SenderFixture {
  SenderFixture() : session(LoopbackSession(false)) {
    if (session && peer.ok()) session->AddDestination(0, kLoopback, peer.port());
  }
  bool ok() const { return session && peer.ok(); }

  std::unique_ptr<RtpSession> session;
  Peer peer;
};

TEST(RtpSession, ALoopbackPairExchangesPackets) {
  auto a = LoopbackSession(true);
  auto b = LoopbackSession(true);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->rtcpPort(), a->rtpPort() + 1);
  ASSERT_EQ(a->AddDestination(0, kLoopback, b->rtpPort()), 0);
  ASSERT_EQ(b->AddDestination(0, kLoopback, a->rtpPort()), 0);

  constexpr int kPackets = 50;
  for (int i = 0; i < kPackets; ++i) {
    const Bytes payload = Pattern(160, i);
    ASSERT_EQ(a->Send(payload.data(), 160, 8, 160, i == 0), 0);
  }
  for (int i = 0; i < kPackets; ++i) {
    std::optional<RtpPacket> packet = b->Receive(2000);
    ASSERT_TRUE(packet) << "packet " << i;
    EXPECT_EQ(packet->version, 2);
    EXPECT_EQ(packet->sequence, i);
    EXPECT_EQ(packet->timestamp, static_cast<uint32_t>(160 * i));
    EXPECT_EQ(packet->ssrc, a->ssrc());
    EXPECT_EQ(packet->payloadType, 8);
    EXPECT_EQ(packet->marker, i == 0 ? 1 : 0);
    EXPECT_EQ(PayloadOf(*packet), Pattern(160, i));
    EXPECT_EQ(packet->peerAddress, kLoopback);
    EXPECT_EQ(packet->peerPort, a->rtpPort());
  }
  EXPECT_EQ(a->sequence(), kPackets);
  EXPECT_EQ(a->timestamp(), 160u * kPackets);

  const Bytes reply = Pattern(20, 99);
  ASSERT_EQ(b->Send(reply.data(), 20, 18, 160, false), 0);
  std::optional<RtpPacket> back = a->Receive(2000);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ssrc, b->ssrc());
  EXPECT_EQ(back->payloadType, 18);
  EXPECT_EQ(PayloadOf(*back), reply);
  EXPECT_NE(a->ssrc(), b->ssrc());
}

TEST(RtpSession, SendWithoutDestinationsFailsAndChangesNothing) {
  auto session = LoopbackSession(false);
  ASSERT_TRUE(session);
  const Bytes payload = Pattern(160, 0);
  EXPECT_EQ(session->Send(payload.data(), 160, 0, 160, false), -1);
  EXPECT_EQ(session->SendRepeat(payload.data(), 160, 0, 160, false, true), -1);
  EXPECT_EQ(session->sequence(), 0);
  EXPECT_EQ(session->timestamp(), 0u);
}

TEST(RtpSession, PayloadLengths) {
  SenderFixture f;
  ASSERT_TRUE(f.ok());
  const Bytes payload = Pattern(4, 1);
  EXPECT_EQ(f.session->Send(payload.data(), -1, 0, 160, false), -1);
  EXPECT_EQ(f.session->Send(nullptr, 4, 0, 160, false), -1);
  EXPECT_EQ(f.session->sequence(), 0);
  ASSERT_EQ(f.session->Send(nullptr, 0, 0, 160, false), 0);
  std::optional<RtpPacket> packet = f.peer.Next();
  ASSERT_TRUE(packet);
  EXPECT_EQ(f.peer.lastLength(), 12);
  EXPECT_EQ(packet->payloadLength, 0);
}

TEST(RtpSession, SendRepeatReusesThePreviousSequenceNumber) {
  SenderFixture f;
  ASSERT_TRUE(f.ok());
  const Bytes event = {1, 0x0A, 0, 160};
  struct Step {
    bool repeat;
    uint16_t sequence;
    uint32_t timestamp;
  };
  ASSERT_EQ(f.session->Send(event.data(), 4, 101, 100, true), 0);
  for (const Step& step : {Step{true, 0, 100}, Step{true, 0, 200}, Step{false, 1, 300}}) {
    ASSERT_EQ(f.session->SendRepeat(event.data(), 4, 101, 100, false, step.repeat), 0);
  }
  ASSERT_EQ(f.session->Send(event.data(), 4, 101, 100, false), 0);
  const std::vector<std::pair<uint16_t, uint32_t>> expected = {
      {0, 0}, {0, 100}, {0, 200}, {1, 300}, {2, 400}};
  for (const auto& [sequence, timestamp] : expected) {
    std::optional<RtpPacket> packet = f.peer.Next();
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->sequence, sequence);
    EXPECT_EQ(packet->timestamp, timestamp);
  }
  EXPECT_EQ(f.session->sequence(), 3);
  EXPECT_EQ(f.session->timestamp(), 500u);
}

TEST(RtpSession, SendRepeatBeforeAnyPacketCarriesTheWrappedNumber) {
  SenderFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_EQ(f.session->SendRepeat(nullptr, 0, 101, 0, false, true), 0);
  std::optional<RtpPacket> packet = f.peer.Next();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->sequence, 65535);
  EXPECT_EQ(f.session->sequence(), 0);
}

TEST(RtpSession, SendToGoesOnlyToItsAddressAndAdvancesOnlyWhenAsked) {
  SenderFixture f;
  Peer other;
  ASSERT_TRUE(f.ok() && other.ok());
  const Bytes probe = {'D', 'e', 't', 'e', 'c', 't'};
  ASSERT_EQ(f.session->SendTo(probe.data(), 6, 99, 160, true, kLoopback, other.port(), false), 0);
  ASSERT_EQ(f.session->Send(probe.data(), 6, 0, 160, false), 0);
  ASSERT_EQ(f.session->SendTo(probe.data(), 6, 99, 160, true, kLoopback, other.port(), true), 0);

  std::optional<RtpPacket> first = other.Next();
  std::optional<RtpPacket> listed = f.peer.Next();
  std::optional<RtpPacket> advanced = other.Next();
  ASSERT_TRUE(first && listed && advanced);
  EXPECT_EQ(first->sequence, listed->sequence);
  EXPECT_EQ(first->timestamp, listed->timestamp);
  EXPECT_EQ(first->marker, 1);
  EXPECT_EQ(first->payloadType, 99);
  EXPECT_EQ(advanced->sequence, 1);
  EXPECT_EQ(advanced->timestamp, 160u);
  EXPECT_EQ(f.session->sequence(), 2);
  EXPECT_EQ(f.session->timestamp(), 320u);
  EXPECT_FALSE(f.peer.Next(100)) << "the explicit sends reached the listed destination";
}

TEST(RtpSession, SendToNeedsBothAddressAndPort) {
  SenderFixture f;
  ASSERT_TRUE(f.ok());
  EXPECT_EQ(f.session->SendTo(nullptr, 0, 0, 160, false, 0, f.peer.port(), true), -1);
  EXPECT_EQ(f.session->SendTo(nullptr, 0, 0, 160, false, kLoopback, 0, true), -1);
  EXPECT_EQ(f.session->sequence(), 0);
  EXPECT_FALSE(f.peer.Next(100)) << "fell through to the destination list";
}

TEST(RtpSession, SendReachesEveryDestinationInTurn) {
  auto session = LoopbackSession(false);
  Peer first;
  Peer second;
  ASSERT_TRUE(session && first.ok() && second.ok());
  uint16_t closedPort = 0;
  {
    Peer gone;  // a port nobody listens on any more
    ASSERT_TRUE(gone.ok());
    closedPort = gone.port();
  }
  ASSERT_EQ(session->AddDestination(1, kLoopback, first.port()), 0);
  ASSERT_EQ(session->AddDestination(2, kLoopback, closedPort), 0);
  ASSERT_EQ(session->AddDestination(3, kLoopback, second.port()), 0);
  EXPECT_EQ(session->FindDestination(kLoopback, closedPort), 0);
  EXPECT_EQ(session->FindDestination(kLoopback, 1), -1);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(session->Send(nullptr, 0, 0, 160, false), 0);
  for (Peer* peer : {&first, &second}) {
    for (int i = 0; i < 3; ++i) {
      std::optional<RtpPacket> packet = peer->Next();
      ASSERT_TRUE(packet);
      EXPECT_EQ(packet->sequence, i);
    }
  }
  ASSERT_EQ(session->ClearDestinations(), 0);
  EXPECT_TRUE(session->Destinations().empty());
  EXPECT_EQ(session->Send(nullptr, 0, 0, 160, false), -1);
}

TEST(RtpSession, AddDestinationWithSsrcZeroReplacesTheUnknownPeer) {
  SenderFixture f;
  Peer moved;
  ASSERT_TRUE(f.ok() && moved.ok());
  ASSERT_EQ(f.session->AddDestination(0, kLoopback, moved.port()), 0);
  const std::vector<RtpDestination> destinations = f.session->Destinations();
  ASSERT_EQ(destinations.size(), 1u);
  EXPECT_EQ(destinations[0].port, moved.port());
  ASSERT_EQ(f.session->Send(nullptr, 0, 0, 160, false), 0);
  EXPECT_TRUE(moved.Next());
  EXPECT_FALSE(f.peer.Next(100));
}

TEST(RtpSession, SequenceAndTimestampWrapAround) {
  auto session = LoopbackSession(false);
  Peer sink;  // never read: only the last packets matter
  Peer watcher;
  ASSERT_TRUE(session && sink.ok() && watcher.ok());
  ASSERT_EQ(session->AddDestination(1, kLoopback, sink.port()), 0);
  ASSERT_EQ(session->Send(nullptr, 0, 0, 0xFFFFFFF0u, false), 0);
  for (int i = 1; i < 65535; ++i)
    ASSERT_EQ(session->Send(nullptr, 0, 0, 0, false), 0);
  EXPECT_EQ(session->sequence(), 65535);
  EXPECT_EQ(session->timestamp(), 0xFFFFFFF0u);

  ASSERT_EQ(session->ClearDestinations(), 0);
  ASSERT_EQ(session->AddDestination(2, kLoopback, watcher.port()), 0);
  ASSERT_EQ(session->Send(nullptr, 0, 0, 0x20, false), 0);
  ASSERT_EQ(session->Send(nullptr, 0, 0, 0x20, false), 0);
  std::optional<RtpPacket> last = watcher.Next();
  std::optional<RtpPacket> wrapped = watcher.Next();
  ASSERT_TRUE(last && wrapped);
  EXPECT_EQ(last->sequence, 65535);
  EXPECT_EQ(last->timestamp, 0xFFFFFFF0u);
  EXPECT_EQ(wrapped->sequence, 0);
  EXPECT_EQ(wrapped->timestamp, 0x10u);
  EXPECT_EQ(session->sequence(), 1);
}

TEST(RtpSession, SsrcGivenOrGenerated) {
  auto given = LoopbackSession(false, 0x12345678);
  auto first = LoopbackSession(false);
  auto second = LoopbackSession(false);
  ASSERT_TRUE(given && first && second);
  EXPECT_EQ(given->ssrc(), 0x12345678u);
  EXPECT_NE(first->ssrc(), 0u);
  EXPECT_NE(second->ssrc(), 0u);
  EXPECT_NE(first->ssrc(), second->ssrc());
}

TEST(RtpSession, CreateFailsOnPortsThatCannotBeBound) {
  Peer taken;
  ASSERT_TRUE(taken.ok());
  EXPECT_FALSE(RtpSession::Create(0, "127.0.0.1", taken.port(), false, false));
  // The RTP port is free but the one above it is taken.
  EXPECT_FALSE(
      RtpSession::Create(0, "127.0.0.1", static_cast<uint16_t>(taken.port() - 1), false, true));
  EXPECT_FALSE(RtpSession::Create(0, "127.0.0.1", 65535, false, true));
  EXPECT_FALSE(RtpSession::Create(0, "not an address", 0, false, false));
}

TEST(RtpSession, ReceiveWaitsOnlyAsLongAsAsked) {
  auto session = LoopbackSession(false);
  ASSERT_TRUE(session);
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(session->Receive(0));
  EXPECT_LT(MsSince(start), 50);
  start = Clock::now();
  EXPECT_FALSE(session->Receive(100));
  EXPECT_GE(MsSince(start), 95);
}

TEST(RtpSession, DestroyEndsEverything) {
  auto session = LoopbackSession(true);
  ASSERT_TRUE(session);
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    session->Receive(-1);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const Clock::time_point start = Clock::now();
  session->Destroy();
  EXPECT_LT(MsSince(start), 200);
  waiter.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(session->alive());
  EXPECT_EQ(session->AddDestination(0, kLoopback, 5000), -1);
  EXPECT_EQ(session->FindDestination(kLoopback, 5000), -1);
  EXPECT_EQ(session->ClearDestinations(), -1);
  EXPECT_EQ(session->Send(nullptr, 0, 0, 160, false), -1);
  EXPECT_EQ(session->SendTo(nullptr, 0, 0, 160, false, kLoopback, 5000, true), -1);
  EXPECT_FALSE(session->Receive(0));
  session->Destroy();  // again: nothing happens
}

TEST(RtpSession, DestroyReleasesAReceiveThreadBlockedOnAFullQueue) {
  auto session = LoopbackSession(false);
  Peer flooder;
  ASSERT_TRUE(session && flooder.ok());
  ASSERT_TRUE(FillReceiveQueue(*session, flooder));
  // More than the queue holds: the receive thread now waits for a free place.
  for (int i = 0; i < 10; ++i)
    flooder.Send(kUnmarked, session->rtpPort());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(session->pendingCount(), RtpSession::kReceiveQueueCapacity);

  const Clock::time_point start = Clock::now();
  session.reset();
  EXPECT_LT(MsSince(start), 200);
}

TEST(RtpSession, ReceivingFreesAPlaceInAFullQueue) {
  auto session = LoopbackSession(false);
  Peer flooder;
  ASSERT_TRUE(session && flooder.ok());
  ASSERT_TRUE(FillReceiveQueue(*session, flooder));
  const Bytes marked = {0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  ASSERT_GT(flooder.Send(marked, session->rtpPort()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // The thread holds the marked packet until a place is free; the oldest comes out first.
  std::optional<RtpPacket> oldest = session->Receive(0);
  ASSERT_TRUE(oldest);
  EXPECT_EQ(oldest->marker, 0);
  int drained = 1;
  std::optional<RtpPacket> packet;
  while ((packet = session->Receive(1000)) && packet->marker == 0)
    ++drained;
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->marker, 1);
  EXPECT_EQ(drained, RtpSession::kReceiveQueueCapacity);
}

TEST(RtpSession, ConcurrentSendersNeverShareASequenceNumber) {
  auto sender = LoopbackSession(false);
  auto receiver = LoopbackSession(false);
  ASSERT_TRUE(sender && receiver);
  ASSERT_EQ(sender->AddDestination(0, kLoopback, receiver->rtpPort()), 0);
  constexpr int kThreads = 3;
  constexpr int kPerThread = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        if (t == 0 && i % 2 == 1) {
          sender->SendTo(nullptr, 0, 99, 0, true, kLoopback, receiver->rtpPort(), true);
        } else {
          sender->Send(nullptr, 0, 0, 160, false);
        }
        // Short bursts, so the receiving socket's buffer never overflows and nearly every
        // packet arrives to be checked.
        if (i % 10 == 9) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  // Meanwhile the destination list is changed, as the receive side does while learning.
  std::thread changer([&] {
    for (int i = 0; i < 200; ++i) {
      sender->AddDestination(static_cast<uint32_t>(i + 1), kLoopback, receiver->rtpPort());
      sender->FindDestination(kLoopback, receiver->rtpPort());
    }
  });
  for (std::thread& thread : threads)
    thread.join();
  changer.join();
  EXPECT_EQ(sender->sequence(), kThreads * kPerThread);

  std::set<uint16_t> seen;
  int duplicates = 0;
  while (std::optional<RtpPacket> packet = receiver->Receive(300)) {
    if (!seen.insert(packet->sequence).second) ++duplicates;
  }
  EXPECT_EQ(duplicates, 0);
  EXPECT_GT(seen.size(), static_cast<std::size_t>(kThreads * kPerThread * 9 / 10));
}

}  // namespace
}  // namespace corvel
