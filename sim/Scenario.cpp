#include "sim/Scenario.h"

#include "platform/DateTime.h"
#include "sim/Cp1251.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>

using nlohmann::json;

namespace {

// Walks the document with a path for messages; the first failure stops the walk.
class Reader {
public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    bool fail(const std::string& field, const std::string& why) {
        if (error_.empty())
            error_ = file_ + ": " + (field.empty() ? std::string("(top level)") : field) + ": " + why;
        return false;
    }
    const std::string& error() const { return error_; }

    bool onlyKeys(const json& obj, const std::string& path, std::initializer_list<const char*> keys) {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            bool known = false;
            for (const char* k : keys)
                known = known || it.key() == k;
            if (!known)
                return fail(join(path, it.key()), "unknown field");
        }
        return true;
    }

    static std::string join(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }

    bool integer(const json& obj, const std::string& path, const char* key, int64_t lo, int64_t hi,
                 int64_t& out) {
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        const std::string field = join(path, key);
        if (!it->is_number_integer())
            return fail(field, "must be an integer");
        int64_t v = 0;
        if (it->is_number_unsigned()) {
            const auto u = it->get<uint64_t>();
            if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
                return fail(field, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
            v = static_cast<int64_t>(u);
        } else {
            v = it->get<int64_t>();
        }
        if (v < lo || v > hi)
            return fail(field, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
        out = v;
        return true;
    }

    template <typename T>
    bool integerAs(const json& obj, const std::string& path, const char* key, int64_t lo, int64_t hi,
                   T& out) {
        int64_t v = static_cast<int64_t>(out);
        if (!integer(obj, path, key, lo, hi, v))
            return false;
        out = static_cast<T>(v);
        return true;
    }

    bool number(const json& obj, const std::string& path, const char* key, double lo, double hi,
                double& out) {
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        const std::string field = join(path, key);
        if (!it->is_number())
            return fail(field, "must be a number");
        const double v = it->get<double>();
        if (!std::isfinite(v) || v < lo || v > hi) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "out of range %g..%g", lo, hi);
            return fail(field, buf);
        }
        out = v;
        return true;
    }

    bool boolean(const json& obj, const std::string& path, const char* key, bool& out) {
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        if (!it->is_boolean())
            return fail(join(path, key), "must be true or false");
        out = it->get<bool>();
        return true;
    }

