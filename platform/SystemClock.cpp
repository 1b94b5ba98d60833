#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

#ifdef _WIN32
#include <windows.h>

TDateTime SystemClock::now() const {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return dt::encode(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond) +
           static_cast<double>(st.wMilliseconds) / 86400000.0;
}

uint32_t SystemClock::tickCount() const {
    return static_cast<uint32_t>(GetTickCount());
}

void SystemClock::sleepMs(uint32_t ms) {
    Sleep(ms);
}

void SystemClock::idle() {
    Sleep(0);
}
#else
TDateTime SystemClock::now() const {
    const auto tp = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    return dt::encode(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec) +
           static_cast<double>(ms % 1000) / 86400000.0;
}

uint32_t SystemClock::tickCount() const {
    const auto d = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

void SystemClock::sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SystemClock::idle() {
    // A short nap instead of a hot spin: the byte rate at 57600 bit/s is one byte per 0.17 ms.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}
#endif

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}
