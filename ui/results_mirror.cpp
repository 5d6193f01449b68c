#include "ui/results_mirror.h"

namespace quillon::ui {

ResultsMirror::ResultsMirror(ScanResults& results, Lists lists) : results_(results), lists_(lists) {
  results_.setObserver(this);
  lists_.removal.onItemCheck = [this](int row) { results_.setChecked(row, lists_.removal.item(row).checked); };
  lists_.found.onItemCheck = [this](int row) { results_.setFoundChecked(row, lists_.found.item(row).checked); };
}

controls::ListView& ResultsMirror::view(ResultList list) {
  switch (list) {
    case ResultList::Found: return lists_.found;
    case ResultList::Removal: return lists_.removal;
    case ResultList::Files: return lists_.files;
    case ResultList::Registry: return lists_.registry;
    case ResultList::Cookies: return lists_.cookies;
  }
  return lists_.found;
}

void ResultsMirror::resultsCleared() {
  for (ResultList l : {ResultList::Found, ResultList::Removal, ResultList::Files, ResultList::Registry, ResultList::Cookies})
    view(l).clear();
}

void ResultsMirror::rowAdded(ResultList list, int row) {
  controls::ListView& v = view(list);
  auto cells = [&](const std::string& text, int icon, std::initializer_list<std::string> sub) {
    const int r = v.add(text, icon);
    int col = 1;
    for (const std::string& s : sub) {
      if (!s.empty()) v.setSubItem(r, col, s);
      ++col;
    }
  };
  switch (list) {
    case ResultList::Found: {
      const FoundRow& f = results_.foundRows()[size_t(row)];
      cells(f.text, f.icon, {});
      break;
    }
    case ResultList::Removal: {
      const RemovalRow r = results_.removalRow(row);
      cells(r.threat, r.icon, {r.location, r.type});
      break;
    }
    case ResultList::Files: {
      const FileItem f = results_.fileWork(row);
      cells(f.path, 0, {f.threat});
      break;
    }
    case ResultList::Registry: {
      const RegistryItem r = results_.registryWork(row);
      cells(r.root, 0, {r.key, r.value, r.threat});
      break;
    }
    case ResultList::Cookies: cells(results_.cookieWork(row).path, 0, {}); break;
  }
}

void ResultsMirror::rowChecked(ResultList list, int row, bool checked) { view(list).setChecked(row, checked, false); }

void ResultsMirror::checkedRowsRemoved(ResultList list) { view(list).removeChecked(); }

void ResultsMirror::tracesChanged(int traces) { lists_.traces.setCaption(std::to_string(traces)); }

}  // namespace quillon::ui
