// Pieces the endpoint tests share: a recording window, the lines of SIPPhone.log, free ports.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_poster.h"

namespace corvel::testing {

// The texts of a PhoneLog file, each without its time stamp ("yyyy/mm/dd hh:mm:ss mmm :").
inline std::vector<std::string> LogTexts(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t at = line.find(" :");
    texts.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return texts;
}

inline bool HasLine(const std::string& path, const std::string& text) {
  for (const std::string& line : LogTexts(path)) {
    if (line == text) return true;
  }
  return false;
}

inline int CountLinesStarting(const std::string& path, const std::string& start) {
  int count = 0;
  for (const std::string& line : LogTexts(path))
    count += line.rfind(start, 0) == 0 ? 1 : 0;
  return count;
}

// Polls until done() or timeoutMs passes; done()'s last answer.
template <typename Done>
bool WaitUntil(Done done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A UDP port on 127.0.0.1 that was free a moment ago (at least 1024).
inline int FreeUdpPort() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin_port);
    }
    close(fd);
    if (port >= 1024) return port;
  }
  return 0;
}

}  // namespace corvel::testing
