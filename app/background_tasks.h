#pragma once
// Blocking work that may overlap (update checks, the installation), each on a thread of its
// own. When the owner goes, every task is asked to stop and is joined.

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace tessaly {

class BackgroundTasks {
  public:
    BackgroundTasks() = default;
    ~BackgroundTasks();
    BackgroundTasks(const BackgroundTasks&) = delete;
    BackgroundTasks& operator=(const BackgroundTasks&) = delete;

    void run(std::function<void(std::stop_token)> task);

  private:
    struct Task {
        std::atomic<bool> finished = false;
        std::jthread thread;
    };
    void joinFinished();

    std::mutex mutex_;
    std::list<std::unique_ptr<Task>> tasks_;
};

}  // namespace tessaly
