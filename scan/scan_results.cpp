#include "scan/scan_results.h"

#include "common/text.h"

namespace quillon {

using controls::ListItem;
using controls::ListView;

ScanResults::ScanResults(ResultViews views) : views_(views) {}

void ScanResults::clear() {
  for (ListView* l : {&views_.found, &views_.removal, &views_.files, &views_.registry, &views_.cookies}) l->clear();
  traces_ = 0;
  views_.traces.setCaption("0");
}

bool ScanResults::isListed(const std::string& threat) const {
  return views_.found.findPrefix(threat + kFoundSuffix) >= 0;
}

bool ScanResults::addThreat(const std::string& threat, int icon, const std::string& location,
                            const std::string& type) {
  const std::string row = threat + kFoundSuffix;
  if (views_.found.findPrefix(row) >= 0) return false;
  views_.found.add(row, icon);
  int r = views_.removal.add(threat, icon);
  views_.removal.setSubItem(r, col::kLocation, location);
  if (!type.empty()) views_.removal.setSubItem(r, col::kType, type);
  return true;
}

void ScanResults::addUnnamedRegistryThreat(const std::string& shownAs, const std::string& key,
                                           const std::string& item) {
  views_.found.add("RegKey " + shownAs + kFoundSuffix, 0);
  int r = views_.removal.add(key, kIconRegistry);
  views_.removal.setSubItem(r, col::kLocation, item);
}

void ScanResults::addExcluded(const std::string& item) { views_.found.add(kExcludedPrefix + item, kIconExcluded); }

void ScanResults::addNote(const std::string& text, int icon) { views_.found.add(text, icon); }

void ScanResults::addTrace() {
  ++traces_;
  views_.traces.setCaption(std::to_string(traces_));
}

void ScanResults::addFileWork(const std::string& path, const std::string& threat) {
  int r = views_.files.add(path);
  views_.files.setSubItem(r, col::kFileThreat, threat);
  addTrace();
}

void ScanResults::addRegistryWork(const std::string& root, const std::string& key, const std::string& value,
                                  const std::string& threat) {
  int r = views_.registry.add(root);
  views_.registry.setSubItem(r, col::kKey, key);
  views_.registry.setSubItem(r, col::kValue, value);
  views_.registry.setSubItem(r, col::kRegistryThreat, threat);
  addTrace();
}

// "Traces found" counts what the file, folder and registry scans find; a cookie is listed as
// a cookie, not as a trace.
void ScanResults::addCookieWork(const std::string& path) { views_.cookies.add(path); }

void ScanResults::addCookieThreat(const std::string& fileName, const std::string& path) {
  views_.found.add(kCookieFoundPrefix + fileName, kIconCookie);
  addCookieWork(path);
  int r = views_.removal.add(kCookiePrefix + fileName, kIconCookie);
  views_.removal.setSubItem(r, col::kLocation, path);
  views_.removal.setSubItem(r, col::kType, kCookieType);
}

RemovalRow ScanResults::removalRow(int row) const {
  const ListItem& r = views_.removal.item(row);
  return RemovalRow{r.text, r.subItem(col::kLocation), r.subItem(col::kType), r.icon, r.checked};
}

bool ScanResults::nothingToExclude() const {
  return views_.removal.count() == 0 && views_.registry.count() == 0 && views_.found.count() == 0;
}

void ScanResults::setChecked(int row, bool checked) { views_.removal.setChecked(row, checked); }

void ScanResults::checkAll() {
  ListView& list = views_.removal;
  for (int i = 0; i < list.count(); ++i)
    if (!list.item(i).checked) list.setChecked(i, true);  // the list's handler runs syncCheck
}

void ScanResults::syncCheck(int row) {
  const ListItem& r = views_.removal.item(row);
  const bool checked = r.checked;
  // The work lists look their cells up, so a check mark costs the same however long they are.
  auto mark = [checked](ListView& list, const std::vector<int>& rows) {
    for (int i : rows) list.setChecked(i, checked);
  };
  ListView &files = views_.files, &registry = views_.registry, &cookies = views_.cookies;
  if (r.icon == kIconCookie) {
    mark(cookies, cookies.rowsWith(r.subItem(col::kLocation), {col::kCookiePath}));
    return;
  }
  if (r.icon != kIconRegistry && r.icon != kIconFile && r.icon != kIconFolder) return;
  // A threat has one row whatever it left behind, and that row's kind is only where it was found
  // first: its files, folders and registry items all go with it, or a threat checked for removal
  // would keep every trace of another kind. A row's own kind adds the rows it names by place.
  mark(files, files.rowsWith(r.text, {col::kFileThreat}));
  mark(registry, registry.rowsWith(r.text, {col::kRegistryThreat}));
  if (r.icon == kIconRegistry) mark(registry, registry.rowsWith(r.text, {col::kKey}));
  if (r.icon == kIconFolder) mark(files, files.rowsWith(r.subItem(col::kLocation), {col::kPath}));
}

std::vector<std::string> ScanResults::checkedExclusionEntries() const {
  std::vector<std::string> entries;
  for (const ListItem& r : views_.removal.items()) {
    if (!r.checked) continue;
    entries.push_back(r.subItem(col::kLocation));
    entries.push_back(replaceAll(r.text, kCookiePrefix, ""));
  }
  return entries;
}

void ScanResults::removeChecked() {
  for (ListView* l : {&views_.files, &views_.registry, &views_.found, &views_.cookies, &views_.removal})
    l->removeChecked();
}

FileItem ScanResults::fileWork(int row) const {
  const ListItem& r = views_.files.item(row);
  return FileItem{r.text, r.subItem(col::kFileThreat), r.checked};
}

RegistryItem ScanResults::registryWork(int row) const {
  const ListItem& r = views_.registry.item(row);
  return RegistryItem{r.text, r.subItem(col::kKey), r.subItem(col::kValue), r.subItem(col::kRegistryThreat), r.checked};
}

CookieItem ScanResults::cookieWork(int row) const {
  const ListItem& r = views_.cookies.item(row);
  return CookieItem{r.text, r.checked};
}

void ScanResults::keepRemovalRow(const std::string& text, int column, const std::string& cell) {
  for (int i = 0; i < views_.removal.count(); ++i)
    if (views_.removal.item(i).checked &&
        (views_.removal.item(i).text == text || (column >= 0 && views_.removal.item(i).subItem(column) == cell))) {
      views_.removal.setChecked(i, false, false);
      break;
    }
}

void ScanResults::keepFailedFile(int row) {
  if (row < 0 || row >= fileWorkCount()) return;
  keepRemovalRow(views_.files.item(row).subItem(col::kFileThreat), -1, "");
  views_.files.setChecked(row, false, false);
}

void ScanResults::keepFailedRegistry(int row) {
  if (row < 0 || row >= registryWorkCount()) return;
  // A threat without a name has a row named by its key.
  const ListItem& r = views_.registry.item(row);
  const std::string threat = r.subItem(col::kRegistryThreat);
  keepRemovalRow(trim(threat).empty() ? r.subItem(col::kKey) : threat, -1, "");
  views_.registry.setChecked(row, false, false);
}

void ScanResults::keepFailedCookie(int row) {
  if (row < 0 || row >= cookieWorkCount()) return;
  keepRemovalRow("", col::kLocation, views_.cookies.item(row).text);
  views_.cookies.setChecked(row, false, false);
}

void ScanResults::removeRemovedRows() {
  for (ListView* l : {&views_.files, &views_.registry, &views_.found, &views_.removal}) l->removeChecked();
}

std::vector<FileItem> ScanResults::checkedFiles() const {
  std::vector<FileItem> out;
  for (const ListItem& r : views_.files.items())
    if (r.checked) out.push_back({r.text, r.subItem(col::kFileThreat), true});
  return out;
}

std::vector<RegistryItem> ScanResults::checkedRegistryItems() const {
  std::vector<RegistryItem> out;
  for (const ListItem& r : views_.registry.items())
    if (r.checked)
      out.push_back({r.text, r.subItem(col::kKey), r.subItem(col::kValue), r.subItem(col::kRegistryThreat), true});
  return out;
}

std::vector<CookieItem> ScanResults::checkedCookies() const {
  std::vector<CookieItem> out;
  for (const ListItem& r : views_.cookies.items())
    if (r.checked) out.push_back({r.text, true});
  return out;
}

}  // namespace quillon
