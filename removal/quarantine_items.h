// What a window or the console shows of the quarantine and does with its items: the list, the
// space it takes, restoring and deleting chosen items, and deleting those stored long ago. Each
// change is one whole operation under the quarantine's lock; nothing here shows anything.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "removal/quarantine.h"

namespace quillon {

// What became of each item a change was asked for.
struct QuarantineChange {
  // The lock could not be taken (another program kept the quarantine busy past the wait, or it
  // cannot be used): why, in a sentence; nothing was changed. "" otherwise.
  std::string refused;
  bool busy = false;  // refused because another program kept the quarantine busy
  struct Item {
    int64_t id = 0;
    std::string original;  // where it came from, as the list shows it ("" for an unknown id)
    std::string problem;   // "" when it was done
  };
  std::vector<Item> items;
  bool allDone() const;
};

class QuarantineItems {
 public:
  QuarantineItems(Platform& platform, std::string appFolder, std::string productName);

  // Every item: id, date stored, kind, original place and size (QuarantineEntry).
  std::vector<QuarantineEntry> list() const;
  // The bytes the originals of all items took.
  uint64_t totalSize() const;
  // Puts the items back where they came from, each as Quarantine::restore does.
  QuarantineChange restore(const std::vector<int64_t>& ids);
  // Deletes the items' copies and index lines for good.
  QuarantineChange remove(const std::vector<int64_t>& ids);
  // Deletes every item stored more than `days` days ago; an item whose date is not known is
  // never taken for an old one.
  QuarantineChange purgeOlderThan(int64_t days);

 private:
  template <class Act>
  QuarantineChange change(Act act);
  Platform& platform_;
  std::string product_;
  Quarantine quarantine_;
};

}  // namespace quillon
