#include <gtest/gtest.h>

#include <random>

#include "common/text.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// What a bound window shows, rebuilt from nothing but the list's change notifications.
struct MirrorWindow : controls::ControlObserver {
  std::vector<std::string> rows;
  void changed(controls::Control& c, controls::Change what, int row) override {
    auto& lv = static_cast<controls::ListView&>(c);
    if (what == controls::Change::Rows) {
      rows.clear();
      for (const auto& it : lv.items()) rows.push_back(it.text);
    } else if (what == controls::Change::RowAdded) {
      rows.insert(rows.begin() + row, lv.item(row).text);
    } else if (what == controls::Change::RowRemoved) {
      rows.erase(rows.begin() + row);
    }
  }
};

int linearFindPrefix(const std::vector<controls::ListItem>& items, const std::string& prefix) {
  for (size_t i = 0; i < items.size(); ++i)
    if (istartsWith(items[i].text, prefix)) return int(i);
  return -1;
}

}  // namespace

// Texts from a few pieces, so that rows often begin with other rows' texts and differ only in
// case: the lookups must give what a plain search through the rows gives, and the window what
// the list holds, whatever mix of edits came before.
TEST(ScaleListView, LookupsAndRemovalAgreeWithAPlainSearchThroughRandomEdits) {
  const char* pieces[] = {"a", "A", "b", " - Found", " - found", "ab", ""};
  std::mt19937 rnd(7);
  auto pick = [&](int n) { return int(rnd() % unsigned(n)); };
  auto randomText = [&] {
    std::string t;
    for (int k = pick(4); k >= 0; --k) t += pieces[pick(7)];
    return t;
  };
  controls::ListView lv(nullptr, "lvw", {{"A"}, {"B"}, {"C"}}, true);
  MirrorWindow window;
  lv.setObserver(&window);
  std::vector<controls::ListItem> model;  // the rows as the one-at-a-time algorithms leave them
  for (int step = 0; step < 6000; ++step) {
    const int op = pick(100);
    if (op < 55) {
      // The scan's pattern: ask for a prefix, then add a row (often that very text).
      std::string text = randomText();
      ASSERT_EQ(lv.findPrefix(text), linearFindPrefix(model, text)) << step;
      if (pick(2)) text = randomText();
      lv.add(text);
      model.push_back(controls::ListItem{text, {}, 0, false});
    } else if (op < 70 && !model.empty()) {
      int i = pick(int(model.size())), col = 1 + pick(3);
      std::string v = pieces[pick(3)];
      lv.setSubItem(i, col, v);
      if (model[size_t(i)].sub.size() < size_t(col)) model[size_t(i)].sub.resize(size_t(col));
      model[size_t(i)].sub[size_t(col) - 1] = v;
    } else if (op < 85 && !model.empty()) {
      int i = pick(int(model.size()));
      lv.setChecked(i, !model[size_t(i)].checked);
      model[size_t(i)].checked = !model[size_t(i)].checked;
    } else if (op < 92) {
      lv.removeChecked();
      for (size_t i = 0; i < model.size();) {
        if (model[i].checked) model.erase(model.begin() + std::ptrdiff_t(i));
        else ++i;
      }
    } else if (op < 99 && !model.empty()) {
      int i = pick(int(model.size()));
      lv.remove(i);
      model.erase(model.begin() + i);
    } else {
      lv.clear();
      model.clear();
    }
    ASSERT_EQ(lv.count(), int(model.size())) << step;
    for (size_t i = 0; i < model.size(); ++i) {
      ASSERT_EQ(lv.item(int(i)).text, model[i].text) << step;
      ASSERT_EQ(lv.item(int(i)).checked, model[i].checked) << step;
      ASSERT_EQ(window.rows[i], model[i].text) << step;
    }
    ASSERT_EQ(window.rows.size(), model.size()) << step;
    for (int q = 0; q < 3; ++q) {
      std::string prefix = randomText();
      ASSERT_EQ(lv.findPrefix(prefix), linearFindPrefix(model, prefix)) << step << " " << prefix;
      std::vector<int> want;
      for (size_t i = 0; i < model.size(); ++i)
        if (model[i].subItem(1) == prefix || model[i].subItem(3) == prefix) want.push_back(int(i));
      ASSERT_EQ(lv.rowsWith(prefix, {1, 3}), want) << step;
      want.clear();
      for (size_t i = 0; i < model.size(); ++i)
        if (model[i].text == prefix) want.push_back(int(i));
      ASSERT_EQ(lv.rowsWith(prefix, {0}), want) << step;
    }
  }
}

