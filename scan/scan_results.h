// The results of a scan run: what the user sees on the scan page ("<threat> - Found" rows and
// notes), the removal list the user checks, and the work rows behind each checked threat that
// removal acts on. This model holds them in plain rows and keeps every rule about them; a window
// shows them by listening to its changes (ResultsObserver), and nothing here knows of a window.
#pragma once
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon {

// Kind icons of the results lists.
enum Icon : int { kIconCookie = 1, kIconRegistry = 2, kIconFile = 3, kIconFolder = 4, kIconExcluded = 5 };

// Texts the rows are made of, and that the exclusion of a cookie row takes apart again.
constexpr const char* kExcludedPrefix = "EXCLUDED: ";
constexpr const char* kFoundSuffix = " - Found";
constexpr const char* kCookiePrefix = "Cookie: ";
constexpr const char* kCookieFoundPrefix = "Cookie Found: ";
constexpr const char* kCookieType = "Tracking Cookie";

// One row of the results page: a finding ("<threat> - Found"), an excluded item or a note.
struct FoundRow {
  std::string text;
  int icon = 0;
  bool checked = false;
};

// One row of the removal list.
struct RemovalRow {
  std::string threat, location, type;
  int icon = 0;
  bool checked = false;
};

// The work rows behind the findings, as removal walks them.
struct FileItem {
  std::string path, threat;
  bool checked = false;
};
struct RegistryItem {
  std::string root;  // the root's number as text, as the definition gives it
  std::string key, value, threat;
  bool checked = false;
};
struct CookieItem {
  std::string path;
  bool checked = false;
};

// The five lists of the model, as a window shows them.
enum class ResultList { Found, Removal, Files, Registry, Cookies };

// Whoever shows the results hears of every change, in the order the changes happen.
class ResultsObserver {
 public:
  virtual ~ResultsObserver() = default;
  virtual void resultsCleared() {}
  virtual void rowAdded(ResultList, int row) {}
  virtual void rowChecked(ResultList, int row, bool checked) {}
  // Every checked row of the list went; the rest keep their order.
  virtual void checkedRowsRemoved(ResultList) {}
  virtual void tracesChanged(int traces) {}
};

class ScanResults {
 public:
  // At most one observer; null for none.
  void setObserver(ResultsObserver* observer) { observer_ = observer; }

  // Empties every list and the traces count, for a new run.
  void clear();

  // ---- findings
  // The one-row-per-threat rule: false (and nothing added) when a results row beginning with
  // "<threat> - Found" (in any letter case) is already listed; otherwise adds the results row
  // and the removal row.
  bool addThreat(const std::string& threat, int icon, const std::string& location, const std::string& type);
  bool isListed(const std::string& threat) const;
  // A nameless registry finding is shown by where it is: `shownAs` on the results page, `key`
  // and `item` on the removal list.
  void addUnnamedRegistryThreat(const std::string& shownAs, const std::string& key, const std::string& item);
  // An item that was present but is on the exclusion list.
  void addExcluded(const std::string& item);
  // A line of its own on the results page (a running program that was or was not stopped).
  void addNote(const std::string& text, int icon);

  // ---- work rows behind the findings; each file, folder and registry row counts as one trace
  void addFileWork(const std::string& path, const std::string& threat);
  void addRegistryWork(const std::string& root, const std::string& key, const std::string& value,
                       const std::string& threat);
  void addCookieWork(const std::string& path);
  // A blocked cookie: its results row, its work row and its removal row ("Tracking Cookie").
  void addCookieThreat(const std::string& fileName, const std::string& path);
  int traces() const { return traces_; }

  // ---- the results page
  const std::vector<FoundRow>& foundRows() const { return found_; }
  // The user's check mark on a results row (which "Exclude" takes away with the rest).
  void setFoundChecked(int row, bool checked);

  // ---- the removal list
  int removalCount() const { return int(removal_.size()); }
  RemovalRow removalRow(int row) const;
  const std::vector<RemovalRow>& removalRows() const { return removal_; }
  bool nothingToExclude() const;
  // Checks or unchecks a removal row, and gives its work rows the same mark: a threat checked
  // for removal takes everything it left behind with it.
  void setChecked(int row, bool checked);
  void checkAll();
  // What "Exclude" stores for the checked rows (their location and threat name, a cookie by
  // its name), and the removal of those rows and of every checked work row.
  std::vector<std::string> checkedExclusionEntries() const;
  void removeChecked();

  // ---- what removal acts on: the work rows, by position (a pass unchecks what failed)
  int fileWorkCount() const { return int(files_.size()); }
  int registryWorkCount() const { return int(registry_.size()); }
  int cookieWorkCount() const { return int(cookies_.size()); }
  FileItem fileWork(int row) const;
  RegistryItem registryWork(int row) const;
  CookieItem cookieWork(int row) const;
  // A file that survived removal: its work row and the first removal row of its threat lose
  // their check marks (without touching the threat's other rows), so both stay listed.
  void keepFailedFile(int row);
  // The same for a registry item and a cookie that are still there.
  void keepFailedRegistry(int row);
  void keepFailedCookie(int row);
  // After a removal: the checked rows of the file, registry, results and removal lists go.
  void removeRemovedRows();

  const std::vector<FileItem>& fileRows() const { return files_; }
  const std::vector<RegistryItem>& registryRows() const { return registry_; }
  const std::vector<CookieItem>& cookieRows() const { return cookies_; }
  std::vector<FileItem> checkedFiles() const;
  std::vector<RegistryItem> checkedRegistryItems() const;
  std::vector<CookieItem> checkedCookies() const;

 private:
  using Rows = std::vector<int>;  // ascending
  // Rows by an exact cell text, built on the first question and kept while rows are only added;
  // a removal shifts row numbers, so it drops them and the next question builds them again.
  struct CellIndex {
    bool built = false;
    std::unordered_map<std::string, Rows> rows;
    void drop() {
      built = false;
      rows.clear();
    }
  };
  template <class Row, class Cell>
  const Rows& rowsWith(const std::vector<Row>& list, CellIndex& index, Cell cell, const std::string& value) const;
  template <class Row, class Cell>
  void indexAdded(const std::vector<Row>& list, CellIndex& index, Cell cell);
  void dropIndexes();

  void addFound(const std::string& text, int icon);
  int addRemoval(RemovalRow row);
  void addTrace();
  // Changes a work row's check mark and says so.
  template <class Row>
  void mark(std::vector<Row>& list, ResultList which, int row, bool checked);
  // Unchecks the first checked removal row with this text (or, with `byLocation`, this location).
  void keepRemovalRow(const std::string& text, bool byLocation);
  template <class Row>
  void dropChecked(std::vector<Row>& list, ResultList which);

  std::vector<FoundRow> found_;
  std::vector<RemovalRow> removal_;
  std::vector<FileItem> files_;
  std::vector<RegistryItem> registry_;
  std::vector<CookieItem> cookies_;
  int traces_ = 0;
  ResultsObserver* observer_ = nullptr;

  // Upper-cased results text -> its first row: the one-row-per-threat rule asks once per item.
  mutable bool foundIndexed_ = false;
  mutable std::map<std::string, int> foundIndex_;
  mutable CellIndex filesByPath_, filesByThreat_, registryByThreat_, registryByKey_, cookiesByPath_;
};

}  // namespace quillon
