// What the main window's call, call-back and key commands do with the number box, as plain
// functions so the rules can be checked without a window.
#pragma once

#include <string>

namespace corvel {

struct DialContext {
  bool loggedIn = false;
  bool hasBalance = false;
  int callState = 0;   // the status panel's
  bool ready = false;  // registered, and the public address known in NAT mode
  std::string sipNumber;
};

enum class DialAction {
  kRefuse,     // show message in a box captioned "呼叫提示"
  kAnswer,     // a call is ringing here: answer it with 200
  kInvite,     // call number now
  kAreaQuery,  // ask the service for the area of number first
};

struct DialDecision {
  DialAction action = DialAction::kRefuse;
  std::string number;
  std::string message;
  bool clearNumberBox = false;
};

// The call command (1026) for the text of the number box.
DialDecision DecideCall(const DialContext& context, const std::string& typed);

// The call-back command's checks (1008); empty when the request may go. needsRecharge: the box
// offers "充值". A number longer than the request's 15-byte field is refused as of wrong length.
struct CallbackCheck {
  std::string message;
  bool needsRecharge = false;
};
CallbackCheck CheckCallback(const DialContext& context, const std::string& typed);

// The conference window's add command (1045) for the text of its number box; empty when the
// member may be called. The call on the status panel is checked later, once the box is emptied.
std::string CheckConferenceMember(const DialContext& context, const std::string& typed);

// The number box after a key: appended while it holds at most 30 characters, else replaced.
std::string ApplyKey(const std::string& boxText, char key);
// The key's character for key values 0-11 ('0'-'9', 10 '*', 11 '#').
char KeyCharacter(int keyValue);

// Each password character's first position in the code table as two digits; empty when a
// character is missing from the table.
std::string PasswordCode(const std::string& password, const std::string& codeTable);

}  // namespace corvel
