#pragma once

#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

#include "bounded_queue.h"

namespace tessaly {

// Threads that take jobs from a bounded queue until it is closed. Each thread keeps a `State`
// of its own for its whole life (a buffer, say), so the work shares nothing but the queue.
// `work` must not throw. Always joined: by finish(), or at the latest by the destructor.
template <class Job, class State>
class WorkerPool {
  public:
    using Work = std::function<void(Job&, State&)>;

    WorkerPool(unsigned threads, std::size_t queueCapacity, Work work)
        : queue_(queueCapacity), work_(std::move(work)) {
        threads_.reserve(threads);
        try {
            for (unsigned i = 0; i < threads; ++i)
                threads_.emplace_back([this] { run(); });
        } catch (...) {
            finish();  // the threads already started wait on the queue: release them
            throw;
        }
    }
    ~WorkerPool() { finish(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Waits while the queue is full; false when the pool is finishing.
    bool submit(Job job) { return queue_.push(std::move(job)); }

    // Lets the threads finish the jobs already queued, then joins them.
    void finish() noexcept {
        queue_.close();
        threads_.clear();  // joins
    }

  private:
    void run() {
        State state;
        while (auto job = queue_.pop())
            work_(*job, state);
    }

    BoundedQueue<Job> queue_;
    Work work_;
    std::vector<std::jthread> threads_;
};

}  // namespace tessaly
