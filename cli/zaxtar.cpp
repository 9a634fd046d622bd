// zaxtar: the command-line host of the control. It drives ZAXTarGzip the way a host
// application does (members in, events out) and prints what the events say.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <utility>

#include "control/native/console_ui.h"
#include "control/native/event_loop.h"
#include "common/unique_resource.h"
#include "common/utf8.h"
#include "common/wine_paths.h"
#include "control/zax_tar_gzip.h"
#include "host/zip_class.h"

namespace {

// Exit statuses.
constexpr int kExitSuccess = 0;      // outcome 0 "No error"
constexpr int kExitFailure = 1;      // any other outcome, an error of the engine host, or
                                     // standard output that could not be written
constexpr int kExitUsage = 2;        // the command line was not understood, or holds an
                                     // argument that cannot be handed on unchanged
constexpr int kExitNoOutcome = 3;    // the job ended without reporting an outcome
constexpr int kExitCancelled = 130;  // Ctrl-C (128 + SIGINT, as shells report it)

const char kUsage[] =
    "usage: zaxtar list ARCHIVE\n"
    "       zaxtar extract ARCHIVE DEST [SELECTION]\n"
    "       zaxtar cpu\n"
    "       zaxtar about\n"
    "       zaxtar --help\n";

const char kHelp[] =
    "\n"
    "Lists and extracts tar archives, plain or gzip-compressed (the compression is\n"
    "recognised from the content, not from the name).\n"
    "\n"
    "  list ARCHIVE      print every directory and file entry: kind, size, modification\n"
    "                    time (local) and name, then the totals and the outcome\n"
    "  extract ARCHIVE DEST [SELECTION]\n"
    "                    extract the regular files whose base names match SELECTION (all\n"
    "                    files when it is left out) into the folder DEST, which is created\n"
    "                    when missing. A terminal shows a progress bar; otherwise one line\n"
    "                    per change of the percentage. Ctrl-C cancels the extraction and\n"
    "                    leaves the files written so far in place; a second Ctrl-C quits\n"
    "                    at once. Each member that cannot be written, or is left out for\n"
    "                    safety (a name with '..', a link on its way), is named on\n"
    "                    standard error with the reason; the outcome is then 39 (or the\n"
    "                    archive's own fault) and the exit status 1. A full disk ends\n"
    "                    the extraction at the member that did not fit.\n"
    "  cpu               print the processor's speed, vendor and brand\n"
    "  about             print what this component is\n"
    "\n"
    "Names are printed as GNU tar prints them: control characters, DEL, the line\n"
    "separators U+2028 and U+2029 and bytes that are not UTF-8 as escapes (\\n, \\t,\n"
    "\\033, \\377, ...) and a backslash as \\\\. Sizes are printed whole.\n"
    "\n"
    "A path in ARCHIVE or DEST that holds a backslash (the engine would take it as a\n"
    "folder separator) or bytes that are not UTF-8, and a SELECTION that is not UTF-8,\n"
    "are refused with status 2 before anything is read or written.\n"
    "\n"
    "SELECTION is one pattern, matched against the base name of each member (never its\n"
    "folders) without regard to case. '*' is the only wildcard; '?' stands for itself.\n"
    "A pattern holds at most one '*' besides one at its start and one at its end:\n"
    "  '*' or '*.*'   every file          'notes*'   names starting with 'notes'\n"
    "  '*.txt'        names ending '.txt' '*log*'    names containing 'log'\n"
    "  'a*z'          names starting with 'a' and ending with 'z'\n"
    "Quote the pattern so that the shell does not expand it.\n"
    "\n"
    "A SELECTION that matches no file of the archive is said so on standard error.\n"
    "\n"
    "Exit status:\n"
    "  0    the outcome was 0 \"No error\"\n"
    "  1    any other outcome; its number and text are printed on standard error; or\n"
    "       standard output could not be written (a full disk, a closed output)\n"
    "  2    the command line was not understood, or ARCHIVE, DEST or SELECTION was refused\n"
    "  3    the job ended without reporting an outcome\n"
    "  130  the extraction was cancelled with Ctrl-C\n";

// An argument that cannot be handed on as it is: refused before anything runs.
class RefusedArgument {
 public:
  explicit RefusedArgument(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

// The engine speaks Windows paths; natively, drive Z: is the root of the file system.
// An empty argument stays empty, so that the control reports it as such. A backslash in
// the POSIX path would be a folder separator there ('x\..\..' climbs two folders) and
// bytes that are not UTF-8 would become U+FFFD (another name): such paths are refused.
std::wstring enginePath(const std::string& posixPath, const char* what) {
  if (posixPath.empty()) return std::wstring();
  std::string path = std::filesystem::absolute(posixPath).lexically_normal().string();
  if (path.find('\\') != std::string::npos) {
    throw RefusedArgument(std::string("the path of the ") + what +
                          " holds a backslash, which the engine would take as a folder separator");
  }
  if (!zax::isValidUtf8(path)) {
    throw RefusedArgument(std::string("the path of the ") + what +
                          " holds bytes that are not UTF-8");
  }
  return zax::fromUtf8(untgz::paths::windowsPathOf(path));
}

std::wstring wide(const std::string& text, const char* what) {
  if (!zax::isValidUtf8(text)) {
    throw RefusedArgument(std::string("the ") + what + " holds bytes that are not UTF-8");
  }
  return zax::fromUtf8(text);
}

std::string narrow(const std::wstring& text) { return zax::toUtf8(text); }

// A name as the archive holds it: the control hands bytes that are not UTF-8 over as
// escapes, which give the bytes back.
std::string nameBytes(const std::wstring& name) { return zax::toUtf8Escaped(name); }

// A member name as a terminal line can show it, escaped as GNU tar does by default
// (--quoting-style=escape): a newline in a name cannot forge a line, and escape sequences
// never reach the terminal. C0 controls, DEL, the C1 controls U+0080 to U+009F and the
// line and paragraph separators U+2028 and U+2029 become C escapes or three-digit octal
// escapes of their UTF-8 bytes, and so does each byte that is not part of a UTF-8
// character, so that two such names can be told apart; a backslash is doubled so that
// the escapes stay unambiguous. Other characters, printable ones beyond ASCII included,
// are kept.
std::string escapedName(const std::string& name) {
  std::string out;
  const auto octal = [&out](unsigned char byte) {
    const char digits[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                           static_cast<char>('0' + ((byte >> 3) & 7)),
                           static_cast<char>('0' + (byte & 7))};
    out.append(digits, sizeof digits);
  };
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    const auto next = [&](std::size_t k) {
      return i + k < name.size() ? static_cast<unsigned char>(name[i + k]) : 0;
    };
    switch (byte) {
      case '\a': out += "\\a"; continue;
      case '\b': out += "\\b"; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\v': out += "\\v"; continue;
      case '\f': out += "\\f"; continue;
      case '\r': out += "\\r"; continue;
      case '\\': out += "\\\\"; continue;
      default: break;
    }
    const std::size_t length =
        byte < 0x80 ? 1 : zax::utf8PrefixLength(std::string_view(name).substr(i), 1);
    if (byte < 0x20 || byte == 0x7f || length == 1 && byte >= 0x80) {
      octal(byte);  // a control, or a byte that starts no UTF-8 character
    } else if (byte == 0xc2 && next(1) >= 0x80 && next(1) <= 0x9f) {
      octal(byte);
      octal(next(1));
      i += 1;
    } else if (byte == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9)) {
      octal(byte);
      octal(next(1));
      octal(next(2));
      i += 2;
    } else {
      out.append(name, i, length);
      i += length - 1;
    }
  }
  return out;
}

// The outcome of a job, as the last ErrorCode event carried it.
struct Outcome {
  bool reported = false;
  std::int32_t number = 0;
  std::wstring text;
};

int exitStatusFor(const Outcome& outcome) {
  if (!outcome.reported) {
    std::fprintf(stderr, "zaxtar: the job ended without reporting an outcome\n");
    return kExitNoOutcome;
  }
  if (outcome.number != 0) {
    std::fprintf(stderr, "zaxtar: %d %s\n", outcome.number, narrow(outcome.text).c_str());
    return kExitFailure;
  }
  std::printf("0 %s\n", narrow(outcome.text).c_str());
  return kExitSuccess;
}

// Prints the events of a listing or an extraction.
class PrintingSink final : public zax::EventSink {
 public:
  explicit PrintingSink(bool progressBar) : progressBar_(progressBar) {}

