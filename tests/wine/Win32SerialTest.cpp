// The Win32 serial layer under Wine: failures of ports that are missing or refuse the line, and,
// when the Wine job has mapped a COM port to the simulator's pty (KV_WINE_COM_PORT), the port
// in use, the lines a pty lacks and the read time limit.
#ifdef _WIN32
#include "modem/ModemLink.h"
#include "platform/Clock.h"
#include "platform/Win32SerialOs.h"
#include "serial/TSerialPortDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

void configureAsProgram(TSerialPortDriver& port) {
    port.setInBufSize(4096);
    port.setOutBufSize(4096);
    port.setHwFlow(hfNONE);
    port.setEnableDTROnOpen(false);
    port.setOutputTimeout(50);
    port.setInputTimeout(50);
    port.setBaudRateValue(57600);
    port.SuspendPolling();
}

class QuietMessages final : public IMessages {
public:
    void error(const std::string& t) override { errors.push_back(t); }
    void info(const std::string&) override {}
    bool question(const std::string&) override { return true; }
    std::vector<std::string> errors;
};

class SearchHost final : public IModemHost {
public:
    void setStatusPanel0(const std::string& t) override { panel0 = t; }
    void setStatusPanel1(const std::string& t) override { panel1 = t; }
    double portSpinValue() const override { return port; }
    double portSpinMinimum() const override { return port; }
    void setPortSpinValue(double v) override { port = static_cast<int>(v); }
    void turnConnectSwitchOff() override { switchedOff = true; }
    void switchTasksOff() override {}
    bool analyzerShowing() const override { return false; }
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}
    IMessages& messages() override { return box; }
    int port = 0;
    bool switchedOff = false;
    std::string panel0, panel1;
    QuietMessages box;
};

int mappedPort() {
    const char* v = std::getenv("KV_WINE_COM_PORT");
    return v ? std::atoi(v) : 0;
}

std::string comName(int n) {
    return "\\\\.\\Com" + std::to_string(n);
}

} // namespace

TEST(Win32Serial, MissingPortStaysClosedAndEveryOperationIsHarmless) {
    Win32SerialOs os;
    TSerialPortDriver port(os, SystemClock::instance());
    configureAsProgram(port);
    port.setPortName(comName(251));
    EXPECT_FALSE(port.OpenPort());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(os.lastError().find("CreateFileA"), std::string::npos) << os.lastError();

    uint8_t buf[8] = {};
    const uint8_t data[2] = {'#', '?'};
    EXPECT_EQ(port.InputCount(), 65535u);
    EXPECT_EQ(port.OutputFree(), 65535u);
    EXPECT_EQ(port.ReadBytes(buf, sizeof buf), 0u);
    EXPECT_EQ(port.WriteBytes(data, 2), 0u);
    EXPECT_EQ(port.ModemLines(), 0u);
    EXPECT_FALSE(port.PurgeQueues(true, true));
    port.SetDtrLine(true);
    port.SetRtsLine(true);
    port.ClosePort();
    EXPECT_FALSE(port.IsOpen());
}

// What ReadFile, WriteFile and the line calls give once the adapter is pulled, through the FTDI
// driver or the system's own; a time-out or a busy call is no loss.
TEST(Win32Serial, DeviceGoneErrorCodes) {
    for (DWORD gone :
         {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_DEV_NOT_EXIST, ERROR_OPERATION_ABORTED,
          ERROR_DEVICE_REMOVED, ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_INVALID_HANDLE})
        EXPECT_TRUE(isDeviceGoneError(gone)) << gone;
    EXPECT_EQ(ERROR_DEV_NOT_EXIST, 55);
    for (DWORD transient :
         {ERROR_SUCCESS, ERROR_IO_PENDING, ERROR_SEM_TIMEOUT, ERROR_COUNTER_TIMEOUT, ERROR_INVALID_PARAMETER})
        EXPECT_FALSE(isDeviceGoneError(transient)) << transient;
}

TEST(Win32Serial, DeviceThatRefusesTheLineSettingsIsClosedAgain) {
    // NUL opens like any device but is no serial port: SetCommState fails.
    Win32SerialOs os;
    TSerialPortDriver port(os, SystemClock::instance());
    configureAsProgram(port);
    port.setPortName("NUL");
    EXPECT_FALSE(port.OpenPort());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(os.isOpen());
    // The layer can be used again afterwards.
    port.setPortName(comName(252));
    EXPECT_FALSE(port.OpenPort());
}

