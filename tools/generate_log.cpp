// Writes a realistic engine data log of any size: a title line, a names line
// and one line of 256 comma-separated fields per take, about ten takes per
// second. Time (seconds) is field 0, RPM field 224, BLM field 236 and MAP
// (kPa) field 247; the other fields carry plausible engine parameters.
// --fields N keeps only the first N fields of each line (a narrow log of
// 10 fields has no RPM, MAP or BLM); --rate HZ sets the takes per second,
// the time then written with as many decimals as the rate needs (1000: ms).
//
// --format mlg writes the same drive as a binary MLG log (version 2) of
// TAKES records: engine channels first (Time F32 in seconds, RPM, MAP with
// scale 0.1 in kPa, TPS, AFR, CLT, IAT, fuel trims, ...), then generic
// fields of every type, N fields in all (default 256, up to 16,000), three
// markers and an info block with a signature and a capture date. Written
// from the format's public description; 1,389 fields make records of about
// 3.6 kB, so 320,000 of them make about 1.2 GB.
//
//   dlv-generate-log TAKES OUTPUT [SEED] [--fields N] [--rate HZ] [--format datalog|mlg]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kAllFields = 256;
constexpr int kTimeField = 0;
constexpr int kRpmField = 224;
constexpr int kBlmField = 236;
constexpr int kMapField = 247;
// Fields of an MLG log at most: 16,000 of 4 bytes fit a record's 65,535.
constexpr int kMaxMlgFields = 16000;

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

// A drive: the throttle wanders, RPM and MAP follow it, the fuel trim
// drifts around 128 and reacts to load.
struct Drive {
    explicit Drive(unsigned seed) : random(seed) {}
    void step()
    {
        throttle = std::clamp(throttle + noise(random) * 0.03, 0.0, 1.0);
        const double targetRpm = 650 + throttle * 3000;
        rpm += (targetRpm - rpm) * 0.2 + noise(random) * 20;
        rpm = std::clamp(rpm, 0.0, 3400.0);
        map += ((20 + throttle * 80) - map) * 0.3 + noise(random);
        map = std::clamp(map, 20.0, 100.0);
        blm += (128 + (map - 60) * 0.15 - blm) * 0.05 + noise(random) * 1.5;
        blm = std::clamp(blm, 110.0, 150.0);
        coolant += (90 - coolant) * 0.0005;
    }
    double next() { return noise(random); }

    std::mt19937 random;
    std::normal_distribution<double> noise{0.0, 1.0};
    double throttle = 0.1, rpm = 800, map = 30, blm = 128, coolant = 20;
};

// ------------------------------------------------------------ MLG

// Field types of an MLG descriptor, and their sizes.
enum MlgType : std::uint8_t { U08 = 0, S08 = 1, U16 = 2, S16 = 3, U32 = 4, S32 = 5, S64 = 6, F32 = 7, Bits8 = 10, Bits16 = 11 };

int mlgSize(std::uint8_t type)
{
    switch (type) {
    case U08: case S08: case Bits8: return 1;
    case U16: case S16: case Bits16: return 2;
    case S64: return 8;
    default: return 4;
    }
}

struct MlgChannel {
    std::uint8_t type;
    const char* name;
    const char* unit;
    std::uint8_t style;  // 0 float, 4 on/off, ...
    float scale;
    float transform;
    std::int8_t digits;
    const char* category;
};

