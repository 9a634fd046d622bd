// Helpers for the tests: tar archives built in memory, temporary folders, and paths in
// the engine's own (Windows) form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zaxtest {

using Bytes = std::vector<unsigned char>;

// Builds tar streams header by header. Headers are ustar unless told otherwise, with a
// correct checksum unless a test spoils it.
class TarBuilder {
 public:
  struct Entry {
    std::string name;
    char typeflag = '0';
    std::string data;             // member data (written after the header, padded)
    std::int64_t mtime = 1086091200;  // 2004-06-01 12:00:00 UTC
    std::int64_t sizeField = -1;  // size written in the header; -1: data.size()
    std::string prefix;           // ustar prefix field
    std::string linkname;
    std::int32_t mode = -1;       // permission bits; -1: 0755 for folders, 0644 otherwise
  };

  TarBuilder& add(const Entry& entry);
  TarBuilder& file(const std::string& name, const std::string& data);
  TarBuilder& directory(const std::string& name);
  TarBuilder& gnuLongName(const std::string& longName, const Entry& entry);
  TarBuilder& pax(const std::vector<std::pair<std::string, std::string>>& records, char typeflag = 'x');
  // An old GNU sparse member ('S'): the map's first four entries (offset, length) in the
  // header, the rest in extension blocks of 21, then the stored stretches back to back.
  using Segments = std::vector<std::pair<std::int64_t, std::int64_t>>;
  TarBuilder& oldSparse(const std::string& name, std::int64_t realSize, const Segments& map,
                        const std::string& stored);
  // A pax sparse member in one of GNU tar's forms: 0.0 (offset and numbytes records), 0.1
  // (a map record and the real name) or 1.0 (the real name in a record, the map before the
  // data), under GNU tar's placeholder name where the form has one.
  enum class SparseForm { v00, v01, v10 };
  TarBuilder& paxSparse(SparseForm form, const std::string& name, std::int64_t realSize,
                        const Segments& map, const std::string& stored);
  TarBuilder& raw(const Bytes& bytes);  // anything, e.g. a spoiled header
  TarBuilder& end();                    // two zero blocks

  const Bytes& bytes() const { return bytes_; }
  static Bytes header(const Entry& entry);  // one 512-byte header block
  static void seal(Bytes& header);          // its checksum again, after a change

 private:
  Bytes bytes_;
};

// A pax record "<len> key=value\n" with its length worked out.
std::string paxRecord(const std::string& key, const std::string& value);

// One gzip member; level 0 stores the data as it is (deflate's stored blocks).
Bytes gzipCompress(const Bytes& data, int level = 6);

// Native paths are UTF-8 on every build (on Windows the helpers use the wide calls).
//
// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& native() const { return native_; }  // path for this process's C library
  std::string engine() const;                             // the same path as the engine sees it
  std::string nativeChild(const std::string& relative) const;  // "/" or "\\" between names
  std::string engineChild(const std::string& relative) const;

 private:
  std::string native_;
};

// A native path in the engine's form: "Z:\..." on the native build, unchanged on Windows.
std::string enginePath(const std::string& nativePath);

bool makeFolder(const std::string& nativePath);  // with the folders above it
void writeFile(const std::string& nativePath, const Bytes& bytes);
void writeFile(const std::string& nativePath, const std::string& text);
bool readFile(const std::string& nativePath, std::string& contents);

// The Unix path of a native path under Wine (wine_get_unix_file_name), "" elsewhere: what
// a Linux tool sees of a file the engine wrote.
std::string unixPathOf(const std::string& nativePath);

// Every file and folder below a native folder, as relative paths with "/" between names, in
// byte order, exactly as the Linux file system holds their names: under Wine read by a
// Linux program (find) on the Unix side of the prefix, natively read here. Empty, with the
// reason in `why`, when it cannot be read.
std::vector<std::string> namesOnTheLinuxSide(const std::string& nativeFolder, std::string& why);

// Makes a symbolic link at `link` leading to `target` (both native paths). Under Wine the
// link is made on the Unix side, as a user's own tools would have made it, since Wine
// creates none itself; it then shows to Windows programs as Wine shows such links (a
// folder link as a reparse point). False, with the reason in `why`, when no link can be
// made here.
bool makeSymlink(const std::string& target, const std::string& link, std::string& why);

}  // namespace zaxtest