TEST(Win32Serial, DeviceHeldByOneUserIsRefusedToTheNextUntilReleased) {
    Win32SerialOs first;
    Win32SerialOs second;
    ASSERT_TRUE(first.open("NUL")) << first.lastError();
    EXPECT_FALSE(second.open("\\\\.\\nul")) << "the same device under another spelling";
    EXPECT_NE(second.lastError().find("in use"), std::string::npos) << second.lastError();
    EXPECT_FALSE(second.isOpen());
    first.close();
    EXPECT_TRUE(second.open("NUL")) << second.lastError();
    second.close();
    EXPECT_TRUE(first.open("NUL"));
}

TEST(Win32Serial, ModemSearchOverMissingPortsEndsWithTheSwitchOff) {
    Win32SerialOs os;
    SystemClock& clock = SystemClock::instance();
    TSerialPortDriver port(os, clock);
    configureAsProgram(port);
    ModemLink link(port, clock);
    SearchHost host;
    host.port = 250; // 250..256: none is mapped in the test prefix
    link.SwitchConnectOn(host);
    EXPECT_TRUE(host.switchedOff);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(link.ModemReply.empty());
}

TEST(WinePty, ModemIsFoundThoughThePtyCarriesNoLines) {
    const int n = mappedPort();
    if (n == 0)
        GTEST_SKIP() << "KV_WINE_COM_PORT not set: run by wine_download.sh";
    Win32SerialOs os;
    SystemClock& clock = SystemClock::instance();
    TSerialPortDriver port(os, clock);
    configureAsProgram(port);
    port.setPortName(comName(n));
    ASSERT_TRUE(port.OpenPort()) << os.lastError();
    // DTR and RTS do not exist on a pty: the call fails, and nothing else is affected.
    EXPECT_FALSE(os.setDtr(true));
    EXPECT_NE(os.lastError().find("EscapeCommFunction"), std::string::npos) << os.lastError();
    port.ClosePort();

    ModemLink link(port, clock);
    SearchHost host;
    host.port = n;
    link.SwitchConnectOn(host);
    EXPECT_FALSE(host.switchedOff);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(link.ModemReply.substr(0, 4), "M742");
    EXPECT_EQ(host.panel0, "USB/RK " + link.ModemReply.substr(4, 7));
    // The write went through: panel 1 tells only that the modem was found.
    EXPECT_EQ(host.panel1, ModemLink::foundText(link.portLabel(n)));
    link.SwitchConnectOff(host);
    EXPECT_FALSE(port.IsOpen());
}

TEST(WinePty, PortInUseCannotBeOpenedTwice) {
    const int n = mappedPort();
    if (n == 0)
        GTEST_SKIP() << "KV_WINE_COM_PORT not set: run by wine_download.sh";
    Win32SerialOs first;
    Win32SerialOs second;
    ASSERT_TRUE(first.open(comName(n))) << first.lastError();
    EXPECT_FALSE(second.open(comName(n)));
    EXPECT_FALSE(second.isOpen());
    first.close();
    EXPECT_TRUE(second.open(comName(n))) << second.lastError();
}

TEST(WinePty, ReadOfMoreThanArrivesEndsAfterTheInputTimeout) {
    const int n = mappedPort();
    if (n == 0)
        GTEST_SKIP() << "KV_WINE_COM_PORT not set: run by wine_download.sh";
    Win32SerialOs os;
    SystemClock& clock = SystemClock::instance();
    TSerialPortDriver port(os, clock);
    configureAsProgram(port);
    port.setPortName(comName(n));
    ASSERT_TRUE(port.OpenPort()) << os.lastError();
    // RTS stays where it is on a pty, so this goes to the modem as data: a name nobody has.
    const std::string nobody = "X0000000000HEADER-";
    EXPECT_EQ(port.WriteBytes(reinterpret_cast<const uint8_t*>(nobody.data()),
                              static_cast<uint32_t>(nobody.size())),
              nobody.size());
    uint8_t buf[64];
    const uint32_t t0 = clock.tickCount();
    EXPECT_EQ(port.ReadBytes(buf, sizeof buf), 0u);
    const uint32_t took = clock.tickCount() - t0;
    EXPECT_GE(took, 50u);
    EXPECT_LT(took, 1000u);
    EXPECT_EQ(port.InputCount(), 0u);
    EXPECT_TRUE(port.PollingActive() == false) << "ReadBytes leaves the suspension as it found it";
}
#endif
