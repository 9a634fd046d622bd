#include "host/zip_class.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "common/maker.h"
#include "common/protocol.h"
#include "common/utf8.h"
#include "host/ansi_text.h"
#include "host/engine_file.h"
#include "host/engine_image.h"
#include "host/host_system.h"

namespace zax {

namespace {

constexpr wchar_t kSeparator = static_cast<wchar_t>(os::kSeparator);
// Both names are ASCII.
const std::wstring kDeploymentFolder(std::begin(kDeploymentFolderName),
                                     std::end(kDeploymentFolderName) - 1);
const std::wstring kEngineFile(std::begin(kEngineFileName), std::end(kEngineFileName) - 1);
constexpr std::int32_t kEngineResource = 1;

constexpr std::int32_t kErrorCannotCreateFolder = 70;
constexpr std::int32_t kErrorUnexpected = 5001;
const char kCannotCreateFolderText[] = "Unable to create the destination folder ";
std::string unexpectedText() {
  return std::string("Unexpected error , please contact the developer ") + maker::kMailAddress;
}

constexpr wchar_t kNoLibraryMessage[] = L"error loading the dll";
constexpr wchar_t kNoEntryMessage[] = L"error locating the interface1 function ";

// The classic words write a text of up to 255 characters and its NUL into an operand, as
// many bytes in the ANSI code page.
constexpr std::size_t kEngineTextCapacity = untgz::protocol::kHostBufferSize;
// The first buffer CallWindowText offers: most texts fit it, and the engine says how large
// the others need it.
constexpr std::size_t kFirstTextBuffer = 1024;
// How much of an input file CheckInputFile reads to prove it readable.
constexpr std::size_t kCheckedInputBytes = 255;

// A string as the engine reads it: its text in the engine's code page (UTF-8 once the
// engine speaks it, else ANSI) followed by one NUL byte. Operands are padded with NULs to the
// engine's text capacity, so a text command never writes past the array, whatever the
// caller passed; the padding lies after the NUL and so never shows in what comes back.
bool isAscii(wchar_t c) { return static_cast<std::uint32_t>(c) < 0x80; }

std::vector<char> engineString(const std::wstring& text, std::size_t minimumSize, bool utf8) {
  std::vector<char> array;
  if (std::all_of(text.begin(), text.end(), isAscii)) {
    // Command words and most names: the same bytes in every code page, no conversion.
    array.reserve(std::max(text.size() + 1, minimumSize));
    for (wchar_t c : text) array.push_back(static_cast<char>(c));
    array.push_back('\0');
  } else {
    const std::string bytes = utf8 ? toUtf8Escaped(text + L'\0') : toAnsi(text + L'\0');
    array.assign(bytes.begin(), bytes.end());
  }
  if (array.size() < minimumSize) array.resize(minimumSize, '\0');
  return array;
}

// What the engine left in an array, as the caller's text: everything converted back, cut
// at the first NUL.
std::wstring writtenBack(const std::vector<char>& array, bool utf8) {
  const auto end = std::find(array.begin(), array.end(), '\0');
  if (std::all_of(array.begin(), end, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::wstring(array.begin(), end);
  const std::string bytes(array.begin(), array.end());
  // Bytes that are not UTF-8 (natively a name is its bytes) come back as escapes that
  // give the same bytes again, not as U+FFFD, which would make different names one.
  std::wstring text = utf8 ? fromUtf8Escaped(bytes) : fromAnsi(bytes);
  return text.substr(0, text.find(L'\0'));
}

// UTF-8 bytes from the engine as the caller's text, into `text` (whose storage is reused).
void textBack(const char* begin, const char* end, std::wstring& text) {
  if (std::all_of(begin, end, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    // Written into the string's own storage: assign() from char iterators builds a
    // temporary string first, an allocation per listed entry.
    text.resize(static_cast<std::size_t>(end - begin));
    std::copy(begin, end, text.begin());
  } else {
    text = fromUtf8Escaped(std::string(begin, end));
  }
}

std::intptr_t addressOf(std::vector<char>& array) {
  return reinterpret_cast<std::intptr_t>(array.data());
}

// why, when given, says what is wrong with a folder that is there.
HostError cannotCreateFolder(const std::wstring& folder, const std::string& why = std::string()) {
  return HostError(kErrorCannotCreateFolder,
                   kCannotCreateFolderText + toUtf8(folder) + (why.empty() ? "" : ": " + why));
}

}  // namespace

ZipClass::ZipClass(MessageBoxes& messageBoxes, ZipClassSeams seams)
    : messageBoxes_(messageBoxes), seams_(std::move(seams)) {}

// The engine stays loaded for the rest of the process unless Deinit freed it: a job the
// engine still runs would lose its code under its worker thread, and only the control
// can tell whether one runs (it calls Deinit when none does).
ZipClass::~ZipClass() { hEngine.abandon(); }

// Deploys and loads the engine:
//   - the file exists: it is kept when it equals the carried image (checksum first, then
//     byte for byte, since the checksum alone is weak), otherwise replaced in one step;
//   - it does not: the folder chain is created (error 70 when it cannot be) and the file
//     written;
//   - then the library is loaded and interface1 resolved, each failure shown in a message
//     box, after which Init returns normally and nothing is loaded.
// Any other failure (no temporary folder, an unreadable file) raises error 5001.
void ZipClass::Init(bool fOrceinit) {
  if (!fOrceinit && Loaded) return;
  try {
    const std::wstring temporary = GetTempPathString();
    if (temporary.empty()) throw std::runtime_error("no temporary folder");
    const std::wstring folder = temporary + kDeploymentFolder + kSeparator;
    EnginePath = folder + kEngineFile;
    const std::string folderBytes = toUtf8(folder);
    const std::string pathBytes = toUtf8(EnginePath);

    if (const std::string why = os::deploymentFolderProblem(folderBytes); !why.empty()) {
      throw cannotCreateFolder(folder, why);
    }
    if (os::isFile(pathBytes)) {
      const auto image = rawResource(kEngineResource);
      const auto deployed = os::readFile(pathBytes);
      // Another process may be replacing the file this very moment; only a file that is
      // there and cannot be read is an error.
      if (!deployed && os::isFile(pathBytes)) throw std::runtime_error("the engine file cannot be read");
      // The byte comparison decides alone: equal bytes have equal checksums, and a checksum
      // match was confirmed byte for byte anyway. Summing megabytes twice on every first
      // use cost more than the comparison (sizes first, then the bytes).
      const bool identical = deployed && image && *deployed == *image;
      // ExtractRes replaces the file in one step; deleting it first would let another
      // process starting at the same time find no file, or half of one.
      if (!identical) ExtractRes(EnginePath, kEngineResource);
    } else {
      if (!CreateNewDirectory(folder)) throw cannotCreateFolder(folder);
      if (const std::string why = os::deploymentFolderProblem(folderBytes); !why.empty()) {
        throw cannotCreateFolder(folder, why);
      }
      ExtractRes(EnginePath, kEngineResource);
    }

    switch (hEngine.load(pathBytes)) {
      case os::EngineEntry::Load::noLibrary:
        messageBoxes_.showMessage(kNoLibraryMessage);
        return;
      case os::EngineEntry::Load::noEntry:
        messageBoxes_.showMessage(kNoEntryMessage);
        return;
      case os::EngineEntry::Load::done:
        break;
    }
    Loaded = true;
  } catch (const HostError&) {
    throw;
  } catch (...) {
    throw HostError(kErrorUnexpected, unexpectedText());
  }
}

void ZipClass::Deinit() {
  if (!Loaded) return;
  hEngine.unload();
  Loaded = false;
}

bool ZipClass::IsLoaded() const { return Loaded; }

bool ZipClass::engineReachable() {
  if (!hEngine.libraryLoaded()) {
    messageBoxes_.showMessage(kNoLibraryMessage);
    return false;
  }
  if (!hEngine.ready()) {
    messageBoxes_.showMessage(kNoEntryMessage);
    return false;
  }
  return true;
}

std::int32_t ZipClass::CallWindow(const std::wstring& string11, const std::wstring& string22,
                                  const std::wstring& string33, const std::wstring& string44) {
  if (!engineReachable()) return 0;
  const std::size_t capacity = kEngineTextCapacity;
  std::vector<char> command = engineString(string11, 0, false);
  std::vector<char> operand1 = engineString(string22, capacity, false);
  std::vector<char> operand2 = engineString(string33, capacity, false);
  std::vector<char> operand3 = engineString(string44, capacity, false);
  return hEngine.call(command.data(), addressOf(operand1), addressOf(operand2),
                       addressOf(operand3));
}

std::int32_t ZipClass::CallWindow2(std::wstring& string11, std::wstring& string22,
                                   std::wstring& string33, std::int32_t string44) {
  if (!engineReachable()) return 0;
  const std::size_t capacity = kEngineTextCapacity;
  std::vector<char> command = engineString(string11, 0, false);
  std::vector<char> operand1 = engineString(string22, capacity, false);
  std::vector<char> operand2 = engineString(string33, capacity, false);
  const std::int32_t result = hEngine.call(command.data(), addressOf(operand1),
                                            addressOf(operand2), string44);
  string11 = writtenBack(command, false);
  string22 = writtenBack(operand1, false);
  string33 = writtenBack(operand2, false);
  return result;
}

std::int32_t ZipClass::CallWindowLONG(const std::wstring& string11, std::int32_t string22,
                                      std::int32_t string33, std::int32_t string44) {
  if (!engineReachable()) return 0;
  std::vector<char> command = engineString(string11, 0, false);
  return hEngine.call(command.data(), string22, string33, string44);
}

std::int32_t ZipClass::CallWindowInt(const std::wstring& string11, std::int32_t string22,
                                     std::int32_t, std::int32_t) {
  if (!engineReachable()) return 0;
  std::vector<char> command = engineString(string11, 0, false);
  return hEngine.call(command.data(), string22, string22, string22);
}

std::int32_t ZipClass::CallWindowUtf8(const std::wstring& string11, const std::wstring& string22,
                                      const std::wstring& string33, const std::wstring& string44) {
  if (!engineReachable()) return 0;
  std::vector<char> command = engineString(string11, 0, true);
  std::vector<char> operand1 = engineString(string22, 0, true);
  std::vector<char> operand2 = engineString(string33, 0, true);
  std::vector<char> operand3 = engineString(string44, 0, true);
  return hEngine.call(command.data(), addressOf(operand1), addressOf(operand2),
                       addressOf(operand3));
}

std::int32_t ZipClass::CallWindowText(const std::wstring& string11, std::wstring& text,
                                      std::int32_t string44) {
  text.clear();
  if (!engineReachable()) return 0;
  std::vector<char> command = engineString(string11, 0, true);
  std::vector<char> buffer(kFirstTextBuffer, '\0');
  std::int32_t result = 0;
  // A text that changes between the two asks (the engine's error text of a job that just
  // ended) may need more again; a few rounds settle it.
  for (int round = 0; round < 4; ++round) {
    result = hEngine.call(command.data(), addressOf(buffer),
                           static_cast<std::intptr_t>(buffer.size()), string44);
    if (result <= 0 || static_cast<std::size_t>(result) <= buffer.size()) break;
    buffer.assign(static_cast<std::size_t>(result), '\0');
  }
  if (result > 0) text = writtenBack(buffer, true);
  return result;
}

std::int32_t ZipClass::ReadEntry(std::int32_t which, ListedEntry& entry) {
  namespace protocol = untgz::protocol;
  if (!engineReachable()) return -1;
  if (recordBuffer_.size() < kFirstTextBuffer) recordBuffer_.resize(kFirstTextBuffer);
  const auto ask = [&](std::int32_t what) {
    return hEngine.call(protocol::kEntryRecordUtf8.narrow, addressOf(recordBuffer_),
                        static_cast<std::intptr_t>(recordBuffer_.size()), what);
  };
  std::int32_t needed = ask(which);
  if (needed == 0) return -1;  // an engine without the word
  if (needed == protocol::kNoEntry) return 0;
  if (static_cast<std::size_t>(needed) > recordBuffer_.size()) {
    recordBuffer_.resize(static_cast<std::size_t>(needed));
    needed = ask(protocol::kCurrentRecord);
    if (needed <= 0 || static_cast<std::size_t>(needed) > recordBuffer_.size()) return -1;
  }
  protocol::EntryRecordHeader header;
  std::memcpy(&header, recordBuffer_.data(), sizeof header);
  entry.isDirectory = header.isDirectory;
  entry.year = header.year;
  entry.month = header.month;
  entry.day = header.day;
  entry.hour = header.hour;
  entry.minute = header.minute;
  entry.second = header.second;
  entry.size = header.size;
  entry.wholeSize = static_cast<std::int64_t>((std::uint64_t{header.sizeHigh} << 32) | header.sizeLow);
  entry.files = header.files;
  entry.directories = header.directories;
  const char* name = recordBuffer_.data() + sizeof header;
  textBack(name, name + std::strlen(name), entry.filename);
  return 1;
}

JobEndSignal ZipClass::TakeJobEndSignal() {
  // Quietly none when nothing is loaded: the polling that follows reports that.
  if (!hEngine.ready()) return JobEndSignal();
  std::intptr_t slot = 0;
  const std::int32_t written =
      hEngine.call(untgz::protocol::kJobEndSignal.narrow, reinterpret_cast<std::intptr_t>(&slot));
  return written == 1 ? jobEndSignalFrom(slot) : JobEndSignal();
}

bool ZipClass::CheckForEmpty(const std::wstring& Inputfile) { return Inputfile.empty(); }

bool ZipClass::CheckInputFile(const std::wstring& Inputfile) {
  try {
    return os::readFileStart(toUtf8(Inputfile), kCheckedInputBytes);
  } catch (...) {
    return false;
  }
}

bool ZipClass::CheckOuPutFile(const std::wstring& Inputfile) {
  try {
    return os::probeNewFile(toUtf8(Inputfile));
  } catch (...) {
    return false;
  }
}

bool ZipClass::CheckForEquality(const std::wstring& Inputfile, const std::wstring& OutPutFile) {
  return os::toUpper(Inputfile) == os::toUpper(OutPutFile);
}

std::wstring ZipClass::GetTempPathString() {
  const std::string folder = seams_.temporaryFolder ? seams_.temporaryFolder()
                                                    : os::temporaryFolder();
  if (folder.empty()) return std::wstring();
  std::wstring text = fromUtf8(folder);
  if (text.back() != kSeparator) text += kSeparator;
  return text;
}

// Every prefix of the path that ends in a separator is created in turn, from the root
// down, whether it exists or not; only the outcome counts.
bool ZipClass::CreateNewDirectory(const std::wstring& NewDirectory) {
  std::wstring chain = NewDirectory;
  if (chain.empty() || chain.back() != kSeparator) chain += kSeparator;
  for (std::size_t end = chain.find(kSeparator); end != std::wstring::npos;
       end = chain.find(kSeparator, end + 1)) {
    os::createDirectory(toUtf8(chain.substr(0, end + 1)));
  }
  return os::isDirectory(toUtf8(NewDirectory));
}

void ZipClass::ExtractRes(const std::wstring& OutFile, std::int32_t ResNumber) {
  try {
    const auto image = rawResource(ResNumber);
    if (image) os::writeFile(toUtf8(OutFile), *image);
  } catch (...) {
    // Silent on purpose: loading whatever is (or is not) at the path reports the failure.
  }
}

std::int32_t ZipClass::ExtractResAdler32(std::int32_t ResNumber) {
  try {
    const auto image = rawResource(ResNumber);
    return image ? Adler32(*image) : 0;
  } catch (...) {
    return 0;
  }
}

std::int32_t ZipClass::Adler32file(const std::wstring& Inputfile) {
  const auto bytes = os::readFile(toUtf8(Inputfile));
  if (!bytes) throw std::runtime_error("cannot read " + toUtf8(Inputfile));
  return Adler32(*bytes);
}

void ZipClass::ZAXKill(const std::wstring& filename) { os::deleteFile(toUtf8(filename)); }

std::optional<std::vector<std::uint8_t>> ZipClass::rawResource(std::int32_t number) {
  return seams_.rawResource ? seams_.rawResource(number) : loadRawResource(number);
}

}  // namespace zax