// The engine channels; generic fields follow them.
constexpr MlgChannel kEngineChannels[] = {
    {F32, "Time", "s", 0, 1, 0, 3, "Basic"},
    {U16, "RPM", "rpm", 0, 1, 0, 0, "Engine"},
    {U16, "MAP", "kPa", 0, 0.1f, 0, 1, "Sensors"},
    {S16, "TPS", "%", 0, 0.1f, 0, 1, "Sensors"},
    {U16, "AFR", "AFR", 0, 0.01f, 0, 2, "Fuel"},
    {S16, "CLT", "\xC2\xB0" "C", 0, 0.1f, 0, 1, "Sensors"},
    {S16, "IAT", "\xC2\xB0" "C", 0, 0.1f, 0, 1, "Sensors"},
    {U08, "BLM", "", 0, 1, 0, 0, "Fuel"},
    {S16, "Short term trim", "%", 0, 0.1f, 0, 1, "Fuel"},
    {S16, "Long term trim", "%", 0, 0.1f, 0, 1, "Fuel"},
    {U16, "Battery", "V", 0, 0.01f, 0, 2, "Electrical"},
    {S16, "Advance", "deg", 0, 0.1f, 0, 1, "Ignition"},
    {U16, "Injector PW", "ms", 0, 0.001f, 0, 3, "Fuel"},
    {U08, "VSS", "km/h", 0, 1, 0, 0, "Basic"},
    {U08, "Fan", "", 4, 1, 0, 0, "Outputs"},
    {U08, "Lambda", "", 0, 0.01f, 50, 2, "Fuel"},
    {Bits8, "Status bits", "", 2, 1, 0, 0, "Status"},
};
constexpr int kEngineCount = static_cast<int>(sizeof kEngineChannels / sizeof kEngineChannels[0]);
// Generic fields cycle through these types: about 2.6 bytes a field.
constexpr std::uint8_t kGenericTypes[] = {U08, U16, S16, U32, F32, S08, U16, S32, Bits16, F32};

MlgChannel genericChannel(int index)
{
    const std::uint8_t type = kGenericTypes[index % 10];
    const bool bits = type == Bits16;
    const float scales[] = {1, 0.1f, 0.01f, 0.5f};
    return MlgChannel{type, nullptr, bits ? "" : "units", static_cast<std::uint8_t>(bits ? 2 : 0),
                      bits ? 1.0f : scales[index % 4], bits ? 0.0f : static_cast<float>(index % 3 == 0 ? -40 : 0),
                      static_cast<std::int8_t>(bits ? 0 : index % 4), "Generic"};
}

