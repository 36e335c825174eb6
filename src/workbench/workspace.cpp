#include "workbench/workspace.h"

#include "workbench/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <unordered_set>
#include <utility>

namespace dlv::workbench {

namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<Stat, std::string_view>, 7> kStatNames = {{
    {Stat::Mean, "mean"},
    {Stat::Count, "count"},
    {Stat::Min, "min"},
    {Stat::Max, "max"},
    {Stat::Median, "median"},
    {Stat::Stddev, "stddev"},
    {Stat::DiffPercent, "diff%"},
}};

// A failure while checking the parsed JSON; caught in parseWorkspace.
struct Invalid {
    std::string message;
};

std::string jsonQuoted(std::string_view text)
{
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string typeName(const Json& value)
{
    if (value.is_number())
        return "a number";
    if (value.is_string())
        return "a text";
    if (value.is_boolean())
        return "true or false";
    if (value.is_null())
        return "null";
    if (value.is_array())
        return "a list";
    return "an object";
}

// unlisted: keys allowed too but left out of the message's list, those the
// window writes itself rather than a person (a table's "corrections").
void checkKeys(const Json& object, std::initializer_list<std::string_view> allowed, const std::string& where,
               std::initializer_list<std::string_view> unlisted = {})
{
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const std::string_view name : allowed)
            known = known || key == name;
        for (const std::string_view name : unlisted)
            known = known || key == name;
        if (!known) {
            std::string list;
            for (const std::string_view name : allowed)
                list += (list.empty() ? "" : ", ") + std::string(name);
            throw Invalid{where + ": unknown key " + jsonQuoted(key) + " (known keys: " + list + ")"};
        }
    }
}

std::string text(const Json& object, std::string_view key, const std::string& where, bool required)
{
    const auto found = object.find(key);
    if (found == object.end()) {
        if (required)
            throw Invalid{where + ": " + std::string(key) + " is missing"};
        return {};
    }
    if (!found->is_string())
        throw Invalid{where + ": " + std::string(key) + " must be a text, not " + typeName(*found)};
    return found->get<std::string>();
}

std::string expression(const Json& object, std::string_view key, const std::string& where, bool required)
{
    std::string value = text(object, key, where, required);
    if (object.contains(key) && value.find_first_not_of(" \t\r\n") == std::string::npos && key != "filter")
        throw Invalid{where + ": " + std::string(key) + " is empty"};
    return value;
}

double number(const Json& value, const std::string& where)
{
    if (!value.is_number())
        throw Invalid{where + " must be a number, not " + typeName(value)};
    return value.get<double>();
}

// A count or a take: a whole number from 0 to the largest int.
int wholeNumber(const Json& value, const std::string& where)
{
    const double v = number(value, where);
    if (!(v >= 0 && v <= 2147483647.0 && v == std::floor(v)))
        throw Invalid{where + " must be a whole number from 0 up, not " + value.dump()};
    return static_cast<int>(v);
}

std::vector<double> axis(const Json& object, std::string_view key, const std::string& where)
{
    const auto found = object.find(key);
    if (found == object.end())
        throw Invalid{where + ": " + std::string(key) + " is missing"};
    if (!found->is_array())
        throw Invalid{where + ": " + std::string(key) + " must be a list of breakpoints, not " + typeName(*found)};
    if (found->empty())
        throw Invalid{where + ": " + std::string(key) + " needs at least one breakpoint"};
    if (found->size() > kMaxBreakpoints)
        throw Invalid{where + ": " + std::string(key) + " has " + std::to_string(found->size()) +
                      " breakpoints, more than " + std::to_string(kMaxBreakpoints)};
    std::vector<double> values;
    values.reserve(found->size());
    for (std::size_t i = 0; i < found->size(); ++i) {
        const double v = number((*found)[i], where + ": " + std::string(key) + " breakpoint " + std::to_string(i + 1));
        if (!values.empty() && !(v > values.back()))
            throw Invalid{where + ": " + std::string(key) + ": breakpoints must increase strictly (" +
                          formatBreakpoint(v) + " after " + formatBreakpoint(values.back()) + ")"};
        values.push_back(v);
    }
    return values;
}

