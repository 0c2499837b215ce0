#include "background_tasks.h"

namespace tessaly {

BackgroundTasks::~BackgroundTasks() {
    std::lock_guard lock(mutex_);
    for (auto& task : tasks_)
        task->thread.request_stop();
    tasks_.clear();  // jthread joins
}

void BackgroundTasks::run(std::function<void(std::stop_token)> work) {
    joinFinished();
    auto task = std::make_unique<Task>();
    Task* raw = task.get();
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        raw->thread = std::jthread([raw, work = std::move(work)](std::stop_token stop) {
            work(stop);
            raw->finished = true;
        });
    }
}

// Keeps the list as short as the work that is still running.
void BackgroundTasks::joinFinished() {
    std::lock_guard lock(mutex_);
    std::erase_if(tasks_, [](const std::unique_ptr<Task>& task) { return task->finished.load(); });
}

}  // namespace tessaly
