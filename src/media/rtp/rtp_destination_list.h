// The destinations of a session, with the rules by which a peer's address and its SSRC are
// learned. Safe between threads: one lock covers each whole operation, including the sends of
// ForEach, so a change waits for a transmission in progress and vice versa.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/rtp/rtp_destination.h"
#include "media/toolkit/event_lock.h"
#include "media/toolkit/sync_list.h"

namespace corvel {

class RtpDestinationList {
 public:
  // nullptr when memory is short.
  static std::unique_ptr<RtpDestinationList> Create();

  RtpDestinationList(const RtpDestinationList&) = delete;
  RtpDestinationList& operator=(const RtpDestinationList&) = delete;

  // An entry with this address and port only learns the ssrc when its own is still 0. Failing
  // that, the entry with this ssrc (0 matching an entry whose ssrc is still 0) moves to the
  // address and port. Otherwise a new entry is appended. 0, or -1 when memory is short (the list
  // is then unchanged).
  int Add(uint32_t ssrc, uint32_t address, uint16_t port);

  // True when an entry has this address and port.
  bool Contains(uint32_t address, uint16_t port) const;

  void Clear();

  // Calls visit(destination) for each entry in order, holding the lock throughout; false, without
  // a call, when the list is empty.
  template <typename Visit>
  bool ForEach(Visit visit) const {
    const std::lock_guard<EventLock> guard(*lock_);
    if (entries_->count() == 0) return false;
    entries_->ForEach(visit);
    return true;
  }

  std::vector<RtpDestination> Snapshot() const;  // the entries in order
  int count() const;

 private:
  RtpDestinationList(std::unique_ptr<EventLock> lock,
                     std::unique_ptr<SyncList<RtpDestination>> entries);

  const std::unique_ptr<EventLock> lock_;  // guards entries_, across each whole operation
  const std::unique_ptr<SyncList<RtpDestination>> entries_;  // created without a lock of its own
};

}  // namespace corvel
