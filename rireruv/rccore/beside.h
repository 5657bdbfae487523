// Work that runs beside the polls rather than in them: a walk of /proc for the processes that
// hold a receiver's nodes took 6-9 s on a machine with half a million open descriptors, and a
// poll that waits for it stops the dialog's timer and the keys with it.
//
// The work gets its bounds (a stop asked by the owner, a deadline, a number of links read) and
// must look at them often; the owner takes the result on a later poll, on its own thread, so a
// listener of notes.h is still told only from inside an entry.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <future>
#include <thread>

namespace rireruv {

struct ScanBounds {
    const std::atomic<bool>* stop = nullptr;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    size_t maxLinks = static_cast<size_t>(-1);
    // The look ends here: stopped, past its deadline, or linksRead at the limit.
    bool over(size_t linksRead) const;
    // Bounds that stop at once: what is left when no thread could be started.
    static ScanBounds none();
};

// A thread that takes no signal, at the lowest priority: SIGINT and the others must reach the
// thread that waits in poll() or read(), whose EINTR is how a front end hears them, and the
// look must take only the CPU that the polls and the keys leave.
std::thread quietThread(std::function<void()> body);

template <class T> class Beside {
  public:
    Beside() = default;
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;
    ~Beside() { stop(); }

    // Starts work with bounds of budget and maxLinks, unless one is under way. Where no thread
    // can be had, the work runs here with bounds already over, so that it says what it could
    // not look at rather than hold the poll.
    void start(std::function<T(const ScanBounds&)> work, std::chrono::milliseconds budget,
               size_t maxLinks) {
        if (m_thread.joinable())
            return;
        m_stop = false;
        ScanBounds bounds;
        bounds.stop = &m_stop;
        bounds.deadline = std::chrono::steady_clock::now() + budget;
        bounds.maxLinks = maxLinks;
        std::packaged_task<T()> task([work, bounds] { return work(bounds); });
        m_result = task.get_future();
        try {
            m_thread = quietThread(
                [t = std::make_shared<std::packaged_task<T()>>(std::move(task))] { (*t)(); });
        } catch (const std::system_error&) {
            std::promise<T> now;
            now.set_value(work(ScanBounds::none()));
            m_result = now.get_future();
        }
    }
    bool running() const { return m_result.valid(); }
    // The result, once, when the work has ended; false while it runs or when none was started.
    bool ready(T& out) {
        if (!m_result.valid() ||
            m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false;
        out = m_result.get();
        if (m_thread.joinable())
            m_thread.join();
        return true;
    }
    // Asks the work to end and waits for it: it looks at its bounds after each link it reads.
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_result = std::future<T>();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::future<T> m_result;
    std::thread m_thread;
};

} // namespace rireruv
