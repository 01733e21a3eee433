#include "sip/ua/core.h"

namespace corvel::ua {

void Core::Emit(EventType type, const char* textinfo, EventIds ids, const osip_message_t* request,
                const osip_message_t* response, const osip_message_t* ack,
                const std::string& sourceHost, int sourcePort) {
  EventPtr event = std::make_unique<Event>();
  event->type = type;
  event->textinfo = textinfo != nullptr ? textinfo : "";
  event->tid = ids.tid;
  event->cid = ids.cid;
  event->did = ids.did;
  event->rid = ids.rid;
  event->request = CloneMessage(request);
  event->response = CloneMessage(response);
  event->ack = CloneMessage(ack);
  event->sourceHost = sourceHost;
  event->sourcePort = sourcePort;
  events.Push(std::move(event));
}

void Core::EmitForRequest(EventType type, const char* textinfo, const TransactionEntry& entry,
                          int tid, const osip_message_t* request) {
  Emit(type, textinfo, {tid, entry.cid, entry.did, 0}, request, nullptr, nullptr, entry.sourceHost,
       entry.sourcePort);
}

}  // namespace corvel::ua