Channel channelFrom(const Json& value, std::size_t index)
{
    const std::string position = "channel " + std::to_string(index + 1);
    if (!value.is_object())
        throw Invalid{position + " must be an object with name and expr, not " + typeName(value)};
    const std::string name = text(value, "name", position, true);
    if (name.empty())
        throw Invalid{position + ": name is empty"};
    if (name.find('}') != std::string::npos)
        throw Invalid{channelLabel(Channel{name, {}}) + ": a name cannot hold '}' (it could not be written in braces)"};
    const std::string where = channelLabel(Channel{name, {}});
    checkKeys(value, {"name", "expr"}, where);
    return Channel{name, expression(value, "expr", where, true)};
}

// The list under key of the workspace, of at most `most` entries named
// `entries`; null when the key is not there.
const Json* listOf(const Json& root, std::string_view key, std::size_t most, std::string_view entries)
{
    const auto found = root.find(key);
    if (found == root.end())
        return nullptr;
    if (!found->is_array())
        throw Invalid{"workspace: " + std::string(key) + " must be a list, not " + typeName(*found)};
    if (found->size() > most)
        throw Invalid{"workspace: " + std::string(key) + " has " + std::to_string(found->size()) + " " +
                      std::string(entries) + ", more than " + std::to_string(most)};
    return &*found;
}

// A table's "corrections": {"limit": 10, "map": [[...], ...], "decimals": 1,
// "locked": [[row, col], ...]}, every key optional ("decimals" and "locked"
// only with a map).
Corrections correctionsFrom(const Json& value, const Table& table, const std::string& where)
{
    if (!value.is_object())
        throw Invalid{where + " must be an object, not " + typeName(value)};
    checkKeys(value, {"limit", "map", "decimals", "locked"}, where);
    Corrections corrections;
    if (const auto limit = value.find("limit"); limit != value.end()) {
        corrections.limitPercent = number(*limit, where + ": limit");
        if (!(corrections.limitPercent >= 0 && corrections.limitPercent <= 1000))
            throw Invalid{where + ": limit must be from 0 to 1000 %, not " + limit->dump()};
    }
    const std::size_t rows = table.rowCount();
    const std::size_t cols = table.columnCount();
    if (const auto map = value.find("map"); map != value.end()) {
        if (!map->is_array() || map->size() != rows)
            throw Invalid{where + ": map must be a list of " + std::to_string(rows) + " rows, as the table has"};
        for (std::size_t r = 0; r < rows; ++r) {
            const Json& row = (*map)[r];
            if (!row.is_array() || row.size() != cols)
                throw Invalid{where + ": map row " + std::to_string(r + 1) + " must hold " + std::to_string(cols) +
                              " values, as the table has columns"};
            for (std::size_t c = 0; c < cols; ++c)
                corrections.map.push_back(
                    number(row[c], where + ": map row " + std::to_string(r + 1) + " value " + std::to_string(c + 1)));
        }
    }
    if (const auto decimals = value.find("decimals"); decimals != value.end()) {
        if (corrections.map.empty())
            throw Invalid{where + ": decimals needs a map"};
        if (!decimals->is_number_integer() || decimals->get<std::int64_t>() < 0 || decimals->get<std::int64_t>() > 6)
            throw Invalid{where + ": decimals must be a whole number from 0 to 6, not " + decimals->dump()};
        corrections.decimals = static_cast<int>(decimals->get<std::int64_t>());
    }
    if (const auto locked = value.find("locked"); locked != value.end()) {
        if (corrections.map.empty())
            throw Invalid{where + ": locked needs a map"};
        if (!locked->is_array())
            throw Invalid{where + ": locked must be a list of [row, column] cells, not " + typeName(*locked)};
        for (const Json& cell : *locked) {
            const auto whole = [&](const Json& v, std::size_t count) {
                return v.is_number_integer() && v.get<std::int64_t>() >= 0 &&
                       static_cast<std::uint64_t>(v.get<std::int64_t>()) < count;
            };
            if (!cell.is_array() || cell.size() != 2 || !whole(cell[0], rows) || !whole(cell[1], cols))
                throw Invalid{where + ": locked cell " + cell.dump() + " is not a [row, column] of the table (from 0)"};
            corrections.locked.push_back(static_cast<std::size_t>(cell[0].get<std::int64_t>()) * cols +
                                         static_cast<std::size_t>(cell[1].get<std::int64_t>()));
        }
        std::sort(corrections.locked.begin(), corrections.locked.end());
        corrections.locked.erase(std::unique(corrections.locked.begin(), corrections.locked.end()),
                                 corrections.locked.end());
    }
    return corrections;
}

