#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Where a job runs: the desktop's services answer in their own time (a hung browser, a busy
// compositor), so the scan hands its calls to a thread of their own and the window's thread only
// receives what they found. A job runs once, in the order it was posted.
class TTaskRunner
{
public:
    virtual ~TTaskRunner() = default;
    virtual void Post(std::function<void()> job) = 0;
};

// Runs each job at once, on the caller's thread: the scan as one synchronous step, for tests and
// for tools that sample once.
class TInlineTaskRunner final : public TTaskRunner
{
public:
    void Post(std::function<void()> job) override
    {
        job();
    }
};

// One thread that runs the posted jobs in order. A job must not raise (whatever it raises is
// logged and dropped). Destruction runs the jobs already waiting, then joins: a job in the middle
// of a desktop call ends within that call's own bound.
class TThreadTaskRunner final : public TTaskRunner
{
public:
    TThreadTaskRunner();
    ~TThreadTaskRunner() override;
    TThreadTaskRunner(const TThreadTaskRunner&) = delete;
    TThreadTaskRunner& operator=(const TThreadTaskRunner&) = delete;

    void Post(std::function<void()> job) override;

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};
