// The call progress page behind the main window's 状态 tab: who is called or calling, the state
// in words, the start time and the connected time, and the two level meters. Each finished call
// leaves one row in the call records.
#pragma once

#include <QBasicTimer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "media/toolkit/synchronized.h"

namespace corvel {

class SkinProgress;

// One row of the call records: 电话号码, 呼叫类型, 呼叫时间, 通话时长, 状态.
struct CallRecordRow {
  std::string number;
  std::string callType;
  std::string startTime;
  std::string elapsed;
  std::string status;
  friend bool operator==(const CallRecordRow&, const CallRecordRow&) = default;
};

inline constexpr const char* kCallTypeOutgoing = "SIP呼出";
inline constexpr const char* kCallTypeIncoming = "SIP呼入";

class StatusPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMicrophoneMeterId = 1027;
  static constexpr int kSpeakerMeterId = 1028;
  static constexpr int kCallbackTimeoutMs = 120000;
  static constexpr int kElapsedTimerMs = 500;

  explicit StatusPanel(QWidget* parent = nullptr);

  // Where Finish() puts its rows (the main window's call records list); none: Finish does
  // nothing.
  void setRecordSink(std::function<void(const CallRecordRow&)> sink) { sink_ = std::move(sink); }
  void setCallbackTimeoutMs(int ms) { callbackTimeoutMs_ = ms; }

  void SetStartTime(const std::string& text);
  void SetRunning(bool on);
  void Finish();
  void SetCallbackTimeout(bool on);
  // A call-back asked of the service: calling, identify 0, the number, 回拨呼出, timed out
  // after 120 s.
  void StartCallback(const std::string& number);

  // Fields read by the main window, the worker and the call display; safe from any thread.
  int callState() const { return callState_.load(); }
  void setCallState(int state) { callState_ = state; }
  std::string callType() const { return callType_.get(); }
  void setCallType(std::string type) { callType_.set(std::move(type)); }
  std::string number() const { return number_.get(); }
  void setNumber(std::string number) { number_.set(std::move(number)); }
  std::uint32_t identify() const { return identify_.load(); }
  void setIdentify(std::uint32_t identify) { identify_ = identify; }
  std::string statusText() const { return statusText_.get(); }
  void setStatusText(std::string text);
  std::string startTime() const { return startTime_.get(); }
  std::string elapsed() const { return elapsed_.get(); }
  void setNameLine(std::string line) { nameLine_.set(std::move(line)); }
  bool shown() const { return shown_.load(); }
  void setShown(bool shown) { shown_ = shown; }

  // Level meters (0-32767), from the audio threads through posted messages.
  void SetMicrophoneLevel(int level);
  void SetSpeakerLevel(int level);
  SkinProgress* microphoneMeter() const { return microphone_; }
  SkinProgress* speakerMeter() const { return speaker_; }
  bool callbackTimeoutRunning() const { return callbackTimer_.isActive(); }

  // Elapsed text for a connected time in milliseconds: hours are not wrapped at 24.
  static std::string ElapsedText(std::uint64_t milliseconds);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void UpdateElapsed();
  // Under test, CORVEL_PANEL_LOG names a file that gets a line "number|state|elapsed" whenever
  // what the panel paints changes: an end-to-end check cannot read painted text off the screen.
  void LogPainted(const QString& texts);

  std::function<void(const CallRecordRow&)> sink_;
  int callbackTimeoutMs_ = kCallbackTimeoutMs;
  std::atomic<int> callState_{0};
  std::atomic<std::uint32_t> identify_{0};
  std::atomic<bool> shown_{false};
  std::atomic<std::uint64_t> connectMs_{0};
  Synchronized<std::string> nameLine_;
  Synchronized<std::string> callType_;
  Synchronized<std::string> number_;
  Synchronized<std::string> statusText_;
  Synchronized<std::string> startTime_;
  Synchronized<std::string> elapsed_;
  QBasicTimer callbackTimer_;           // 1025
  QBasicTimer elapsedTimer_;            // 1026
  SkinProgress* microphone_ = nullptr;  // children
  SkinProgress* speaker_ = nullptr;
  QString paintLogPath_;
  QString lastPainted_;
};

}  // namespace corvel
