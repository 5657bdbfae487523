// A write that a reader who left cannot turn into the end of the program.
#pragma once

#include <sys/types.h>

namespace rireruv {

// write(2) that cannot kill the process with SIGPIPE when the reader of a pipe has gone: the
// signal is blocked in this thread around the write and one it raised is taken back, without
// touching the process's disposition, which belongs to the program. Returns what write
// returned; errno as it left it (EPIPE then).
ssize_t writeWithoutSigpipe(int fd, const void* data, size_t size);

} // namespace rireruv
