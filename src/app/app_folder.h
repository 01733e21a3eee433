// Where the application's files live: the configuration, the sounds, the logs, data.dat and
// the address book.
#pragma once

#include <string>

namespace corvel {

struct FolderEnvironment {
  std::string corvelHome;        // $CORVEL_HOME
  std::string executableFolder;  // folder of the running binary, ending with '/'
  std::string xdgDataHome;       // $XDG_DATA_HOME
  std::string home;              // $HOME
  std::string defaultsFolder;    // the installed defaults the first start copies, ending with '/'

  static FolderEnvironment FromProcess();
};

// The application folder, ending with '/': $CORVEL_HOME when set; else the executable's folder
// when it holds CorvelConfig.ini and is writable (a portable folder); else $XDG_DATA_HOME/corvel/
// (~/.local/share/corvel/), created and filled from the installed defaults. Empty when none of
// them can be had.
std::string ChooseApplicationFolder(const FolderEnvironment& environment);

// Copies every file of defaults that folder does not have yet (sub-folders included), so a
// user's edited files are kept and new defaults still arrive. Returns the number copied.
int SeedFolder(const std::string& folder, const std::string& defaults);

// Deletes every file in logFolder and its sub-folders, keeping the folders; creates logFolder
// when it is missing. Failures are ignored: logging then simply writes nothing.
void EmptyLogFolder(const std::string& logFolder);

// The folder of the running binary, ending with '/', or empty when it cannot be found.
std::string ExecutableFolder();

}  // namespace corvel
