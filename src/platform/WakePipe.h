#pragma once

#include <fcntl.h>
#include <unistd.h>

// Wakes a thread that waits in poll() on readEnd(); wake() may be called from any thread.
class WakePipe
{
public:
    WakePipe() = default;
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;
    ~WakePipe() { close(); }

    bool open()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        m_read = ends[0];
        m_write = ends[1];
        return true;
    }

    void close()
    {
        if (m_read >= 0)
            ::close(m_read);
        if (m_write >= 0)
            ::close(m_write);
        m_read = m_write = -1;
    }

    int readEnd() const { return m_read; }

    void wake() const
    {
        if (m_write < 0)
            return;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_write, &byte, 1);
    }

    // Empties the pipe once its wake-ups are seen.
    void drain() const
    {
        char bytes[64];
        while (::read(m_read, bytes, sizeof bytes) > 0) {
        }
    }

private:
    int m_read = -1;
    int m_write = -1;
};
