#include "media/audio/player_table.h"

#include <optional>

namespace corvel {

PlayerTable::PlayerTable(std::shared_ptr<AudioBackend> backend, int threshold,
                         LevelSink speakerLevel)
    : backend_(std::move(backend)), speakerLevel_(std::move(speakerLevel)), threshold_(threshold) {}

std::unique_ptr<PlayerTable> PlayerTable::Create(std::shared_ptr<AudioBackend> backend,
                                                 int threshold, LevelSink speakerLevel) {
  try {
    return std::unique_ptr<PlayerTable>(
        new PlayerTable(std::move(backend), threshold, std::move(speakerLevel)));
  } catch (...) {
    return nullptr;
  }
}

PlayerTable::~PlayerTable() {
  alive_ = false;
  Reset();
}

std::shared_ptr<WavePlayer> PlayerTable::Lookup(uint32_t ssrc) const {
  std::optional<std::shared_ptr<WavePlayer>> found =
      players_.Find(ssrc, [](const std::shared_ptr<WavePlayer>& player, uint32_t key) {
        return player->ssrc() == key;
      });
  return found ? *found : nullptr;
}

std::shared_ptr<const WavePlayer> PlayerTable::Find(uint32_t ssrc) const {
  return Lookup(ssrc);
}

int PlayerTable::Play(uint32_t ssrc, const uint8_t* pcm, int byteCount, int channels,
                      int bitsPerSample, int samplesPerSecond) {
  if (!alive_ || pcm == nullptr || byteCount <= 0) return -1;
  std::shared_ptr<WavePlayer> player = Lookup(ssrc);
  if (!player) {
    if (!backend_) return -1;
    try {
      const std::lock_guard<std::mutex> guard(createMutex_);
      player = Lookup(ssrc);
      if (!player) {
        if (players_.count() >= kMaxPlayers) return -1;
        const PcmFormat format{channels, bitsPerSample, samplesPerSecond};
        player = WavePlayer::Create(*backend_, ssrc, format, WavePlayer::kPeriodMs, threshold_,
                                    speakerLevel_, PlayoutLimits::ForDelay(playoutDelayMs_));
        if (!player || players_.Insert(player, -1) != 0) return -1;
      }
    } catch (...) {
      return -1;
    }
  }
  return player->Feed(pcm, byteCount);
}

void PlayerTable::Reset() {
  // Each player is taken out under the list's lock and destroyed outside it: a player takes a
  // moment to stop its threads.
  while (std::optional<std::shared_ptr<WavePlayer>> player = players_.Remove(0)) {
    player.reset();
  }
}

}  // namespace corvel