WorkspaceMarker markerFrom(const Json& value, std::size_t index)
{
    const std::string where = "marker " + std::to_string(index + 1);
    if (!value.is_object())
        throw Invalid{where + " must be an object with log, take and note, not " + typeName(value)};
    checkKeys(value, {"log", "take", "note"}, where);
    WorkspaceMarker marker;
    marker.log = text(value, "log", where, true);
    if (marker.log.empty() || marker.log.find('/') != std::string::npos)
        throw Invalid{where + ": log must be a file name without a folder, not " + jsonQuoted(marker.log)};
    const auto take = value.find("take");
    if (take == value.end())
        throw Invalid{where + ": take is missing"};
    marker.take = wholeNumber(*take, where + ": take");
    marker.note = text(value, "note", where, false);
    return marker;
}

Table tableFrom(const Json& value, std::size_t index)
{
    if (!value.is_object())
        throw Invalid{tableLabel({}, index) + " must be an object, not " + typeName(value)};
    Table table;
    table.name = text(value, "name", tableLabel({}, index), true);
    const std::string where = tableLabel(table.name, index);
    checkKeys(value, {"name", "x", "xAxis", "y", "yAxis", "z", "stat", "minHits", "target", "filter"}, where,
              {"corrections"});
    table.x = expression(value, "x", where, true);
    table.xAxis = axis(value, "xAxis", where);
    table.y = expression(value, "y", where, false);
    if (value.contains("y") != value.contains("yAxis"))
        throw Invalid{where + (value.contains("y") ? ": y needs a yAxis" : ": yAxis needs a y")};
    if (value.contains("yAxis"))
        table.yAxis = axis(value, "yAxis", where);
    if (table.xAxis.size() * std::max<std::size_t>(1, table.yAxis.size()) > kMaxCells)
        throw Invalid{where + ": more than " + std::to_string(kMaxCells) + " cells"};
    table.z = expression(value, "z", where, true);
    const std::string stat = text(value, "stat", where, true);
    const std::optional<Stat> parsedStat = statFromName(stat);
    if (!parsedStat)
        throw Invalid{where + ": stat " + jsonQuoted(stat) + " is not one of mean, count, min, max, median, stddev, diff%"};
    table.stat = *parsedStat;
    if (const auto hits = value.find("minHits"); hits != value.end()) {
        table.minHits = wholeNumber(*hits, where + ": minHits");
    }
    if (const auto target = value.find("target"); target != value.end())
        table.target = number(*target, where + ": target");
    if (table.stat == Stat::DiffPercent && !table.target)
        throw Invalid{where + ": stat diff% needs a target"};
    if (table.stat == Stat::DiffPercent && *table.target == 0)
        throw Invalid{where + ": stat diff% needs a target other than 0"};
    table.filter = text(value, "filter", where, false);
    if (table.filter.find_first_not_of(" \t\r\n") == std::string::npos)
        table.filter.clear();
    if (const auto corrections = value.find("corrections"); corrections != value.end())
        table.corrections = correctionsFrom(*corrections, table, where + ": corrections");
    return table;
}