// One write for a whole selection must leave the same file and the same matching as one add()
// per entry; the matching must follow the plain rules over the entries as read.
TEST(ScaleExclusions, BulkAddMatchesOneAtATimeAndThePlainRules) {
  App app;
  const std::string start = "C:\\Old\\one.dll\r\n  \r\nleft|right\r\nno line end";
  app.writeText("one.txt", start);
  app.writeText("bulk.txt", start);
  ExclusionList one(app.fs, app.pump, app.path("one.txt")), bulk(app.fs, app.pump, app.path("bulk.txt"));
  const std::vector<std::string> entries = {"  C:\\X\\y.exe ", "", "Threat", "a|b", "THREAT", "C:\\Dir\\Sub", "   "};
  for (const std::string& e : entries) one.add(e);
  bulk.addAll(entries);
  EXPECT_EQ(app.readText("bulk.txt"), app.readText("one.txt"));
  EXPECT_EQ(bulk.text(), one.text());

  ExclusionList none(app.fs, app.pump, app.path("none.txt"));
  none.addAll({});
  EXPECT_FALSE(fileExists(app.fs, app.path("none.txt")));  // as with nothing checked

  const std::vector<std::string> pieces = split(bulk.text(), "|");
  auto plainFile = [&](const std::string& item) {
    for (const std::string& e : pieces)
      if (!e.empty() && (iequals(e, item) || iequals(e, trim(item)))) return true;
    return false;
  };
  auto plainFolder = [&](const std::string& folder) {
    for (const std::string& e : pieces)
      if (!e.empty() && (iequals(e, folder) || iequals(e, trim(folder)) || ifind(e, folder) != std::string::npos))
        return true;
    return false;
  };
  for (const std::string& probe :
       {"c:\\x\\Y.EXE", " threat ", "threat", "NO LINE ENDC:\\X\\Y.EXE", "c:\\dir", "dir\\sub", "a", "a|b", "t|x", "",
        " ", "   ", "C:\\Old\\one.dll\\", "IR\\S", "C:\\Other"}) {
    EXPECT_EQ(bulk.isFileExcluded(probe), plainFile(probe)) << probe;
    EXPECT_EQ(bulk.isFolderExcluded(probe), plainFolder(probe)) << probe;
  }
  EXPECT_FALSE(none.isFolderExcluded(""));
}

// Select All and Exclude over a few thousand findings of every kind, with several work rows
// per threat: each check mark reaches exactly the work rows of its finding, and Exclude leaves
// the lists and the file as the checked rows say.
TEST(ScaleResults, SelectAllAndExcludeKeepTheListsConsistent) {
  App app;
  ui::FrmMain& m = app.main();
  ScannerEnv scanner(app.platform, m.session);
  ScanEnv& env = scanner.env;
  ui::ResultsMirror::Lists lists{m.lvwSpywareFound, m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved, m.lvwFilesToBeDeleted,
                    m.lvwRegistryToBeDeleted, m.lvwCookiesToDelete, m.lbltracesFound};
  const int n = 3000;
  for (int i = 0; i < n; ++i) {
    const std::string threat = "Threat " + std::to_string(i % 1000), where = "C:\\T\\" + std::to_string(i);
    switch (i % 4) {
      case 0: case 1: {  // files of a threat; folders
        m.results.addFileWork(where, threat);
        addThreatRows(env, threat, i % 4 == 0 ? kIconFile : kIconFolder, where, "");
        break;
      }
      case 2: {  // a registry value under the threat's name
        m.results.addRegistryWork("-2147483647", "Software\\" + threat, "", threat);
        addThreatRows(env, threat, kIconRegistry, where, "");
        break;
      }
      default: {  // a cookie
        m.results.addCookieThreat("c" + std::to_string(i), "cookie" + std::to_string(i));
      }
    }
  }
  auto& removal = lists.removal;
  // The work rows a removal row stands for, by the plain rule.
  auto linked = [&](const controls::ListItem& r, controls::ListView*& list) {
    std::vector<int> rows;
    list = r.icon == kIconCookie ? &lists.cookies : r.icon == kIconRegistry ? &lists.registry : &lists.files;
    for (int i = 0; i < list->count(); ++i) {
      const controls::ListItem& w = list->item(i);
      if ((r.icon == kIconCookie && w.text == r.subItem(1)) || (r.icon == kIconFolder && w.text == r.subItem(1)) ||
          (r.icon == kIconFile && w.subItem(1) == r.text) ||
          (r.icon == kIconRegistry && (w.subItem(1) == r.text || w.subItem(3) == r.text)))
        rows.push_back(i);
    }
    return rows;
  };
  m.cmdSelectAll_Click();
  for (int i = 0; i < removal.count(); i += 7) removal.setChecked(i, false);
  std::vector<std::string> expectedFile;
  std::vector<std::string> keptRemoval;
  size_t workRowsLeft = size_t(lists.files.count() + lists.registry.count() + lists.cookies.count());
  for (const controls::ListItem& r : removal.items()) {
    controls::ListView* list = nullptr;
    for (int w : linked(r, list)) ASSERT_EQ(list->item(w).checked, r.checked) << r.text;
    if (r.checked) {
      expectedFile.push_back(r.subItem(1));
      expectedFile.push_back(replaceAll(r.text, "Cookie: ", ""));
    } else {
      keptRemoval.push_back(r.text);
    }
  }
  for (controls::ListView* l : {&lists.files, &lists.registry, &lists.cookies})
    for (const controls::ListItem& w : l->items()) workRowsLeft -= w.checked;

  m.cmdExclude_Click();
  std::string file;
  for (const std::string& e : expectedFile) file += trim(e) + "\r\n";
  EXPECT_EQ(app.readText(kExclusionFile), file);
  ASSERT_EQ(removal.count(), int(keptRemoval.size()));
  for (size_t i = 0; i < keptRemoval.size(); ++i) EXPECT_EQ(removal.item(int(i)).text, keptRemoval[i]);
  EXPECT_EQ(size_t(lists.files.count() + lists.registry.count() + lists.cookies.count()), workRowsLeft);
  for (const controls::ListItem& r : removal.items()) {
    controls::ListView* list = nullptr;
    EXPECT_FALSE(linked(r, list).empty()) << r.text;  // every finding left keeps its work rows
  }
  EXPECT_TRUE(m.exclusions.isFileExcluded("C:\\T\\2"));
  // The results page keeps its rows, and its lookup follows them.
  for (const char* t : {"Threat 998 - Found", "threat 9", "Threat 999 - Found", "THREAT 1 - FOUND"})
    EXPECT_EQ(lists.found.findPrefix(t), linearFindPrefix(lists.found.items(), t)) << t;
  EXPECT_GE(lists.found.findPrefix("Threat 998 - Found"), 0);
}
