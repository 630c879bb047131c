#include "SerialWorker.h"

#include <algorithm>

namespace {
constexpr int untagged = 0;
}

SerialWorker::SerialWorker()
    : m_thread([this] { loop(); })
{}

SerialWorker::~SerialWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SerialWorker::post(std::function<void()> task)
{
    postReplacing(untagged, std::move(task));
}

void SerialWorker::postReplacing(int tag, std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        if (tag != untagged)
            std::erase_if(m_queue, [tag](const Task& queued) { return queued.tag == tag; });
        m_queue.push_back({tag, std::move(task)});
    }
    m_wake.notify_one();
}

void SerialWorker::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_running; });
}

void SerialWorker::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            if (m_stopping)
                return;
            continue;
        }
        Task task = std::move(m_queue.front());
        m_queue.pop_front();
        m_running = true;
        lock.unlock();
        task.run();
        lock.lock();
        m_running = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
}
