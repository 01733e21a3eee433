// The corvel executable. Until the service link and the windows are part of the build it
// prepares the application folder and says what it is missing.
#include <cstdio>

#include "app/app_folder.h"
#include "app/config.h"
#include "media/toolkit/working_folder.h"

int main() {
  using namespace corvel;
  const std::string folder = ChooseApplicationFolder(FolderEnvironment::FromProcess());
  if (!folder.empty()) EnterFolder(folder);
  EmptyLogFolder(folder + "log");
  const Config config(folder + kConfigFileName);
  const HostPort server = config.udpRemote();
  std::fprintf(stderr,
               "corvel: application folder %s, account server %s:%d\n"
               "corvel: this build has no service link yet; nothing more to do\n",
               folder.c_str(), server.host.c_str(), server.port);
  return 1;
}
