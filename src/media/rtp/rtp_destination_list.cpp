#include "media/rtp/rtp_destination_list.h"

#include <mutex>
#include <new>

namespace corvel {
namespace {

struct Endpoint {
  uint32_t address;
  uint16_t port;
};

bool SameEndpoint(const RtpDestination& entry, const Endpoint& endpoint) {
  return entry.address == endpoint.address && entry.port == endpoint.port;
}

bool SameSsrc(const RtpDestination& entry, const uint32_t& ssrc) {
  return entry.ssrc == ssrc;
}

}  // namespace

RtpDestinationList::RtpDestinationList(std::unique_ptr<EventLock> lock,
                                       std::unique_ptr<SyncList<RtpDestination>> entries)
    : lock_(std::move(lock)), entries_(std::move(entries)) {}

std::unique_ptr<RtpDestinationList> RtpDestinationList::Create() {
  std::unique_ptr<EventLock> lock = EventLock::Create();
  std::unique_ptr<SyncList<RtpDestination>> entries = SyncList<RtpDestination>::Create(false);
  if (!lock || !entries) return nullptr;
  try {
    return std::unique_ptr<RtpDestinationList>(
        new RtpDestinationList(std::move(lock), std::move(entries)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int RtpDestinationList::Add(uint32_t ssrc, uint32_t address, uint16_t port) {
  const std::lock_guard<EventLock> guard(*lock_);
  bool handled = false;
  const Endpoint endpoint{address, port};
  entries_->ForEach([&](RtpDestination& entry) {
    if (handled || !SameEndpoint(entry, endpoint)) return;
    if (entry.ssrc == 0) entry.ssrc = ssrc;
    handled = true;
  });
  if (handled) return 0;
  entries_->ForEach([&](RtpDestination& entry) {
    if (handled || !SameSsrc(entry, ssrc)) return;
    entry.address = address;
    entry.port = port;
    handled = true;
  });
  if (handled) return 0;
  return entries_->Insert(RtpDestination{ssrc, address, port}, -1);
}

bool RtpDestinationList::Contains(uint32_t address, uint16_t port) const {
  const std::lock_guard<EventLock> guard(*lock_);
  return entries_->Find(Endpoint{address, port}, SameEndpoint).has_value();
}

void RtpDestinationList::Clear() {
  const std::lock_guard<EventLock> guard(*lock_);
  while (entries_->Remove(0)) {
  }
}

std::vector<RtpDestination> RtpDestinationList::Snapshot() const {
  const std::lock_guard<EventLock> guard(*lock_);
  std::vector<RtpDestination> entries;
  try {
    entries.reserve(static_cast<std::size_t>(entries_->count()));
    entries_->ForEach([&](const RtpDestination& entry) { entries.push_back(entry); });
  } catch (const std::bad_alloc&) {
    entries.clear();
  }
  return entries;
}

int RtpDestinationList::count() const {
  const std::lock_guard<EventLock> guard(*lock_);
  return entries_->count();
}

}  // namespace corvel
