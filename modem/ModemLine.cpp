#include "modem/ModemLine.h"

#include "serial/TSerialPortDriver.h"

void setModemLine(TSerialPortDriver& port) {
    port.setInBufSize(4096);
    port.setOutBufSize(4096);
    port.setHwFlow(hfNONE);
    port.setSwFlow(sfNONE);
    port.setEnableDTROnOpen(false);
    port.setCheckLineStatus(false);
    port.setStopBits(sb1BITS);
    port.setDataBits(db8BITS);
    port.setParity(ptNONE);
    port.setOutputTimeout(50);
    port.setInputTimeout(50);
    port.setPollingDelay(60000);
    port.setBaudRateValue(57600);
    if (port.PollingActive())
        port.SuspendPolling();
}
