// grf_corpus_check: runs the fuzz target once on every file of the given folders (or files),
// without the fuzzing engine, under the same sanitizers. A crash, a sanitizer report or a
// broken property ends it at once, naming the file.
//
// File names carry an expectation: "ok-*" must parse, "bad-*" must be rejected; other
// names (the fuzzer's reproducers) only have to pass the target's checks.
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GrfFuzzTarget.h"

namespace fs = std::filesystem;

namespace {

char g_current[4096];  // the file being checked, for the messages of a dying process

void SayCurrentFile() {
    const char prefix[] = "grf_corpus_check: while checking ";
    if (write(STDERR_FILENO, prefix, sizeof prefix - 1) < 0) return;
    if (write(STDERR_FILENO, g_current, strlen(g_current)) < 0) return;
    if (write(STDERR_FILENO, "\n", 1) < 0) return;
}

void OnAbort(int) {
    SayCurrentFile();
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

std::vector<fs::path> FilesOf(const std::vector<std::string>& args) {
    std::vector<fs::path> files;
    for (const std::string& arg : args) {
        if (!fs::is_directory(arg)) {
            files.emplace_back(arg);
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(arg)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && name[0] != '.' && name != "README.md") files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) return false;
    bytes.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: grf_corpus_check <folder or file>...\n", stderr);
        return 2;
    }
    __sanitizer_set_death_callback(SayCurrentFile);
    std::signal(SIGABRT, OnAbort);
    size_t accepted = 0, rejected = 0, failures = 0;
    const std::vector<fs::path> files = FilesOf(std::vector<std::string>(argv + 1, argv + argc));
    for (const fs::path& path : files) {
        std::snprintf(g_current, sizeof g_current, "%s", path.c_str());
        std::vector<uint8_t> bytes;
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            ++failures;
            continue;
        }
        // A copy of exactly the file's size, so a read past the end meets ASan's redzone.
        std::vector<uint8_t> exact(bytes);
        exact.shrink_to_fit();
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
        const bool accepts = GrfAccepts(exact.data(), exact.size());
        (accepts ? accepted : rejected)++;
        const std::string name = path.filename().string();
        const bool mustAccept = name.rfind("ok-", 0) == 0, mustReject = name.rfind("bad-", 0) == 0;
        if ((mustAccept && !accepts) || (mustReject && accepts)) {
            std::fprintf(stderr, "%s: expected %s\n", path.c_str(), mustAccept ? "to parse" : "to be rejected");
            ++failures;
        }
    }
    std::printf("grf_corpus_check: %zu files, %zu parsed, %zu rejected, %zu not as their names expect\n",
                files.size(), accepted, rejected, failures);
    return failures == 0 && !files.empty() ? 0 : 1;
}
