// Writes a realistic engine data log of any size: a title line, a names line
// and one line of 256 comma-separated fields per take, about ten takes per
// second. Time (seconds) is field 0, RPM field 224, BLM field 236 and MAP
// (kPa) field 247; the other fields carry plausible engine parameters.
// --fields N keeps only the first N fields of each line (a narrow log of
// 10 fields has no RPM, MAP or BLM); --rate HZ sets the takes per second,
// the time then written with as many decimals as the rate needs (1000: ms).
//
//   dlv-generate-log TAKES OUTPUT [SEED] [--fields N] [--rate HZ]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kAllFields = 256;
constexpr int kTimeField = 0;
constexpr int kRpmField = 224;
constexpr int kBlmField = 236;
constexpr int kMapField = 247;

// Named channels at fixed positions; the remaining fields are sensor and
// status words of the engine computer.
std::vector<std::string> channelNames()
{
    std::vector<std::string> names(kAllFields);
    for (int i = 0; i < kAllFields; ++i)
        names[static_cast<std::size_t>(i)] = "PARAM" + std::to_string(i);
    const std::pair<int, const char*> fixed[] = {
        {0, "TIME"}, {1, "CLT"}, {2, "IAT"}, {3, "TPS"}, {4, "VSS"}, {5, "O2MV"}, {6, "SPARK"},
        {7, "BATT"}, {8, "IAC"}, {9, "INT"}, {10, "KNOCK"}, {11, "INJPW"}, {12, "AFR"},
        {kRpmField, "RPM"}, {kBlmField, "BLM"}, {kMapField, "MAP"},
    };
    for (const auto& [index, name] : fixed)
        names[static_cast<std::size_t>(index)] = name;
    return names;
}

void append(std::string& out, double value, int decimals)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<const char*> positional;
    int fields = kAllFields;
    long rate = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fields" && i + 1 < argc)
            fields = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        else if (arg == "--rate" && i + 1 < argc)
            rate = std::strtol(argv[++i], nullptr, 10);
        else
            positional.push_back(argv[i]);
    }
    if (positional.size() < 2 || positional.size() > 3 || fields < 1 || fields > kAllFields || rate < 1) {
        std::fprintf(stderr, "usage: %s TAKES OUTPUT [SEED] [--fields 1..256] [--rate HZ]\n", argv[0]);
        return 2;
    }
    const long takes = std::strtol(positional[0], nullptr, 10);
    const unsigned seed = positional.size() > 2 ? static_cast<unsigned>(std::strtoul(positional[2], nullptr, 10)) : 1u;
    const int timeDecimals = rate <= 1 ? 0 : static_cast<int>(std::ceil(std::log10(static_cast<double>(rate))));
    std::FILE* out = std::fopen(positional[1], "wb");
    if (!out || takes < 0) {
        std::fprintf(stderr, "cannot write '%s'\n", positional[1]);
        return 1;
    }
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);

    std::string line = "Engine data log, " + std::to_string(fields) + " channels, " + std::to_string(rate) +
                       " samples per second\r\n";
    const auto names = channelNames();
    for (int i = 0; i < fields; ++i) {
        line += names[static_cast<std::size_t>(i)];
        line += i + 1 < fields ? "," : "\r\n";
    }
    std::fwrite(line.data(), 1, line.size(), out);

    // A drive: the throttle wanders, RPM and MAP follow it, the fuel trim
    // drifts around 128 and reacts to load.
    double throttle = 0.1, rpm = 800, map = 30, blm = 128, coolant = 20;
    for (long t = 0; t < takes; ++t) {
        throttle = std::clamp(throttle + noise(random) * 0.03, 0.0, 1.0);
        const double targetRpm = 650 + throttle * 3000;
        rpm += (targetRpm - rpm) * 0.2 + noise(random) * 20;
        rpm = std::clamp(rpm, 0.0, 3400.0);
        map += ((20 + throttle * 80) - map) * 0.3 + noise(random);
        map = std::clamp(map, 20.0, 100.0);
        blm += (128 + (map - 60) * 0.15 - blm) * 0.05 + noise(random) * 1.5;
        blm = std::clamp(blm, 110.0, 150.0);
        coolant += (90 - coolant) * 0.0005;

        line.clear();
        for (int f = 0; f < fields; ++f) {
            switch (f) {
            case kTimeField: append(line, static_cast<double>(t) / static_cast<double>(rate), timeDecimals); break;
            case 1: append(line, coolant, 0); break;
            case 2: append(line, 25 + noise(random), 0); break;
            case 3: append(line, throttle * 100, 0); break;
            case 4: append(line, rpm / 40, 0); break;
            case 5: append(line, 450 + noise(random) * 300, 0); break;
            case 6: append(line, 10 + (3000 - rpm) / 200 + map / 20, 1); break;
            case 7: append(line, 13.8 + noise(random) * 0.1, 1); break;
            case 8: append(line, 30 + (1 - throttle) * 20, 0); break;
            case 9: append(line, 128 + noise(random) * 3, 0); break;
            case 10: append(line, 0, 0); break;
            case 11: append(line, 1.5 + map / 25, 2); break;
            case 12: append(line, 14.7 + noise(random) * 0.3, 1); break;
            case kRpmField: append(line, std::round(rpm / 25) * 25, 0); break;
            case kBlmField: append(line, std::round(blm), 0); break;
            case kMapField: append(line, std::round(map), 0); break;
            default: append(line, static_cast<double>((t * 7 + f * 13) % 256), 0); break;
            }
            line += f + 1 < fields ? "," : "\r\n";
        }
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
            std::fprintf(stderr, "cannot write '%s'\n", positional[1]);
            std::fclose(out);
            return 1;
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
