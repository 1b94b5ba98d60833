#include "tools/headless/HeadlessVisit.h"

#include "report/VisitRecorder.h"
#include "serial/LinkLogSerialOs.h"
#include "serial/TSerialPortDriver.h"
#include "tools/headless/HeadlessDownload.h"

namespace headless {

void attachLinkLog(VisitRecorder& visit, TSerialPortDriver& port) {
    if (auto* logged = dynamic_cast<LinkLogSerialOs*>(&port.os()))
        visit.setLinkLog(&logged->log());
}

bool writeVisitReport(const Options& options, const VisitRecorder& visit,
                      const std::function<void(const std::string& line)>& say) {
    if (options.reportFile.empty())
        return true;
    std::string error = russian() ? "эта сборка не пишет отчёт (собрана без Qt)"
                                  : "this build writes no report (it was built without Qt)";
    if (options.writeReport && options.writeReport(visit.report(), options.reportFile, error)) {
        say((russian() ? "записан файл " : "written ") + options.reportFile);
        return true;
    }
    say((russian() ? "ошибка: " : "error: ") + error);
    return false;
}

} // namespace headless
