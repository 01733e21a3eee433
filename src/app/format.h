// printf-style formatting into a std::string, for the log calls that take a format.
#pragma once

#include <cstdarg>
#include <string>

#define CORVEL_PRINTF(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))

namespace corvel {

std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) CORVEL_PRINTF(1, 2);

}  // namespace corvel
