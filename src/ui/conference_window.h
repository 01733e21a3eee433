// The conference window: members are called one at a time by the service (a call-back marked as
// a conference call with the conference's code) and listed once the service reports them joined;
// the list's menu drops, mutes and unmutes one, and the end command drops them all. A modeless
// popup of the main window, normally glued to its right side.
#pragma once

#include <cstdint>
#include <string>

#include "app/client_state.h"
#include "ui/skin/skin_dialog.h"

namespace corvel {

class ReportList;
class ServicePacket;
class SkinButton;
class SkinEdit;
class StatusPanel;

class ConferenceWindow : public SkinDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 383;
  static constexpr int kHeight = 590;
  static constexpr int kNumberBoxId = 1044;
  static constexpr int kAddId = 1045;
  static constexpr int kEndId = 1046;
  // Glued windows overlap the main window's edge by this much; a freed one keeps this gap.
  static constexpr int kGlueOverlap = 2;

  // mainWindow: the owner, beside which the window is placed and to which the status tab
  // command goes; statusPanel: the main window's, which shows each member's call-back.
  ConferenceWindow(ClientState& state, StatusPanel& statusPanel, QWidget& mainWindow);

  void Command(int id);
  // 1045: calls the number in the box into the conference.
  void AddCommand();
  // 1046: drops every listed member; the code stays for members added later.
  void EndConference();
  // A call-back the service answered with success: one row from the status panel.
  void AddMember(const StatusPanel& panel);
  // The first row with this number, or (sessionNumber not 0) with this session number.
  bool RemoveMember(const std::string& number, std::uint32_t sessionNumber);
  // The member list's 退出会议 (1035), 禁止发言 (1040) and 允许发言 (1041) on the selected row.
  void MemberCommand(int id);

  const std::string& conferenceCode() const { return conferenceCode_; }
  bool draggable() const { return dragEnabled(); }
  // Glued to the main window: it follows the main window's moves.
  bool attached() const { return attached_; }
  void setAttached(bool attached) { attached_ = attached; }
  // Left edge at the main window's right edge plus gap, tops aligned.
  void PlaceBesideMainWindow(int gap);

  SkinEdit* numberBox() const { return numberBox_; }
  ReportList* members() const { return members_; }
  SkinButton* button(int id) const;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Prompt(const char* text);
  void Send(const ServicePacket& packet);
  bool LinkUp() const;

  ClientState& state_;
  StatusPanel& statusPanel_;
  QWidget& mainWindow_;
  std::string conferenceCode_;
  bool attached_ = true;
  SkinEdit* numberBox_ = nullptr;  // children
  SkinButton* addButton_ = nullptr;
  SkinButton* endButton_ = nullptr;
  ReportList* members_ = nullptr;
};

}  // namespace corvel
