// The fixed numbers by which threads and windows tell each other things: window messages
// (WM_USER + n) and the main window's command identifiers.
#pragma once

namespace corvel {

enum WindowMessage : int {
  WM_TRAY_NOTIFY = 1025,      // tray icon -> main window; lParam the mouse message
  WM_LEVEL_METER = 1026,      // audio -> status panel level meters; wParam the level
  WM_SIP_REGISTERED = 1028,   // SIP endpoint -> main window; 1 registered, 0 failed
  WM_NAT_READY = 1029,        // RTP server -> main window
  WM_CELL_EDITED = 1124,      // in-place cell editor -> its list
  WM_ACCOUNT_STATUS = 1225,   // business worker -> login window, else main window
  WM_CALL_REJECTED = 1324,    // business worker -> main window; the refusal status
  WM_SERVICE_STOPPED = 1325,  // business worker -> main window; the stop status
};

enum MainWindowCommand : int {
  kCommandShowStatusTab = 1002,
  kCommandLogInOut = 1006,
  kCommandCallback = 1008,
  kCommandConference = 1009,
  kCommandCallOrAnswer = 1026,
  kCommandHangUp = 1027,
  kCommandAddMember = 1045,  // to the conference window
};

}  // namespace corvel
