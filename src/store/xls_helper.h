// Reading .xls workbooks in a separate, short-lived process (corvel-xls-read, tools/xls-read):
// FreeXL can be made to corrupt memory by a hostile file, and there it can only harm that
// process. Whatever becomes of it, the caller gets the workbook or none.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "store/workbook.h"

namespace corvel {

inline constexpr const char* kXlsHelperName = "corvel-xls-read";
// Names the helper to run instead of looking for one (the tests point it at the build's).
inline constexpr const char* kXlsHelperVariable = "CORVEL_XLS_READ";

struct XlsHelperLimits {
  std::size_t maxOutputBytes = std::size_t{256} << 20;
  int timeLimitMs = 30000;
};

// Where the helper may be, in the order they are tried.
struct XlsHelperPlaces {
  std::optional<std::string> fromVariable;  // used as it is, runnable or not
  std::string executableFolder;             // the running program's, ending in '/'
  std::string installed;                    // the full path the installation puts it at

  static XlsHelperPlaces FromProcess();
};

// The helper's path: the variable's value when it is set; else an executable corvel-xls-read in
// the executable's folder, or in ../libexec/corvel/ from it; else the installed one when it is
// executable; else empty.
std::string FindXlsHelper(const XlsHelperPlaces& places);

// What ReadXls gives for the file, computed by the helper found from this process. None also
// when no helper is found (the file is then refused, never read here), or when the helper fails
// in any way: it is not found, crashes, passes the limits, exits with anything but success or
// writes anything but one well-formed workbook stream.
std::optional<Workbook> ReadXlsInHelper(const std::string& path);
std::optional<Workbook> ReadXlsInHelper(const std::string& path, const std::string& helper,
                                        const XlsHelperLimits& limits);

}  // namespace corvel
