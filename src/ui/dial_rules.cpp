#include "ui/dial_rules.h"

#include "app/format.h"

namespace corvel {
namespace {

constexpr std::size_t kNumberBoxAppendLimit = 30;
constexpr std::size_t kCallbackNumberWidth = 15;

bool SameService(const std::string& number, const std::string& sipNumber) {
  return number.size() >= 2 && sipNumber.size() >= 2 && number.compare(0, 2, sipNumber, 0, 2) == 0;
}

DialDecision Refuse(std::string message) {
  DialDecision decision;
  decision.message = std::move(message);
  return decision;
}

}  // namespace

DialDecision DecideCall(const DialContext& context, const std::string& typed) {
  if (!context.loggedIn) return Refuse("您还没有登录,请先登录!");
  if (!context.hasBalance) return Refuse("您的余额不足,请先充值!");
  if (context.callState == 1 || context.callState == 2) return {DialAction::kAnswer, {}, {}, false};
  if (typed.empty()) return Refuse("请输入电话号码!");
  if (!context.ready) return Refuse("SIP注册中,请稍后再呼!");
  // Another number of the service is dialled exactly as typed.
  if (SameService(typed, context.sipNumber)) return {DialAction::kInvite, typed, {}, false};
  if ((typed.size() == 7 || typed.size() == 8) && typed.front() != '0') {
    return Refuse("拨打固定电话请加区号!");
  }
  std::string number = typed;
  if (number.size() == 11 && number.front() == '1') number = "0" + number;
  if (number.starts_with("01") && !number.starts_with("010")) {
    return {DialAction::kAreaQuery, number, {}, true};
  }
  return {DialAction::kInvite, number, {}, true};
}

CallbackCheck CheckCallback(const DialContext& context, const std::string& typed) {
  if (!context.loggedIn) return {"您还没有登录,请先登录!", false};
  if (!context.hasBalance) return {"您的余额不足,请先充值!", true};
  if (typed.empty()) return {"请输入被叫号码!", false};
  if (typed.front() == '1' && typed.size() != 11) return {"被叫号码长度不正确!", false};
  if (typed.front() != '1' && typed.front() != '0') return {"被叫号码不正确!", false};
  // The request has 15 bytes for the number: a longer one would be cut, and the service would
  // call another number than the one shown.
  if (typed.size() > kCallbackNumberWidth) return {"被叫号码长度不正确!", false};
  if (context.callState != 0) return {"呼叫中，请稍后!", false};
  return {};
}

std::string CheckConferenceMember(const DialContext& context, const std::string& typed) {
  if (!context.loggedIn) return "您还没有登录,请先登录!";
  if (!context.hasBalance) return "您的余额不足,请先充值!";
  if (typed.empty()) return "请输入电话号码!";
  // Short numbers are local numbers without their area code, unless they are numbers of the
  // service itself, which share the account's first two digits.
  if (typed.size() <= 8 && typed.substr(0, 2) != context.sipNumber.substr(0, 2)) {
    return "拨打固定电话请加区号!";
  }
  // As for call-backs: a number cut to the request's field would call someone else.
  if (typed.size() > kCallbackNumberWidth) return "被叫号码长度不正确!";
  return {};
}

char KeyCharacter(int keyValue) {
  if (keyValue >= 0 && keyValue <= 9) return static_cast<char>('0' + keyValue);
  return keyValue == 10 ? '*' : '#';
}

std::string ApplyKey(const std::string& boxText, char key) {
  // Characters, not bytes: the box holds digits and the two symbols only in practice, but a
  // pasted name must not be cut inside a character.
  std::size_t characters = 0;
  for (unsigned char c : boxText)
    characters += (c & 0xC0) != 0x80;
  if (characters <= kNumberBoxAppendLimit) return boxText + key;
  return std::string(1, key);
}

std::string PasswordCode(const std::string& password, const std::string& codeTable) {
  std::string code;
  for (char c : password) {
    const std::size_t at = codeTable.find(c);
    if (at == std::string::npos) return {};
    code += Format("%02d", static_cast<int>(at));
  }
  return code;
}

}  // namespace corvel