// One step from the root of the JSON to a value: a key or a list index.
struct Step {
    bool isKey = false;
    std::string key;
    std::size_t index = 0;
};
using JsonPath = std::vector<Step>;

// A first pass over the text before the JSON library builds its values:
// it stops at a list or object nested too deep (the library copies,
// compares and writes a value one call per level), and notes where the first
// key comes twice in one object (the library would keep the last one
// silently, and a typo must not change a table unseen) and the first text or
// key holding a NUL character (which every C string after it would cut).
// Its own pass, rather than the library's parse callback, whose cost grows
// with the square of a list's length.
class ParseWatch final : public nlohmann::json_sax<Json> {
public:
    bool null() override { return elementDone(); }
    bool boolean(bool) override { return elementDone(); }
    bool number_integer(number_integer_t) override { return elementDone(); }
    bool number_unsigned(number_unsigned_t) override { return elementDone(); }
    bool number_float(number_float_t, const string_t&) override { return elementDone(); }
    bool binary(binary_t&) override { return elementDone(); }
    bool string(string_t& value) override
    {
        if (!m_nul && value.find('\0') != std::string::npos)
            m_nul = Nul{path(), value, false};
        return elementDone();
    }
    bool start_object(std::size_t) override { return open(true); }
    bool start_array(std::size_t) override { return open(false); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& value) override
    {
        if (m_frames.empty())
            return true;
        Frame& frame = m_frames.back();
        frame.key = value;
        if (!frame.keys.insert(frame.key).second && !m_repeated) {
            JsonPath where = path();
            where.pop_back();
            m_repeated = Repeated{std::move(where), frame.key};
        }
        if (!m_nul && frame.key.find('\0') != std::string::npos)
            m_nul = Nul{path(), frame.key, true};
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override
    {
        m_error = error.what();
        if (const auto* parse = dynamic_cast<const Json::parse_error*>(&error))
            m_errorByte = parse->byte;
        return false;
    }

    struct Repeated {
        JsonPath object;  // where the object lies
        std::string key;
    };
    struct Nul {
        JsonPath where;  // the text's place (a key's own place for a key)
        std::string text;
        bool isKey = false;
    };
    [[nodiscard]] bool tooDeep() const { return m_tooDeep; }
    // The library's message, and for a parse error the byte (from 1) it stopped at.
    [[nodiscard]] const std::optional<std::string>& error() const { return m_error; }
    [[nodiscard]] std::size_t errorByte() const { return m_errorByte; }
    [[nodiscard]] const std::optional<Repeated>& repeated() const { return m_repeated; }
    [[nodiscard]] const std::optional<Nul>& nul() const { return m_nul; }

private:
    bool open(bool isObject)
    {
        if (m_frames.size() >= kMaxJsonDepth) {
            m_tooDeep = true;
            return false;
        }
        m_frames.push_back(Frame{isObject, {}, {}, 0});
        return true;
    }
    bool close()
    {
        if (!m_frames.empty())
            m_frames.pop_back();
        return elementDone();
    }
    bool elementDone()
    {
        if (!m_frames.empty() && !m_frames.back().isObject)
            ++m_frames.back().index;
        return true;
    }
    [[nodiscard]] JsonPath path() const
    {
        JsonPath out;
        out.reserve(m_frames.size());
        for (const Frame& frame : m_frames)
            out.push_back(Step{frame.isObject, frame.key, frame.index});
        return out;
    }
    struct Frame {
        bool isObject;
        std::set<std::string> keys;
        std::string key;
        std::size_t index;
    };
    std::vector<Frame> m_frames;
    bool m_tooDeep = false;
    std::optional<std::string> m_error;
    std::size_t m_errorByte = 0;
    std::optional<Repeated> m_repeated;
    std::optional<Nul> m_nul;
};

// 'table "NAME"' or 'channel "NAME"' for a place inside an entry of tables
// or channels, with the key within the entry when field is true; the dotted
// path inside charts ("charts.panes[1]"); "workspace" elsewhere.
std::string placeText(const JsonPath& path, const Json& root, bool field)
{
    if (path.empty() || !path[0].isKey)
        return "workspace";
    const std::string& section = path[0].key;
    if ((section == "tables" || section == "channels") && path.size() >= 2 && !path[1].isKey) {
        const std::size_t index = path[1].index;
        std::string name;
        if (root.is_object() && root.contains(section) && root[section].is_array() && index < root[section].size()) {
            const Json& entry = root[section][index];
            if (entry.is_object() && entry.contains("name") && entry["name"].is_string())
                name = entry["name"].get<std::string>();
        }
        std::string where = section == "tables" ? tableLabel(name, index)
                            : name.empty()      ? "channel " + std::to_string(index + 1)
                                                : channelLabel(Channel{name, {}});
        if (field && path.size() >= 3 && path[2].isKey)
            where += ", " + path[2].key;
        return where;
    }
    if (section == "markers" && path.size() >= 2 && !path[1].isKey)
        return "marker " + std::to_string(path[1].index + 1) +
               (field && path.size() >= 3 && path[2].isKey ? ", " + path[2].key : std::string());
    if (section != "charts")
        return "workspace";
    std::string where = section;
    for (std::size_t i = 1; i < path.size(); ++i)
        where += path[i].isKey ? "." + path[i].key : "[" + std::to_string(path[i].index) + "]";
    return where;
}

std::string repeatedKeyMessage(const ParseWatch::Repeated& found, const Json& root)
{
    return placeText(found.object, root, false) + ": key " + jsonQuoted(found.key) + " appears twice";
}

std::string nulMessage(const ParseWatch::Nul& found, const Json& root)
{
    JsonPath where = found.where;
    if (found.isKey && !where.empty())
        where.pop_back();  // named by the object it is a key of
    const std::size_t nul = found.text.find('\0');
    int column = 1;
    for (std::size_t i = 0; i < nul; ++i)
        column += (static_cast<unsigned char>(found.text[i]) & 0xC0) != 0x80;
    return placeText(where, root, !found.isKey) + ": a NUL character at column " + std::to_string(column) + " of " +
           (found.isKey ? "the key " : "") + jsonQuoted(found.text);
}

// "at line L, column C" of byte offset in text, counted as the JSON library
// counts them (lines by LF, columns in bytes from 1).
std::string placeInText(std::string_view text, std::size_t offset)
{
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return "at line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// Where a list or object first opens deeper than depth levels, outside the
// texts; the text's size when none does. The parser has read the text up to
// there, so it is valid JSON that far.
std::size_t tooDeepAt(std::string_view text, std::size_t depth)
{
    std::size_t open = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++open > depth)
                return i;
        } else if ((c == '}' || c == ']') && open > 0) {
            --open;
        }
    }
    return text.size();
}

