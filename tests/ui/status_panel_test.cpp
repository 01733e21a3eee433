#include "ui/status_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <regex>

#include "support/qt_pump.h"
#include "ui/skin/skin_progress.h"

namespace corvel {
namespace {

using testing::Pump;

class StatusPanelTest : public ::testing::Test {
 protected:
  StatusPanelTest() {
    panel.setRecordSink([this](const CallRecordRow& row) { rows.push_back(row); });
  }
  StatusPanel panel;
  std::vector<CallRecordRow> rows;
};

TEST_F(StatusPanelTest, ElapsedHoursAreNotWrapped) {
  EXPECT_EQ(StatusPanel::ElapsedText(0), "00:00:00");
  EXPECT_EQ(StatusPanel::ElapsedText(61'999), "00:01:01");
  EXPECT_EQ(StatusPanel::ElapsedText(100ull * 3600 * 1000), "100:00:00");
}

TEST_F(StatusPanelTest, ConnectedForLessThanASecondLastsOne) {
  panel.setCallType(kCallTypeOutgoing);
  panel.setNumber("13912345678");
  panel.SetStartTime({});
  EXPECT_TRUE(std::regex_match(panel.startTime(), std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)")));
  panel.setCallState(5);
  panel.SetRunning(true);
  EXPECT_FALSE(panel.microphoneMeter()->isHidden());
  panel.setStatusText("通话结束");
  panel.Finish();
  panel.SetRunning(false);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0],
            (CallRecordRow{"13912345678", "SIP呼出", panel.startTime(), "00:00:01", "通话结束"}));
  EXPECT_EQ(panel.callState(), 0);
  EXPECT_TRUE(panel.microphoneMeter()->isHidden());
}

TEST_F(StatusPanelTest, ElapsedTicksWhileConnected) {
  panel.setCallState(5);
  panel.SetRunning(true);
  EXPECT_EQ(panel.elapsed(), "00:00:00");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (panel.elapsed() == "00:00:00" && std::chrono::steady_clock::now() < deadline)
    Pump(50);
  EXPECT_EQ(panel.elapsed(), "00:00:01");
}

TEST_F(StatusPanelTest, IdlePanelLeavesNoRowAndNoSinkIsHarmless) {
  panel.Finish();
  EXPECT_TRUE(rows.empty());
  StatusPanel lonely;
  lonely.setCallState(1);
  lonely.Finish();
}

TEST_F(StatusPanelTest, CallbackWithoutAnswerTimesOut) {
  panel.setCallbackTimeoutMs(100);
  panel.StartCallback("13912345678");
  EXPECT_EQ(panel.callState(), 1);
  EXPECT_EQ(panel.callType(), "回拨呼出");
  EXPECT_EQ(panel.identify(), 0u);
  EXPECT_TRUE(panel.callbackTimeoutRunning());
  Pump(400);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, "回拨超时");
  EXPECT_EQ(rows[0].elapsed, "");  // a call-back never connects on the panel
  EXPECT_EQ(panel.callState(), 0);
  EXPECT_FALSE(panel.callbackTimeoutRunning());
}

TEST_F(StatusPanelTest, MetersClampTheirLevels) {
  panel.SetMicrophoneLevel(50000);
  panel.SetSpeakerLevel(-3);
  EXPECT_EQ(panel.microphoneMeter()->value(), 32767);
  EXPECT_EQ(panel.speakerMeter()->value(), 0);
}

}  // namespace
}  // namespace corvel
