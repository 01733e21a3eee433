#include "ui/status_panel.h"

#include <algorithm>

#include <QFile>
#include <QPainter>
#include <QTimerEvent>
#include <chrono>

#include "app/format.h"
#include "app/local_time.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_progress.h"

namespace corvel {
namespace {

const QColor kBackground(243, 243, 243);
const QColor kInk(0x1F, 0x2D, 0x3D);
constexpr int kMeterMax = 32767;

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

SkinProgress* MakeMeter(QWidget* parent, int id, QRect place) {
  auto* meter = new SkinProgress(parent);
  meter->setControlId(id);
  meter->setRange(0, kMeterMax);
  meter->setValue(0);
  meter->setGeometry(place);
  meter->hide();
  return meter;
}

}  // namespace

StatusPanel::StatusPanel(QWidget* parent)
    : QWidget(parent), paintLogPath_(qEnvironmentVariable("CORVEL_PANEL_LOG")) {
  setFont(SkinFont(10));
  microphone_ = MakeMeter(this, kMicrophoneMeterId, QRect(18, 135, 110, 15));
  speaker_ = MakeMeter(this, kSpeakerMeterId, QRect(149, 135, 110, 15));
}

void StatusPanel::resizeEvent(QResizeEvent* /*event*/) {
  // The speaker meter keeps its place but ends inside the panel: on the main window's narrower
  // panel its last pixels would otherwise be cut off at the edge.
  constexpr int kMeterLeft = 149, kMeterWidth = 110, kRightMargin = 4;
  speaker_->setGeometry(kMeterLeft, 135,
                        std::clamp(width() - kMeterLeft - kRightMargin, 1, kMeterWidth), 15);
}

std::string StatusPanel::ElapsedText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  return Format("%02llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60));
}

void StatusPanel::setStatusText(std::string text) {
  statusText_.set(std::move(text));
  update();
}

void StatusPanel::SetStartTime(const std::string& text) {
  if (text.empty()) {
    const LocalTime now = CurrentLocalTime();
    startTime_.set(Format("%04d/%02d/%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                          now.minute, now.second));
  } else {
    startTime_.set(text);
  }
  elapsed_.set({});
  update();
}

void StatusPanel::SetRunning(bool on) {
  if (on) {
    shown_ = true;
    elapsed_.set("00:00:00");
    connectMs_ = NowMs();
    microphone_->show();
    speaker_->show();
    elapsedTimer_.start(kElapsedTimerMs, this);
  } else {
    elapsedTimer_.stop();
    connectMs_ = 0;
    callState_ = 0;
    microphone_->hide();
    speaker_->hide();
  }
  update();
}

void StatusPanel::Finish() {
  if (!sink_ || callState_ == 0) return;
  // A connected call shorter than a second still lasted.
  if (elapsed_.get() == "00:00:00") elapsed_.set("00:00:01");
  callbackTimer_.stop();
  elapsedTimer_.stop();
  sink_(CallRecordRow{number_.get(), callType_.get(), startTime_.get(), elapsed_.get(),
                      statusText_.get()});
}

void StatusPanel::SetCallbackTimeout(bool on) {
  if (on) {
    callbackTimer_.start(callbackTimeoutMs_, this);
  } else {
    callbackTimer_.stop();
  }
}

void StatusPanel::StartCallback(const std::string& number) {
  statusText_.set("呼叫中");
  callState_ = 1;
  identify_ = 0;
  number_.set(number);
  nameLine_.set({});
  callType_.set("回拨呼出");
  shown_ = true;
  SetStartTime({});
  SetCallbackTimeout(true);
}

void StatusPanel::SetMicrophoneLevel(int level) {
  microphone_->setValue(std::clamp(level, 0, kMeterMax));
}
void StatusPanel::SetSpeakerLevel(int level) {
  speaker_->setValue(std::clamp(level, 0, kMeterMax));
}

void StatusPanel::UpdateElapsed() {
  const std::uint64_t start = connectMs_;
  if (start == 0) return;
  elapsed_.set(ElapsedText(NowMs() - start));
  update(QRect(width() - 90, 20, 70, 18));
}

void StatusPanel::timerEvent(QTimerEvent* event) {
  if (event->timerId() == elapsedTimer_.timerId()) {
    UpdateElapsed();
  } else if (event->timerId() == callbackTimer_.timerId()) {
    callbackTimer_.stop();
    if (callType_.get() == "回拨呼出") {
      statusText_.set("回拨超时");
      Finish();
      SetRunning(false);
    }
  }
}

void StatusPanel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  if (!shown_) return;
  const QPixmap picture = SkinImage(138);
  if (!picture.isNull()) painter.drawPixmap(20, 50, 66, 66, picture);
  painter.setFont(font());
  painter.setPen(kInk);
  const int right = width() - 100;
  const QString lines[] = {Text(nameLine_.get()), Text(number_.get()), Text(statusText_.get())};
  for (int i = 0; i < 3; ++i) {
    painter.drawText(QRect(100, 50 + 20 * i, right, 20),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines[i]);
  }
  const bool connected = callState_ == 5;
  const QString elapsed = connected ? Text(elapsed_.get()) : QString();
  if (!paintLogPath_.isEmpty()) LogPainted(lines[1] + "|" + lines[2] + "|" + elapsed);
  if (!connected) return;
  painter.drawPixmap(2, 135, SkinImage(140));
  painter.drawPixmap(133, 135, SkinImage(141));
  const QPixmap clock = SkinImage(142);
  painter.drawPixmap(155, 22, clock);
  // Right of the clock even where the panel is narrow: on the main window's panel the text would
  // otherwise start under the clock and hide the hours' first digit.
  const int textLeft = std::max(width() - 90, 155 + clock.width() + 4);
  painter.drawText(QRect(textLeft, 20, 70, 18), Qt::AlignLeft | Qt::AlignVCenter, elapsed);
}

void StatusPanel::LogPainted(const QString& texts) {
  if (texts == lastPainted_) return;
  lastPainted_ = texts;
  QFile file(paintLogPath_);
  if (file.open(QIODevice::Append | QIODevice::Text)) file.write((texts + "\n").toUtf8());
}

}  // namespace corvel
