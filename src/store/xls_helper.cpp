#include "store/xls_helper.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/app_folder.h"
#include "app/app_log.h"
#include "store/helper_process.h"
#include "store/workbook_stream.h"

#ifndef CORVEL_XLS_READ_INSTALLED
#define CORVEL_XLS_READ_INSTALLED "/usr/local/libexec/corvel/corvel-xls-read"
#endif

namespace corvel {
namespace {

using store_detail::HelperResult;

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

void LogFailure(const HelperResult& result, const std::string& helper) {
  using End = HelperResult::End;
  switch (result.end) {
    case End::kNotStarted:
      AppLog(0, "%s could not be started (error %d)", helper.c_str(), result.code);
      break;
    case End::kSignalled:
      AppLog(0, "%s ended by signal %d: the workbook is refused", helper.c_str(), result.code);
      break;
    case End::kTimedOut:
      AppLog(0, "%s took too long and was stopped: the workbook is refused", helper.c_str());
      break;
    case End::kTooMuchOutput:
      AppLog(0, "%s wrote too much and was stopped: the workbook is refused", helper.c_str());
      break;
    case End::kFailed:
      AppLog(0, "%s could not be waited for: the workbook is refused", helper.c_str());
      break;
    case End::kExited:
      // Exit status 1 is the ordinary "no readable workbook" and needs no line.
      if (result.code > 1) AppLog(0, "%s exited with %d", helper.c_str(), result.code);
      break;
  }
}

}  // namespace

XlsHelperPlaces XlsHelperPlaces::FromProcess() {
  XlsHelperPlaces places;
  if (const char* value = std::getenv(kXlsHelperVariable)) places.fromVariable = value;
  places.executableFolder = ExecutableFolder();
  places.installed = CORVEL_XLS_READ_INSTALLED;
  return places;
}

std::string FindXlsHelper(const XlsHelperPlaces& places) {
  if (places.fromVariable) return *places.fromVariable;
  if (!places.executableFolder.empty()) {
    std::string beside = places.executableFolder;
    if (beside.back() != '/') beside += '/';
    // The build's folder holds it beside the binary; an installed tree, whatever its prefix
    // (a package installs under /usr, `cmake --install` under /usr/local), under libexec/.
    const std::string installedBeside = beside + "../libexec/corvel/" + kXlsHelperName;
    beside += kXlsHelperName;
    if (IsExecutableFile(beside)) return beside;
    if (IsExecutableFile(installedBeside)) return installedBeside;
  }
  if (IsExecutableFile(places.installed)) return places.installed;
  return {};
}

std::optional<Workbook> ReadXlsInHelper(const std::string& path) {
  const std::string helper = FindXlsHelper(XlsHelperPlaces::FromProcess());
  if (helper.empty()) {
    AppLog(0, "%s is not installed: .xls workbooks cannot be read", kXlsHelperName);
    return std::nullopt;
  }
  return ReadXlsInHelper(path, helper, XlsHelperLimits{});
}

std::optional<Workbook> ReadXlsInHelper(const std::string& path, const std::string& helper,
                                        const XlsHelperLimits& limits) {
  const HelperResult result =
      store_detail::RunHelper({helper, path}, {limits.maxOutputBytes, limits.timeLimitMs});
  if (result.end != HelperResult::End::kExited || result.code != 0) {
    LogFailure(result, helper);
    return std::nullopt;
  }
  auto workbook = DecodeWorkbook(result.output);
  if (!workbook) AppLog(0, "%s answered no workbook stream: it is refused", helper.c_str());
  return workbook;
}

}  // namespace corvel
