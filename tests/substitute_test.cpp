// The Win32 substitute behaves as Windows documents it for the way the library uses it.
#include "bus_fixture.h"

#include "board/device_path.h"
#include "platform/win32.h"

#include <atomic>
#include <chrono>
#include <cstring>

using namespace mfbtest;
using mfb::vbus::Fn;

namespace {

class Substitute : public BusTest {};

HANDLE manual_event() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TEST_F(Substitute, ManualResetEventStaysSignalledUntilReset) {
    HANDLE e = manual_event();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(e));
}

TEST_F(Substitute, WaitReportsTheLowestSignalledIndex) {
    HANDLE e[3] = {manual_event(), manual_event(), manual_event()};
    SetEvent(e[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    SetEvent(e[0]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, INFINITE), WAIT_OBJECT_0);
    for (HANDLE h : e)
        CloseHandle(h);
}

// As on Windows, a closed handle's value goes to the next object opened, the most recently freed
// first; device sets, not kernel handles on Windows, take none of them.
TEST_F(Substitute, ClosedHandleValuesAreHandedOutAgainLatestFirst) {
    HANDLE e[3] = {manual_event(), manual_event(), manual_event()};
    ASSERT_TRUE(CloseHandle(e[0]));
    ASSERT_TRUE(CloseHandle(e[2]));
    attach_recorder();
    HDEVINFO set = SetupDiGetClassDevsA(&mfb::kBoardInterfaceClass, nullptr, nullptr, 0x12);
    EXPECT_NE(set, e[2]);
    EXPECT_NE(set, e[0]);
    HANDLE file = CreateFileA(mfb::vbus::device_path(0).c_str(), GENERIC_READ | GENERIC_WRITE, 3,
                              nullptr, OPEN_EXISTING, 0x80, nullptr);
    EXPECT_EQ(file, e[2]);
    EXPECT_EQ(manual_event(), e[0]);
    SetupDiDestroyDeviceInfoList(set);
}

// A driver's reference sets the event object it was given: while the library's handle is open the
// library sees it set, and once that handle is closed and its value taken by a new event, the
// reference reaches the old object only.
TEST_F(Substitute, EventReferenceSignalsTheObjectNotTheValue) {
    HANDLE e = manual_event();
    const mfb::vbus::EventReference ref =
        mfb::vbus::reference_event(mfb::platform::handle_value(e));
    ASSERT_TRUE(ref);
    EXPECT_TRUE(ref.signal());
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(CloseHandle(e));
    HANDLE next = manual_event();
    ASSERT_EQ(next, e);
    EXPECT_TRUE(ref.signal());
    EXPECT_EQ(WaitForSingleObject(next, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(mfb::vbus::reference_event(mfb::platform::handle_value(next) + 4));
    EXPECT_FALSE(mfb::vbus::EventReference().signal());
    CloseHandle(next);
}

TEST_F(Substitute, ClosedHandleIsInvalid) {
    HANDLE e = manual_event();
    ASSERT_TRUE(CloseHandle(e));
    EXPECT_FALSE(CloseHandle(e));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

DWORD WINAPI set_after_start(LPVOID p) {
    SetEvent(static_cast<HANDLE>(p));
    return 0;
}

TEST_F(Substitute, ThreadHandleIsSignalledWhenTheThreadEnds) {
    HANDLE e = manual_event();
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, set_after_start, e, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(mfb::vbus::thread_priority(mfb::platform::handle_value(t)), 15);
    CloseHandle(t);
    CloseHandle(e);
}

HANDLE g_event;
std::atomic<DWORD> g_result;

DWORD WINAPI wait_for_event(LPVOID) {
    g_result = WaitForSingleObject(g_event, INFINITE);
    return 0;
}

TEST_F(Substitute, ResetEndsAThreadBlockedInAWait) {
    g_event = manual_event();
    g_result = 0;
    HANDLE t = CreateThread(nullptr, 0, wait_for_event, nullptr, 0, nullptr);
    ASSERT_NE(t, nullptr);
    mfb::vbus::reset_process(); // joins the thread, whose wait fails
    EXPECT_EQ(g_result.load(), WAIT_FAILED);
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

TEST_F(Substitute, SetupRecordSizesAreChecked) {
    attach_recorder();
    HDEVINFO set = SetupDiGetClassDevsA(&mfb::kBoardInterfaceClass, nullptr, nullptr, 0x12);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info + 1;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    info.cbSize = sizeof info;
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, &info));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &info));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);

    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &mfb::kBoardInterfaceClass, 0, &iface));
    iface.cbSize = sizeof iface;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &mfb::kBoardInterfaceClass, 0, &iface));

    DWORD needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<char> buf(needed);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buf.data());
    detail->cbSize = needed; // the buffer size, a classic mistake
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, needed, nullptr, nullptr));
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, needed, nullptr, nullptr));
    EXPECT_EQ(std::string(detail->DevicePath), mfb::vbus::device_path(0));
    EXPECT_FALSE(CloseHandle(set)) << "a device set is destroyed, not closed";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(mfb::vbus::open_handles(), 0u);
}

