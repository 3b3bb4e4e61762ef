// The panel's platform seam (platform.h) on POSIX systems.
#include "platform.h"

#include <cstdio>
#include <stdexcept>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace mfbctl::panel {

SocketLibrary::SocketLibrary() = default;
SocketLibrary::~SocketLibrary() = default;

struct Capture::Impl {
    int saved[2] = {-1, -1}; // descriptors 1 and 2 as they were
    int read[2] = {-1, -1};  // the pipes' read ends, for streams 1 and 2
    std::thread reader;
};

Capture::Capture(Sink sink) : impl_(std::make_unique<Impl>()) {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("cannot make a pipe for a command's output");
        impl_->read[i] = fds[0];
        impl_->saved[i] = ::dup(i + 1);
        ::dup2(fds[1], i + 1);
        ::close(fds[1]); // the descriptor itself is the only writer left
    }
    impl_->reader = std::thread([impl = impl_.get(), sink = std::move(sink)] {
        pollfd p[2] = {{impl->read[0], POLLIN, 0}, {impl->read[1], POLLIN, 0}};
        for (int open = 2; open > 0;) {
            if (::poll(p, 2, -1) < 0)
                break;
            for (int i = 0; i < 2; ++i) {
                if (p[i].fd < 0 || p[i].revents == 0)
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sink(i + 1, std::string(buffer, static_cast<std::size_t>(n)));
                } else {
                    p[i].fd = -1; // every writer has gone: the stream is back where it was
                    --open;
                }
            }
        }
    });
}

Capture::~Capture() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        ::dup2(impl_->saved[i], i + 1);
        ::close(impl_->saved[i]);
    }
    impl_->reader.join();
    for (int fd : impl_->read)
        ::close(fd);
}

} // namespace mfbctl::panel
