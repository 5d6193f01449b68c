// The registry as the program reads and writes it: values by path, keys held open for many
// queries, and the exact calls that carry any name the system may hold.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

// Predefined roots, with the values of their handles.
constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
constexpr uint32_t kHkeyUsers = 0x80000003u;
constexpr uint32_t kHkeyCurrentConfig = 0x80000005u;
constexpr uint32_t kHkeyDynData = 0x80000006u;

constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;
constexpr uint32_t kKeyRead = 0x20019, kKeyAllAccess = 0xF003F;

enum class RegStatus { Ok, NoKey, NoValue, Failed };

struct RegValue {
  uint32_t type = 0;
  std::string data;  // raw bytes as stored
};

// A key held open for many value queries; each answers as Registry::queryValue would.
class OpenRegistryKey {
 public:
  virtual ~OpenRegistryKey() = default;
  virtual RegStatus queryValue(const std::string& name, RegValue& out) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  virtual bool keyExists(uint32_t root, const std::string& path, uint32_t access) = 0;
  virtual RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name,
                               uint32_t access, RegValue& out) = 0;
  // Creates the key when needed (read and write access), then sets the value.
  virtual bool setValue(uint32_t root, const std::string& path, const std::string& name,
                        const RegValue& value) = 0;
  virtual bool deleteValue(uint32_t root, const std::string& path, const std::string& name) = 0;
  virtual bool deleteTree(uint32_t root, const std::string& path) = 0;
  // The names of a key's subkeys and its values with their data; false when the key cannot be
  // opened for reading or a listing fails half-way.
  virtual bool enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                            std::vector<std::pair<std::string, RegValue>>& values) = 0;
  // Opens a key once for many queries, with `access`; `status` is Ok when it opened (exactly
  // when keyExists would say true), NoKey only when no such key exists (nor, then, anything
  // below it), Failed for any other refusal; null unless Ok. Without an implementation of its
  // own, keyExists decides and each query is a queryValue.
  virtual std::unique_ptr<OpenRegistryKey> openKey(uint32_t root, const std::string& path, uint32_t access,
                                                   RegStatus& status);

  // The calls above take and give text in the system code page, as definitions and settings
  // are written. Names from the system may hold any character: the exact calls below carry
  // every key and value name as UTF-8 (see utf8FromUtf16le) and every value as the bytes stored
  // (strings in UTF-16), so that what is read can be written back unchanged. By default they
  // are the calls above, for a registry whose names are plain bytes.
  // A name in the code page as an exact name.
  virtual std::string exactName(const std::string& codePageText) { return codePageText; }
  virtual bool keyExistsExact(uint32_t root, const std::string& path) { return keyExists(root, path, kKeyRead); }
  virtual RegStatus queryValueExact(uint32_t root, const std::string& path, const std::string& name, RegValue& out) {
    return queryValue(root, path, name, kKeyRead, out);
  }
  // Creates the key when needed, then sets the value.
  virtual bool setValueExact(uint32_t root, const std::string& path, const std::string& name, const RegValue& value) {
    return setValue(root, path, name, value);
  }
  // Creates a key (and its parents); true when it is there.
  virtual bool createKeyExact(uint32_t root, const std::string& path);
  virtual bool enumerateKeyExact(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                 std::vector<std::pair<std::string, RegValue>>& values) {
    return enumerateKey(root, path, subkeys, values);
  }

  // Whether the system itself guards the key as one of its own (Windows Resource Protection).
  // Without an implementation of its own, and where the system keeps no such list, false.
  virtual bool systemProtectsKey(uint32_t root, const std::string& path) { return false; }
};

}  // namespace quillon
