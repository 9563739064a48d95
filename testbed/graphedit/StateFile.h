// The state file: one line of UTF-8 text per thing the stand-in did ("ready", "dialog-open",
// "connected pid=..."), so that tests in another process can check what it showed. Each line
// is appended and the file closed again at once, so a reader sees it immediately.
#pragma once

#include <string>

namespace ge {

// Sets the file (empty: no state is written). Called once at start-up, before any Append.
void SetStateFile(const std::wstring& path);
// Appends one line (a line feed is added).
void AppendState(const std::wstring& line);

}  // namespace ge
