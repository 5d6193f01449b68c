#include "controls/controls.h"

#include <algorithm>
#include <iterator>

#include "common/text.h"

namespace quillon::controls {

Control::Control(Form* form, Kind kind, std::string name, std::string caption)
    : kind_(kind), name_(std::move(name)), caption_(std::move(caption)) {
  if (form) form->registerControl(this);
}

void Control::setCaption(const std::string& c) {
  if (c == caption_) return;
  caption_ = c;
  notify(Change::Caption);
}

void Control::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  notify(Change::State);
}

void Control::setLayout(const Layout& l) {
  if (l.x == layout.x && l.y == layout.y && l.w == layout.w && l.h == layout.h) return;
  layout = l;
  notify(Change::Layout);
}

void Control::setVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  notify(Change::State);
}

void CheckBox::setValue(int v) {
  if (v == value_) return;
  value_ = v;
  notify(Change::Value);
  if (onClick) onClick();
}

void OptionButton::setValue(bool v) {
  if (v == value_) return;
  value_ = v;
  notify(Change::Value);
  if (!v) return;
  if (form_) form_->clearGroup(*this);
  if (onClick) onClick();
}

namespace {

const std::string& cell(const ListItem& item, int col) { return col == 0 ? item.text : item.subItem(col); }

void insertRow(std::vector<int>& rows, int row) { rows.insert(std::lower_bound(rows.begin(), rows.end(), row), row); }

void eraseRow(std::vector<int>& rows, int row) {
  auto at = std::lower_bound(rows.begin(), rows.end(), row);
  if (at != rows.end() && *at == row) rows.erase(at);
}

}  // namespace

int ListView::add(const std::string& text, int icon) {
  items_.push_back(ListItem{text, {}, icon, false});
  const int row = int(items_.size()) - 1;
  if (prefixIndexed_) {
    std::string key = toUpper(text);
    if (key == lastPrefix_) {
      if (lastPrefixAt_ == prefixIndex_.end() || lastPrefixAt_->first != key)
        lastPrefixAt_ = prefixIndex_.emplace_hint(lastPrefixAt_, std::move(key), row);
    } else {
      prefixIndex_.try_emplace(std::move(key), row);
    }
  }
  for (auto& [col, index] : cellIndex_) index[cell(items_.back(), col)].push_back(row);
  notify(Change::RowAdded, row);
  return row;
}

const ListItem& ListView::item(int i) const {
  static const ListItem none;
  return i >= 0 && i < count() ? items_[size_t(i)] : none;
}

void ListView::setSubItem(int i, int col, const std::string& text) {
  if (i < 0 || i >= count() || col < 1) return;
  auto indexed = cellIndex_.find(col);
  if (indexed != cellIndex_.end() && items_[size_t(i)].subItem(col) != text) {
    auto& index = indexed->second;
    auto old = index.find(items_[size_t(i)].subItem(col));
    eraseRow(old->second, i);
    if (old->second.empty()) index.erase(old);
    insertRow(index[text], i);
  }
  auto& sub = items_[size_t(i)].sub;
  if (sub.size() < size_t(col)) sub.resize(size_t(col));
  sub[size_t(col) - 1] = text;
  notify(Change::RowChanged, i);
}

void ListView::setChecked(int i, bool c, bool runHandler) {
  if (i < 0 || i >= count() || items_[size_t(i)].checked == c) return;
  items_[size_t(i)].checked = c;
  notify(Change::RowChanged, i);
  if (runHandler && onItemCheck) onItemCheck(i);
}

void ListView::remove(int i) {
  if (i < 0 || i >= count()) return;
  items_.erase(items_.begin() + i);
  dropIndexes();
  notify(Change::RowRemoved, i);
}

void ListView::clear() {
  if (items_.empty()) return;
  items_.clear();
  dropIndexes();
  notify(Change::Rows);
}

void ListView::dropIndexes() {
  prefixIndexed_ = false;
  prefixIndex_.clear();
  lastPrefix_.clear();
  lastPrefixAt_ = prefixIndex_.end();
  cellIndex_.clear();
}

void ListView::setColumnWidth(int col, float twips) {
  if (col < 1 || size_t(col) > columns.size()) return;
  Column& c = columns[size_t(col) - 1];
  if (c.widthTwips != twips) c.userSized = true;
  c.widthTwips = twips;
  notify(Change::Columns);
}

