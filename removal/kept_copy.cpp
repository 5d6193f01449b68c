#include "removal/kept_copy.h"

#include <algorithm>
#include <vector>

#include "common/text.h"

namespace quillon {

namespace {

constexpr size_t kPiece = size_t(64) << 10;

// One 64-bit word of the keystream for each 8 bytes of a file (splitmix64 over the word's
// number): nothing repeats within a file, so no run of the original's bytes survives as it was.
uint64_t keyWord(uint64_t word) {
  uint64_t z = word * 0x9E3779B97F4A7C15ull + 0x5155494C4C4F4E31ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct Tree {
  FileSystem& fs;
  Signatures& signatures;
  bool keeping;
  std::vector<std::string> lines;  // one per path below the folder, for its digest

  bool walk(const std::string& from, const std::string& to, const std::string& below) {
    const uint32_t a = fs.attributes(from);
    if (a == kNoSuchPath || !(a & kAttrFolder)) return false;
    for (const FolderEntry& e : fs.listFolder(from)) {
      // What a link points to lies outside the folder: neither kept nor restored.
      if (e.attributes & kAttrLink) continue;
      if (e.attributes & kAttrFolder) {
        lines.push_back("D\t" + below + e.name);
        const std::string made = to.empty() ? "" : to + "\\" + e.name;
        // Held once made: a link put in its place meanwhile is never written through.
        std::unique_ptr<HeldPlace> held = made.empty() || !fs.createFolder(made) ? nullptr : fs.holdPlace(made);
        if (!made.empty() && (!held || held->facts().link || !held->facts().folder)) return false;
        if (!walk(from + "\\" + e.name, made, below + e.name + "\\")) return false;
        if (!made.empty()) fs.setAttributes(made, e.attributes);
        continue;
      }
      if (!keeping && !hasKeptSuffix(e.name)) return false;
      const std::string name = keeping ? e.name + kKeptSuffix : withoutKeptSuffix(e.name);
      std::unique_ptr<InputFile> in = fs.openRead(from + "\\" + e.name);
      std::unique_ptr<NewFile> out = to.empty() ? nullptr : fs.createNew(to + "\\" + name);
      if (!in || (!to.empty() && !out)) return false;
      const KeptStream s =
          transformStream([&](char* buf, size_t n) { return in->read(buf, n); }, out.get(), signatures, keeping);
      // Each copy carries its original's bits, and gives them back: the listing has them.
      if (out && s.ok) out->setAttributes(e.attributes);
      if (!s.ok || (out && !out->close())) return false;
      lines.push_back("F\t" + below + (keeping ? e.name : name) + "\t" + std::to_string(s.bytes) + "\t" + s.digest);
    }
    return true;
  }
};

}  // namespace

bool hasKeptSuffix(const std::string& name) {
  const size_t n = std::char_traits<char>::length(kKeptSuffix);
  return name.size() > n && iequals(name.substr(name.size() - n), kKeptSuffix);
}

std::string withoutKeptSuffix(const std::string& name) {
  return hasKeptSuffix(name) ? name.substr(0, name.size() - std::char_traits<char>::length(kKeptSuffix)) : name;
}

void keepTransform(char* data, size_t n, uint64_t offset) {
  for (size_t i = 0; i < n;) {
    const uint64_t at = offset + i, word = keyWord(at / 8);
    for (unsigned b = unsigned(at % 8); b < 8 && i < n; ++b, ++i) data[i] = char(data[i] ^ char(word >> (8 * b)));
  }
}

std::string digestText(const std::string& digest) {
  return digest.size() == 32 ? toHex(digest) : std::string();
}

KeptStream transformStream(const std::function<size_t(char*, size_t)>& read, NewFile* to, Signatures& signatures,
                           bool keeping) {
  KeptStream s;
  std::unique_ptr<Sha256Stream> hash = signatures.sha256Stream();
  if (!hash) return s;
  std::string buf(kPiece, '\0');
  for (size_t got; (got = read(buf.data(), buf.size())) > 0; s.bytes += got) {
    if (keeping) hash->add(buf.data(), got);
    keepTransform(buf.data(), got, s.bytes);
    if (!keeping) hash->add(buf.data(), got);
    if (to && !to->write(got == buf.size() ? buf : buf.substr(0, got))) return s;
  }
  s.digest = digestText(hash->finish());
  s.ok = !s.digest.empty();
  return s;
}

bool transformFolder(FileSystem& fs, Signatures& signatures, const std::string& from, const std::string& to,
                     bool keeping, std::string& digest) {
  Tree tree{fs, signatures, keeping, {}};
  if (!tree.walk(from, to, "")) return false;
  std::sort(tree.lines.begin(), tree.lines.end());
  std::string all;
  for (const std::string& line : tree.lines) all += line + "\n";
  digest = digestText(signatures.sha256(all));
  return !digest.empty();
}

}  // namespace quillon
