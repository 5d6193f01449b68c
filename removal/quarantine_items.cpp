#include "removal/quarantine_items.h"

#include <algorithm>

#include "common/datetime.h"

namespace quillon {

namespace {

const QuarantineEntry* find(const std::vector<QuarantineEntry>& all, int64_t id) {
  auto e = std::find_if(all.begin(), all.end(), [&](const QuarantineEntry& x) { return x.id == id; });
  return e == all.end() ? nullptr : &*e;
}

}  // namespace

bool QuarantineChange::allDone() const {
  return refused.empty() &&
         std::all_of(items.begin(), items.end(), [](const Item& i) { return i.problem.empty(); });
}

QuarantineItems::QuarantineItems(Platform& platform, std::string appFolder, std::string productName)
    : platform_(platform), product_(std::move(productName)), quarantine_(platform, std::move(appFolder)) {}

std::vector<QuarantineEntry> QuarantineItems::list() const { return quarantine_.entries(); }

uint64_t QuarantineItems::totalSize() const {
  uint64_t total = 0;
  for (const QuarantineEntry& e : quarantine_.entries()) total += e.size;
  return total;
}

template <class Act>
QuarantineChange QuarantineItems::change(Act act) {
  QuarantineChange out;
  // One writer at a time: a removal or restore elsewhere is waited for, within a bound.
  if (const StoreLockResult lock = quarantine_.lock(&platform_.pump); lock != StoreLockResult::Taken) {
    out.refused = quarantine_.lockProblem(lock, product_);
    out.busy = lock == StoreLockResult::Busy;
    return out;
  }
  const std::vector<QuarantineEntry> all = quarantine_.entries();
  act(all, out);
  quarantine_.unlock();
  return out;
}

QuarantineChange QuarantineItems::restore(const std::vector<int64_t>& ids) {
  return change([&](const std::vector<QuarantineEntry>& all, QuarantineChange& out) {
    std::vector<int64_t> back;
    for (int64_t id : ids) {
      const QuarantineEntry* e = find(all, id);
      out.items.push_back({id, e ? e->original : "", quarantine_.restore(id)});
      if (e && out.items.back().problem.empty()) back.push_back(id);
      platform_.pump.yield();
    }
    // What is back where it came from is no longer held: its copy and line go, as a delete
    // takes them (the highest id stays recorded). A copy that will not go stays listed, and the
    // restore still counts: the item is back.
    if (!back.empty()) quarantine_.remove(back);
  });
}

QuarantineChange QuarantineItems::remove(const std::vector<int64_t>& ids) {
  return change([&](const std::vector<QuarantineEntry>& all, QuarantineChange& out) {
    const std::vector<std::string> problems = quarantine_.remove(ids);
    for (size_t i = 0; i < ids.size(); ++i) {
      const QuarantineEntry* e = find(all, ids[i]);
      out.items.push_back({ids[i], e ? e->original : "", problems[i]});
    }
  });
}

QuarantineChange QuarantineItems::purgeOlderThan(int64_t days) {
  return change([&](const std::vector<QuarantineEntry>& all, QuarantineChange& out) {
    const DateTime now = platform_.clock.localTime();
    const int64_t limit = std::min<int64_t>(days, 100000000) * 86400;  // past any date there is
    std::vector<int64_t> ids;
    for (const QuarantineEntry& e : all) {
      DateTime stored;
      if (parseDateTime(e.date, stored) && secondsOf(now) - secondsOf(stored) > limit &&
          std::find(ids.begin(), ids.end(), e.id) == ids.end())
        ids.push_back(e.id);
    }
    const std::vector<std::string> problems = quarantine_.remove(ids);
    for (size_t i = 0; i < ids.size(); ++i) out.items.push_back({ids[i], find(all, ids[i])->original, problems[i]});
  });
}

}  // namespace quillon
