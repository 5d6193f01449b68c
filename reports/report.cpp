#include "reports/report.h"

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon {

namespace {
constexpr const char* LB = "\r\n";

// Every line of a text file, or nothing when it is absent.
template <class F>
void eachLine(FileSystem& fs, const std::string& path, F f) {
  if (!fileExists(fs, path)) return;
  LineReader r(fs.openRead(path));
  for (std::string line; r.next(line);) f(line);
}
}  // namespace

bool makeReport(FileSystem& fs, const std::string& appFolder, const ReportInputs& in) {
  const std::string reportPath = appFolder + "\\" + kReportFile;
  std::string quarantine, exclusions;
  eachLine(fs, appFolder + "\\" + kQuarantineFolder + "\\" + kQuarantineLog,
           [&](const std::string& l) { quarantine += l + LB + LB; });
  eachLine(fs, appFolder + "\\" + kExclusionFile, [&](const std::string& l) {
    if (!l.empty() && l != " ") exclusions += l + LB;
  });

  std::string out;
  // Each write of the report ends with a line break of its own after the text it carries.
  auto put = [&](const std::string& text) { out += text + LB; };
  put(LB);
  put(in.productName + std::string(19, ' ') + "v" + std::to_string(in.major) + "." +
      std::to_string(in.minor) + "   Scan Report." + LB);
  put(LB);
  put(std::string("-----------------------") + LB);
  put(" Scan Started at  : " + in.startedAt + LB);
  put(" Scan Finished at : " + in.finishedAt + LB);
  put(std::string("-----------------------") + LB);
  for (int i = 0; i < 3; ++i) put(LB);
  put(" 1)Total Number of Cookies and Processes inspected: " + in.processesCaption + LB);
  put(" 2)Total Number of Registry entries inspected: " + in.registryCaption + LB);
  put(" 3)Total Number of Files/Folders inspected: " + in.filesCaption + LB);
  put(LB);
  put(std::string("[Threats Detected]") + LB + LB);
  for (int i = 0; i < in.results.removalCount(); ++i) {
    const RemovalRow row = in.results.removalRow(i);
    put(row.threat + LB);
    put(row.location + LB + LB);
  }
  put("Total = " + std::to_string(in.results.removalCount()) + LB);
  if (!exclusions.empty()) put(std::string(LB) + "[Files Currently Excluded]" + LB + LB + exclusions + LB);
  if (!quarantine.empty())
    put(std::string(LB) + "[Current Quarantine Log]" + LB + LB + quarantine + LB + LB);
  put(LB);
  put("=====================End Of Report.");
  // Written whole under a name of its own beside the report, then put in its place in one step:
  // two scans ending at once (the window's and a scheduled one) each write their own, and the
  // later one stays, where both writing the report itself made the second fail. A name a killed
  // run left behind is passed over.
  std::unique_ptr<NewFile> file;
  std::string fresh;
  for (int n = 1; !file && n <= 100; ++n) file = fs.createNew(fresh = reportPath + "." + std::to_string(n) + ".new");
  if (file && file->write(out) && file->close()) {
    // Deleted first whatever its attributes: a read-only report would refuse to be replaced.
    fs.deleteFile(reportPath);
    if (fs.replaceFile(fresh, reportPath)) return true;
  }
  if (file) fs.deleteFile(fresh);
  fs.deleteFile(reportPath);  // an older report must not pass for this run's
  return false;
}

std::string reportViewerText(FileSystem& fs, Pump& pump, const std::string& appFolder) {
  std::string text;
  eachLine(fs, appFolder + "\\" + kReportFile, [&](const std::string& line) {
    text += trim(line).empty() ? std::string(LB) : line;
    pump.yield();
  });
  return text;
}

bool writeScanReport(FileSystem& fs, const std::string& appFolder, const Branding& branding, const ScanOutcome& run,
                     const ScanResults& results) {
  return makeReport(fs, appFolder,
                    ReportInputs{branding.productName, branding.major, branding.minor, run.startedAt, run.finishedAt,
                                 run.processesText, run.registryText, run.filesText, results});
}

}  // namespace quillon
