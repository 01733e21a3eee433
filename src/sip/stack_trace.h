// The optional trace of the SIP stack (log/SIPLib.log). osip2 keeps one process-wide trace
// target; it is pointed at a writer of ours, so that closing the file never leaves osip2 a
// dangling FILE*.
#pragma once

#include <string>

namespace corvel {

class StackTrace {
 public:
  // Opens path (truncating) and sends osip2's lines up to level into it. False when the file
  // cannot be opened; the trace stays off then.
  static bool Open(const std::string& path, int level);
  // Stops the trace and closes the file; osip2 writes nothing anywhere afterwards.
  static void Close();
};

}  // namespace corvel
