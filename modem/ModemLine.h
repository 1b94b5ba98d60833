#pragma once

class TSerialPortDriver;

// The serial line the radio modem speaks: 57600 baud, 8N1, no flow control, DTR low on opening,
// 4 kB queues and 50 ms timeouts, no polling thread. Set once at start-up, before any search.
void setModemLine(TSerialPortDriver& port);
