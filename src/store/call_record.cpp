#include "store/call_record.h"

#include "app/format.h"
#include "store/list_fill.h"

namespace corvel {

std::vector<std::string> CallRecordColumns() {
  return {"电话号码", "呼叫类型", "呼叫时间", "通话时长", "状态"};
}

std::string CallTimeText(const LocalTime& time) {
  return Format("%04d/%02d/%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
}

std::string TalkTimeText(std::int64_t seconds) {
  if (seconds < 1) seconds = 1;
  const long long hours = seconds / 3600;
  const long long minutes = seconds / 60 % 60;
  return Format("%02lld:%02lld:%02lld", hours, minutes, static_cast<long long>(seconds % 60));
}

void AppendCallRecord(ListModel& list, const CallRecord& record) {
  const int row = list.InsertRow(list.rowCount());
  const std::string texts[] = {record.number, record.kind, CallTimeText(record.started),
                               TalkTimeText(record.talkSeconds), record.state};
  for (int j = 0; j < 5; ++j)
    list.SetCellText(row, j, texts[j]);
  AutoSizeColumns(&list);
}

}  // namespace corvel