// JSON for a breakpoint or target: whole numbers without a point, the others
// in the shortest form that reads back as the same double.
Json numberJson(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 9.0e15)
        return Json(static_cast<std::int64_t>(v));
    return Json(v);
}

std::string axisJson(const std::vector<double>& values)
{
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        out += (i ? ", " : "") + numberJson(values[i]).dump();
    return out + "]";
}

// A map that does not fit the table's shape (its axes edited since) is left
// out, with its locks: it would not read back.
std::string correctionsJson(const Table& table)
{
    const Corrections& corrections = *table.corrections;
    const std::size_t cols = table.columnCount();
    std::string out = "{\"limit\": " + numberJson(corrections.limitPercent).dump();
    if (!corrections.map.empty() && cols != 0 && corrections.map.size() == table.rowCount() * cols) {
        out += ", \"map\": [";
        for (std::size_t start = 0; start < corrections.map.size(); start += cols) {
            const std::vector<double> row(corrections.map.begin() + static_cast<std::ptrdiff_t>(start),
                                          corrections.map.begin() + static_cast<std::ptrdiff_t>(
                                                                        std::min(start + cols, corrections.map.size())));
            out += (start ? ", " : "") + axisJson(row);
        }
        out += "]";
        if (corrections.decimals > 0)
            out += ", \"decimals\": " + std::to_string(corrections.decimals);
        std::string locked;
        for (const std::size_t cell : corrections.locked)
            if (cell < corrections.map.size())
                locked += (locked.empty() ? "[" : ", [") + std::to_string(cell / cols) + ", " +
                          std::to_string(cell % cols) + "]";
        if (!locked.empty())
            out += ", \"locked\": [" + locked + "]";
    }
    return out + "}";
}

}  // namespace

