// The messages the core writes itself: new requests, responses to received requests, CANCEL,
// and requests inside a dialog (RFC 3261 8.1.1, 8.2.6, 9.1, 12.2.1.1).
#include <string>

#include "media/toolkit/host_address.h"
#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

constexpr const char* kAllow = "INVITE, ACK, CANCEL, BYE, OPTIONS, INFO";

bool HasText(const char* text) {
  return text != nullptr && text[0] != '\0';
}

MessagePtr NewMessage() {
  osip_message_t* raw = nullptr;
  if (osip_message_init(&raw) != 0) return nullptr;
  return MessagePtr(raw);
}

// Gives the header its tag when it has none yet.
void EnsureTag(osip_from_t* header, const char* tag) {
  if (header == nullptr || !HasText(tag)) return;
  osip_generic_param_t* existing = nullptr;
  osip_uri_param_get_byname(&header->gen_params, const_cast<char*>("tag"), &existing);
  if (existing == nullptr) osip_from_set_tag(header, osip_strdup(tag));
}

bool CopyRoutes(const osip_list_t* from, osip_list_t* to, int skip) {
  for (int at = skip; !osip_list_eol(from, at); ++at) {
    auto* route = static_cast<osip_route_t*>(osip_list_get(from, at));
    osip_route_t* copy = nullptr;
    if (osip_route_clone(route, &copy) != 0) return false;
    osip_list_add(to, copy, -1);
  }
  return true;
}

}  // namespace

std::string Core::RandomToken(int length) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string token;
  token.reserve(static_cast<std::size_t>(length));
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kAlphabet) - 2);
  for (int i = 0; i < length; ++i)
    token.push_back(kAlphabet[pick(random)]);
  return token;
}

std::string Core::contactHost() const {
  if (!masqueradeHost.empty()) return masqueradeHost;
  if (transport && transport->boundHost() != "0.0.0.0") return transport->boundHost();
  const std::vector<uint32_t> own = HostIPv4Addresses();
  return own.empty() ? "127.0.0.1" : Ipv4ToText(own.front());
}

int Core::contactPort() const {
  if (masqueradePort > 0) return masqueradePort;
  return transport ? transport->boundPort() : 5060;
}

std::string Core::ContactFor(const osip_uri_t* uri) const {
  std::string contact = "<sip:";
  if (uri != nullptr && HasText(uri->username)) {
    contact += uri->username;
    contact += '@';
  }
  contact += contactHost() + ":" + std::to_string(contactPort()) + ">";
  return contact;
}

bool Core::AddTopVia(osip_message_t* message) {
  const std::string via = "SIP/2.0/UDP " + contactHost() + ":" + std::to_string(contactPort()) +
                          ";rport;branch=" + NewBranch();
  return osip_message_set_via(message, via.c_str()) == 0;
}

void Core::AddCommonHeaders(osip_message_t* message, bool withContact,
                            const osip_uri_t* contactUser) {
  if (withContact) osip_message_set_contact(message, ContactFor(contactUser).c_str());
  if (!userAgent.empty()) osip_message_set_header(message, "User-Agent", userAgent.c_str());
}

MessagePtr Core::NewRequest(const std::string& method, const std::string& requestUri,
                            const std::string& from, const std::string& fromTag,
                            const std::string& to, const std::string& callId, int cseq) {
  MessagePtr message = NewMessage();
  if (!message) return nullptr;
  osip_message_t* m = message.get();
  UriPtr uri = ParseUri(requestUri);
  if (!uri) return nullptr;
  osip_message_set_uri(m, uri.release());
  osip_message_set_method(m, OsipCopy(method));
  osip_message_set_version(m, OsipCopy("SIP/2.0"));
  if (osip_message_set_from(m, from.c_str()) != 0 || m->from == nullptr) return nullptr;
  EnsureTag(m->from, fromTag.c_str());
  if (osip_message_set_to(m, to.c_str()) != 0 || m->to == nullptr) return nullptr;
  if (osip_message_set_call_id(m, callId.c_str()) != 0) return nullptr;
  if (osip_message_set_cseq(m, (std::to_string(cseq) + " " + method).c_str()) != 0) return nullptr;
  if (!AddTopVia(m)) return nullptr;
  osip_message_set_header(m, "Max-Forwards", "70");
  AddCommonHeaders(m, false, nullptr);
  return message;
}

MessagePtr Core::NewResponse(const osip_message_t* request, int status, const char* toTag) {
  if (request == nullptr || !IsWellFormed(request)) return nullptr;
  MessagePtr message = NewMessage();
  if (!message) return nullptr;
  osip_message_t* m = message.get();
  osip_message_set_version(m, OsipCopy("SIP/2.0"));
  osip_message_set_status_code(m, status);
  const char* reason = osip_message_get_reason(status);
  osip_message_set_reason_phrase(m, OsipCopy(reason != nullptr ? reason : "Unknown"));
  if (osip_list_clone(&request->vias, &m->vias,
                      reinterpret_cast<int (*)(void*, void**)>(&osip_via_clone)) != 0 ||
      osip_from_clone(request->from, &m->from) != 0 || osip_to_clone(request->to, &m->to) != 0 ||
      osip_call_id_clone(request->call_id, &m->call_id) != 0 ||
      osip_cseq_clone(request->cseq, &m->cseq) != 0) {
    return nullptr;
  }
  if (status > 100) EnsureTag(m->to, toTag);
  const bool invite = IsRequest(request, "INVITE");
  if (invite && status > 100 && status < 300) {
    CopyRoutes(&request->record_routes, &m->record_routes, 0);
    AddCommonHeaders(m, true, request->req_uri);
  } else {
    AddCommonHeaders(m, false, nullptr);
  }
  if (status == 405 || (IsRequest(request, "OPTIONS") && status < 300)) {
    osip_message_set_allow(m, kAllow);
  }
  if (IsRequest(request, "OPTIONS") && status < 300) {
    osip_message_set_accept(m, "application/sdp");
  }
  return message;
}

