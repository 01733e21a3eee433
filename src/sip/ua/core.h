// The user-agent core's state and internal operations. Private to src/sip/ua: the application
// sees only user_agent.h. Everything here is guarded by Core::lock unless it says otherwise.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "sip/ua/event_queue.h"
#include "sip/ua/osip_types.h"
#include "sip/ua/udp_transport.h"

namespace corvel::ua {

using Clock = std::chrono::steady_clock;

// RFC 3261 timers for UDP.
inline constexpr auto kT1 = std::chrono::milliseconds(500);
inline constexpr auto kAckWait = 64 * kT1;  // 2xx sent, no ACK: end the call (13.3.1.4)

// Bounds that keep a flood of requests from growing memory or work without limit.
inline constexpr std::size_t kMaxTransactions = 256;
inline constexpr std::size_t kMaxCalls = 32;
inline constexpr int kMaxDatagramsPerPass = 64;

// Why a transaction exists; decides which handler its callbacks reach.
enum class Purpose {
  kInviteClient,   // our INVITE
  kInviteServer,   // a received INVITE (new call or re-INVITE)
  kCancel,         // our CANCEL of our INVITE
  kBye,            // our BYE
  kInDialog,       // another request of ours inside a dialog
  kRegister,       // our REGISTER
  kRequestServer,  // a received non-INVITE request
};

struct TransactionEntry {
  TransactionPtr transaction;
  Purpose purpose = Purpose::kRequestServer;
  int cid = 0;  // the call it belongs to, 0 for none
  int did = 0;  // the dialog of an in-dialog transaction
  int rid = 0;  // the registration of a REGISTER
  // Server transactions: where the request's datagram came from.
  std::string sourceHost;
  int sourcePort = 0;
  // A final response went through it: from now on it only absorbs retransmissions and no
  // longer keeps its call alive.
  bool settled = false;
  bool dead = false;  // osip killed it; freed after the pass
};

struct DialogEntry {
  int did = 0;
  int cid = 0;
  bool uas = false;  // this side answered the INVITE that made it
  DialogPtr dialog;
  int inviteCseq = 0;       // CSeq number of the INVITE, for the ACK of its 2xx
  MessagePtr lastAck;       // UAC: the ACK sent for the 2xx, resent when the 2xx comes again
  bool ackPending = false;  // UAS: 2xx sent and being retransmitted until ACK
  Clock::time_point ackDeadline{};
  bool byeOnAck = false;  // UAS: terminate asked before the ACK came
  bool closed = false;    // BYE sent or received, or the INVITE failed
};

struct CallEntry {
  int cid = 0;
  bool outgoing = false;
  int inviteTid = 0;
  MessagePtr invite;             // copy of the INVITE sent or received
  MessagePtr answer;             // copy of the 2xx sent or received
  MessagePtr provisional;        // UAC: the last 1xx with a body (early media offer answer)
  MessagePtr ack;                // UAS: the ACK received for our 2xx
  std::string localTag;          // UAS: our To tag
  bool provisionalSeen = false;  // UAC: a 1xx arrived, so CANCEL may be sent
  bool finalSeen = false;        // a final response to the INVITE went or came
  bool terminating = false;      // terminate was asked
  bool cancelPending = false;    // UAC: terminate asked before any 1xx
  bool cancelSent = false;
  int lastDid = 0;
};

struct RegistrationEntry {
  int rid = 0;
  std::string from;       // address of record, From and To
  std::string registrar;  // Request-URI
  std::string contact;    // empty: the core's own
  int expires = 0;
  std::string callId;
  std::string fromTag;
  int cseq = 0;
  int pendingTid = 0;  // the REGISTER in progress, 0 when none
};

struct OsipReleaser {
  void operator()(osip_t* osip) const;
};

class Core {
 public:
  Core();
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  // The global lock of the core (eXosip_lock): recursive, so an application holding it may call
  // the operations, which take it as well.
  std::recursive_mutex lock;

  // --- set-up (core.cpp) ---
  int Init();
  int Listen(const std::string& host, int port);
  void Quit();
  void StartThread();

  // --- one pass of the machine (core_pass.cpp) ---
  void ThreadLoop();
  // Receives what is queued, runs osip's state machines and timers and the core's own timers,
  // frees what died. Holds the lock.
  void RunPass();
  void RunStateMachines();
  int NextWaitMs();
  void Housekeeping();
  void FreeDeadTransactions();
  void ReleaseFinishedCalls();
  void ReleaseCall(int cid);

  // --- receive path (receive_path.cpp) ---
  void OnDatagram(const char* bytes, std::size_t length, const std::string& host, int port);
  void OnStrayResponse(osip_message_t* response);
  void OnStrayAck(osip_message_t* ack, const std::string& host, int port);
  std::size_t CallsInTheMaking() const;

