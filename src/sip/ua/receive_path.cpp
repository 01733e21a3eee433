// Every received datagram enters here: parsed, checked, given received/rport on its top Via,
// matched to its transaction or made into a new one; ACKs and 2xx that belong to no
// transaction go to their dialog.
#include <strings.h>
#include <algorithm>
#include <cstring>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

// A keep-alive (RFC 5626: CRLF) or other blank datagram.
bool IsBlank(const char* bytes, std::size_t length) {
  return std::all_of(bytes, bytes + length,
                     [](char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; });
}

// osip's parser expects text: refuse bytes that no SIP message holds before it sees them.
bool LooksLikeSip(const char* bytes, std::size_t length) {
  if (length < 16) return false;
  const unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) return false;
  return std::find(bytes, bytes + length, '\0') == bytes + length;
}

// The bytes after the blank line that ends the headers.
std::size_t BodyBytes(const char* bytes, std::size_t length) {
  const std::string_view text(bytes, length);
  const std::size_t end = text.find("\r\n\r\n");
  return end == std::string_view::npos ? 0 : length - (end + 4);
}

// A decimal number of at most `digits` digits and nothing else.
bool IsDecimal(const char* text, std::size_t digits) {
  const std::size_t n = text == nullptr ? 0 : std::strlen(text);
  return n > 0 && n <= digits &&
         std::all_of(text, text + n, [](char c) { return c >= '0' && c <= '9'; });
}

// The answer a request deserves that parsed but breaks the protocol's rules (RFC 3261 8.2.1,
// 8.1.1.5, 18.3; the cases of RFC 4475): 0 when it may go on.
int RequestFault(const osip_message_t* request, const char* bytes, std::size_t length) {
  if (request->sip_version == nullptr || strcasecmp(request->sip_version, "SIP/2.0") != 0) {
    return 505;
  }
  const char* scheme = request->req_uri->scheme;
  if (scheme == nullptr || (strcasecmp(scheme, "sip") != 0 && strcasecmp(scheme, "sips") != 0 &&
                            strcasecmp(scheme, "tel") != 0)) {
    return 416;
  }
  // Sequence numbers stay below 2**31.
  if (!IsDecimal(request->cseq->number, 10) ||
      std::strtoull(request->cseq->number, nullptr, 10) >= (1ull << 31)) {
    return 400;
  }
  // On a datagram, a body shorter than its length says is an error; a longer one is cut.
  const osip_content_length_t* declared = request->content_length;
  if (declared != nullptr && declared->value != nullptr) {
    if (!IsDecimal(declared->value, 9)) return 400;
    if (std::strtoull(declared->value, nullptr, 10) > BodyBytes(bytes, length)) return 400;
  }
  return 0;
}

}  // namespace

void Core::OnDatagram(const char* bytes, std::size_t length, const std::string& host, int port) {
  if (bytes == nullptr || length == 0 || length > UdpTransport::kMaxDatagram) return;
  if (IsBlank(bytes, length)) return;
  if (!LooksLikeSip(bytes, length)) {
    ++rejectedDatagrams;
    return;
  }
  OsipEventPtr event(osip_parse(bytes, length));
  if (!event || event->sip == nullptr || !IsWellFormed(event->sip)) {
    ++rejectedDatagrams;
    return;
  }
  osip_message_t* message = event->sip;
  if (MSG_IS_REQUEST(message)) {
    osip_message_fix_last_via_header(message, host.c_str(), port);
    // Not ACK: nothing answers an ACK.
    if (const int fault = RequestFault(message, bytes, length);
        fault != 0 && !IsRequest(message, "ACK")) {
      ++rejectedDatagrams;
      RespondStateless(message, fault);
      return;
    }
  }
  if (osip_find_transaction_and_add_event(osip.get(), event.get()) == 0) {
    event.release();  // the transaction's now
    return;
  }
  if (MSG_IS_RESPONSE(message)) {
    OnStrayResponse(message);
    return;
  }
  if (IsRequest(message, "ACK")) {
    OnStrayAck(message, host, port);
    return;
  }
  // New calls beyond the table's bound are refused without a transaction, so that a flood of
  // INVITEs leaves room for everything else.
  if (IsRequest(message, "INVITE") && !HasToTag(message) && CallsInTheMaking() >= kMaxCalls) {
    RespondStateless(message, 486);
    return;
  }
  // Any other flood of new requests is dropped rather than given transactions without bound.
  if (transactions.size() >= kMaxTransactions) {
    ++rejectedDatagrams;
    return;
  }
  osip_transaction_t* created = osip_create_transaction(osip.get(), event.get());
  if (created == nullptr) {
    ++rejectedDatagrams;
    return;
  }
  TransactionEntry entry;
  entry.transaction.reset(created);
  entry.purpose = IsRequest(message, "INVITE") ? Purpose::kInviteServer : Purpose::kRequestServer;
  entry.sourceHost = host;
  entry.sourcePort = port;
  const int tid = created->transactionid;
  transactions[tid] = std::move(entry);
  event->transactionid = tid;
  osip_transaction_add_event(created, event.release());
}

std::size_t Core::CallsInTheMaking() const {
  std::size_t count = calls.size();
  for (const auto& [tid, entry] : transactions) {
    // INVITEs received in this pass whose calls the state machine has yet to make.
    if (entry.purpose == Purpose::kInviteServer && entry.cid == 0 && !entry.dead &&
        !entry.settled) {
      ++count;
    }
  }
  return count;
}

void Core::OnStrayResponse(osip_message_t* response) {
  // A 2xx to an INVITE after its transaction ended: the answer came again because our ACK was
  // lost, so the ACK goes again (RFC 3261 13.2.2.4).
  if (!MSG_IS_STATUS_2XX(response) || MethodOf(response) != "INVITE") return;
  for (auto& [did, dialog] : dialogs) {
    if (dialog.uas || !dialog.dialog || !dialog.lastAck) continue;
    if (osip_dialog_match_as_uac(dialog.dialog.get(), response) != 0) continue;
    if (CseqNumber(response) != dialog.inviteCseq) continue;
    std::string host;
    int port = 0;
    if (NextHop(dialog.lastAck.get(), &host, &port)) SendMessage(dialog.lastAck.get(), host, port);
    return;
  }
}

void Core::OnStrayAck(osip_message_t* ack, const std::string& host, int port) {
  osip_dialog_t* matched = osip_stop_200ok_retransmissions(osip.get(), ack);
  DialogEntry* dialog = DialogOf(matched);
  if (dialog == nullptr) {
    // The retransmissions may have run out before the ACK came; the dialog still waits for it.
    DialogEntry* candidate = MatchDialogForRequest(ack);
    if (candidate != nullptr && candidate->uas && candidate->ackPending &&
        CseqNumber(ack) == candidate->inviteCseq) {
      dialog = candidate;
    }
  }
  if (dialog == nullptr || !dialog->ackPending) return;  // a repeated or stray ACK
  dialog->ackPending = false;
  CallEntry* call = FindCall(dialog->cid);
  if (call == nullptr) return;
  call->ack = CloneMessage(ack);
  Emit(EXOSIP_CALL_ACK, "ACK received", {call->inviteTid, call->cid, dialog->did, 0},
       call->invite.get(), call->answer.get(), ack, host, port);
  if (dialog->byeOnAck) {
    dialog->byeOnAck = false;
    SendBye(*dialog);
  }
}

}  // namespace corvel::ua
