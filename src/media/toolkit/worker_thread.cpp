#include "media/toolkit/worker_thread.h"

#include <chrono>
#include <condition_variable>
#include <system_error>

namespace corvel {
namespace {

constexpr std::chrono::milliseconds kStopWait{500};

}  // namespace

struct WorkerThread::Control {
  std::atomic<bool> running{true};
  Loop loop;         // used by the thread only, once it has started
  std::mutex mutex;  // guards resumed and ended; running is also changed under it
  std::condition_variable changed;
  bool resumed = false;
  bool ended = false;
};

WorkerThread::WorkerThread(std::shared_ptr<Control> control) : control_(std::move(control)) {}

std::unique_ptr<WorkerThread> WorkerThread::Create(Loop loop, bool startSuspended) {
  if (!loop) return nullptr;
  try {
    auto control = std::make_shared<Control>();
    control->loop = std::move(loop);
    control->resumed = !startSuspended;
    std::unique_ptr<WorkerThread> worker(new WorkerThread(control));
    const std::lock_guard<std::mutex> guard(worker->threadMutex_);
    worker->thread_ = std::thread(&WorkerThread::Body, std::move(control));
    worker->threadId_ = worker->thread_.get_id();
    return worker;
  } catch (...) {
    // The thread was not started, so nothing else holds the control block.
    return nullptr;
  }
}

void WorkerThread::Body(std::shared_ptr<Control> control) {
  bool start = false;
  {
    std::unique_lock<std::mutex> guard(control->mutex);
    control->changed.wait(guard, [&] { return control->resumed || !control->running; });
    start = control->running;
  }
  if (start) {
    try {
      control->loop(control->running);
    } catch (...) {
      // A loop that throws ends like one that returns; nothing outside could catch it.
    }
  }
  control->running = false;
  // Release the loop's captures here, on the thread, as soon as it is done with them.
  control->loop = nullptr;
  {
    const std::lock_guard<std::mutex> guard(control->mutex);
    control->ended = true;
  }
  control->changed.notify_all();
}

WorkerThread::~WorkerThread() {
  Stop();
}

void WorkerThread::Resume() {
  {
    const std::lock_guard<std::mutex> guard(control_->mutex);
    control_->resumed = true;
  }
  control_->changed.notify_all();
}

void WorkerThread::RequestStop() {
  {
    const std::lock_guard<std::mutex> guard(control_->mutex);
    control_->running = false;
  }
  control_->changed.notify_all();
}

bool WorkerThread::Stop() {
  RequestStop();
  std::thread thread;
  {
    const std::lock_guard<std::mutex> guard(threadMutex_);
    if (threadId_ == std::this_thread::get_id()) {
      if (thread_.joinable()) thread_.detach();  // the body ends once the loop returns
      return false;
    }
    thread = std::move(thread_);
  }
  // Also reached when another Stop holds the thread or it was abandoned before: then there is
  // nothing to join, only the end to wait for.
  bool finished = false;
  {
    std::unique_lock<std::mutex> guard(control_->mutex);
    finished = control_->changed.wait_for(guard, kStopWait, [this] { return control_->ended; });
  }
  if (thread.joinable()) {
    if (finished) {
      thread.join();  // only the last few instructions of the body are left
    } else {
      thread.detach();
    }
  }
  return finished;
}

bool WorkerThread::running() const {
  return control_->running;
}

bool WorkerThread::ended() const {
  const std::lock_guard<std::mutex> guard(control_->mutex);
  return control_->ended;
}

}  // namespace corvel