std::vector<int> shareWidth(const std::vector<int>& needs, int available) {
  std::vector<int> out(needs.size(), 0);
  if (needs.empty()) return out;
  available = std::max(available, 0);
  long long total = 0;
  for (int n : needs) total += std::max(n, 0);
  if (total <= available) {
    long long extra = available - total, given = 0;
    for (size_t i = 0; i < needs.size(); ++i) {
      long long share = total > 0 ? extra * std::max(needs[i], 0) / total : extra / (long long)needs.size();
      out[i] = std::max(needs[i], 0) + int(share);
      given += share;
    }
    out.back() += int(extra - given);  // what the rounding left
    return out;
  }
  std::vector<size_t> order(needs.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return needs[a] < needs[b]; });
  long long left = available;
  for (size_t k = 0; k < order.size(); ++k) {
    long long even = left / (long long)(order.size() - k);
    out[order[k]] = int(std::min<long long>(std::max(needs[order[k]], 0), even));
    left -= out[order[k]];
  }
  return out;
}

int ListView::findPrefix(const std::string& prefix) const {
  if (prefix.empty()) return items_.empty() ? -1 : 0;
  if (!prefixIndexed_) {
    for (size_t i = 0; i < items_.size(); ++i) prefixIndex_.try_emplace(toUpper(items_[i].text), int(i));
    prefixIndexed_ = true;
  }
  // Texts that begin with the prefix sort together, starting where the prefix itself would.
  lastPrefix_ = toUpper(prefix);
  lastPrefixAt_ = prefixIndex_.lower_bound(lastPrefix_);
  const std::string& key = lastPrefix_;
  int first = -1;
  for (auto it = lastPrefixAt_; it != prefixIndex_.end() && it->first.compare(0, key.size(), key) == 0; ++it)
    if (first < 0 || it->second < first) first = it->second;
  return first;
}

const ListView::Rows& ListView::cellRows(int col, const std::string& value) const {
  static const Rows none;
  if (col < 0) return none;
  auto indexed = cellIndex_.find(col);
  if (indexed == cellIndex_.end()) {
    indexed = cellIndex_.emplace(col, std::unordered_map<std::string, Rows>{}).first;
    indexed->second.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) indexed->second[cell(items_[i], col)].push_back(int(i));
  }
  auto hit = indexed->second.find(value);
  return hit == indexed->second.end() ? none : hit->second;
}

std::vector<int> ListView::rowsWith(const std::string& value, std::initializer_list<int> cols) const {
  if (cols.size() == 1) return cellRows(*cols.begin(), value);
  std::vector<int> rows;
  for (int col : cols) {
    const Rows& more = cellRows(col, value);
    std::vector<int> merged;
    merged.reserve(rows.size() + more.size());
    std::set_union(rows.begin(), rows.end(), more.begin(), more.end(), std::back_inserter(merged));
    rows.swap(merged);
  }
  return rows;
}

void ListView::removeChecked() {
  // One pass that keeps the order of the rows left. `gone` holds each removed row's position
  // as removing the rows one at a time would have reported it.
  std::vector<int> gone;
  size_t kept = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].checked) {
      gone.push_back(int(kept));
    } else {
      if (kept != i) items_[kept] = std::move(items_[i]);
      ++kept;
    }
  }
  if (gone.empty()) return;
  items_.erase(items_.begin() + std::ptrdiff_t(kept), items_.end());
  dropIndexes();
  // A window deletes a few rows cheaply, but deleting many one by one from a long list costs
  // more than filling it again.
  if (gone.size() <= 16 + kept / 16) {
    for (int row : gone) notify(Change::RowRemoved, row);
  } else {
    notify(Change::Rows);
  }
}

void ProgressBar::setMax(int m) {
  if (m <= 0 || m == max_) return;
  max_ = m;
  if (value_ > max_) value_ = max_;
  notify(Change::Value);
}

void ProgressBar::setValue(int v) {
  if (v < 0 || v > max_ || v == value_) return;
  value_ = v;
  notify(Change::Value);
}

void ComboBox::setListIndex(int i) {
  if (i < -1 || i >= int(items.size()) || i == index_) return;
  index_ = i;
  notify(Change::Value);
  if (onClick) onClick();
}

void TabStrip::select(int tab) {
  if (tab < 1 || tab > int(tabs.size())) return;
  selected_ = tab;
  notify(Change::Value);
  if (onClick) onClick();
}

Control* Form::find(const std::string& name) const {
  for (Control* c : controls_)
    if (c->name() == name) return c;
  return nullptr;
}

void Form::setCaption(const std::string& c) {
  caption_ = c;
  if (onFormChanged) onFormChanged();
}

void Form::setVisible(bool v) {
  visible_ = v;
  if (onFormChanged) onFormChanged();
  if (v && onResize) onResize();
}

void Form::clearGroup(const OptionButton& except) {
  for (Control* c : controls_) {
    if (c == &except || c->kind() != Kind::Option) continue;
    auto* o = static_cast<OptionButton*>(c);
    if (o->group == except.group && o->value_) {
      o->value_ = false;
      o->notify(Change::Value);
    }
  }
}

}  // namespace quillon::controls
