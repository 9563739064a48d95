// What every benchmark shares: a clock, samples with their median, side-by-side runs of two
// operations, the report lines bench.sh gathers into its table, and paths.
//
// A benchmark never judges a single timing: it measures the operation under study (A) and a
// baseline doing the platform's share of the same work (B) in the same process, alternating
// A and B repetition by repetition (A first on even rounds, B first on odd ones, so neither
// profits from caches the other warmed, and a change in machine load hits both alike), and
// reports the ratio of the two medians.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

// Microseconds from the performance counter.
double NowUs();

class Samples {
public:
    void Add(double value) { m_values.push_back(value); }
    size_t Count() const { return m_values.size(); }
    double Median() const;
    double Min() const;
    double Max() const;
    const std::vector<double>& Values() const { return m_values; }

private:
    std::vector<double> m_values;
};

// One timed repetition: the microseconds it took. Set-up and clean-up that must not count
// happen inside the function, outside the stretch it times.
using TimedRun = std::function<double()>;

struct Pair {
    Samples a;
    Samples b;
    double Ratio() const { return a.Median() / b.Median(); }
};

// cWarmUp untimed rounds, then cRounds rounds in which every run is timed once: in the given
// order on even rounds, in reverse order on odd ones. One Samples per run, in the given order.
std::vector<Samples> RunInterleaved(const std::vector<TimedRun>& runs, int cRounds, int cWarmUp = 2);
// The same for two runs, A and B.
Pair RunSideBySide(const TimedRun& runA, const TimedRun& runB, int cRounds, int cWarmUp = 2);

// Times a callable: the microseconds fn() took.
template <class Fn>
double Time(Fn&& fn) {
    const double t0 = NowUs();
    fn();
    return NowUs() - t0;
}

// "<median> (<min>-<max>)" in one unit, the one that suits the median ("12.3 ms (11.0-15.2)").
std::string Spread(const Samples& samples);

// "RESULT|<id>|<A>|<B>|<ratio>|<= target|met" for bench.sh, and a readable block before it; A
// and B as Spread gives them, the ratio of their medians.
void ReportRatio(const char* pszId, const char* pszA, const char* pszB, const Pair& pair, double target);
// A figure without a baseline (a count, a growth factor): "RESULT|<id>|<value>|-|-|<target>|<verdict>".
void ReportFigure(const char* pszId, const std::string& value, const std::string& target, bool bMet);
// A figure that explains others and has no target of its own: "RESULT|<id>|<value>|-|-|-|info".
void ReportInfo(const char* pszId, const std::string& value);
// A line of detail for the reader (prefixed "  ").
void Note(const char* pszFormat, ...);
// A benchmark that cannot run says why on stderr and in a RESULT line, and the process fails.
[[noreturn]] void Fail(const char* pszId, const char* pszFormat, ...);

// The folder of the benchmark executables, where the program and the test bed are built too.
std::wstring BinDir();
// A fresh folder under the prefix's temporary folder.
std::wstring MakeTempDir(const wchar_t* pszTag);
std::string Narrow(const std::wstring& text);

}  // namespace bench
