#include "tests/support/test_support.h"

#include <zlib.h>

#include "common/unique_resource.h"
#include "common/utf8.h"
#include "common/wine_paths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "common/unique_handle.h"
#endif

namespace zaxtest {

namespace fs = std::filesystem;

namespace {

// Native paths are UTF-8 on every build: on Windows they go through the wide calls, so that
// tests can name files in any script.
fs::path pathOf(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(zax::fromUtf8(utf8));
#else
  return fs::path(utf8);
#endif
}

std::string textOf(const fs::path& path) {
#ifdef _WIN32
  return zax::toUtf8(path.wstring());
#else
  return path.string();
#endif
}

std::FILE* openNative(const std::string& path, const char* mode) {
#ifdef _WIN32
  return ::_wfopen(zax::fromUtf8(path).c_str(), zax::fromUtf8(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

void putOctal(unsigned char* field, std::size_t width, std::uint64_t value) {
  // width-1 digits and a NUL, as most writers do.
  std::string digits(width - 1, '0');
  for (std::size_t i = width - 1; i-- > 0;) {
    digits[i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  std::memcpy(field, digits.data(), width - 1);
  field[width - 1] = 0;
}

void putText(unsigned char* field, std::size_t width, const std::string& text) {
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

void pad(Bytes& bytes) {
  while (bytes.size() % 512 != 0) bytes.push_back(0);
}

}  // namespace

Bytes TarBuilder::header(const Entry& entry) {
  Bytes block(512, 0);
  putText(&block[0], 100, entry.name);
  putOctal(&block[100], 8, entry.mode >= 0 ? static_cast<std::uint64_t>(entry.mode) : entry.typeflag == '5' ? 0755 : 0644);
  putOctal(&block[108], 8, 1000);
  putOctal(&block[116], 8, 1000);
  const std::int64_t size = entry.sizeField >= 0 ? entry.sizeField : static_cast<std::int64_t>(entry.data.size());
  putOctal(&block[124], 12, static_cast<std::uint64_t>(size));
  putOctal(&block[136], 12, static_cast<std::uint64_t>(entry.mtime));
  block[156] = static_cast<unsigned char>(entry.typeflag);
  putText(&block[157], 100, entry.linkname);
  std::memcpy(&block[257], "ustar\0" "00", 8);
  putText(&block[265], 32, "user");
  putText(&block[297], 32, "group");
  putText(&block[345], 155, entry.prefix);
  seal(block);
  return block;
}

void TarBuilder::seal(Bytes& header) {
  std::memset(&header[148], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : header) sum += c;
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%06o", sum);
  std::memcpy(&header[148], checksum, 7);  // six digits, NUL, blank
  header[155] = ' ';
}

TarBuilder& TarBuilder::oldSparse(const std::string& name, std::int64_t realSize,
                                  const Segments& map, const std::string& stored) {
  Entry entry;
  entry.name = name;
  entry.typeflag = 'S';
  entry.sizeField = static_cast<std::int64_t>(stored.size());
  Bytes block = header(entry);
  std::memcpy(&block[257], "ustar  \0", 8);  // the old GNU magic
  const auto putEntries = [&map](unsigned char* at, std::size_t first, std::size_t count) {
    for (std::size_t i = 0; i < count && first + i < map.size(); ++i, at += 24) {
      putOctal(at, 12, static_cast<std::uint64_t>(map[first + i].first));
      putOctal(at + 12, 12, static_cast<std::uint64_t>(map[first + i].second));
    }
  };
  putEntries(&block[386], 0, 4);
  block[482] = map.size() > 4 ? 1 : 0;
  putOctal(&block[483], 12, static_cast<std::uint64_t>(realSize));
  seal(block);
  bytes_.insert(bytes_.end(), block.begin(), block.end());
  for (std::size_t first = 4; first < map.size(); first += 21) {
    Bytes extension(512, 0);
    putEntries(&extension[0], first, 21);
    extension[504] = first + 21 < map.size() ? 1 : 0;
    bytes_.insert(bytes_.end(), extension.begin(), extension.end());
  }
  bytes_.insert(bytes_.end(), stored.begin(), stored.end());
  pad(bytes_);
  return *this;
}

TarBuilder& TarBuilder::add(const Entry& entry) {
  const Bytes block = header(entry);
  bytes_.insert(bytes_.end(), block.begin(), block.end());
  bytes_.insert(bytes_.end(), entry.data.begin(), entry.data.end());
  pad(bytes_);
  return *this;
}

TarBuilder& TarBuilder::file(const std::string& name, const std::string& data) {
  Entry entry;
  entry.name = name;
  entry.data = data;
  return add(entry);
}

TarBuilder& TarBuilder::directory(const std::string& name) {
  Entry entry;
  entry.name = name;
  entry.typeflag = '5';
  return add(entry);
}

TarBuilder& TarBuilder::gnuLongName(const std::string& longName, const Entry& entry) {
  Entry names;
  names.name = "././@LongLink";
  names.typeflag = 'L';
  names.data = longName + std::string(1, '\0');
  add(names);
  return add(entry);
}

TarBuilder& TarBuilder::pax(const std::vector<std::pair<std::string, std::string>>& records,
                            char typeflag) {
  Entry entry;
  entry.name = "PaxHeaders/member";
  entry.typeflag = typeflag;
  for (const auto& [key, value] : records) entry.data += paxRecord(key, value);
  return add(entry);
}

TarBuilder& TarBuilder::paxSparse(SparseForm form, const std::string& name, std::int64_t realSize,
                                   const Segments& map, const std::string& stored) {
  const std::string size = std::to_string(realSize);
  std::string list;
  for (const auto& [offset, length] : map)
    list += (list.empty() ? "" : ",") + std::to_string(offset) + "," + std::to_string(length);
  // GNU tar's own placeholder names, so that a reader that ignores the records shows them.
  const std::string placeholder = "GNUSparseFile.0/" + name;
  switch (form) {
    case SparseForm::v00: {
      std::vector<std::pair<std::string, std::string>> records{
          {"GNU.sparse.size", size}, {"GNU.sparse.numblocks", std::to_string(map.size())}};
      for (const auto& [offset, length] : map) {
        records.push_back({"GNU.sparse.offset", std::to_string(offset)});
        records.push_back({"GNU.sparse.numbytes", std::to_string(length)});
      }
      return pax(records).file(name, stored);
    }
    case SparseForm::v01:
      return pax({{"GNU.sparse.size", size},
                  {"GNU.sparse.numblocks", std::to_string(map.size())},
                  {"GNU.sparse.name", name},
                  {"GNU.sparse.map", list}})
          .file(placeholder, stored);
    case SparseForm::v10: {
      std::string data = std::to_string(map.size()) + "\n";
      for (const auto& [offset, length] : map)
        data += std::to_string(offset) + "\n" + std::to_string(length) + "\n";
      data.resize((data.size() + 511) / 512 * 512, '\0');
      return pax({{"GNU.sparse.major", "1"},
                  {"GNU.sparse.minor", "0"},
                  {"GNU.sparse.name", name},
                  {"GNU.sparse.realsize", size}})
          .file(placeholder, data + stored);
    }
  }
  return *this;
}

TarBuilder& TarBuilder::raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

TarBuilder& TarBuilder::end() {
  bytes_.insert(bytes_.end(), 1024, 0);
  return *this;
}

std::string paxRecord(const std::string& key, const std::string& value) {
  const std::string body = " " + key + "=" + value + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

Bytes gzipCompress(const Bytes& data, int level) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64);
  stream.next_in = const_cast<unsigned char*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TempFolder::TempFolder() {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("zaxtest-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      native_ = textOf(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::permissions(pathOf(native_), fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(pathOf(native_), error);
}

std::string TempFolder::engine() const { return enginePath(native_); }

std::string TempFolder::nativeChild(const std::string& relative) const {
  // Either separator may be given, as the engine's paths and the native ones are mixed.
  std::string part = relative;
  for (char& c : part)
    if (c == '\\') c = '/';
  return textOf(pathOf(native_) / pathOf(part).make_preferred());
}

std::string TempFolder::engineChild(const std::string& relative) const {
  std::string child = relative;
  for (char& c : child)
    if (c == '/') c = '\\';
  return engine() + "\\" + child;
}

std::string enginePath(const std::string& nativePath) {
#ifdef _WIN32
  std::string path = nativePath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return untgz::paths::windowsPathOf(nativePath);
#endif
}

bool makeFolder(const std::string& nativePath) {
  std::error_code error;
  fs::create_directories(pathOf(nativePath), error);
  return fs::is_directory(pathOf(nativePath), error);
}

void writeFile(const std::string& nativePath, const Bytes& bytes) {
  zax::UniqueStream file(openNative(nativePath, "wb"));
  if (!file) throw std::runtime_error("cannot write " + nativePath);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file.get());
}

void writeFile(const std::string& nativePath, const std::string& text) {
  writeFile(nativePath, Bytes(text.begin(), text.end()));
}

bool readFile(const std::string& nativePath, std::string& contents) {
  const zax::UniqueStream file(openNative(nativePath, "rb"));
  if (!file) return false;
  contents.clear();
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) contents.append(buffer, got);
  return true;
}

}  // namespace zaxtest

namespace zaxtest {

// Wine's own export: the Unix path of a Windows path, or nothing on Windows itself.
std::string unixPathOf(const std::string& windowsPath) {
#ifndef _WIN32
  (void)windowsPath;
  return std::string();
#else
  using Convert = char*(CDECL*)(LPCWSTR);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return std::string();
  const std::wstring wide = zax::fromUtf8(windowsPath);
  char* unix = convert(wide.c_str());
  if (!unix) return std::string();
  std::string result = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
#endif
}

#ifdef _WIN32
namespace {

// Runs a Linux program from a Windows one (Wine starts either kind) and waits for it.
bool runUnixCommand(const std::wstring& commandLine) {
  std::wstring command = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  const zax::UniqueKernelHandle thread(process.hThread), running(process.hProcess);
  ::WaitForSingleObject(running.get(), 10000);
  return true;
}

}  // namespace
#endif

std::vector<std::string> namesOnTheLinuxSide(const std::string& nativeFolder, std::string& why) {
  std::vector<std::string> names;
#ifdef _WIN32
  const std::string folder = unixPathOf(nativeFolder);
  if (folder.empty()) {
    why = "not under Wine";
    return names;
  }
  // The list is written beside the folder and renamed once complete, since the wait for a
  // Unix program may return before it is done. The paths are passed as Unix text, so the
  // names are read as the Linux file system holds them, not as Wine shows them.
  const std::string list = folder + ".names";
  const std::string script = "cd '" + folder + "' && find . -mindepth 1 | LC_ALL=C sort > '" + list +
                             ".tmp' && mv '" + list + ".tmp' '" + list + "'";
  if (!runUnixCommand(L"/bin/sh -c \"" + zax::fromUtf8(script) + L"\"")) {
    why = "cannot start /bin/sh";
    return names;
  }
  const std::string listNative = untgz::paths::windowsPathOf(list);
  std::string contents;
  for (int wait = 0; wait < 500 && !readFile(listNative, contents); ++wait) ::Sleep(20);
  ::DeleteFileW(zax::fromUtf8(listNative).c_str());
  for (std::size_t at = 0; at < contents.size();) {
    const std::size_t end = contents.find('\n', at);
    const std::string line = contents.substr(at, end - at);
    if (line.size() > 2) names.push_back(line.substr(2));  // "./" before each
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (names.empty()) why = "find listed nothing";
#else
  std::error_code error;
  for (fs::recursive_directory_iterator entry(nativeFolder, error), end; !error && entry != end;
       entry.increment(error))
    names.push_back(entry->path().lexically_relative(nativeFolder).generic_string());
  std::sort(names.begin(), names.end());
  if (error) why = error.message();
#endif
  return names;
}

bool makeSymlink(const std::string& target, const std::string& link, std::string& why) {
#ifdef _WIN32
  const std::string unixTarget = unixPathOf(target);
  const std::string unixLink = unixPathOf(link);
  if (!unixTarget.empty() && !unixLink.empty()) {
    // Wine starts Unix programs as well as Windows ones.
    if (!runUnixCommand(zax::fromUtf8("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\""))) {
      why = "cannot start /bin/ln";
      return false;
    }
    // The exit code of a Unix program does not reach a Windows parent, and a link that
    // leads nowhere cannot be seen from here; a link to something can.
    // The wait above may return before the Unix program is done.
    if (::GetFileAttributesW(zax::fromUtf8(target).c_str()) == INVALID_FILE_ATTRIBUTES) {
      ::Sleep(500);
      return true;
    }
    const std::wstring wideLink = zax::fromUtf8(link);
    for (int wait = 0; wait < 250 && ::GetFileAttributesW(wideLink.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait)
      ::Sleep(20);
    if (::GetFileAttributesW(wideLink.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    why = "/bin/ln made no link";
    return false;
  }
#endif
  std::error_code error;
  if (fs::is_directory(pathOf(target))) {
    fs::create_directory_symlink(pathOf(target), pathOf(link), error);
  } else {
    fs::create_symlink(pathOf(target), pathOf(link), error);
  }
  if (error) why = error.message();
  return !error;
}

}  // namespace zaxtest
