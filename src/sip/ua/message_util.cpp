#include "sip/ua/message_util.h"

#include <cstdlib>
#include <cstring>

namespace corvel::ua {
namespace {

bool HasText(const char* text) {
  return text != nullptr && text[0] != '\0';
}

int PortOf(const osip_uri_t* uri) {
  if (uri == nullptr || !HasText(uri->port)) return 5060;
  char* end = nullptr;
  const long port = std::strtol(uri->port, &end, 10);
  if (end == uri->port || *end != '\0' || port <= 0 || port > 65535) return -1;
  return static_cast<int>(port);
}

// A "tag" parameter must carry a value: osip's dialog matching compares it without looking.
bool TagHasValue(osip_from_t* party) {
  osip_generic_param_t* tag = nullptr;
  osip_uri_param_get_byname(&party->gen_params, const_cast<char*>("tag"), &tag);
  return tag == nullptr || HasText(tag->gvalue);
}

}  // namespace

bool HasToTag(const osip_message_t* message) {
  if (message == nullptr || message->to == nullptr) return false;
  osip_generic_param_t* tag = nullptr;
  osip_uri_param_get_byname(&message->to->gen_params, const_cast<char*>("tag"), &tag);
  return tag != nullptr && HasText(tag->gvalue);
}

int CseqNumber(const osip_message_t* message) {
  if (message == nullptr || message->cseq == nullptr || message->cseq->number == nullptr) return 0;
  return std::atoi(message->cseq->number);
}

std::string MethodOf(const osip_message_t* message) {
  if (message == nullptr) return {};
  if (MSG_IS_REQUEST(message)) return HasText(message->sip_method) ? message->sip_method : "";
  if (message->cseq != nullptr && HasText(message->cseq->method)) return message->cseq->method;
  return {};
}

bool IsRequest(const osip_message_t* message, const char* method) {
  return message != nullptr && MSG_IS_REQUEST(message) && HasText(message->sip_method) &&
         std::strcmp(message->sip_method, method) == 0;
}

std::string TopBranch(const osip_message_t* message) {
  if (message == nullptr) return {};
  osip_via_t* via = static_cast<osip_via_t*>(osip_list_get(&message->vias, 0));
  if (via == nullptr) return {};
  osip_generic_param_t* branch = nullptr;
  osip_uri_param_get_byname(&via->via_params, const_cast<char*>("branch"), &branch);
  if (branch == nullptr || !HasText(branch->gvalue)) return {};
  return branch->gvalue;
}

bool SameCallId(const osip_message_t* a, const osip_message_t* b) {
  if (a == nullptr || b == nullptr || a->call_id == nullptr || b->call_id == nullptr) return false;
  return osip_call_id_match(a->call_id, b->call_id) == 0;
}

bool IsWellFormed(const osip_message_t* message) {
  if (message == nullptr) return false;
  osip_via_t* via = static_cast<osip_via_t*>(osip_list_get(&message->vias, 0));
  if (via == nullptr || !HasText(via->host) || !HasText(via->protocol)) return false;
  if (message->from == nullptr || message->from->url == nullptr) return false;
  if (message->to == nullptr || message->to->url == nullptr) return false;
  if (!TagHasValue(message->from) || !TagHasValue(message->to)) return false;
  if (message->call_id == nullptr || !HasText(message->call_id->number)) return false;
  if (message->cseq == nullptr || !HasText(message->cseq->number) ||
      !HasText(message->cseq->method)) {
    return false;
  }
  if (MSG_IS_REQUEST(message)) {
    if (!HasText(message->sip_method) || message->req_uri == nullptr) return false;
    if (std::strcmp(message->sip_method, message->cseq->method) != 0) return false;
  } else if (message->status_code < 100 || message->status_code > 699) {
    return false;
  }
  return true;
}

bool NextHop(const osip_message_t* request, std::string* host, int* port) {
  if (request == nullptr) return false;
  const osip_uri_t* target = request->req_uri;
  osip_route_t* route = static_cast<osip_route_t*>(osip_list_get(&request->routes, 0));
  if (route != nullptr && route->url != nullptr) {
    osip_uri_param_t* lr = nullptr;
    osip_uri_param_get_byname(&route->url->url_params, const_cast<char*>("lr"), &lr);
    if (lr != nullptr) target = route->url;
  }
  if (target == nullptr || !HasText(target->host)) return false;
  const int targetPort = PortOf(target);
  if (targetPort < 0) return false;
  *host = target->host;
  *port = targetPort;
  return true;
}

UriPtr ParseUri(const std::string& text) {
  if (text.empty()) return nullptr;
  osip_uri_t* raw = nullptr;
  if (osip_uri_init(&raw) != 0) return nullptr;
  UriPtr uri(raw);
  if (text.find('<') == std::string::npos && osip_uri_parse(uri.get(), text.c_str()) == 0) {
    return uri;
  }
  // A name-addr ("Name <sip:...>"): its URI.
  osip_from_t* named = nullptr;
  if (osip_from_init(&named) != 0) return nullptr;
  const std::unique_ptr<osip_from_t, decltype(&osip_from_free)> owned(named, &osip_from_free);
  osip_uri_t* copy = nullptr;
  if (osip_from_parse(named, text.c_str()) != 0 || named->url == nullptr ||
      osip_uri_clone(named->url, &copy) != 0) {
    return nullptr;
  }
  return UriPtr(copy);
}

const char* BodyText(const osip_message_t* message) {
  if (message == nullptr) return nullptr;
  osip_body_t* body = static_cast<osip_body_t*>(osip_list_get(&message->bodies, 0));
  if (body == nullptr || body->body == nullptr || body->length == 0) return nullptr;
  return body->body;
}

}  // namespace corvel::ua