  // The control whose events these are, for the whole size of each entry.
  const zax::ZAXTarGzip* control = nullptr;

  Outcome outcome;
  int entries = 0;
  std::int32_t files = 0;
  std::int32_t directories = 0;

  void ErrorCode(std::int32_t& ErrorNumber, std::wstring& ErrorDescription) override {
    outcome = {true, ErrorNumber, ErrorDescription};
  }

  void Finished() override {
    breakLine();
    std::fflush(stdout);
  }

  void Progress(std::int32_t ProgressValue) override {
    // A cancelled job still closes with 100; showing it would claim a complete job.
    if (muted_) return;
    if (ProgressValue == 0 && !started_) {
      started_ = true;
      start_ = std::chrono::steady_clock::now();
    }
    percent_ = ProgressValue;
    if (progressBar_) {
      drawBar();
    } else {
      std::printf("progress %d\n", ProgressValue);
      std::fflush(stdout);
    }
  }

  void TarFileInformation(std::int32_t& IsDirectory, std::int32_t& Year, std::int32_t& Month,
                          std::int32_t& Day, std::int32_t& Hour, std::int32_t& Minute,
                          std::int32_t& Second, std::wstring& filename, std::int32_t& Size,
                          std::int32_t& NumberOfFiles,
                          std::int32_t& NumberOfDirectories) override {
    // The event's Size stops at 2147483647; the control's C++ side has the whole size.
    const long long size = control != nullptr ? control->EntrySize() : Size;
    // "%s %12lld  %04d-%02d-%02d %02d:%02d:%02d  %s\n", made by hand: a listing prints a
    // line per entry, and printf's parsing of its format was the largest part of it.
    line_.clear();
    line_ += IsDirectory ? "dir " : "file";
    line_ += ' ';
    appendNumber(size, 12, ' ');
    line_ += "  ";
    appendNumber(Year, 4, '0');
    line_ += '-';
    appendNumber(Month, 2, '0');
    line_ += '-';
    appendNumber(Day, 2, '0');
    line_ += ' ';
    appendNumber(Hour, 2, '0');
    line_ += ':';
    appendNumber(Minute, 2, '0');
    line_ += ':';
    appendNumber(Second, 2, '0');
    line_ += "  ";
    appendName(filename);
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    ++entries;
    files = NumberOfFiles;
    directories = NumberOfDirectories;
  }

