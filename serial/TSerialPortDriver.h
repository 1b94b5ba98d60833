#pragma once
#include "platform/Clock.h"
#include "platform/SerialOs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TPortNumber {
    pnCustom,
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};
enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlowControl { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };
enum TPacketMode { pmDiscard, pmPass };

enum TModemLine : uint32_t { mlCTS = 1u << 0, mlDSR = 1u << 1, mlRING = 1u << 2, mlRLSD = 1u << 3 };

// The one serial port of the program. Every operation on a closed port is harmless; time limits
// run on the clock seam. The operating system's side is an ISerialOs.
class TSerialPortDriver {
public:
    using TReceiveDataEvent =
        std::function<void(TSerialPortDriver& sender, const uint8_t* data, uint32_t size)>;

    TSerialPortDriver(ISerialOs& os, IClock& clock);
    ~TSerialPortDriver();
    TSerialPortDriver(const TSerialPortDriver&) = delete;
    TSerialPortDriver& operator=(const TSerialPortDriver&) = delete;

    // Properties (setters follow the component's rules: some are ignored while open).
    TPortNumber Port() const { return port_; }
    void setPort(TPortNumber value);
    const std::string& PortName() const { return portName_; }
    void setPortName(const std::string& value);
    TBaudRate BaudRate() const { return baudRate_; }
    void setBaudRate(TBaudRate value);
    uint32_t BaudRateValue() const { return baudRateValue_; }
    void setBaudRateValue(uint32_t value);
    TDataBits DataBits() const { return dataBits_; }
    void setDataBits(TDataBits value);
    TStopBits StopBits() const { return stopBits_; }
    void setStopBits(TStopBits value);
    TParity Parity() const { return parity_; }
    void setParity(TParity value);
    THwFlowControl HwFlow() const { return hwFlow_; }
    void setHwFlow(THwFlowControl value);
    TSwFlowControl SwFlow() const { return swFlow_; }
    void setSwFlow(TSwFlowControl value);
    uint32_t InBufSize() const { return inBufSize_; }
    void setInBufSize(uint32_t value);
    uint32_t OutBufSize() const { return outBufSize_; }
    void setOutBufSize(uint32_t value);
    int16_t PacketSize() const { return packetSize_; }
    int32_t PacketTimeout() const { return packetTimeout_; }
    TPacketMode PacketMode() const { return packetMode_; }
    uint16_t PollingDelay() const { return pollingDelay_; }
    void setPollingDelay(uint16_t value);
    bool EnableDTROnOpen() const { return enableDtrOnOpen_; }
    void setEnableDTROnOpen(bool value) { enableDtrOnOpen_ = value; }
    uint16_t OutputTimeout() const { return outputTimeout_; }
    void setOutputTimeout(uint16_t value) { outputTimeout_ = value; }
    uint32_t InputTimeout() const { return inputTimeout_; }
    void setInputTimeout(uint32_t value) { inputTimeout_ = value; }
    bool CheckLineStatus() const { return checkLineStatus_; }
    void setCheckLineStatus(bool value) { checkLineStatus_ = value; }
    TReceiveDataEvent OnReceiveData;

    bool OpenPort();
    void ClosePort();
    bool IsOpen() const;
    // The open port's device went away (a pulled adapter): nothing will come or go through it
    // until it is closed and found again. Set by whichever call met the loss first.
    bool DeviceLost() const { return IsOpen() && os_.deviceGone(); }
    // Asks the system now, for a port that nobody has read for a while; true when it is lost.
    bool CheckDevice();
    // Polls readable when bytes arrive on the open port; -1 when closed or not offered.
    int ReadyDescriptor() const { return IsOpen() ? os_.readyDescriptor() : -1; }
    bool ApplySettings();
    // The line settings that ApplySettings hands to the operating system.
    SerialLineSettings LineSettings() const;
    uint32_t ModemLines();
    bool PollingActive() const { return suspension_ <= 0; }
    void SuspendPolling() { ++suspension_; }
    void ResumePolling() { --suspension_; }
    bool PurgeQueues(bool input, bool output);
    uint32_t InputCount();
    uint16_t OutputFree();
    uint32_t WriteBytesTimed(const uint8_t* data, uint32_t count, uint32_t timeoutMs);
    uint32_t WriteBytes(const uint8_t* data, uint32_t count);
    uint32_t ReadBytes(uint8_t* buffer, uint32_t count);
    void SetDtrLine(bool on);
    void SetRtsLine(bool on);

    // One tick of the poll, for a timer of PollingDelay ms. The program suspends the poll at
    // start-up and runs no such timer: it fetches every byte by an explicit read.
    void PollTick();

    ISerialOs& os() { return os_; }

private:
    ISerialOs& os_;
    IClock& clock_;
    TPortNumber port_ = pnCOM2;
    std::string portName_ = "\\\\.\\COM2";
    TBaudRate baudRate_ = br9600;
    uint32_t baudRateValue_ = 9600;
    TDataBits dataBits_ = db8BITS;
    TStopBits stopBits_ = sb1BITS;
    TParity parity_ = ptNONE;
    THwFlowControl hwFlow_ = hfNONERTSON;
    TSwFlowControl swFlow_ = sfNONE;
    uint32_t inBufSize_ = 2048;
    uint32_t outBufSize_ = 2048;
    int16_t packetSize_ = -1;
    int32_t packetTimeout_ = -1;
    TPacketMode packetMode_ = pmDiscard;
    uint16_t pollingDelay_ = 50;
    bool enableDtrOnOpen_ = true;
    uint16_t outputTimeout_ = 500;
    uint32_t inputTimeout_ = 200;
    bool checkLineStatus_ = false;
    std::vector<uint8_t> pollBuffer_;
    int suspension_ = 0;
    int64_t packetClock_ = -1;
};