    bool intList(const json& obj, const std::string& path, const char* key, int64_t lo, int64_t hi,
                 std::vector<int>& out) {
        auto it = obj.find(key);
        if (it == obj.end())
            return true;
        const std::string field = join(path, key);
        if (!it->is_array())
            return fail(field, "must be a list of integers");
        out.clear();
        for (size_t i = 0; i < it->size(); ++i) {
            const json& e = (*it)[i];
            const std::string ef = field + "[" + std::to_string(i) + "]";
            if (!e.is_number_integer())
                return fail(ef, "must be an integer");
            const int64_t v = e.is_number_unsigned() && e.get<uint64_t>() > uint64_t(INT64_MAX)
                                  ? INT64_MAX
                                  : e.get<int64_t>();
            if (v < lo || v > hi)
                return fail(ef, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
            out.push_back(static_cast<int>(v));
        }
        return true;
    }

    bool faults(const json& f, const std::string& path, ScenarioFaults& out) {
        if (!f.is_object())
            return fail(path, "must be an object");
        if (!onlyKeys(f, path,
                      {"statusBitClear", "sequenceGap", "badRecordCrc", "truncate", "damage", "slowFraction",
                       "spoiledPacket", "lostPacket", "silent", "silentFirst", "silentRequests",
                       "slowRequests", "slowMs"}))
            return false;
        return number(f, path, "statusBitClear", 0, 1, out.statusBitClear) &&
               number(f, path, "sequenceGap", 0, 1, out.sequenceGap) &&
               number(f, path, "badRecordCrc", 0, 1, out.badRecordCrc) &&
               number(f, path, "truncate", 0, 1, out.truncate) &&
               number(f, path, "damage", 0, 1, out.damage) &&
               number(f, path, "slowFraction", 0, 1, out.slowFraction) &&
               number(f, path, "spoiledPacket", 0, 1, out.spoiledPacket) &&
               number(f, path, "lostPacket", 0, 1, out.lostPacket) &&
               boolean(f, path, "silent", out.silent) &&
               integerAs(f, path, "silentFirst", 0, 1000000, out.silentFirst) &&
               intList(f, path, "silentRequests", 1, INT32_MAX, out.silentRequests) &&
               intList(f, path, "slowRequests", 1, INT32_MAX, out.slowRequests) &&
               integerAs(f, path, "slowMs", 0, 600000, out.slowMs);
    }

    bool stamp(const json& t, const std::string& field, uint8_t (&out)[6]) {
        if (t.is_array()) {
            if (t.size() != 6)
                return fail(field, "must list 6 bytes: day, month, year, hour, minute, second");
            for (size_t i = 0; i < 6; ++i) {
                if (!t[i].is_number_integer() || t[i].get<int64_t>() < 0 || t[i].get<int64_t>() > 255)
                    return fail(field + "[" + std::to_string(i) + "]", "must be a byte 0..255");
                out[i] = static_cast<uint8_t>(t[i].get<int64_t>());
            }
            return true;
        }
        if (!t.is_string())
            return fail(field, "must be \"YYYY-MM-DD hh:mm:ss\" or a list of 6 bytes");
        const std::string s = t.get<std::string>();
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &se, &tail) != 6 ||
            !dt::isValidDate(y, mo, d) || !dt::isValidTime(h, mi, se))
            return fail(field, "not a valid \"YYYY-MM-DD hh:mm:ss\" time: \"" + s + "\"");
        const int v[6] = {d, mo, y % 100, h, mi, se};
        for (int i = 0; i < 6; ++i)
            out[i] = static_cast<uint8_t>(v[i]);
        return true;
    }

    bool logger(const json& l, const std::string& path, ScenarioLogger& out) {
        if (!l.is_object())
            return fail(path, "must be an object");
        if (!onlyKeys(l, path,
                      {"name",    "channel",  "needPower", "level",         "levelJitter",  "stringType",
                       "serial",  "sensors",  "error",     "battery",       "clockOffset",  "advance",
                       "period",  "memory",   "measuring", "firstSequence", "replyDelayMs", "packetGapMs",
                       "records", "generate", "faults"}))
            return false;
        auto name = l.find("name");
        if (name == l.end())
            return fail(join(path, "name"), "missing");
        if (!name->is_string())
            return fail(join(path, "name"), "must be a string");
        if (!simtext::fromUtf8(name->get<std::string>(), out.name))
            return fail(join(path, "name"), "not representable in Windows-1251");
        // The reply text (name + 5-letter keyword) must fit the 59-byte payload of one packet.
        if (out.name.empty() || out.name.size() > 54)
            return fail(join(path, "name"), "must be 1..54 bytes long");
        for (char c : out.name) {
            const auto b = static_cast<uint8_t>(c);
            if (b <= 0x20 || b == 0x7F)
                return fail(join(path, "name"), "must not hold blanks or control characters");
        }
        if (!integerAs(l, path, "channel", 0, 255, out.channel) ||
            !integerAs(l, path, "needPower", -10, 10, out.needPowerDbm) ||
            !number(l, path, "level", -138, -10.5, out.levelDbm) ||
            !number(l, path, "levelJitter", 0, 60, out.levelJitterDb) ||
            !integerAs(l, path, "stringType", 0, 255, out.stringType) ||
            !integerAs(l, path, "serial", -32768, 32767, out.serial) ||
            !integerAs(l, path, "error", 0, 255, out.error) ||
            !integerAs(l, path, "battery", 0, 65535, out.battery) ||
            !integerAs(l, path, "clockOffset", -3153600000LL, 3153600000LL, out.clockOffsetSec) ||
            !integerAs(l, path, "advance", 0, 65535, out.advance) ||
            !integerAs(l, path, "period", 0, 255, out.period) ||
            !integerAs(l, path, "memory", 1, 65535, out.memory) ||
            !boolean(l, path, "measuring", out.measuring) ||
            !integerAs(l, path, "firstSequence", -1, 255, out.firstSequence) ||
            !integerAs(l, path, "replyDelayMs", 0, 600000, out.replyDelayMs) ||
            !integerAs(l, path, "packetGapMs", 0, 40, out.packetGapMs))
            return false;
        if (auto s = l.find("sensors"); s != l.end()) {
            const std::string field = join(path, "sensors");
            if (!s->is_array())
                return fail(field, "must be a list of sensor codes");
            if (s->size() > 255)
                return fail(field, "at most 255 sensors");
            for (size_t i = 0; i < s->size(); ++i) {
                const json& e = (*s)[i];
                if (!e.is_number_integer() || e.get<int64_t>() < -32768 || e.get<int64_t>() > 32767)
                    return fail(field + "[" + std::to_string(i) + "]", "must be an integer -32768..32767");
                out.sensorCodes.push_back(static_cast<int16_t>(e.get<int64_t>()));
            }
        }
        if (auto r = l.find("records"); r != l.end()) {
            const std::string field = join(path, "records");
            if (!r->is_array())
                return fail(field, "must be a list of records, oldest first");
            for (size_t i = 0; i < r->size(); ++i) {
                const json& e = (*r)[i];
                const std::string ef = field + "[" + std::to_string(i) + "]";
                if (!e.is_object())
                    return fail(ef, "must be an object");
                if (!onlyKeys(e, ef, {"time", "voltage", "readings"}))
                    return false;
                ScenarioRecord rec;
                auto t = e.find("time");
                if (t == e.end())
                    return fail(join(ef, "time"), "missing");
                if (!stamp(*t, join(ef, "time"), rec.stamp) ||
                    !integerAs(e, ef, "voltage", -32768, 32767, rec.voltage))
                    return false;
                auto rd = e.find("readings");
                if (rd == e.end() || !rd->is_array())
                    return fail(join(ef, "readings"), "must be a list with one reading per sensor");
                if (rd->size() != out.sensorCodes.size())
                    return fail(join(ef, "readings"), "has " + std::to_string(rd->size()) + " readings for " +
                                                          std::to_string(out.sensorCodes.size()) +
                                                          " sensors");
                for (size_t k = 0; k < rd->size(); ++k) {
                    const json& v = (*rd)[k];
                    if (!v.is_number_integer() || v.get<int64_t>() < -32768 || v.get<int64_t>() > 32767)
                        return fail(join(ef, "readings") + "[" + std::to_string(k) + "]",
                                    "must be an integer -32768..32767");
                    rec.readings.push_back(static_cast<int16_t>(v.get<int64_t>()));
                }
                out.records.push_back(std::move(rec));
            }
        }
        if (auto g = l.find("generate"); g != l.end()) {
            const std::string gp = join(path, "generate");
            if (!g->is_object())
                return fail(gp, "must be an object");
            if (!onlyKeys(*g, gp, {"count", "voltage", "base", "amplitude", "sensorStep"}))
                return false;
            if (!integerAs(*g, gp, "count", 0, 65535, out.generate.count) ||
                !integerAs(*g, gp, "voltage", -32768, 32767, out.generate.voltage) ||
                !integerAs(*g, gp, "base", -32768, 32767, out.generate.base) ||
                !integerAs(*g, gp, "amplitude", 0, 32767, out.generate.amplitude) ||
                !integerAs(*g, gp, "sensorStep", -1000, 1000, out.generate.sensorStep))
                return false;
        }
        if (!out.records.empty() && out.generate.count > 0)
            return fail(join(path, "records"), "give either records or generate.count, not both");
        const size_t held = out.records.size() + static_cast<size_t>(out.generate.count);
        if (held > static_cast<size_t>(out.memory))
            return fail(join(path, "memory"), "holds " + std::to_string(out.memory) + " records, " +
                                                  std::to_string(held) + " given");
        if (auto f = l.find("faults"); f != l.end() && !faults(*f, join(path, "faults"), out.faults))
            return false;
        return true;
    }

    bool modem(const json& m, ScenarioModem& out) {
        const std::string path = "modem";
        if (!m.is_object())
            return fail(path, "must be an object");
        if (!onlyKeys(m, path, {"port", "ports", "id", "channel", "noise", "reportOnlyWithDtr"}))
            return false;
        if (m.contains("port") && m.contains("ports"))
            return fail("modem.ports", "give either port or ports");
        if (m.contains("port")) {
            int p = 0;
            if (!integerAs(m, path, "port", 1, 256, p))
                return false;
            out.ports = {p};
        }
        if (!intList(m, path, "ports", 1, 256, out.ports))
            return false;
        if (out.ports.empty())
            return fail("modem.ports", "must name at least one port");
        if (auto id = m.find("id"); id != m.end()) {
            if (!id->is_string())
                return fail("modem.id", "must be a string");
            // Any bytes are allowed so that tests can present a modem the program must not accept.
            out.id = id->get<std::string>();
            if (out.id.size() > 64)
                return fail("modem.id", "at most 64 bytes");
        }
        if (!integerAs(m, path, "channel", 0, 255, out.channel) ||
            !boolean(m, path, "reportOnlyWithDtr", out.reportOnlyWithDtr))
            return false;
        if (auto n = m.find("noise"); n != m.end()) {
            const std::string np = "modem.noise";
            if (!n->is_object())
                return fail(np, "must be an object");
            if (!onlyKeys(*n, np, {"rate", "level", "jitter"}))
                return false;
            if (!number(*n, np, "rate", 0, 500, out.noiseRate) ||
                !number(*n, np, "level", -138, -10.5, out.noiseLevelDbm) ||
                !number(*n, np, "jitter", 0, 60, out.noiseJitterDb))
                return false;
        }
        return true;
    }

    bool top(const json& doc, Scenario& out) {
        if (!doc.is_object())
            return fail("", "must be a JSON object");
        if (!onlyKeys(doc, "", {"seed", "modem", "loggers"}))
            return false;
        if (auto s = doc.find("seed"); s != doc.end()) {
            if (!s->is_number_integer() || (!s->is_number_unsigned() && s->get<int64_t>() < 0))
                return fail("seed", "must be a non-negative integer");
            out.seed = s->get<uint64_t>();
        }
        if (auto m = doc.find("modem"); m != doc.end() && !modem(*m, out.modem))
            return false;
        auto l = doc.find("loggers");
        if (l == doc.end())
            return true;
        if (!l->is_array())
            return fail("loggers", "must be a list");
        for (size_t i = 0; i < l->size(); ++i) {
            ScenarioLogger lg;
            if (!logger((*l)[i], "loggers[" + std::to_string(i) + "]", lg))
                return false;
            out.loggers.push_back(std::move(lg));
        }
        return true;
    }

private:
    std::string file_;
    std::string error_;
};

} // namespace

ScenarioResult parseScenario(std::string_view text, const std::string& fileName) {
    ScenarioResult result;
    Reader reader(fileName);
    try {
        json doc;
        try {
            doc = json::parse(text.begin(), text.end());
        } catch (const json::parse_error& e) {
            reader.fail("", std::string("not valid JSON (") + e.what() + ")");
        }
        if (reader.error().empty() && reader.top(doc, result.scenario)) {
            result.ok = true;
            return result;
        }
    } catch (const std::exception& e) {
        reader.fail("", e.what());
    }
    result.scenario = Scenario{};
    result.error = reader.error();
    return result;
}

ScenarioResult loadScenarioFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ScenarioResult r;
        r.error = path + ": cannot be opened";
        return r;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        ScenarioResult r;
        r.error = path + ": read error";
        return r;
    }
    return parseScenario(ss.str(), path);
}
