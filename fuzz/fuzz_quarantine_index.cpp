// The quarantine's index and stored copies as found on disk, then restored on the in-memory
// machine. Input: parts separated by NUL:
//   1. QuarantineIndex.txt
//   2. what is on the machine now, one item a line: "V root^key^name" a registry value,
//      "K root^key" a key (root 0 to 5), "D path" a folder, anything else a file
//   3. and after: stored name, then its content, in pairs (copies in the quarantine folder)
// No entry may name a copy outside the quarantine folder, ids are in range, and restoring an
// entry writes only at its original path (or below it, for a folder) or in its original key
// (its value only, for a value), and never over anything that was there; deleting entries for
// good changes nothing outside the quarantine folder.
#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "definitions/definition_store.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "removal/quarantine.h"

using namespace quillon;

namespace {

const std::string kApp = "C:\\Program Files\\Quillon";
const uint32_t kRoots[] = {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers, kHkeyCurrentConfig,
                           kHkeyDynData};

bool within(const std::string& path, const std::string& top) {
  return iequals(path, top) || (path.size() > top.size() && iequals(path.substr(0, top.size()), top) && path[top.size()] == '\\');
}

// A stored name stays inside the folder even as the system reads it: the last part of a path
// loses its trailing dots and blanks.
bool staysInside(const std::string& stored) {
  std::string trimmed = stored;
  while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
  return !trimmed.empty() && stored.find_first_of("\\/:") == std::string::npos;
}

void fillMachine(fuzz::MemoryMachine& m, const std::string& lines) {
  for (const std::string& line : split(lines, "\n")) {
    const std::string rest = line.size() > 2 ? line.substr(2) : "";
    if (line.rfind("V ", 0) == 0 || line.rfind("K ", 0) == 0) {
      std::vector<std::string> f = split(rest, "^");
      if (f.size() < 2 || f[0].size() != 1 || f[0][0] < '0' || f[0][0] > '5') continue;
      const uint32_t root = kRoots[f[0][0] - '0'];
      if (line[0] == 'K' || f.size() < 3) m.registry.addKey(root, f[1]);
      else m.registry.addValue(root, f[1], f[2], kRegSz);
    } else if (line.rfind("D ", 0) == 0) {
      m.fs.addFolder(rest);
    } else if (!line.empty()) {
      m.fs.addFile(line, "there");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = split(fuzz::bytes(data, size), std::string(1, '\0'));
  parts.resize(std::max<size_t>(parts.size(), 2));
  fuzz::MemoryMachine m;
  const std::string folder = kApp + "\\" + kQuarantineFolder;
  m.fs.addFolder(folder);
  m.fs.addFile(folder + "\\" + kQuarantineIndex, parts[0]);
  fillMachine(m, parts[1]);
  for (size_t i = 2; i + 1 < parts.size(); i += 2)
    if (!parts[i].empty() && parts[i].find('\\') == std::string::npos) m.fs.addFile(folder + "\\" + parts[i], parts[i + 1]);

  Quarantine q(m.fs, m.registry, m.quiet, kApp, &m.signatures);
  FUZZ_CHECK(q.lock(nullptr) == StoreLockResult::Taken);  // one program alone: the lock is taken at once
  const std::vector<QuarantineEntry> entries = q.entries();
  for (const QuarantineEntry& e : entries) {
    FUZZ_CHECK(e.id >= 1 && e.id <= kMaxQuarantineId);
    FUZZ_CHECK(staysInside(e.stored));
  }

  std::vector<int64_t> ids;
  for (const QuarantineEntry& e : entries)
    if (std::find(ids.begin(), ids.end(), e.id) == ids.end() && ids.size() < 8) ids.push_back(e.id);
  ids.push_back(entries.empty() ? 1 : entries.back().id + 1);  // likely no such entry
  for (int64_t id : ids) {
    auto e = std::find_if(entries.begin(), entries.end(), [&](const QuarantineEntry& x) { return x.id == id; });
    fuzz::MemoryMachine before;
    before.fs = m.fs;
    before.registry = m.registry;
    const size_t fsFrom = m.fs.changes.size(), regFrom = m.registry.changes.size();
    q.restore(id);
    if (e == entries.end()) {
      FUZZ_CHECK(m.fs.changes.size() == fsFrom && m.registry.changes.size() == regFrom);
      continue;
    }
    // The first entry with the id is the one restored.
    for (size_t i = fsFrom; i < m.fs.changes.size(); ++i) {
      const auto& [what, path] = m.fs.changes[i];
      FUZZ_CHECK(e->kind != QuarantineKind::Registry);
      FUZZ_CHECK(what == "copy" || what == "mkdir" || what == "write" || what == "delete");
      FUZZ_CHECK(e->kind == QuarantineKind::Folder ? within(path, e->original) : iequals(path, e->original));
      FUZZ_CHECK(before.fs.attributes(path) == kNoSuchPath);
      // Only what this restore wrote is taken away again (a copy found damaged as it was written).
      const std::string& deleted = path;
      if (what == "delete")
        FUZZ_CHECK(std::any_of(m.fs.changes.begin() + fsFrom, m.fs.changes.begin() + i,
                               [&](const auto& c) { return c.first == "write" && iequals(c.second, deleted); }));
    }
    if (m.registry.changes.size() == regFrom) continue;
    FUZZ_CHECK(e->kind == QuarantineKind::Registry);
    const size_t cut = e->original.find(" : ");
    const std::string key = e->original.substr(0, cut);
    const std::string value = cut == std::string::npos ? "" : e->original.substr(cut + 3);
    for (size_t i = regFrom; i < m.registry.changes.size(); ++i) {
      const fuzz::MemoryRegistry::Change& c = m.registry.changes[i];
      FUZZ_CHECK(c.what == "set" || c.what == "delete");
      const std::string where = registryRootName(c.root) + "\\" + c.path;
      RegValue old;
      FUZZ_CHECK(before.registry.queryValue(c.root, c.path, c.name, kKeyRead, old) != RegStatus::Ok);
      if (cut == std::string::npos) {
        FUZZ_CHECK(within(where, key));
      } else {
        FUZZ_CHECK(iequals(where, key));
        // Only the value itself, or the nameless value that makes an empty key.
        FUZZ_CHECK(iequals(c.name, value) || (c.name.empty() && value == "@") ||
                   (c.name.empty() && !before.registry.keyExists(c.root, c.path, kKeyRead)));
      }
    }
  }
  // Deleting items for good touches nothing outside the quarantine folder.
  const size_t fsFrom = m.fs.changes.size();
  q.remove(ids);
  for (size_t i = fsFrom; i < m.fs.changes.size(); ++i) FUZZ_CHECK(within(m.fs.changes[i].second, folder));
  return 0;
}
