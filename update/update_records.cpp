#include "update/update_records.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"

namespace quillon {

namespace {

std::string_view keyOf(std::string_view text) { return text.substr(0, text.find('=')); }

// The enciphered line an ADD body writes. The server sends the fields enciphered and the
// separators plain, so that the fields can be found; the separators are enciphered here.
bool addLine(const std::string& kind, std::string_view body, std::string& line) {
  if (kind == "COOK") {
    line = keyOf(body);
    return true;
  }
  if (kind == "REG") {
    // label "=" threat "|" key part "|" type text; the label is not written.
    std::vector<std::string> parts = split(std::string(body), "|");
    if (parts.size() < 3) return false;
    size_t eq = parts[0].find('=');
    std::string threat = eq == std::string::npos ? std::string() : parts[0].substr(eq + 1);
    line = parts[1] + encodeDefinitionLine("^=") + threat + encodeDefinitionLine("|") + parts[2];
    return true;
  }
  // One byte for one: each plain separator becomes its enciphered form.
  static const char bar = encodeDefinitionLine("|")[0], equals = encodeDefinitionLine("=")[0];
  line = body;
  for (char& c : line) c = c == '|' ? bar : c == '=' ? equals : c;
  return true;
}

bool fail(std::string* problem, std::string why) {
  if (problem) *problem = std::move(why);
  return false;
}

// The files each kind goes to, as bits of kDefinitionFiles' positions.
unsigned targetsOf(const std::string& kind) {
  static const struct {
    const char* kind;
    unsigned targets;
  } kinds[] = {{"FILE", 1u << 0}, {"DLL", 1u << 0}, {"EXE", 1u << 0 | 1u << 1},
               {"REG", 1u << 2},  {"COOK", 1u << 3}, {"DIR", 1u << 4}};
  for (const auto& k : kinds)
    if (kind == k.kind) return k.targets;
  return 0;
}

// The next "[BR]", in any letter case, at or after `from`.
size_t nextBreak(std::string_view text, size_t from) {
  for (size_t at = text.find('[', from); at != std::string_view::npos; at = text.find('[', at + 1))
    if (text.size() - at >= 4 && (text[at + 1] | 0x20) == 'b' && (text[at + 2] | 0x20) == 'r' && text[at + 3] == ']')
      return at;
  return std::string_view::npos;
}
}  // namespace

bool kindTargets(const std::string& kind, const std::string& fileName) {
  for (size_t i = 0; i < std::size(kDefinitionFiles); ++i)
    if (fileName == kDefinitionFiles[i]) return targetsOf(kind) >> i & 1u;
  return false;
}

bool parseDefinitionUpdate(const std::string& text, std::vector<MergeRecord>& records, std::string* problem) {
  records.clear();
  std::vector<MergeRecord> out;
  out.reserve(size_t(std::count(text.begin(), text.end(), '[')) / 2 + 1);  // "[DEF]" and "[BR]" each
  size_t from = 0;
  for (size_t number = 1;; ++number) {
    size_t at = nextBreak(text, from);
    // Views into the text: only what a record keeps is copied.
    std::string_view record = std::string_view(text).substr(from, at == std::string::npos ? std::string::npos : at - from);
    while (!record.empty() && record.front() == ' ') record.remove_prefix(1);
    while (!record.empty() && record.back() == ' ') record.remove_suffix(1);
    from = at == std::string::npos ? text.size() : at + 4;
    if (!record.empty()) {
      size_t def = record.find("[DEF]");
      std::string_view header = record.substr(0, def);
      size_t bar = header.find('|');
      MergeRecord r;
      r.kind = decodeDefinitionLine(std::string(header.substr(0, bar)));
      r.targets = targetsOf(r.kind);
      if (r.targets) {
        if (def == std::string::npos || bar == std::string::npos)
          return fail(problem, "record " + std::to_string(number) + ": no [DEF] or no action");
        std::string_view action = header.substr(bar + 1);
        action = action.substr(0, action.find('|'));
        const std::string_view body = record.substr(def + 5);
        if (action == "ADD") {
          r.action = MergeAction::Add;
          if (!addLine(r.kind, body, r.line))
            return fail(problem, "record " + std::to_string(number) + ": registry body with fewer than three parts");
          if (r.line.find_first_of("\r\n") != std::string::npos)
            return fail(problem, "record " + std::to_string(number) + ": the line would hold a line break");
          r.addHasKey = body.find('=') != std::string::npos;
          r.key = keyOf(body);
          // Malformed as every reader would take it: as if it had not been sent.
          if (malformedDefinition(r.line)) r = MergeRecord{r.kind, MergeAction::Other, "", "", false, r.targets};
        } else if (action == "DEL") {
          r.action = MergeAction::Delete;
          r.key = keyOf(body);
        }
        out.push_back(std::move(r));
      }
    }
    if (at == std::string::npos) break;
  }
  records = std::move(out);
  return true;
}


}  // namespace quillon
