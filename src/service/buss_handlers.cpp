// The business worker's packet handlers, by command.
#include "app/app_log.h"
#include "service/buss_thread.h"
#include "service/network_module.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel {
namespace {

constexpr std::uint32_t kOwnArea = 1;

void SetBalance(ClientState& state, const std::string& balance, bool updateFlag) {
  state.balance.set(balance);
  if (updateFlag) state.hasBalance = BalanceIsPositive(state.balance.get());
}

}  // namespace

std::uint32_t AreaStatus(const AreaAnswer& answer) {
  return answer.areaCode == "021" || answer.areaName == "上海市" ? kOwnArea : answer.status;
}

std::string AreaDialNumber(const std::string& number, std::uint32_t status) {
  if (status == kOwnArea) {
    const std::size_t first = number.find_first_not_of('0');
    return first == std::string::npos ? std::string() : number.substr(first);
  }
  if (!number.starts_with('0')) return "0" + number;
  return number;
}

void BussThread::Handle(const ServicePacket& packet) {
  switch (packet.cmdId) {
    case RSP_ACCOUNT_STATE:
      OnAccountState(packet);
      break;
    case RSP_LOGIN:
      OnLoginAnswer(packet);
      break;
    case RSP_CALL_START:
      OnCallStartAnswer(packet);
      break;
    case RSP_CALLBACK:
      OnCallbackAnswer(packet);
      break;
    case RSP_AREA_QUERY:
      OnAreaAnswer(packet);
      break;
    case NTF_CALLBACK_ID:
      OnCallbackId(packet);
      break;
    case NTF_CONF_MEMBER:
      OnConferenceMember(packet);
      break;
    case NTF_SERVICE_STOP:
      OnServiceStop(packet);
      break;
    default:
      break;  // taken from the queue and discarded
  }
}

void BussThread::HangUpAll() {
  if (peers_.HasSipEndpoint()) peers_.HangUpAllCalls();
}

bool BussThread::CallbackInProgress() const {
  return peers_.CallType() == kCallTypeCallback && peers_.CallState() == kCallStateCalling;
}

void BussThread::OnAccountState(const ServicePacket& packet) {
  if (!state_.loggedIn) return;
  const AccountState account = ReadAccountState(packet);
  state_.lastStatus = static_cast<std::uint8_t>(account.status & 0xFF);
  SetBalance(state_, account.balance, true);
  if (peers_.HasMainWindow() && account.status == kAccountLoggedOffByService) {
    HangUpAll();
    peers_.PostMainCommand(kCommandLogInOut);
    peers_.PostToMainWindow(WM_ACCOUNT_STATUS, kAccountLoggedOffByService);
  }
  if (peers_.HasMainWindow()) peers_.RepaintBalance();
  if (peers_.HasLoginWindow()) peers_.PostToLoginWindow(WM_ACCOUNT_STATUS, account.status);
}

void BussThread::OnLoginAnswer(const ServicePacket& packet) {
  const LoginAnswer answer = ReadLoginAnswer(packet);
  state_.lastStatus = static_cast<std::uint8_t>(answer.status & 0xFF);
  if (NetworkModule* link = module()) link->setClientId(answer.clientId);
  if (answer.status == 0 || answer.status == 1) {
    SetBalance(state_, answer.balance, false);
    state_.linkedPhone.set(answer.linkedPhone);
    state_.sipNumber.set(answer.sipNumber);
    state_.hasBalance = BalanceIsPositive(state_.balance.get());
    state_.codeTable.set(answer.codeTable);
  }
  if (peers_.HasLoginWindow()) {
    peers_.PostToLoginWindow(WM_ACCOUNT_STATUS, answer.status);
  } else if (peers_.HasMainWindow()) {
    peers_.PostToMainWindow(WM_ACCOUNT_STATUS, answer.status);
  }
}

void BussThread::OnCallStartAnswer(const ServicePacket& packet) {
  if (!peers_.HasMainWindow()) return;
  const CallStartAnswer answer = ReadCallStartAnswer(packet);
  if (answer.status == kCallAccepted) {
    SetBalance(state_, answer.balance, false);
    peers_.RepaintBalance();
    return;
  }
  HangUpAll();
  peers_.PostToMainWindow(WM_CALL_REJECTED, answer.status);
}

void BussThread::OnCallbackAnswer(const ServicePacket& packet) {
  if (!peers_.HasMainWindow()) return;
  peers_.SetCallbackTimeout(false);
  if (!CallbackInProgress()) return;
  const bool succeeded = packet.status == 0;
  peers_.SetStatusText(succeeded ? "回拨成功" : "回拨失败");
  peers_.FinishCall();
  peers_.SetRunning(false);
  if (succeeded && peers_.HasConferenceWindow()) peers_.AddMemberFromStatusPanel();
}

void BussThread::OnAreaAnswer(const ServicePacket& packet) {
  const AreaAnswer answer = ReadAreaAnswer(packet);
  const std::uint32_t status = AreaStatus(answer);
  const std::string number = AreaDialNumber(answer.number, status);
  AppLog(0, "BussThread Mode:%d Phone:%s AreaCode:%s AreaName:%s status:%d", answer.mode,
         number.c_str(), answer.areaCode.c_str(), answer.areaName.c_str(),
         static_cast<int>(status));
  if (answer.mode == 0 && state_.loggedIn) {
    state_.linkedPhone.set(number);
    if (peers_.HasMainWindow()) peers_.RepaintMainWindow();
  } else if (answer.mode == 1 && peers_.HasMainWindow()) {
    if (peers_.HasSipEndpoint()) peers_.Invite(number);
  }
}

void BussThread::OnCallbackId(const ServicePacket& packet) {
  if (!peers_.HasMainWindow()) return;
  if (CallbackInProgress()) peers_.SetIdentify(packet.receiver);
}

void BussThread::OnConferenceMember(const ServicePacket& packet) {
  if (!peers_.HasMainWindow()) return;
  const ConferenceMemberNotice notice = ReadConferenceMemberNotice(packet);
  if (peers_.HasConferenceWindow() && notice.status == 2) {
    peers_.RemoveMember(notice.phone, notice.memberId);
  }
}

void BussThread::OnServiceStop(const ServicePacket& packet) {
  if (!peers_.HasMainWindow()) return;
  HangUpAll();
  peers_.PostMainCommand(kCommandLogInOut);
  peers_.PostToMainWindow(WM_SERVICE_STOPPED, packet.status);
}

}  // namespace corvel
