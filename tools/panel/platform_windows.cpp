// The panel's platform seam (platform.h) on Windows. MFB.dll and the tool share the C runtime
// (msvcrt.dll) and with it descriptors 1 and 2, so the library's lines go wherever the tool points
// them.
#include "platform.h"

#include <winsock2.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

namespace mfbctl::panel {

SocketLibrary::SocketLibrary() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("the Windows socket library (Winsock 2.2) does not start");
}

SocketLibrary::~SocketLibrary() {
    WSACleanup();
}

struct Capture::Impl {
    int saved[2] = {-1, -1};
    int read[2] = {-1, -1};
    std::thread reader;
};

// An anonymous pipe cannot be waited on together with another: each is looked into every
// millisecond, and read once it holds something or its writers have gone.
Capture::Capture(Sink sink) : impl_(std::make_unique<Impl>()) {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        int fds[2];
        if (_pipe(fds, 65536, _O_BINARY | _O_NOINHERIT) != 0)
            throw std::runtime_error("cannot make a pipe for a command's output");
        impl_->read[i] = fds[0];
        impl_->saved[i] = _dup(i + 1);
        _dup2(fds[1], i + 1);
        _close(fds[1]);
    }
    impl_->reader = std::thread([impl = impl_.get(), sink = std::move(sink)] {
        bool open[2] = {true, true};
        while (open[0] || open[1]) {
            bool idle = true;
            for (int i = 0; i < 2; ++i) {
                if (!open[i])
                    continue;
                const auto pipe = reinterpret_cast<HANDLE>(_get_osfhandle(impl->read[i]));
                DWORD available = 0;
                const bool broken = !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
                if (!broken && available == 0)
                    continue;
                char buffer[4096];
                const int n = _read(impl->read[i], buffer, sizeof buffer);
                if (n > 0)
                    sink(i + 1, std::string(buffer, static_cast<std::size_t>(n)));
                else
                    open[i] = false;
                idle = false;
            }
            if (idle)
                Sleep(1);
        }
    });
}

Capture::~Capture() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        _dup2(impl_->saved[i], i + 1);
        _close(impl_->saved[i]);
    }
    impl_->reader.join();
    for (int fd : impl_->read)
        _close(fd);
}

} // namespace mfbctl::panel