std::string_view statName(Stat stat) noexcept
{
    for (const auto& [value, name] : kStatNames)
        if (value == stat)
            return name;
    return "mean";
}

std::optional<Stat> statFromName(std::string_view name) noexcept
{
    for (const auto& [value, known] : kStatNames)
        if (known == name)
            return value;
    return std::nullopt;
}

std::string tableLabel(std::string_view name, std::size_t index)
{
    return name.empty() ? "table " + std::to_string(index + 1) : "table " + jsonQuoted(name);
}

std::string channelLabel(const Channel& channel)
{
    return "channel " + jsonQuoted(channel.name);
}

WorkspaceResult parseWorkspace(std::string_view text)
{
    WorkspaceResult result;
    ParseWatch watch;
    (void)Json::sax_parse(text.begin(), text.end(), &watch);
    if (watch.tooDeep()) {
        result.error = "bad JSON " + placeInText(text, tooDeepAt(text, kMaxJsonDepth)) + ": lists and objects nest " +
                       "more than " + std::to_string(kMaxJsonDepth) + " deep";
        return result;
    }
    if (watch.error()) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ...",
        // "[json.exception.out_of_range.406] number overflow parsing '1e999'".
        // The library takes a NUL byte for the end of the text.
        const std::string& what = *watch.error();
        const std::size_t at = what.find(" at line ");
        const std::size_t tag = what.find("] ");
        const std::size_t byte = watch.errorByte();
        if (byte >= 1 && byte <= text.size() && text[byte - 1] == '\0')
            result.error = "bad JSON " + placeInText(text, byte - 1) + ": a NUL byte, which JSON does not allow";
        else if (at != std::string::npos)
            result.error = "bad JSON" + what.substr(at);
        else
            result.error = "bad JSON: " + (tag != std::string::npos ? what.substr(tag + 2) : what);
        return result;
    }
    // The library stops at a NUL byte after a whole value and ignores the rest.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        result.error = "bad JSON " + placeInText(text, nul) + ": a NUL byte after the end of the workspace";
        return result;
    }
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        result.error = std::string("bad JSON: ") + e.what();  // the first pass read it
        return result;
    }
    if (watch.repeated()) {
        result.error = repeatedKeyMessage(*watch.repeated(), root);
        return result;
    }
    if (watch.nul()) {
        result.error = nulMessage(*watch.nul(), root);
        return result;
    }
    try {
        if (!root.is_object())
            throw Invalid{"workspace must be a JSON object with tables (and channels), not " + typeName(root)};
        checkKeys(root, {"channels", "tables", "markers", "charts"}, "workspace");
        Workspace workspace;
        if (const Json* channels = listOf(root, "channels", kMaxChannels, "channels")) {
            std::unordered_set<std::string> names;
            for (std::size_t i = 0; i < channels->size(); ++i) {
                Channel channel = channelFrom((*channels)[i], i);
                if (!names.insert(channel.name).second)
                    throw Invalid{channelLabel(channel) + ": a channel of this name comes before"};
                workspace.channels.push_back(std::move(channel));
            }
        }
        const auto tables = root.find("tables");
        if (tables == root.end())
            throw Invalid{"workspace: tables is missing"};
        if (!tables->is_array())
            throw Invalid{"workspace: tables must be a list, not " + typeName(*tables)};
        for (std::size_t i = 0; i < tables->size(); ++i)
            workspace.tables.push_back(tableFrom((*tables)[i], i));
        if (const Json* markers = listOf(root, "markers", kMaxMarkers, "markers")) {
            for (std::size_t i = 0; i < markers->size(); ++i)
                workspace.markers.push_back(markerFrom((*markers)[i], i));
        }
        if (const auto charts = root.find("charts"); charts != root.end())
            workspace.charts = std::move(*charts);
        result.workspace = std::move(workspace);
    } catch (const Invalid& invalid) {
        result.error = invalid.message;
    } catch (const Json::exception& e) {
        result.error = std::string("workspace: ") + e.what();
    }
    return result;
}

