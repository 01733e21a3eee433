// The players of a call, one per remote synchronisation source (SSRC), each created on its
// source's first packet. A call may bring at most kMaxPlayers sources: every player holds an
// output stream and three threads, and packets from arbitrary senders with ever new SSRCs must
// not open streams without bound; packets of further sources are refused until Reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "media/audio/wave_player.h"
#include "media/toolkit/sync_list.h"

namespace corvel {

class PlayerTable {
 public:
  static constexpr int kMaxPlayers = 4;

  // Players open their output streams on `backend` (none: no player can be made) and report
  // their levels to `speakerLevel` (may be empty). nullptr when memory is short.
  static std::unique_ptr<PlayerTable> Create(std::shared_ptr<AudioBackend> backend, int threshold,
                                             LevelSink speakerLevel);

  ~PlayerTable();  // destroys every player
  PlayerTable(const PlayerTable&) = delete;
  PlayerTable& operator=(const PlayerTable&) = delete;

  // Feeds the PCM to the player of `ssrc`, creating it first when the source is new. 0; -1 when
  // the table is dead, the input is empty, the player cannot be created or the table is full
  // (the next packet of the source tries again).
  int Play(uint32_t ssrc, const uint8_t* pcm, int byteCount, int channels, int bitsPerSample,
           int samplesPerSecond);

  // Destroys every player, as at the end of a call.
  void Reset();

  // The threshold that players created from now on start with.
  void setThreshold(int threshold) { threshold_ = threshold; }
  int threshold() const { return threshold_; }
  // The playout delay in ms that players created from now on buffer for (see PlayoutLimits).
  void setPlayoutDelay(int delayMs) { playoutDelayMs_ = delayMs; }

  int count() const { return players_.count(); }
  // The player of `ssrc`, for inspection; null when there is none.
  std::shared_ptr<const WavePlayer> Find(uint32_t ssrc) const;

 private:
  PlayerTable(std::shared_ptr<AudioBackend> backend, int threshold, LevelSink speakerLevel);
  std::shared_ptr<WavePlayer> Lookup(uint32_t ssrc) const;

  std::atomic<bool> alive_{true};
  const std::shared_ptr<AudioBackend> backend_;
  const LevelSink speakerLevel_;
  std::atomic<int> threshold_;
  std::atomic<int> playoutDelayMs_{PlayoutLimits::kDefaultDelayMs};
  std::mutex createMutex_;  // serialises the creation of players, so a source gets one
  // A player is shared while it is fed, so Reset from another thread cannot pull it away from
  // under a Feed; it goes once the last holder lets go.
  SyncList<std::shared_ptr<WavePlayer>> players_{true};
};

}  // namespace corvel
