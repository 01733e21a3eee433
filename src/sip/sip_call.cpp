#include "sip/sip_call.h"

#include "media/toolkit/tick.h"

namespace corvel {

bool CallMatches(const SipCall& record, const SipCall& probe) {
  if (probe.Identify != 0 && probe.Identify == record.Identify) return true;
  if (probe.callId && record.callId && *probe.callId == *record.callId) return true;
  if (probe.cid != 0 && probe.cid == record.cid) return true;
  return probe.outgoing != 0 && !probe.callId && probe.CallName == record.CallName;
}

bool CallIsStale(const SipCall& record, uint32_t nowTick) {
  if (record.state == 5) return false;
  return TickSince(record.startTick, nowTick) / 1000 >= record.timeout;
}

std::optional<SipCall> CallTable::Update(const SipCall& probe,
                                         const std::function<void(SipCall&)>& change) {
  std::optional<SipCall> changed;
  list_.ForEach([&](SipCall& record) {
    if (changed || !CallMatches(record, probe)) return;
    change(record);
    changed = record;
  });
  return changed;
}

}  // namespace corvel
