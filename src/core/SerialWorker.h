#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One background thread that runs tasks one after another in the order they were posted. A task posted
// with a tag replaces a queued, not yet started task of the same tag: only the newest history snapshot
// needs writing. The destructor runs everything still queued before it returns.
class SerialWorker
{
public:
    SerialWorker();
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task);
    void postReplacing(int tag, std::function<void()> task);
    // Blocks until every task posted so far has finished.
    void waitUntilIdle();

private:
    struct Task
    {
        int tag;
        std::function<void()> run;
    };

    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task> m_queue;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};
