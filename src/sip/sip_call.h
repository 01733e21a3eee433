// One call of the SIP endpoint's call table, and the table itself.
//
// The table is a locked list of value records: every operation is atomic, and what it hands out
// is a copy. A record changes only through Update, so two threads never write the same record
// through a stale copy; the endpoint's operations and handlers all hold the stack lock as well.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media/toolkit/sync_list.h"

namespace corvel {

// A SIP Call-ID: the part before the "@" and the host after it (empty when there is none).
struct CallId {
  std::string number;
  std::string host;
  friend bool operator==(const CallId&, const CallId&) = default;
};

// Where an incoming INVITE came from: host and port as text.
struct CallRoute {
  std::string host;
  std::string port;
};

struct SipCall {
  // 0 only in search probes; 1 new; 2 the other side rings; 5 connected; -1 ended (only ever
  // seen by the report).
  int16_t state = 0;
  int16_t outgoing = 0;       // 1 while this side is the one that offered
  uint8_t notifyService = 0;  // set by the window for a connected outgoing call to report
  uint8_t failed = 0;         // ended by a failure answer or by the other side's BYE
  // 0 none, 1 404 received, 2 406 received, 3 486 received, 4 refused here with a code > 399.
  uint8_t reason = 0;
  uint32_t Identify = 0;  // never 0 for a stored call
  uint32_t conferenceId = 0;
  uint32_t timeout = 0;    // seconds the call may stay unconnected
  uint32_t startTick = 0;  // when the record was made
  std::string CallName;    // the called number, or the caller's user
  std::optional<CallId> callId;
  std::optional<CallRoute> route;  // incoming calls only
  int32_t tid = 0;
  int32_t cid = 0;
  int32_t did = 0;
};

// A record matches a probe when any of these holds, tried in order: the same non-zero
// Identify; the same Call-ID; the same non-zero cid; the probe is an outgoing call without a
// Call-ID and has the record's CallName.
bool CallMatches(const SipCall& record, const SipCall& probe);

// The ends of a call state the sweep looks at: seconds since startTick (modulo 2^32) against
// timeout, for calls not connected.
bool CallIsStale(const SipCall& record, uint32_t nowTick);

class CallTable {
 public:
  CallTable() : list_(true) {}

  // False when memory is short.
  bool Append(const SipCall& call) { return list_.Insert(call, -1) == 0; }
  std::optional<SipCall> Find(const SipCall& probe) const {
    return list_.Find(
        probe, [](const SipCall& record, const SipCall& key) { return CallMatches(record, key); });
  }
  std::optional<SipCall> FindAndRemove(const SipCall& probe) {
    return list_.RemoveIf(
        probe, [](const SipCall& record, const SipCall& key) { return CallMatches(record, key); });
  }
  // The first record for which stale(record) is true, taken out of the table.
  std::optional<SipCall> RemoveFirstWhere(const std::function<bool(const SipCall&)>& stale) {
    return list_.RemoveIf(0, [&stale](const SipCall& record, int) { return stale(record); });
  }
  std::optional<SipCall> RemoveFirst() { return list_.Remove(0); }
  // Changes the first record matching probe; a copy of it afterwards, or none.
  std::optional<SipCall> Update(const SipCall& probe, const std::function<void(SipCall&)>& change);
  int count() const { return list_.count(); }
  // Whether some call is not connected yet, and so may go stale.
  bool AnyUnconnected() const {
    bool found = false;
    list_.ForEach([&found](const SipCall& record) { found = found || record.state != 5; });
    return found;
  }

 private:
  SyncList<SipCall> list_;
};

}  // namespace corvel
