// The phone module: turns the configuration into a working telephone - the RTP server on the
// first free RTP port, the microphone capture, the SIP endpoint on the first free SIP port,
// registration with the proxy and its refresh, the ring files and the codec settings. Built once,
// after the first successful login (the SIP user is the service number the login returned), and
// closed with the main window.
//
// Threads: CreatePhoneModule, Close and the call controls are the window thread's; the controls
// take the stack lock around every call into the SIP endpoint. The report function and the boxes
// are the window's (the report is called on the SIP event thread too).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sip/sip_server.h"

namespace corvel {

class AudioBackend;
class PhoneLog;
class RtpServer;
class WaveCapture;
class WindowPoster;

struct PhoneRingFiles {
  std::string fileRing;  // the called party rings
  std::string crvtRing;  // an incoming call
  std::string callBye;   // a call failed
  std::string callRing;  // read and kept; no call flow plays it
};

struct PhoneModuleSetup {
  std::string configPath;     // used when CreatePhoneModule is given no file
  std::string programFolder;  // ends with '/'
  std::string sipNumber;      // the SIP user
  PhoneLog* log = nullptr;    // SIPPhone.log; not owned
  // WM_SIP_REGISTERED and WM_NAT_READY go to window; the level meters' messages to the meters.
  // Not owned; any may be null.
  WindowPoster* window = nullptr;
  WindowPoster* microphoneMeter = nullptr;
  WindowPoster* speakerMeter = nullptr;
  std::shared_ptr<AudioBackend> audio;  // null: the capture cannot open
  SipCallReport report;
  // Shows one modal box with the caption "提示"; returns when it is closed.
  std::function<void(const std::string& text)> showBox;
};

class PhoneModule {
 public:
  static constexpr int kPortTries = 5;
  static constexpr int kCaptureBuffers = 10;

  explicit PhoneModule(PhoneModuleSetup setup);
  ~PhoneModule();  // Close()
  PhoneModule(const PhoneModule&) = delete;
  PhoneModule& operator=(const PhoneModule&) = delete;

  // Builds everything from configFile (empty: the setup's configPath). On a failure it shows
  // one box and stops there, leaving what was made in place.
  bool CreatePhoneModule(const std::string& configFile);

  // The closing sequence: unregister and hang up, close the capture, delete the SIP endpoint,
  // the RTP server and the capture, each step logged.
  void Close();

  RtpServer* rtpServer() const { return rtpServer_.get(); }
  WaveCapture* waveCapture() const { return waveCapture_.get(); }
  SipServer* sipServer() const { return sipServer_.get(); }
  const PhoneRingFiles& ringFiles() const { return ringFiles_; }

  // The window's calls, each under the stack lock.
  bool Invite(const std::string& number);
  bool Answer(uint32_t Identify, int code);
  bool HangUp(uint32_t Identify);
  bool SendDtmf(int keyValue);
  // Microphone into the RTP server, when a call connects.
  bool StartCapture();

 private:
  void Log(const char* format, ...) CORVEL_PRINTF(2, 3);
  bool Fail(const char* line, const char* box);

  const PhoneModuleSetup setup_;
  std::unique_ptr<RtpMedia> media_;  // the RTP server as the endpoint sees it
  std::unique_ptr<RtpServer> rtpServer_;
  std::unique_ptr<WaveCapture> waveCapture_;
  std::unique_ptr<SipServer> sipServer_;
  PhoneRingFiles ringFiles_;
};

}  // namespace corvel
