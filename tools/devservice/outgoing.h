// A packet the service is about to send, with its destination and how long to hold it back.
#pragma once

#include "service/service_packet.h"

namespace corvel::devservice {

struct Outgoing {
  ServicePacket packet;
  Endpoint to;
  int delayMs = 0;
};

}  // namespace corvel::devservice
