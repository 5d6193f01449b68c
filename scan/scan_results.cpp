#include "scan/scan_results.h"

#include "common/text.h"

namespace quillon {

namespace {
const std::string& filePath(const FileItem& r) { return r.path; }
const std::string& fileThreat(const FileItem& r) { return r.threat; }
const std::string& registryThreat(const RegistryItem& r) { return r.threat; }
const std::string& registryKey(const RegistryItem& r) { return r.key; }
const std::string& cookiePath(const CookieItem& r) { return r.path; }
}  // namespace

template <class Row, class Cell>
const ScanResults::Rows& ScanResults::rowsWith(const std::vector<Row>& list, CellIndex& index, Cell cell,
                                               const std::string& value) const {
  static const Rows none;
  if (!index.built) {
    index.rows.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) index.rows[cell(list[i])].push_back(int(i));
    index.built = true;
  }
  auto hit = index.rows.find(value);
  return hit == index.rows.end() ? none : hit->second;
}

template <class Row, class Cell>
void ScanResults::indexAdded(const std::vector<Row>& list, CellIndex& index, Cell cell) {
  if (index.built) index.rows[cell(list.back())].push_back(int(list.size()) - 1);
}

void ScanResults::dropIndexes() {
  foundIndexed_ = false;
  foundIndex_.clear();
  for (CellIndex* i : {&filesByPath_, &filesByThreat_, &registryByThreat_, &registryByKey_, &cookiesByPath_}) i->drop();
}

void ScanResults::clear() {
  found_.clear();
  removal_.clear();
  files_.clear();
  registry_.clear();
  cookies_.clear();
  traces_ = 0;
  dropIndexes();
  if (observer_) {
    observer_->resultsCleared();
    observer_->tracesChanged(0);
  }
}

bool ScanResults::isListed(const std::string& threat) const {
  if (!foundIndexed_) {
    for (size_t i = 0; i < found_.size(); ++i) foundIndex_.try_emplace(toUpper(found_[i].text), int(i));
    foundIndexed_ = true;
  }
  // Texts that begin with the prefix sort together, starting where the prefix itself would.
  const std::string prefix = toUpper(threat + kFoundSuffix);
  auto at = foundIndex_.lower_bound(prefix);
  return at != foundIndex_.end() && at->first.compare(0, prefix.size(), prefix) == 0;
}

void ScanResults::addFound(const std::string& text, int icon) {
  found_.push_back(FoundRow{text, icon, false});
  if (foundIndexed_) foundIndex_.try_emplace(toUpper(text), int(found_.size()) - 1);
  if (observer_) observer_->rowAdded(ResultList::Found, int(found_.size()) - 1);
}

int ScanResults::addRemoval(RemovalRow row) {
  removal_.push_back(std::move(row));
  const int r = int(removal_.size()) - 1;
  if (observer_) observer_->rowAdded(ResultList::Removal, r);
  return r;
}

bool ScanResults::addThreat(const std::string& threat, int icon, const std::string& location,
                            const std::string& type) {
  if (isListed(threat)) return false;
  addFound(threat + kFoundSuffix, icon);
  addRemoval(RemovalRow{threat, location, type, icon, false});
  return true;
}

void ScanResults::addUnnamedRegistryThreat(const std::string& shownAs, const std::string& key,
                                           const std::string& item) {
  addFound("RegKey " + shownAs + kFoundSuffix, 0);
  addRemoval(RemovalRow{key, item, "", kIconRegistry, false});
}

void ScanResults::addExcluded(const std::string& item) { addFound(kExcludedPrefix + item, kIconExcluded); }

void ScanResults::addNote(const std::string& text, int icon) { addFound(text, icon); }

void ScanResults::addTrace() {
  ++traces_;
  if (observer_) observer_->tracesChanged(traces_);
}

void ScanResults::addFileWork(const std::string& path, const std::string& threat) {
  files_.push_back(FileItem{path, threat, false});
  indexAdded(files_, filesByPath_, filePath);
  indexAdded(files_, filesByThreat_, fileThreat);
  if (observer_) observer_->rowAdded(ResultList::Files, int(files_.size()) - 1);
  addTrace();
}

void ScanResults::addRegistryWork(const std::string& root, const std::string& key, const std::string& value,
                                  const std::string& threat) {
  registry_.push_back(RegistryItem{root, key, value, threat, false});
  indexAdded(registry_, registryByThreat_, registryThreat);
  indexAdded(registry_, registryByKey_, registryKey);
  if (observer_) observer_->rowAdded(ResultList::Registry, int(registry_.size()) - 1);
  addTrace();
}

// "Traces found" counts what the file, folder and registry scans find; a cookie is listed as
// a cookie, not as a trace.
void ScanResults::addCookieWork(const std::string& path) {
  cookies_.push_back(CookieItem{path, false});
  indexAdded(cookies_, cookiesByPath_, cookiePath);
  if (observer_) observer_->rowAdded(ResultList::Cookies, int(cookies_.size()) - 1);
}

void ScanResults::addCookieThreat(const std::string& fileName, const std::string& path) {
  addFound(kCookieFoundPrefix + fileName, kIconCookie);
  addCookieWork(path);
  addRemoval(RemovalRow{kCookiePrefix + fileName, path, kCookieType, kIconCookie, false});
}

void ScanResults::setFoundChecked(int row, bool checked) {
  if (row < 0 || row >= int(found_.size()) || found_[size_t(row)].checked == checked) return;
  found_[size_t(row)].checked = checked;
  if (observer_) observer_->rowChecked(ResultList::Found, row, checked);
}

RemovalRow ScanResults::removalRow(int row) const {
  return row >= 0 && row < removalCount() ? removal_[size_t(row)] : RemovalRow{};
}

