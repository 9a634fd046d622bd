// Who makes this component and what it is, as the About box, the console's About text and
// the engine host's message for an unexpected failure show it: one place, so the addresses
// a user is told to write to are the same everywhere.
#pragma once

namespace zax::maker {

inline constexpr char kName[] = "ZAX Software";
inline constexpr char kWebAddress[] = "http://www.zaxsoftware.example/zaxtargzip/";
inline constexpr char kMailAddress[] = "support@zaxsoftware.example";
inline constexpr char kMadeBy[] = "Made by ZAX Software. All rights reserved.";

// What the component is, in one paragraph (About box) and in three lines (console).
inline constexpr char kDescription[] =
    "ZAXTarGzip lists and extracts tar archives, plain or gzip-compressed "
    "(.tar, .tgz, .tar.gz), into folders it validates and creates, with progress, "
    "pause, resume and cancel, for any application that hosts ActiveX controls.";
inline constexpr char kConsoleDescription[] =
    "Lists and extracts tar archives, plain or gzip-compressed, for host applications.\n"
    "Extraction runs in the background with progress, pause, resume and cancel;\n"
    "a listing reports the name, size, kind and modification time of every entry.\n";

}  // namespace zax::maker
