#include "media/toolkit/working_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <new>

namespace corvel {
namespace {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

}  // namespace

bool EnterFolder(const std::string& path) {
  return !path.empty() && chdir(path.c_str()) == 0;
}

std::string CurrentFolder() {
  // glibc allocates a buffer of the size needed when given none.
  const std::unique_ptr<char, FreeDeleter> folder(getcwd(nullptr, 0));
  if (!folder) return {};
  try {
    return folder.get();
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace corvel
