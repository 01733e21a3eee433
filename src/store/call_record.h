// The call records list (电话号码, 呼叫类型, 呼叫时间, 通话时长, 状态): one row per finished call
// or call-back attempt, appended by the call windows, never stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/local_time.h"
#include "store/list_model.h"

namespace corvel {

struct CallRecord {
  std::string number;
  std::string kind;   // "SIP呼出", "SIP呼入", "回拨呼出" ...
  LocalTime started;  // local time the call started
  std::int64_t talkSeconds = 0;
  std::string state;  // "通话结束", "回拨超时" ...
};

std::vector<std::string> CallRecordColumns();

// "%04d/%02d/%02d %02d:%02d:%02d".
std::string CallTimeText(const LocalTime& time);

// "%02d:%02d:%02d" of hours, minutes, seconds; under one second (negative too) it is
// "00:00:01", so a record never shows a call of no length.
std::string TalkTimeText(std::int64_t seconds);

// Appends the record as the last row and fits the columns.
void AppendCallRecord(ListModel& list, const CallRecord& record);

}  // namespace corvel