MessagePtr Core::NewCancel(const osip_message_t* invite) {
  if (invite == nullptr || invite->req_uri == nullptr) return nullptr;
  MessagePtr message = NewMessage();
  if (!message) return nullptr;
  osip_message_t* m = message.get();
  osip_uri_t* uri = nullptr;
  if (osip_uri_clone(invite->req_uri, &uri) != 0) return nullptr;
  osip_message_set_uri(m, uri);
  osip_message_set_method(m, OsipCopy("CANCEL"));
  osip_message_set_version(m, OsipCopy("SIP/2.0"));
  // RFC 3261 9.1: the INVITE's Request-URI, Call-ID, From, To, CSeq number, top Via and Route.
  auto* topVia = static_cast<osip_via_t*>(osip_list_get(&invite->vias, 0));
  osip_via_t* via = nullptr;
  if (topVia == nullptr || osip_via_clone(topVia, &via) != 0) return nullptr;
  osip_list_add(&m->vias, via, 0);
  if (osip_from_clone(invite->from, &m->from) != 0 || osip_to_clone(invite->to, &m->to) != 0 ||
      osip_call_id_clone(invite->call_id, &m->call_id) != 0) {
    return nullptr;
  }
  const std::string cseq = std::to_string(CseqNumber(invite)) + " CANCEL";
  if (osip_message_set_cseq(m, cseq.c_str()) != 0) return nullptr;
  if (!CopyRoutes(&invite->routes, &m->routes, 0)) return nullptr;
  osip_message_set_header(m, "Max-Forwards", "70");
  AddCommonHeaders(m, false, nullptr);
  return message;
}

MessagePtr Core::NewInDialogRequest(DialogEntry& entry, const std::string& method) {
  osip_dialog_t* dialog = entry.dialog.get();
  if (dialog == nullptr || dialog->remote_uri == nullptr || dialog->local_uri == nullptr) {
    return nullptr;
  }
  const osip_uri_t* target =
      dialog->remote_contact_uri != nullptr && dialog->remote_contact_uri->url != nullptr
          ? dialog->remote_contact_uri->url
          : dialog->remote_uri->url;
  if (target == nullptr) return nullptr;
  auto* firstRoute = static_cast<osip_route_t*>(osip_list_get(&dialog->route_set, 0));
  bool strict = false;
  if (firstRoute != nullptr && firstRoute->url != nullptr) {
    osip_uri_param_t* lr = nullptr;
    osip_uri_param_get_byname(&firstRoute->url->url_params, const_cast<char*>("lr"), &lr);
    strict = lr == nullptr;
  }

  MessagePtr message = NewMessage();
  if (!message) return nullptr;
  osip_message_t* m = message.get();
  osip_uri_t* uri = nullptr;
  // RFC 3261 12.2.1.1: a strict first route becomes the Request-URI and the remote target the
  // last route.
  if (osip_uri_clone(strict ? firstRoute->url : target, &uri) != 0) return nullptr;
  osip_message_set_uri(m, uri);
  osip_message_set_method(m, OsipCopy(method));
  osip_message_set_version(m, OsipCopy("SIP/2.0"));
  if (osip_to_clone(dialog->remote_uri, &m->to) != 0 ||
      osip_from_clone(dialog->local_uri, &m->from) != 0) {
    return nullptr;
  }
  EnsureTag(m->to, dialog->remote_tag);
  EnsureTag(m->from, dialog->local_tag);
  if (osip_message_set_call_id(m, dialog->call_id) != 0) return nullptr;
  int cseq = entry.inviteCseq;
  if (method != "ACK") {
    if (dialog->local_cseq < 1) dialog->local_cseq = 1;
    cseq = ++dialog->local_cseq;
  }
  if (osip_message_set_cseq(m, (std::to_string(cseq) + " " + method).c_str()) != 0) return nullptr;
  if (!CopyRoutes(&dialog->route_set, &m->routes, strict ? 1 : 0)) return nullptr;
  if (strict) {
    osip_route_t* last = nullptr;
    osip_uri_t* lastUri = nullptr;
    if (osip_route_init(&last) != 0) return nullptr;
    if (osip_uri_clone(target, &lastUri) != 0) {
      osip_route_free(last);
      return nullptr;
    }
    osip_route_set_url(last, lastUri);
    osip_list_add(&m->routes, last, -1);
  }
  if (!AddTopVia(m)) return nullptr;
  osip_message_set_header(m, "Max-Forwards", "70");
  AddCommonHeaders(m, method != "ACK", dialog->local_uri->url);
  return message;
}

MessagePtr Core::NewAck(DialogEntry& dialog) {
  return NewInDialogRequest(dialog, "ACK");
}

}  // namespace corvel::ua
