// "corvel-devservice control HOST:PORT COMMAND...": sends one control command and prints the
// answer.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace corvel::devservice {

inline constexpr int kControlAnswerWaitMs = 2000;

// args: HOST:PORT then the command's words. Exit status: 0 for an "ok" answer, 1 for any other
// answer or bad arguments, 2 when no answer came within two seconds.
int RunControlClient(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace corvel::devservice