std::string workspaceToJson(const Workspace& workspace)
{
    const auto str = [](const std::string& s) { return jsonQuoted(s); };
    std::string out = "{\n";
    if (!workspace.channels.empty()) {
        out += "  \"channels\": [\n";
        for (std::size_t i = 0; i < workspace.channels.size(); ++i) {
            const Channel& c = workspace.channels[i];
            out += "    {\"name\": " + str(c.name) + ", \"expr\": " + str(c.expr) + "}";
            out += i + 1 < workspace.channels.size() ? ",\n" : "\n";
        }
        out += "  ],\n";
    }
    out += "  \"tables\": [";
    for (std::size_t i = 0; i < workspace.tables.size(); ++i) {
        const Table& t = workspace.tables[i];
        out += i ? ",\n" : "\n";
        out += "    {\"name\": " + str(t.name) + ",\n";
        out += "     \"x\": " + str(t.x) + ", \"xAxis\": " + axisJson(t.xAxis) + ",\n";
        if (t.twoD())
            out += "     \"y\": " + str(t.y) + ", \"yAxis\": " + axisJson(t.yAxis) + ",\n";
        out += "     \"z\": " + str(t.z) + ", \"stat\": " + str(std::string(statName(t.stat))) +
               ", \"minHits\": " + std::to_string(t.minHits);
        if (t.target)
            out += ", \"target\": " + numberJson(*t.target).dump();
        if (!t.filter.empty())
            out += ",\n     \"filter\": " + str(t.filter);
        if (t.corrections)
            out += ",\n     \"corrections\": " + correctionsJson(t);
        out += "}";
    }
    out += workspace.tables.empty() ? "]" : "\n  ]";
    if (!workspace.markers.empty()) {
        out += ",\n  \"markers\": [\n";
        for (std::size_t i = 0; i < workspace.markers.size(); ++i) {
            const WorkspaceMarker& m = workspace.markers[i];
            out += "    {\"log\": " + str(m.log) + ", \"take\": " + std::to_string(m.take);
            if (!m.note.empty())
                out += ", \"note\": " + str(m.note);
            out += i + 1 < workspace.markers.size() ? "},\n" : "}\n";
        }
        out += "  ]";
    }
    if (workspace.charts) {
        // Indented one level deeper, so that it reads as part of the whole;
        // a JSON text holds no raw line feed inside its strings.
        std::string charts = workspace.charts->dump(2, ' ', false, Json::error_handler_t::replace);
        std::string indented;
        for (const char c : charts) {
            indented += c;
            if (c == '\n')
                indented += "  ";
        }
        out += ",\n  \"charts\": " + indented;
    }
    return out + "\n}\n";
}

}  // namespace dlv::workbench
