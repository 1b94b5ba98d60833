// Parsing and loading groups of 1,000 and 10,000 loggers (and 100,000 to show there is no
// quadratic step), without the window's rows.
#include "engine/LoggerTable.h"
#include "engine/UiSeams.h"
#include "files/ConfigReader.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class QuietMessages : public IMessages {
public:
    void error(const std::string& t) override { std::printf("unexpected error: %s\n", t.c_str()); }
    void info(const std::string&) override {}
    bool question(const std::string&) override { return true; }
};

class Host : public IConfigHost {
public:
    void setModemChannel(int) override {}
    void setCaption(const std::string&) override {}
    IMessages& messages() override { return msgs; }
    QuietMessages msgs;
};

} // namespace

int main() {
    const std::string path = (std::filesystem::temp_directory_path() / "kv-bench-group.cfg").string();
    for (int count : {1000, 10000, 100000}) {
        std::string text = "// bench group\r\nChannel\t20\r\n";
        for (int i = 0; i < count; ++i)
            text += "D" + std::to_string(4071500000LL + i) + "\t\xF1\xEA\xE2\xE0\xE6\xE8\xED\xE0 " +
                    std::to_string(i) + "\r\n";
        std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));

        auto t0 = std::chrono::steady_clock::now();
        const ConfigParseResult r = parseConfig(text);
        const double tp = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

        LoggerTable table;
        Host host;
        t0 = std::chrono::steady_clock::now();
        LoadConfiguration(path, table, host);
        const double tl = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%6d loggers (%zu parsed, %d loaded, %.2f MB): parse %.2f ms, load from file %.2f ms\n",
                    count, r.loggers.size(), table.LoggerCount, text.size() / 1e6, tp * 1e3, tl * 1e3);
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return 0;
}
