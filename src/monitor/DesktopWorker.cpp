#include "monitor/DesktopWorker.h"

#include "model/ProgramLog.h"

#include <exception>

TThreadTaskRunner::TThreadTaskRunner()
    : m_thread([this] { Run(); })
{
}

TThreadTaskRunner::~TThreadTaskRunner()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void TThreadTaskRunner::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void TThreadTaskRunner::Run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty()) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        try {
            job();
        } catch (const std::exception& error) {
            LogError(error, "; TThreadTaskRunner.Run: ");
        } catch (...) {
            LogMessageWrite("TThreadTaskRunner.Run: a job ended with an unknown error");
        }
    }
}
