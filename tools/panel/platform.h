// What the panel needs of the platform, behind one seam that each platform fills
// (platform_posix.cpp, platform_windows.cpp): the socket library's start-up, and what a command
// prints caught while it runs.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace mfbctl::panel {

// The platform's socket library, started for the life of the object (Windows: WSAStartup, which
// every socket call of the process needs first; POSIX systems need nothing).
class SocketLibrary {
  public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
};

// Catches what the process prints on its standard output (stream 1) and standard error (stream 2)
// while the object lives, handing it to `sink` as it comes, from a thread of its own; the
// destructor puts both streams back and hands on what is left. The library's own lines (a flash's
// stages) go the same way, since it prints on the same descriptor.
class Capture {
  public:
    using Sink = std::function<void(int stream, const std::string& text)>;
    explicit Capture(Sink sink);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace mfbctl::panel
