// Writes the program's three notice sounds (our own, synthesised here) into the given folder:
// Completed.wav (a rising chime), Missed.wav (a falling, softer pair), Finished.wav (an
// arpeggio ending on a held chord). 22050 Hz, 16-bit mono PCM.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct Note {
    double hz;
    double start;  // s
    double length; // s
    double level;
};

// A bell-like note: fundamental plus two soft overtones, fast attack, exponential decay.
void addNote(std::vector<double>& mix, const Note& n) {
    const int first = static_cast<int>(n.start * kRate);
    const int count = static_cast<int>(n.length * kRate);
    const int attack = kRate / 200;
    for (int i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(first + i);
        if (at >= mix.size())
            break;
        const double t = static_cast<double>(i) / kRate;
        double env = std::exp(-4.5 * t / n.length);
        if (i < attack)
            env *= static_cast<double>(i) / attack;
        if (count - i < attack)
            env *= static_cast<double>(count - i) / attack;
        const double w = 2.0 * kPi * n.hz * t;
        mix[at] += n.level * env * (std::sin(w) + 0.3 * std::sin(2 * w) + 0.12 * std::sin(3 * w));
    }
}

std::vector<int16_t> render(const std::vector<Note>& notes, double seconds) {
    std::vector<double> mix(static_cast<size_t>(seconds * kRate), 0.0);
    for (const Note& n : notes)
        addNote(mix, n);
    double peak = 1e-9;
    for (double v : mix)
        peak = std::max(peak, std::fabs(v));
    std::vector<int16_t> out(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(mix[i] / peak * 0.6 * 32767.0));
    return out;
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

bool writeWav(const std::string& path, const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1); // PCM
    put16(b, 1); // mono
    put32(b, kRate);
    put32(b, kRate * 2);
    put16(b, 2);
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, dataBytes);
    for (int16_t s : samples)
        put16(b, static_cast<uint16_t>(s));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wavgen <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    // C6 E6 G6, quick and bright.
    const auto completed =
        render({{1046.5, 0.00, 0.22, 0.8}, {1318.5, 0.08, 0.22, 0.8}, {1568.0, 0.16, 0.30, 0.9}}, 0.48);
    // G4 then D4, slower and lower.
    const auto missed = render({{392.0, 0.00, 0.30, 0.9}, {293.7, 0.18, 0.42, 1.0}}, 0.62);
    // C5 E5 G5 C6, then the chord held.
    std::vector<Note> fin = {{523.3, 0.00, 0.20, 0.7}, {659.3, 0.12, 0.20, 0.7}, {784.0, 0.24, 0.20, 0.7}};
    for (double hz : {523.3, 659.3, 784.0, 1046.5})
        fin.push_back({hz, 0.36, 0.60, 0.5});
    const auto finished = render(fin, 0.98);
    const bool ok = writeWav(dir + "/Completed.wav", completed) && writeWav(dir + "/Missed.wav", missed) &&
                    writeWav(dir + "/Finished.wav", finished);
    if (!ok) {
        std::fprintf(stderr, "wavgen: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
