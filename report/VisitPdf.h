#pragma once
#include "report/VisitReport.h"

#include <string>

namespace visitreport {

// The visit report as a PDF (A4 across, the table carried over pages with its header repeated)
// and, beside it, the CSV of the same rows (FILE.csv). Each file replaces an older one only once
// it is complete. Needs a QGuiApplication for its fonts. False with the reason in Russian.
bool writeReport(const VisitReport& report, const std::string& pdfPath, std::string& error);

} // namespace visitreport