TEST_F(Substitute, ExchangeCopiesBackOnlyTheBytesReturned) {
    auto d = attach_recorder();
    HANDLE h = CreateFileA(mfb::vbus::device_path(0).c_str(), GENERIC_READ | GENERIC_WRITE, 3,
                           nullptr, OPEN_EXISTING, 0x80, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    RecordingDriver::Answer a = answer({1, 2, 3, 4, 5, 6, 7, 8});
    a.count = 3;
    a.result = 2; // a driver may answer any nonzero BOOL; it is passed through
    d->script(a);
    std::uint8_t buf[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    DWORD n = 0;
    EXPECT_EQ(DeviceIoControl(h, 0x1234, buf, 8, buf, 8, &n, nullptr), 2);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(Bytes(buf, buf + 8), (Bytes{1, 2, 3, 9, 9, 9, 9, 9}));
    // Without an overlapped structure the count of bytes returned must have somewhere to go.
    EXPECT_FALSE(DeviceIoControl(h, 0x1234, buf, 8, buf, 8, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(d->records().size(), 1u) << "the driver is not reached";
    CloseHandle(h);
    EXPECT_FALSE(DeviceIoControl(h, 0x1234, buf, 8, buf, 8, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// A scripted answer without bytes leaves the request in place as the answer; only its result and
// count apply. (Copying its empty bytes once passed a null source to memcpy.)
TEST_F(Substitute, AnswerWithoutBytesLeavesTheRequestInPlace) {
    auto d = attach_recorder();
    HANDLE h = CreateFileA(mfb::vbus::device_path(0).c_str(), GENERIC_READ | GENERIC_WRITE, 3,
                           nullptr, OPEN_EXISTING, 0x80, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    RecordingDriver::Answer a;
    a.count = 2;
    d->script(a);
    std::uint8_t buf[4] = {1, 2, 3, 4};
    DWORD n = 0;
    EXPECT_EQ(DeviceIoControl(h, 0x1234, buf, 4, buf, 4, &n, nullptr), 1);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{1, 2, 3, 4}));
    CloseHandle(h);
}

TEST_F(Substitute, DetachedBoardFailsItsExchanges) {
    attach_recorder();
    HANDLE h = CreateFileA(mfb::vbus::device_path(0).c_str(), GENERIC_READ | GENERIC_WRITE, 3,
                           nullptr, OPEN_EXISTING, 0x80, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    mfb::vbus::detach(0);
    DWORD n;
    EXPECT_FALSE(DeviceIoControl(h, 0x1234, nullptr, 0, nullptr, 0, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_REMOVED);
    CloseHandle(h);
}

std::atomic<bool> g_returned;

DWORD WINAPI exit_through_free_library(LPVOID module) {
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    g_returned = true; // never reached
    return 0;
}

// GetModuleHandleExA counts a reference on the library unless told not to; FreeLibraryAndExitThread
// drops one and ends its thread without returning to it (a failed one keeps the reference and
// ends the thread all the same).
TEST_F(Substitute, ModulePinsAreCountedAndDroppedAsTheThreadEnds) {
    const auto address = reinterpret_cast<LPCSTR>(&exit_through_free_library);
    HMODULE a = nullptr, b = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &a));
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   address, &b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(mfb::vbus::module_pins(), 1u);
    g_returned = false;
    mfb::vbus::fail(Fn::FreeLibraryAndExitThread, 1);
    for (std::size_t pins : {1u, 0u}) {
        HANDLE t = CreateThread(nullptr, 0, exit_through_free_library, a, 0, nullptr);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
        EXPECT_FALSE(g_returned.load());
        EXPECT_EQ(mfb::vbus::module_pins(), pins);
        CloseHandle(t);
    }
    EXPECT_FALSE(FreeLibrary(a)) << "no reference left";
}

// On the virtual clock a wait with a time-out does not wait either: it times out at once and the
// clock moves on by the time-out. A signalled object is found at once, the clock standing still.
TEST_F(Substitute, VirtualClockTimesOutWaitsAtOnce) {
    HANDLE e = manual_event();
    mfb::vbus::set_virtual_clock(true);
    const std::uint64_t t0 = mfb::vbus::now_ns();
    const auto real = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(mfb::vbus::now_ns() - t0, 5000ull * 1000000ull);
    EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(1));
    SetEvent(e);
    EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(mfb::vbus::now_ns() - t0, 5000ull * 1000000ull);
    CloseHandle(e);
}

TEST_F(Substitute, VirtualClockSleepsWithoutWaiting) {
    mfb::vbus::set_virtual_clock(true);
    const std::uint64_t t0 = mfb::vbus::now_ns();
    Sleep(100000); // 100 s, no time at all in a virtual clock
    EXPECT_EQ(mfb::vbus::now_ns() - t0, 100000ull * 1000000ull);
    mfb::vbus::advance(5);
    EXPECT_EQ(mfb::vbus::now_ns() - t0, 100000ull * 1000000ull + 5);
    EXPECT_EQ(mfb::vbus::slept_ms(), 100000u);
}

} // namespace
