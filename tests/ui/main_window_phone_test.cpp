// The main window with its real phone (the phone module behind the desktop phone) against a
// user-agent core as the other party: the call command places a call, the keys send
// telephone-events during it, hang-up ends it with a row in the records and the service hears
// of it; an incoming call rings, pops the incoming-call box when the window is hidden, and is
// answered or refused with the panel's buttons.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/window_messages.h"
#include "media/audio/audio_backend_registry.h"
#include "media/toolkit/udp_socket.h"
#include "service/client_requests.h"
#include "service/link_fixture.h"
#include "service/service_command.h"
#include "sip/ua_peer.h"
#include "support/qt_pump.h"
#include "ui/desktop_phone.h"
#include "ui/main_window.h"
#include "ui/prompt_box.h"
#include "ui/report_list.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_edit.h"
#include "ui/sound_port.h"
#include "ui/status_panel.h"

namespace corvel {
namespace {

using namespace corvel::ua;
using testing::UaPeer;

class RecordingSounds : public SoundPort {
 public:
  std::vector<std::string> played;
  void Play(const std::string& path, bool loop) override {
    played.push_back(std::filesystem::path(path).filename().string() + (loop ? " loop" : ""));
  }
  void StopAll() override {}
};

using testing::Pump;
using testing::PumpUntil;

class MainWindowPhoneTest : public testing::LinkFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartModule());
    ASSERT_TRUE(peer_.ok());
    rtpSink_ = UdpSocket::Open("127.0.0.1", 0, false);
    ASSERT_TRUE(rtpSink_);
    // The peer stands in for the proxy; it refuses the REGISTER, so the test sets the window
    // ready itself once that answer is in.
    std::string config = testing::ReadFile(folder / "CorvelConfig.ini");
    config +=
        "[RTP]\nrtpHost=127.0.0.1\nrtpPort=" + std::to_string(testing::FreePort() & ~1) +
        "\nnatMode=0\n[SIP]\nsipHost=127.0.0.1\nsipPort=" + std::to_string(testing::FreePort()) +
        "\nsipSvrHost=127.0.0.1\nsipSvrPort=" + std::to_string(peer_.port()) + "\nsipRegTime=40\n";
    testing::WriteFile(folder / "CorvelConfig.ini", config);
    state.programFolder.set(folder.path() + "/");
    state.configPath.set(folder / "CorvelConfig.ini");
    state.account.set("demo");
    state.sipNumber.set("80001001");
    state.loggedIn = true;
    state.hasBalance = true;
    SetPromptHandler([this](QWidget*, const PromptRequest& request) {
      boxes.push_back(request.caption.toStdString() + " " + request.text.toStdString());
      return answerBox;
    });
    window = std::make_unique<MainWindow>(state);
    window->setSounds(&sounds);
    window->setPhoneFactory([this](MainWindow& main) -> std::unique_ptr<PhoneControls> {
      auto phone = std::make_unique<DesktopPhone>(state, main, CreateAudioBackend("null"));
      created = phone->Create();
      desktopPhone = phone.get();
      return phone;
    });
    window->show();
    window->OpenPhone();
    ASSERT_TRUE(created) << testing::ReadFile(folder / "log/SIPPhone.log");
    ASSERT_TRUE(PumpUntil([&] { return desktopPhone->RegistCounter() != 0; }));
    Pump(50);
    window->setReady(true);
  }
  void TearDown() override {
    window.reset();
    SetPromptHandler({});
    LinkFixture::TearDown();
  }

  // The peer's next event of that type, pumping the window meanwhile.
  EventPtr PeerEvent(EventType type, int timeoutMs = 5000) {
    EventPtr found;
    PumpUntil(
        [&] {
          EventPtr event = peer_.ua().EventWait(0, 5);
          if (event && event->type == type) found = std::move(event);
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }

  void PeerAnswers(const Event& invite) {
    MessagePtr answer;
    ASSERT_EQ(peer_.ua().CallBuildAnswer(invite.tid, 200, &answer), 0);
    const std::string sdp =
        "v=0\r\no=p 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\n"
        "t=0 0\r\nm=audio " +
        std::to_string(rtpSink_->localPort()) +
        " RTP/AVP 0 101\r\na=rtpmap:101 telephone-event/8000\r\n";
    ASSERT_EQ(osip_message_set_body(answer.get(), sdp.c_str(), sdp.size()), 0);
    ASSERT_EQ(osip_message_set_content_type(answer.get(), "application/sdp"), 0);
    ASSERT_EQ(peer_.ua().CallSendAnswer(invite.tid, 200, std::move(answer)), 0);
  }

  int PeerCallsWindow() {
    MessagePtr invite;
    const std::string to = "sip:80001001@127.0.0.1:" + std::to_string(window_sip_port());
    EXPECT_EQ(
        peer_.ua().CallBuildInitialInvite(&invite, to.c_str(), peer_.uri().c_str(), nullptr, "x"),
        0);
    const std::string sdp =
        "v=0\r\no=p 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\n"
        "t=0 0\r\nm=audio " +
        std::to_string(rtpSink_->localPort()) + " RTP/AVP 8 101\r\n";
    osip_message_set_body(invite.get(), sdp.c_str(), sdp.size());
    osip_message_set_content_type(invite.get(), "application/sdp");
    return peer_.ua().CallSendInitialInvite(std::move(invite));
  }

  int window_sip_port() { return desktopPhone->module().sipServer()->localPort(); }
  std::string Caption(int id) { return window->button(id)->text().toStdString(); }
  StatusPanel& panel() { return *window->statusPanel(); }
  std::vector<std::string> LastRecord() {
    ReportList& list = *window->callRecords();
    std::vector<std::string> row;
    if (list.rowCount() == 0) return row;
    for (int column = 0; column < list.columnCount(); ++column) {
      const QTableWidgetItem* item = list.item(list.rowCount() - 1, column);
      row.push_back(item != nullptr ? item->text().toStdString() : "");
    }
    return row;
  }

  UaPeer peer_{"3003"};
  std::unique_ptr<UdpSocket> rtpSink_;
  RecordingSounds sounds;
  std::vector<std::string> boxes;
  std::uint8_t answerBox = PromptBox::kClosedByButton1;
  bool created = false;
  DesktopPhone* desktopPhone = nullptr;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowPhoneTest, TheCallCommandPlacesACallThatKeysAndHangUpDrive) {
  window->numberBox()->setText("3003");
  window->button(kCommandCallOrAnswer)->click();
  EventPtr invite = PeerEvent(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  EXPECT_STREQ(invite->request->req_uri->username, "3003");
  ASSERT_TRUE(PumpUntil([&] { return panel().statusText() == "呼叫中"; }));
  EXPECT_EQ(Caption(kCommandHangUp), "取消");

  ASSERT_EQ(peer_.ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
  ASSERT_TRUE(PumpUntil([&] { return panel().statusText() == "振铃中"; }));
  EXPECT_EQ(sounds.played.back(), "RingFile.wav loop");
  PeerAnswers(*invite);
  ASSERT_TRUE(PeerEvent(EXOSIP_CALL_ACK));
  ASSERT_TRUE(PumpUntil([&] { return panel().callState() == 5; }));
  EXPECT_EQ(panel().statusText(), "通话中");
  EXPECT_EQ(Caption(kCommandHangUp), "挂断");
  // The service hears of the call (keep-alives may come in between).
  std::optional<ServicePacket> start;
  while ((start = ServerReceive()) && start->cmdId != CMD_CALL_START) {
  }
  ASSERT_TRUE(start);
  EXPECT_EQ(start->bodyBytes(), CallStartRequest("demo", "3003").bodyBytes());

  // Key 5 goes out as telephone-events on the negotiated payload type.
  window->button(1018)->click();
  bool heardFive = false;
  for (int i = 0; i < 40 && !heardFive; ++i) {
    std::optional<Datagram> packet = rtpSink_->Receive(100);
    if (!packet || packet->length < 16) continue;
    heardFive = (packet->data[1] & 0x7F) == 101 && packet->data[12] == 5;
  }
  EXPECT_TRUE(heardFive);

  window->button(kCommandHangUp)->click();
  ASSERT_TRUE(PeerEvent(EXOSIP_CALL_CLOSED));
  ASSERT_TRUE(PumpUntil([&] { return panel().callState() == 0; }));
  EXPECT_EQ(panel().statusText(), "通话结束");
  const std::vector<std::string> row = LastRecord();
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(row[0], "3003");
  EXPECT_EQ(row[1], "SIP呼出");
  EXPECT_EQ(row[4], "通话结束");
  EXPECT_FALSE(row[3].empty());
  std::optional<ServicePacket> end;
  while ((end = ServerReceive()) && end->cmdId != CMD_CALL_END) {
  }
  EXPECT_TRUE(end);
}

TEST_F(MainWindowPhoneTest, AnIncomingCallWhileHiddenPopsTheBoxAndIsAnsweredFromIt) {
  window->hide();
  ASSERT_GT(PeerCallsWindow(), 0);
  ASSERT_TRUE(PeerEvent(EXOSIP_CALL_RINGING));
  ASSERT_TRUE(PumpUntil([&] { return !boxes.empty(); }));
  EXPECT_EQ(boxes.front(), "来电 3003");
  EXPECT_NE(std::find(sounds.played.begin(), sounds.played.end(), "RingCRVT.wav loop"),
            sounds.played.end());
  // 接听 in the box answers with 200.
  EventPtr answered = PeerEvent(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  MessagePtr ack;
  ASSERT_EQ(peer_.ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(peer_.ua().CallSendAck(answered->did, std::move(ack)), 0);
  ASSERT_TRUE(PumpUntil([&] { return panel().callState() == 5; }));
  EXPECT_EQ(panel().callType(), "SIP呼入");

  // The caller hangs up: the call ends as failed, with the failure tone.
  MessagePtr bye;
  ASSERT_EQ(peer_.ua().CallBuildRequest(answered->did, "BYE", &bye), 0);
  ASSERT_EQ(peer_.ua().CallSendRequest(answered->did, std::move(bye)), 0);
  ASSERT_TRUE(PumpUntil([&] { return panel().callState() == 0; }));
  EXPECT_EQ(sounds.played.back(), "Bye.wav");
  EXPECT_EQ(LastRecord().at(4), "通话结束");
}

TEST_F(MainWindowPhoneTest, TheRefuseButtonAnswers400) {
  ASSERT_GT(PeerCallsWindow(), 0);
  ASSERT_TRUE(PeerEvent(EXOSIP_CALL_RINGING));
  ASSERT_TRUE(PumpUntil([&] { return Caption(kCommandHangUp) == "拒绝"; }));
  EXPECT_EQ(Caption(kCommandCallOrAnswer), "接听");
  window->button(kCommandHangUp)->click();
  EventPtr refused = PeerEvent(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);
  ASSERT_TRUE(PumpUntil([&] { return !LastRecord().empty(); }));
  EXPECT_EQ(LastRecord().at(4), "拒绝接听");
  EXPECT_EQ(LastRecord().at(3), "");
  EXPECT_TRUE(boxes.empty());  // shown, so no incoming-call box
}

}  // namespace
}  // namespace corvel
