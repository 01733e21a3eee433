// A thread running one loop function until asked to stop. A loop that does not notice the request
// within half a second is abandoned, not waited for: the thread keeps its own reference to the
// loop function and its flag, so whatever the loop captured by std::shared_ptr lives until the
// thread really ends.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvel {

class WorkerThread {
 public:
  // The loop runs while `running` is set and should return soon after it is cleared.
  using Loop = std::function<void(const std::atomic<bool>& running)>;

  // Starts a thread that calls loop(running) with running set; with startSuspended, only once
  // Resume() is called. nullptr when loop is empty or the thread cannot be created.
  static std::unique_ptr<WorkerThread> Create(Loop loop, bool startSuspended = false);

  // Stops as Stop() does.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Lets a thread created suspended call its loop; nothing otherwise.
  void Resume();

  // Clears the running flag and waits up to 500 ms for the thread to end. True when it ended
  // (a thread never resumed ends without calling the loop); false when it is still running and
  // was abandoned to finish on its own. From the thread itself it only clears the flag and
  // returns false.
  bool Stop();
  // Only clears the running flag, so that a loop woken from its wait afterwards ends.
  void RequestStop();

  bool running() const;  // the flag the loop sees
  bool ended() const;    // the thread body has finished (the loop returned or never ran)

 private:
  struct Control;

  explicit WorkerThread(std::shared_ptr<Control> control);
  static void Body(std::shared_ptr<Control> control);

  const std::shared_ptr<Control> control_;  // shared with the thread
  std::mutex threadMutex_;  // guards thread_ and threadId_ (Stop may run on two threads at once)
  std::thread thread_;
  std::thread::id threadId_;  // kept after the thread is detached, to recognise it
};

}  // namespace corvel