bool ScanResults::nothingToExclude() const { return removal_.empty() && registry_.empty() && found_.empty(); }

template <class Row>
void ScanResults::mark(std::vector<Row>& list, ResultList which, int row, bool checked) {
  if (list[size_t(row)].checked == checked) return;
  list[size_t(row)].checked = checked;
  if (observer_) observer_->rowChecked(which, row, checked);
}

void ScanResults::setChecked(int row, bool checked) {
  // An unchanged mark changes nothing, as a check box that is clicked into the state it has.
  if (row < 0 || row >= removalCount() || removal_[size_t(row)].checked == checked) return;
  mark(removal_, ResultList::Removal, row, checked);
  const RemovalRow& r = removal_[size_t(row)];
  // The work lists look their cells up, so a check mark costs the same however long they are.
  auto markAll = [&](auto& list, ResultList which, const Rows& rows) {
    for (int i : rows) mark(list, which, i, checked);
  };
  if (r.icon == kIconCookie) {
    markAll(cookies_, ResultList::Cookies, rowsWith(cookies_, cookiesByPath_, cookiePath, r.location));
    return;
  }
  if (r.icon != kIconRegistry && r.icon != kIconFile && r.icon != kIconFolder) return;
  // A threat has one row whatever it left behind, and that row's kind is only where it was found
  // first: its files, folders and registry items all go with it, or a threat checked for removal
  // would keep every trace of another kind. A row's own kind adds the rows it names by place.
  markAll(files_, ResultList::Files, rowsWith(files_, filesByThreat_, fileThreat, r.threat));
  markAll(registry_, ResultList::Registry, rowsWith(registry_, registryByThreat_, registryThreat, r.threat));
  if (r.icon == kIconRegistry)
    markAll(registry_, ResultList::Registry, rowsWith(registry_, registryByKey_, registryKey, r.threat));
  if (r.icon == kIconFolder) markAll(files_, ResultList::Files, rowsWith(files_, filesByPath_, filePath, r.location));
}

void ScanResults::checkAll() {
  for (int i = 0; i < removalCount(); ++i)
    if (!removal_[size_t(i)].checked) setChecked(i, true);
}

std::vector<std::string> ScanResults::checkedExclusionEntries() const {
  std::vector<std::string> entries;
  for (const RemovalRow& r : removal_) {
    if (!r.checked) continue;
    entries.push_back(r.location);
    entries.push_back(replaceAll(r.threat, kCookiePrefix, ""));
  }
  return entries;
}

template <class Row>
void ScanResults::dropChecked(std::vector<Row>& list, ResultList which) {
  size_t kept = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (!list[i].checked) {
      if (kept != i) list[kept] = std::move(list[i]);
      ++kept;
    }
  if (kept == list.size()) return;
  list.erase(list.begin() + std::ptrdiff_t(kept), list.end());
  dropIndexes();
  if (observer_) observer_->checkedRowsRemoved(which);
}

void ScanResults::removeChecked() {
  dropChecked(files_, ResultList::Files);
  dropChecked(registry_, ResultList::Registry);
  dropChecked(found_, ResultList::Found);
  dropChecked(cookies_, ResultList::Cookies);
  dropChecked(removal_, ResultList::Removal);
}

FileItem ScanResults::fileWork(int row) const {
  return row >= 0 && row < fileWorkCount() ? files_[size_t(row)] : FileItem{};
}

RegistryItem ScanResults::registryWork(int row) const {
  return row >= 0 && row < registryWorkCount() ? registry_[size_t(row)] : RegistryItem{};
}

CookieItem ScanResults::cookieWork(int row) const {
  return row >= 0 && row < cookieWorkCount() ? cookies_[size_t(row)] : CookieItem{};
}

void ScanResults::keepRemovalRow(const std::string& text, bool byLocation) {
  for (int i = 0; i < removalCount(); ++i) {
    const RemovalRow& r = removal_[size_t(i)];
    if (r.checked && (byLocation ? r.location == text : r.threat == text)) {
      mark(removal_, ResultList::Removal, i, false);
      break;
    }
  }
}

void ScanResults::keepFailedFile(int row) {
  if (row < 0 || row >= fileWorkCount()) return;
  keepRemovalRow(files_[size_t(row)].threat, false);
  mark(files_, ResultList::Files, row, false);
}

void ScanResults::keepFailedRegistry(int row) {
  if (row < 0 || row >= registryWorkCount()) return;
  // A threat without a name has a row named by its key.
  const RegistryItem& r = registry_[size_t(row)];
  keepRemovalRow(trim(r.threat).empty() ? r.key : r.threat, false);
  mark(registry_, ResultList::Registry, row, false);
}

void ScanResults::keepFailedCookie(int row) {
  if (row < 0 || row >= cookieWorkCount()) return;
  keepRemovalRow(cookies_[size_t(row)].path, true);
  mark(cookies_, ResultList::Cookies, row, false);
}

void ScanResults::removeRemovedRows() {
  dropChecked(files_, ResultList::Files);
  dropChecked(registry_, ResultList::Registry);
  dropChecked(found_, ResultList::Found);
  dropChecked(removal_, ResultList::Removal);
}

std::vector<FileItem> ScanResults::checkedFiles() const {
  std::vector<FileItem> out;
  for (const FileItem& r : files_)
    if (r.checked) out.push_back(r);
  return out;
}

std::vector<RegistryItem> ScanResults::checkedRegistryItems() const {
  std::vector<RegistryItem> out;
  for (const RegistryItem& r : registry_)
    if (r.checked) out.push_back(r);
  return out;
}

std::vector<CookieItem> ScanResults::checkedCookies() const {
  std::vector<CookieItem> out;
  for (const CookieItem& r : cookies_)
    if (r.checked) out.push_back(r);
  return out;
}

}  // namespace quillon