  // --- transactions and sending (transactions.cpp) ---
  void InstallCallbacks();
  int SendMessage(osip_message_t* message, const std::string& host, int port);
  // Starts a client transaction for request; its tid, or a negative code.
  int StartClientTransaction(MessagePtr request, Purpose purpose, int cid, int did, int rid);
  // Hands a response to the server transaction tid; 0 or a negative code.
  int RespondInTransaction(int tid, MessagePtr response);
  // A response to the request of server transaction tid, with the To tag that belongs to it
  // (the call's for an INVITE, a fresh one outside dialogs) (answers.cpp).
  int BuildAnswerFor(int tid, int status, MessagePtr* answer);
  // Builds and sends that response.
  int Respond(int tid, int status);
  // Answers a request that has no transaction (stateless).
  void RespondStateless(osip_message_t* request, int status);
  TransactionEntry* FindTransaction(int tid);
  TransactionEntry* EntryOf(osip_transaction_t* transaction);
  void OnKilled(osip_transaction_t* transaction);
  void OnTransportError(osip_transaction_t* transaction);

  // --- message building (message_builder.cpp) ---
  std::string RandomToken(int length);
  std::string NewTag() { return RandomToken(10); }
  std::string NewBranch() { return "z9hG4bK" + RandomToken(16); }
  std::string NewCallId() { return RandomToken(20) + "@" + contactHost(); }
  std::string contactHost() const;
  int contactPort() const;
  std::string ContactFor(const osip_uri_t* uri) const;
  MessagePtr NewRequest(const std::string& method, const std::string& requestUri,
                        const std::string& from, const std::string& fromTag, const std::string& to,
                        const std::string& callId, int cseq);
  void AddCommonHeaders(osip_message_t* message, bool withContact, const osip_uri_t* contactUser);
  bool AddTopVia(osip_message_t* message);
  MessagePtr NewResponse(const osip_message_t* request, int status, const char* toTag);
  MessagePtr NewCancel(const osip_message_t* invite);
  MessagePtr NewInDialogRequest(DialogEntry& dialog, const std::string& method);
  MessagePtr NewAck(DialogEntry& dialog);

  // --- calls (call_events.cpp, call_operations.cpp) ---
  CallEntry* FindCall(int cid);
  DialogEntry* FindDialog(int did);
  DialogEntry* DialogOf(const osip_dialog_t* dialog);
  DialogEntry* MatchDialogForRequest(const osip_message_t* request);
  int AddDialog(int cid, bool uas, DialogPtr dialog, int inviteCseq);
  void CloseDialog(DialogEntry& dialog);
  int UacDialogFor(CallEntry& call, osip_message_t* response, bool confirm);
  void OnInviteProvisional(TransactionEntry& entry, osip_message_t* response);
  void OnInviteAnswered(TransactionEntry& entry, osip_message_t* response);
  void OnInviteFailed(TransactionEntry& entry, osip_message_t* response);
  void OnInviteTimeout(TransactionEntry& entry);
  void OnInviteReceived(TransactionEntry& entry, osip_message_t* invite);
  void OnInviteAnswerSent(TransactionEntry& entry, osip_message_t* response);
  void OnInviteRejectSent(TransactionEntry& entry, osip_message_t* response);
  void OnInDialogAnswer(TransactionEntry& entry, osip_message_t* response);
  void SendCancel(CallEntry& call);
  int SendBye(DialogEntry& dialog);
  int SendAck(DialogEntry& dialog, MessagePtr ack);
  void RunDialogTimers(Clock::time_point now);

  // --- received requests outside INVITE (request_events.cpp) ---
  void OnRequestReceived(TransactionEntry& entry, osip_message_t* request);
  void OnCancelReceived(TransactionEntry& entry, osip_message_t* cancel);

  // --- registrations (registrations.cpp) ---
  int BuildRegister(RegistrationEntry& registration, int expires, MessagePtr* message);
  void OnRegisterAnswer(TransactionEntry& entry, osip_message_t* response);
  void OnRegisterEnded(TransactionEntry& entry, bool transportError);

  // --- events (events.cpp) ---
  struct EventIds {
    int tid = 0;
    int cid = 0;
    int did = 0;
    int rid = 0;
  };
  void Emit(EventType type, const char* textinfo, EventIds ids, const osip_message_t* request,
            const osip_message_t* response = nullptr, const osip_message_t* ack = nullptr,
            const std::string& sourceHost = {}, int sourcePort = 0);
  // The source of the request of a server transaction, for its events.
  void EmitForRequest(EventType type, const char* textinfo, const TransactionEntry& entry, int tid,
                      const osip_message_t* request);

  // State, all guarded by lock.
  std::unique_ptr<osip_t, OsipReleaser> osip;
  std::unique_ptr<UdpTransport> transport;
  std::string masqueradeHost;  // host of our Via, Contact and Call-ID; empty: the bound address
  int masqueradePort = 0;      // 0: the bound port
  std::string userAgent;
  bool send101 = false;
  std::chrono::milliseconds ackWait = kAckWait;
  bool ownThread = true;
  int nextCid = 0;
  int nextDid = 0;
  int nextRid = 0;
  std::mt19937_64 random;
  std::map<int, TransactionEntry> transactions;
  std::map<int, CallEntry> calls;
  std::map<int, DialogEntry> dialogs;
  std::map<int, RegistrationEntry> registrations;
  std::size_t rejectedDatagrams = 0;

  // Not guarded by lock.
  EventQueue events;                 // has its own lock
  std::atomic<bool> running{false};  // the thread's run flag
  std::thread thread;                // touched only by StartThread and Quit (the owner's thread)
};

}  // namespace corvel::ua