void putBig(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putFloat(std::string& out, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putBig(out, bits, 4);
}

void putPadded(std::string& out, const std::string& text, std::size_t bytes)
{
    std::string padded = text.substr(0, bytes);
    padded.resize(bytes, '\0');
    out += padded;
}

// The raw value that shows as `shown` through the channel's scale and transform.
double rawFor(const MlgChannel& c, double shown)
{
    return c.type == F32 || c.type == Bits8 || c.type == Bits16 ? shown : shown / c.scale - c.transform;
}

void putValue(std::string& out, std::uint8_t type, double raw)
{
    if (type == F32) {
        putFloat(out, static_cast<float>(raw));
        return;
    }
    const auto whole = static_cast<std::int64_t>(std::llround(raw));
    putBig(out, static_cast<std::uint64_t>(whole), mlgSize(type));
}

// A generic field's raw value: steps through its type's range.
double genericRaw(std::uint8_t type, long t, int f)
{
    const long step = (t * 7 + f * 13) % 256;
    switch (type) {
    case S08: return static_cast<double>(step - 128);
    case S16: case S32: return static_cast<double>((step - 128) * 100);
    case U32: return static_cast<double>(step) * 100000;
    case F32: return static_cast<double>(step) / 8;
    case Bits16: return static_cast<double>(1 << (step % 16));
    default: return static_cast<double>(step);
    }
}

int writeMlg(std::FILE* out, long takes, int fields, long rate, unsigned seed)
{
    std::vector<MlgChannel> channels;
    std::vector<std::string> names;
    for (int i = 0; i < fields; ++i) {
        channels.push_back(i < kEngineCount ? kEngineChannels[i] : genericChannel(i));
        names.push_back(i < kEngineCount ? kEngineChannels[i].name : "Field " + std::to_string(i));
    }
    int recordLength = 0;
    for (const MlgChannel& c : channels)
        recordLength += mlgSize(c.type);
    if (recordLength > 65535) {
        std::fprintf(stderr, "--fields %d: records of %d bytes are longer than MLG allows (65,535)\n", fields,
                     recordLength);
        return 2;
    }
    const std::uint32_t timeStamp = 1700000000;
    const std::time_t when = timeStamp;
    char date[64];
    std::strftime(date, sizeof date, "%a %b %d %H:%M:%S UTC %Y", std::gmtime(&when));
    const std::string info = "\"dlv-generate-log 1 seed " + std::to_string(seed) + "\"\n\"Capture Date: " + date + "\"\n";

    constexpr std::size_t kHeader = 24, kDescriptor = 89;
    const std::size_t infoOffset = kHeader + kDescriptor * static_cast<std::size_t>(fields);
    std::string head("MLVLG", 5);
    head.push_back('\0');
    putBig(head, 2, 2);
    putBig(head, timeStamp, 4);
    putBig(head, infoOffset, 4);
    putBig(head, infoOffset + info.size(), 4);
    putBig(head, static_cast<std::uint64_t>(recordLength), 2);
    putBig(head, static_cast<std::uint64_t>(fields), 2);
    for (int i = 0; i < fields; ++i) {
        const MlgChannel& c = channels[static_cast<std::size_t>(i)];
        head.push_back(static_cast<char>(c.type));
        putPadded(head, names[static_cast<std::size_t>(i)], 34);
        putPadded(head, c.unit, 10);
        head.push_back(static_cast<char>(c.style));
        putFloat(head, c.scale);
        putFloat(head, c.transform);
        head.push_back(static_cast<char>(c.digits));
        putPadded(head, c.category, 34);
    }
    head += info;
    if (std::fwrite(head.data(), 1, head.size(), out) != head.size())
        return 1;

    Drive drive(seed);
    std::string block;
    std::string buffer;
    buffer.reserve(std::size_t{8} << 20);
    unsigned counter = 0;
    for (long t = 0; t < takes; ++t) {
        drive.step();
        const auto ticks = static_cast<std::uint64_t>(t) * 100000 / static_cast<std::uint64_t>(rate);
        if (takes >= 4 && t % (takes / 4) == 0 && t > 0) {
            block.clear();
            block.push_back(1);
            block.push_back(static_cast<char>(counter++));
            putBig(block, ticks & 0xFFFF, 2);
            putPadded(block, "Lap " + std::to_string(t / (takes / 4)), 50);
            buffer += block;
        }
        block.clear();
        block.push_back(0);
        block.push_back(static_cast<char>(counter++));
        putBig(block, ticks & 0xFFFF, 2);
        for (int f = 0; f < fields; ++f) {
            const MlgChannel& c = channels[static_cast<std::size_t>(f)];
            double shown = 0;
            switch (f) {
            case 0: shown = static_cast<double>(t) / static_cast<double>(rate); break;
            case 1: shown = std::round(drive.rpm); break;
            case 2: shown = drive.map; break;
            case 3: shown = drive.throttle * 100; break;
            case 4: shown = 14.7 + drive.next() * 0.3; break;
            case 5: shown = drive.coolant; break;
            case 6: shown = 25 + drive.next(); break;
            case 7: shown = std::round(drive.blm); break;
            case 8: shown = (drive.blm - 128) / 2; break;
            case 9: shown = (drive.map - 60) * 0.05; break;
            case 10: shown = 13.8 + drive.next() * 0.1; break;
            case 11: shown = 10 + (3000 - drive.rpm) / 200 + drive.map / 20; break;
            case 12: shown = 1.5 + drive.map / 25; break;
            case 13: shown = std::round(drive.rpm / 40); break;
            case 14: shown = drive.coolant > 88 ? 1 : 0; break;
            case 15: shown = 1 + drive.next() * 0.02; break;
            case 16: shown = drive.throttle > 0.5 ? 5 : 1; break;
            default: putValue(block, c.type, genericRaw(c.type, t, f)); continue;
            }
            putValue(block, c.type, rawFor(c, shown));
        }
        unsigned sum = 0;
        for (std::size_t i = 4; i < block.size(); ++i)
            sum += static_cast<unsigned char>(block[i]);
        block.push_back(static_cast<char>(sum & 0xFF));
        buffer += block;
        if (buffer.size() >= (std::size_t{8} << 20)) {
            if (std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size())
                return 1;
            buffer.clear();
        }
    }
    return std::fwrite(buffer.data(), 1, buffer.size(), out) == buffer.size() ? 0 : 1;
}

// The own format: a title line, the names line, one line per take.
int writeDatalog(std::FILE* out, long takes, int fields, long rate, unsigned seed)
{
    const int timeDecimals = rate <= 1 ? 0 : static_cast<int>(std::ceil(std::log10(static_cast<double>(rate))));
    std::string line = "Engine data log, " + std::to_string(fields) + " channels, " + std::to_string(rate) +
                       " samples per second\r\n";
    const auto names = channelNames();
    for (int i = 0; i < fields; ++i) {
        line += names[static_cast<std::size_t>(i)];
        line += i + 1 < fields ? "," : "\r\n";
    }
    std::fwrite(line.data(), 1, line.size(), out);

    Drive drive(seed);
    for (long t = 0; t < takes; ++t) {
        drive.step();
        const double rpm = drive.rpm, map = drive.map, throttle = drive.throttle;
        line.clear();
        for (int f = 0; f < fields; ++f) {
            switch (f) {
            case kTimeField: append(line, static_cast<double>(t) / static_cast<double>(rate), timeDecimals); break;
            case 1: append(line, drive.coolant, 0); break;
            case 2: append(line, 25 + drive.next(), 0); break;
            case 3: append(line, throttle * 100, 0); break;
            case 4: append(line, rpm / 40, 0); break;
            case 5: append(line, 450 + drive.next() * 300, 0); break;
            case 6: append(line, 10 + (3000 - rpm) / 200 + map / 20, 1); break;
            case 7: append(line, 13.8 + drive.next() * 0.1, 1); break;
            case 8: append(line, 30 + (1 - throttle) * 20, 0); break;
            case 9: append(line, 128 + drive.next() * 3, 0); break;
            case 10: append(line, 0, 0); break;
            case 11: append(line, 1.5 + map / 25, 2); break;
            case 12: append(line, 14.7 + drive.next() * 0.3, 1); break;
            case kRpmField: append(line, std::round(rpm / 25) * 25, 0); break;
            case kBlmField: append(line, std::round(drive.blm), 0); break;
            case kMapField: append(line, std::round(map), 0); break;
            default: append(line, static_cast<double>((t * 7 + f * 13) % 256), 0); break;
            }
            line += f + 1 < fields ? "," : "\r\n";
        }
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size())
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<const char*> positional;
    int fields = -1;
    long rate = 10;
    std::string format = "datalog";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fields" && i + 1 < argc)
            fields = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        else if (arg == "--rate" && i + 1 < argc)
            rate = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--format" && i + 1 < argc)
            format = argv[++i];
        else
            positional.push_back(argv[i]);
    }
    const bool mlg = format == "mlg";
    if (fields < 0)
        fields = kAllFields;
    const int maxFields = mlg ? kMaxMlgFields : kAllFields;
    if (positional.size() < 2 || positional.size() > 3 || fields < 1 || fields > maxFields || rate < 1 ||
        (!mlg && format != "datalog")) {
        std::fprintf(stderr,
                     "usage: %s TAKES OUTPUT [SEED] [--fields 1..256 (mlg: 1..16000)] [--rate HZ] "
                     "[--format datalog|mlg]\n",
                     argv[0]);
        return 2;
    }
    const long takes = std::strtol(positional[0], nullptr, 10);
    const unsigned seed = positional.size() > 2 ? static_cast<unsigned>(std::strtoul(positional[2], nullptr, 10)) : 1u;
    std::FILE* out = std::fopen(positional[1], "wb");
    if (!out || takes < 0) {
        std::fprintf(stderr, "cannot write '%s'\n", positional[1]);
        return 1;
    }
    const int written = mlg ? writeMlg(out, takes, fields, rate, seed) : writeDatalog(out, takes, fields, rate, seed);
    if (std::fclose(out) != 0 || written == 1) {
        std::fprintf(stderr, "cannot write '%s'\n", positional[1]);
        return 1;
    }
    return written;
}
