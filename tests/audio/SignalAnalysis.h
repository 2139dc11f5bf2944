#pragma once
// Measurements on rendered or recorded audio for the tests: the amplitude of
// one frequency (Goertzel, evaluated at the exact frequency), peak and RMS.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <vector>

namespace qv::test {

// Amplitude of the sine at `hz` in x[begin, end) sampled at fs. Exact for a
// steady sine over many periods (leakage falls with the length).
inline double toneAmplitude(const std::vector<float>& x, double hz, double fs, size_t begin = 0,
                            size_t end = static_cast<size_t>(-1)) {
    if (end > x.size())
        end = x.size();
    if (begin >= end)
        return 0.0;
    const double w = 2.0 * M_PI * hz / fs;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = begin; i < end; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double re = s1 - s2 * std::cos(w);
    const double im = s2 * std::sin(w);
    return 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(end - begin);
}

inline double peakAbs(const std::vector<float>& x, size_t begin = 0, size_t end = static_cast<size_t>(-1)) {
    if (end > x.size())
        end = x.size();
    double peak = 0.0;
    for (size_t i = begin; i < end; ++i)
        peak = std::fmax(peak, std::fabs(static_cast<double>(x[i])));
    return peak;
}

inline double rms(const std::vector<float>& x, size_t begin = 0, size_t end = static_cast<size_t>(-1)) {
    if (end > x.size())
        end = x.size();
    if (begin >= end)
        return 0.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

// The frequency with the largest amplitude among lowHz..highHz in steps of stepHz.
inline double dominantFrequency(const std::vector<float>& x, double fs, double lowHz, double highHz, double stepHz,
                                size_t begin = 0, size_t end = static_cast<size_t>(-1)) {
    double best = lowHz, bestAmp = -1.0;
    for (double f = lowHz; f <= highHz; f += stepHz) {
        const double a = toneAmplitude(x, f, fs, begin, end);
        if (a > bestAmp) {
            bestAmp = a;
            best = f;
        }
    }
    return best;
}

// The level a recording reached where the program was fed: the median of the
// upper half of its windows' levels. On a loaded machine the feed or the
// audio may be held back for a while; the windows that caught such a gap lie
// in the lower half, the level itself (neither too low nor too high) in the
// upper half.
inline double fedLevel(std::vector<double> levels) {
    if (levels.empty())
        return 0.0;
    std::sort(levels.begin(), levels.end(), std::greater<double>());
    return levels[(levels.size() - 1) / 4];
}

// The highest amplitude of `hz` in windows of `window` samples stepped by a
// fifth of a window across x[begin, end): a short sound's level, wherever in
// the span the sound was steady.
inline double bestToneAmplitude(const std::vector<float>& x, double hz, double fs, size_t begin, size_t end,
                                size_t window) {
    double best = 0.0;
    const size_t step = std::max<size_t>(window / 5, 1);
    for (size_t b = begin; b + window <= end && b + window <= x.size(); b += step)
        best = std::max(best, toneAmplitude(x, hz, fs, b, b + window));
    return best;
}

}  // namespace qv::test
