#pragma once
#include <functional>
#include <string>

class TSerialPortDriver;
class VisitRecorder;

namespace headless {

struct Options;

// The recorder's words go into the port's link log, where the port keeps one.
void attachLinkLog(VisitRecorder& visit, TSerialPortDriver& port);
// The report --report asks for; false when it could not be written, with the line that says why.
bool writeVisitReport(const Options& options, const VisitRecorder& visit,
                      const std::function<void(const std::string& line)>& say);

} // namespace headless
