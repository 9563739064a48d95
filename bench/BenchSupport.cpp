#include "BenchSupport.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace bench {

double NowUs() {
    static const double s_usPerTick = [] {
        LARGE_INTEGER liFrequency;
        ::QueryPerformanceFrequency(&liFrequency);
        return 1e6 / static_cast<double>(liFrequency.QuadPart);
    }();
    LARGE_INTEGER liNow;
    ::QueryPerformanceCounter(&liNow);
    return static_cast<double>(liNow.QuadPart) * s_usPerTick;
}

double Samples::Median() const {
    if (m_values.empty()) return 0;
    std::vector<double> sorted(m_values);
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Samples::Min() const {
    return m_values.empty() ? 0 : *std::min_element(m_values.begin(), m_values.end());
}

double Samples::Max() const {
    return m_values.empty() ? 0 : *std::max_element(m_values.begin(), m_values.end());
}

std::vector<Samples> RunInterleaved(const std::vector<TimedRun>& runs, int cRounds, int cWarmUp) {
    for (int i = 0; i < cWarmUp; ++i)
        for (const TimedRun& run : runs) run();
    std::vector<Samples> samples(runs.size());
    const size_t n = runs.size();
    for (int i = 0; i < cRounds; ++i)
        for (size_t k = 0; k < n; ++k) {
            const size_t j = i % 2 == 0 ? k : n - 1 - k;
            samples[j].Add(runs[j]());
        }
    return samples;
}

Pair RunSideBySide(const TimedRun& runA, const TimedRun& runB, int cRounds, int cWarmUp) {
    std::vector<Samples> samples = RunInterleaved({runA, runB}, cRounds, cWarmUp);
    return Pair{samples[0], samples[1]};
}

namespace {

// The unit that suits a number of microseconds: its name, its size in microseconds and the
// decimals shown.
struct Unit {
    const char* pszName;
    double us;
    int cDecimals;
};

Unit UnitFor(double us) {
    if (us >= 10000) return {"ms", 1000, 1};
    if (us >= 100) return {"us", 1, 0};
    return {"us", 1, 3};
}

std::string InUnit(double us, const Unit& unit) {
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%.*f", unit.cDecimals, us / unit.us);
    return sz;
}

}  // namespace

std::string Spread(const Samples& samples) {
    const Unit unit = UnitFor(samples.Median());
    return InUnit(samples.Median(), unit) + " " + unit.pszName + " (" + InUnit(samples.Min(), unit) + "-" +
           InUnit(samples.Max(), unit) + ")";
}

void ReportRatio(const char* pszId, const char* pszA, const char* pszB, const Pair& pair, double target) {
    const double ratio = pair.Ratio();
    std::printf("%s\n  A: %s\n     median (min-max) %s, %zu runs\n  B: %s\n     median (min-max) %s, %zu runs\n",
                pszId, pszA, Spread(pair.a).c_str(), pair.a.Count(), pszB, Spread(pair.b).c_str(), pair.b.Count());
    std::printf("  ratio A/B %.2f (target <= %.2f)\n", ratio, target);
    std::printf("RESULT|%s|%s|%s|%.2f|<= %.2f|%s\n", pszId, Spread(pair.a).c_str(), Spread(pair.b).c_str(), ratio,
                target, ratio <= target ? "met" : "MISSED");
    std::fflush(stdout);
}

void ReportFigure(const char* pszId, const std::string& value, const std::string& target, bool bMet) {
    std::printf("%s: %s (target %s)\n", pszId, value.c_str(), target.c_str());
    std::printf("RESULT|%s|%s|-|-|%s|%s\n", pszId, value.c_str(), target.c_str(), bMet ? "met" : "MISSED");
    std::fflush(stdout);
}

void ReportInfo(const char* pszId, const std::string& value) {
    std::printf("%s: %s\n", pszId, value.c_str());
    std::printf("RESULT|%s|%s|-|-|-|info\n", pszId, value.c_str());
    std::fflush(stdout);
}

void Note(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::printf("  ");
    std::vprintf(pszFormat, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);
}

void Fail(const char* pszId, const char* pszFormat, ...) {
    char sz[512];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(sz, sizeof(sz), pszFormat, args);
    va_end(args);
    std::fprintf(stderr, "%s: %s\n", pszId, sz);
    std::printf("RESULT|%s|%s|-|-|-|FAILED\n", pszId, sz);
    std::fflush(stdout);
    std::exit(1);
}

std::wstring BinDir() {
    wchar_t sz[MAX_PATH];
    const DWORD cch = ::GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring path(sz, cch);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring MakeTempDir(const wchar_t* pszTag) {
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring base = std::wstring(szTemp) + L"lathmere-bench-" + pszTag + L"-" +
                        std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(base.c_str(), nullptr);
    return base;
}

std::string Narrow(const std::wstring& text) {
    const int cb = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(cb, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), cb, nullptr,
                          nullptr);
    return result;
}

}  // namespace bench
