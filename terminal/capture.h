// The library's messages, caught on their way to standard error: the full-screen terminal
// would wipe them, so the front end shows them on its status line instead, and they are
// written to the real standard error again once the terminal is given back.
//
// A thread of its own reads them as they come, so the library's writes never wait for the
// front end: a message longer than the pipe holds would otherwise block the program on its
// own standard error, since the library is called on the front end's thread.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace terminal {

class StderrCapture {
  public:
    StderrCapture();  // from here on, what goes to file descriptor 2 is caught
    ~StderrCapture(); // puts standard error back and writes out what was caught, escaped
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Whole lines written before this call and not taken yet, without '\n'; one longer than
    // kLineKept bytes is cut there and ends in "... (N bytes)".
    std::vector<std::string> take();
    // Writes what is still in the pipe, escaped, to the real standard error; safe in a signal
    // handler.
    static void flushRaw();
    // For a process a second signal ends at once, without this destructor: writes what the
    // thread had already taken from the pipe (the first kKeptBytes of it), then what is still
    // in it, escaped; safe in a signal handler.
    static void flushAll();
    // Text to the real standard error, escaped as flushRaw escapes; safe in a signal handler.
    static void writeRaw(const char* text);

    static const size_t kLineKept = 2048;
    static const size_t kLinesKept = 1000; // the newest, for the exit; earlier ones are counted
    static const size_t kKeptBytes = 64 * 1024;

  private:
    void readAll();       // the thread: until asked to stop, then what is left
    bool readAvailable(); // false when every writer is gone
    void add(const char* data, size_t size);
    void endLine();
    void writeOut() const; // to standard error, put back

    int m_stop[2] = {-1, -1}; // a pipe the destructor writes to, to end the thread
    std::thread m_reader;
    std::mutex m_mutex; // guards what follows
    std::string m_partial;
    size_t m_partialBytes = 0; // of the line so far, the bytes not kept included
    std::vector<std::string> m_fresh, m_all;
    size_t m_dropped = 0; // lines of m_all no longer kept
};

// write(2) of all of data to fd, again after EINTR; gives up on an error. Safe in a signal
// handler: the front end writes the terminal's modes and the caught messages with it.
void writeAll(int fd, const char* data, size_t size);

} // namespace terminal