  // Redraws the bar when the elapsed time has moved on, so that a slow job shows life.
  void refresh() {
    if (!progressBar_ || !started_ || muted_) return;
    if (elapsedSeconds() != shownSeconds_) drawBar();
  }

  // Stops showing progress (the job was cancelled).
  void mute() {
    breakLine();
    muted_ = true;
  }

  // Ends the bar's line before other text is printed on the terminal.
  void breakLine() {
    if (progressBar_ && barShown_) std::fputc('\n', stdout);
    barShown_ = false;
  }

 private:
  // value right-aligned in at least `width` characters, padded with `pad`, as printf's
  // %*lld and %0*d print it (a minus sign before zeros).
  void appendNumber(long long value, int width, char pad) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    const int length = count + (negative ? 1 : 0);
    if (pad == ' ') line_.append(static_cast<std::size_t>(width > length ? width - length : 0), ' ');
    if (negative) line_ += '-';
    if (pad == '0') line_.append(static_cast<std::size_t>(width > length ? width - length : 0), '0');
    while (count > 0) line_ += digits[--count];
  }

  // The name escaped as escapedName does; names of plain printable ASCII, nearly all of
  // them, are taken as they are.
  void appendName(const std::wstring& name) {
    for (wchar_t c : name) {
      if (c < 0x20 || c >= 0x7f || c == '\\') {
        line_ += escapedName(nameBytes(name));
        return;
      }
    }
    const std::size_t start = line_.size();
    line_.resize(start + name.size());
    for (std::size_t i = 0; i < name.size(); ++i) line_[start + i] = static_cast<char>(name[i]);
  }

