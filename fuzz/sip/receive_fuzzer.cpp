// Fuzz target for the core's receive path: each input is one or more datagrams (separated by a
// line "--next--") handed to the core as if received from 127.0.0.1, with a small application
// that answers calls and acknowledges answers so that dialog code runs too. The core sends only
// to loopback addresses here.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "sip/ua/user_agent.h"

namespace {

using namespace corvel::ua;

constexpr std::string_view kSeparator = "\n--next--\n";
// Fresh state every so often keeps one long run from filling the core's bounded tables.
constexpr int kInputsPerCore = 200;

std::unique_ptr<UserAgent> NewCore() {
  auto core = std::make_unique<UserAgent>();
  core->SetOption(Option::kOwnThread, 0);
  if (core->Init() != 0 || core->ListenAddr(17, "127.0.0.1", 0, 2, 0) != 0) return nullptr;
  core->SetOption(Option::kLoopbackOnly, 1);
  return core;
}

void WriteNothing(const char*, int, osip_trace_level_t, const char*, va_list) {}

void Silence() {
  // osip reports every parse error on the terminal unless given a trace function of its own;
  // a fuzz run makes millions.
  osip_trace_initialize_func(TRACE_LEVEL0, WriteNothing);
}

// What an application does with the events: answers, ACKs, ends.
void React(UserAgent& core) {
  while (EventPtr event = core.EventWait(0, 0)) {
    switch (event->type) {
      case EXOSIP_CALL_INVITE:
        core.CallSendAnswer(event->tid, 180, nullptr);
        core.CallSendAnswer(event->tid, 200, nullptr);
        break;
      case EXOSIP_CALL_ANSWERED: {
        MessagePtr ack;
        if (core.CallBuildAck(event->did, &ack) == 0) core.CallSendAck(event->did, std::move(ack));
        break;
      }
      case EXOSIP_CALL_ACK:
        core.GetRemoteSdp(event->did);
        core.CallTerminate(event->cid, event->did);
        break;
      default:
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<UserAgent> core;
  static int inputs = 0;
  if (!core || ++inputs % kInputsPerCore == 0) {
    core.reset();
    core = NewCore();
    Silence();
    if (!core) return 0;
  }
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const std::size_t cut = rest.find(kSeparator);
    const std::string_view datagram = rest.substr(0, cut);
    core->InjectDatagram(datagram.data(), datagram.size(), "127.0.0.1", 9);
    React(*core);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + kSeparator.size());
  }
  return 0;
}
