// The results of a scan run: what the user sees on the scan page ("<threat> - Found" rows and
// notes), the removal list the user checks, and the work rows behind each checked threat that
// removal acts on. The list controls only display this model; every rule about rows lives here.
#pragma once
#include <string>
#include <vector>

#include "controls/controls.h"

namespace quillon {

// Kind icons of the results lists.
enum Icon : int { kIconCookie = 1, kIconRegistry = 2, kIconFile = 3, kIconFolder = 4, kIconExcluded = 5 };

// Texts the rows are made of, and that the exclusion of a cookie row takes apart again.
constexpr const char* kExcludedPrefix = "EXCLUDED: ";
constexpr const char* kFoundSuffix = " - Found";
constexpr const char* kCookiePrefix = "Cookie: ";
constexpr const char* kCookieFoundPrefix = "Cookie Found: ";
constexpr const char* kCookieType = "Tracking Cookie";

// Columns of each list, by name.
namespace col {
enum Removal : int { kThreat = 0, kLocation = 1, kType = 2 };
enum FileWork : int { kPath = 0, kFileThreat = 1 };
enum RegistryWork : int { kRoot = 0, kKey = 1, kValue = 2, kRegistryThreat = 3 };
enum CookieWork : int { kCookiePath = 0 };
}  // namespace col

// The lists the model shows itself in; the main window owns them.
struct ResultViews {
  controls::ListView& found;    // lvwSpywareFound
  controls::ListView& removal;  // lvwPicRemoveListOfSpywareFoundAndToBeRemoved
  controls::ListView& files;    // lvwFilesToBeDeleted
  controls::ListView& registry; // lvwRegistryToBeDeleted
  controls::ListView& cookies;  // lvwCookiesToDelete
  controls::Label& traces;      // lbltracesFound
};

// One checked work row, as removal walks them.
struct FileItem {
  std::string path, threat;
  bool checked = false;
};
struct RegistryItem {
  std::string root;  // the root's number as text, as the row stores it
  std::string key, value, threat;
  bool checked = false;
};
struct CookieItem {
  std::string path;
  bool checked = false;
};

// One row of the removal list.
struct RemovalRow {
  std::string threat, location, type;
  int icon = 0;
  bool checked = false;
};

class ScanResults {
 public:
  explicit ScanResults(ResultViews views);

  // Empties every list and the traces count, for a new run.
  void clear();

  // ---- findings
  // The one-row-per-threat rule: false (and nothing added) when "<threat> - Found" is already
  // listed; otherwise adds the results row and the removal row.
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

  // ---- the removal list
  int removalCount() const { return views_.removal.count(); }
  RemovalRow removalRow(int row) const;
  bool nothingToExclude() const;
  // Checks or unchecks a removal row; its work rows follow (through syncCheck).
  void setChecked(int row, bool checked);
  void checkAll();
  // Gives the work rows of a removal row the row's check mark. The list's check box handler
  // calls it, so a user's click and the code's change take the same path.
  void syncCheck(int row);
  // What "Exclude" stores for the checked rows (their location and threat name, a cookie by
  // its name), and the removal of those rows and of every checked work row.
  std::vector<std::string> checkedExclusionEntries() const;
  void removeChecked();

  // ---- what removal acts on: the work rows, by position (a pass unchecks what failed)
  int fileWorkCount() const { return views_.files.count(); }
  int registryWorkCount() const { return views_.registry.count(); }
  int cookieWorkCount() const { return views_.cookies.count(); }
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

  std::vector<FileItem> checkedFiles() const;
  std::vector<RegistryItem> checkedRegistryItems() const;
  std::vector<CookieItem> checkedCookies() const;

  const controls::ListView& foundList() const { return views_.found; }
  const controls::ListView& removalList() const { return views_.removal; }

 private:
  void addTrace();
  // Unchecks the first checked removal row with this text (or, with a column, this cell).
  void keepRemovalRow(const std::string& text, int column, const std::string& cell);
  ResultViews views_;
  int traces_ = 0;
};

}  // namespace quillon