  long elapsedSeconds() const {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count());
  }

  void drawBar() {
    constexpr int kWidth = 40;
    const int filled = percent_ * kWidth / 100;
    shownSeconds_ = elapsedSeconds();
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    std::printf("\r[%s] %3d%%  %ld:%02ld", bar.c_str(), percent_, shownSeconds_ / 60,
                shownSeconds_ % 60);
    std::fflush(stdout);
    barShown_ = true;
  }

  bool progressBar_;
  bool muted_ = false;
  bool started_ = false;
  bool barShown_ = false;
  std::int32_t percent_ = 0;
  long shownSeconds_ = -1;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::string line_;  // the entry line being made, its storage kept from one to the next
};

// Ctrl-C: the first one asks the main loop to cancel the job; the second quits at once.
std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
  if (interrupts.fetch_add(1) >= 1) {
    const char message[] = "\nzaxtar: stopped\n";
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    _exit(kExitCancelled);
  }
}

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

// The control with the native seams around it.
struct Host {
  explicit Host(bool progressBar) : sink(progressBar) { sink.control = &control; }

  zax::EventLoop loop;
  zax::ConsoleUserInterface ui{std::cout, std::cerr};
  PrintingSink sink;
  zax::ZAXTarGzip control{[this] { return std::make_unique<zax::ZipClass>(ui); }, sink, ui,
                          loop, loop};
};

int list(const std::string& archive) {
  const std::wstring archivePath = enginePath(archive, "archive");
  Host host(false);
  host.control.ZAXListTarFile(archivePath);
  const Outcome& outcome = host.sink.outcome;
  if (host.sink.entries > 0 || (outcome.reported && outcome.number == 0)) {
    std::printf("%d directories, %d files\n", host.sink.directories, host.sink.files);
  }
  return exitStatusFor(host.sink.outcome);
}

// One line on standard error for each member the extraction left out, as tar tools do;
// the engine names the first thousand and counts the rest.
void reportFailedMembers(zax::ZAXTarGzip& control) {
  const auto members = control.FailedMembers();
  for (const auto& member : members) {
    std::fprintf(stderr, "zaxtar: %s: not extracted: %s\n", escapedName(nameBytes(member.name)).c_str(),
                 narrow(member.reason).c_str());
  }
  const std::int32_t total = control.NumberOfFailedMembers();
  if (total > static_cast<std::int32_t>(members.size())) {
    std::fprintf(stderr, "zaxtar: %d more members were not extracted\n",
                 total - static_cast<std::int32_t>(members.size()));
  }
}

// selection is null when none was given (every file).
int extract(const std::string& archive, const std::string& destination, const char* selection) {
  const std::wstring archivePath = enginePath(archive, "archive");
  const std::wstring destinationPath = enginePath(destination, "destination");
  const std::wstring pattern = wide(selection != nullptr ? selection : "*", "selection");
  Host host(isatty(STDOUT_FILENO) == 1);
  catchInterrupts();
  host.control.ZAXUncompress(archivePath, destinationPath, pattern);

  bool cancelled = false;
  host.loop.runWhile([&] {
    if (interrupts.load() > 0 && !cancelled) {
      cancelled = true;
      host.sink.mute();
      std::fprintf(stderr, "zaxtar: cancelling (Ctrl-C again quits at once)\n");
      host.control.CancelExecution();
    }
    host.sink.refresh();
    return host.control.IsPolling();
  });

  reportFailedMembers(host.control);
  // A selection that matched nothing is no failure of the job, but it is seldom what the
  // user meant: tar tools say so.
  if (selection != nullptr && !cancelled && host.sink.outcome.reported &&
      host.sink.outcome.number == 0 && host.control.NumberOfSelectedFiles() == 0) {
    std::fprintf(stderr, "zaxtar: %s: no file of the archive matches the selection\n",
                 escapedName(selection).c_str());
  }
  if (cancelled) {
    if (host.sink.outcome.reported && host.sink.outcome.number != 0) {
      return exitStatusFor(host.sink.outcome);
    }
    std::fprintf(stderr, "zaxtar: extraction cancelled; the files written so far are left in %s\n",
                 destination.c_str());
    return kExitCancelled;
  }
  return exitStatusFor(host.sink.outcome);
}

// Text for a terminal line: the engine's line ends are its own, the line is ours.
std::string asLine(const std::wstring& text) {
  std::string line = narrow(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

int cpu() {
  Host host(false);
  std::printf("speed:  %s\n", asLine(host.control.GetCPUSpeed()).c_str());
  std::printf("vendor: %s\n", asLine(host.control.GetCPUVendor()).c_str());
  std::printf("brand:  %s\n", asLine(host.control.GetCPUBrandString()).c_str());
  return kExitSuccess;
}

int about() {
  Host host(false);
  host.control.About();
  return kExitSuccess;
}

int usageError() {
  std::fputs(kUsage, stderr);
  std::fputs("Try 'zaxtar --help'.\n", stderr);
  return kExitUsage;
}

int run(int argc, char** argv) {
  if (argc < 2) return usageError();
  const std::string command = argv[1];
  if ((command == "--help" || command == "-h") && argc == 2) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return kExitSuccess;
  }
  if (command == "list" && argc == 3) return list(argv[2]);
  if (command == "extract" && (argc == 4 || argc == 5)) {
    return extract(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  }
  if (command == "cpu" && argc == 2) return cpu();
  if (command == "about" && argc == 2) return about();
  return usageError();
}

}  // namespace

// A standard stream that was closed when the program started: /dev/null read-only takes
// its place, so that no file this program opens can become standard output (and receive
// the listing), while writes to it still fail and are reported.
void holdClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    zax::UniqueDescriptor held(::open("/dev/null", O_RDONLY));
    if (held.get() == fd) held.release();  // stays, in the closed stream's place
  }
}

// Everything printed must have reached standard output: a full disk or a closed output
// makes the run a failure, as with tar tools.
int withOutputChecked(int status) {
  const bool flushed = std::fflush(stdout) == 0;
  const int error = errno;
  if (flushed && !std::ferror(stdout)) return status;
  if (flushed) {
    std::fprintf(stderr, "zaxtar: standard output: write error\n");
  } else {
    std::fprintf(stderr, "zaxtar: standard output: write error: %s\n", std::strerror(error));
  }
  return status == kExitSuccess ? kExitFailure : status;
}

int main(int argc, char** argv) {
  holdClosedStandardStreams();
  try {
    return withOutputChecked(run(argc, argv));
  } catch (const zax::HostError& e) {
    std::fprintf(stderr, "zaxtar: %d %s\n", e.number(), e.description().c_str());
    return kExitFailure;
  } catch (const RefusedArgument& e) {
    std::fprintf(stderr, "zaxtar: %s\n", e.message().c_str());
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zaxtar: out of memory\n");
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zaxtar: %s\n", e.what());
    return kExitFailure;
  } catch (...) {
    std::fprintf(stderr, "zaxtar: unexpected failure\n");
    return kExitFailure;
  }
}
