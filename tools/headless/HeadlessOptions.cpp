// The collector's command line: its options, their help in both languages and the parsing.
#include "tools/headless/HeadlessDownload.h"
#include "tools/headless/HeadlessText.h"

#ifdef KV_HAVE_CENTRAL
#include "central/CentralArchive.h"
#endif
#include "sim/FixedNowClock.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace headless {

namespace {

bool parseInt(const std::string& text, int low, int high, int& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

namespace {

// One command-line option: its names, its value (none for a flag), its line of help and what it
// sets. Adding an option is adding an entry here.
struct OptionEntry {
    char shortName; // 0: long name only
    const char* longName;
    const char* valueName; // nullptr: a flag
    const char* help;
    const char* helpRu;
    std::function<bool(Options&, const std::string&)> apply; // false: the value is refused
};

const std::vector<OptionEntry>& optionTable() {
    static const std::vector<OptionEntry> table = {
        {'o', "output", "FILE.orx", "the measurement file to write (required)",
         "файл измерений, который будет записан (обязательно)",
         [](Options& o, const std::string& v) {
             o.outFile = v;
             return !v.empty();
         }},
        {'p', "port", "N", "the serial port tried first, 1..256 (default 2),\nthen every port from 2 up",
         "порт, который пробуется первым, 1..256 (по умолчанию 2),\nзатем все порты от 2",
         [](Options& o, const std::string& v) { return parseInt(v, 1, 256, o.port); }},
        {0, "port-device", "PATTERN",
         "Linux: the device of port N, %d standing for N;\n"
         "without it 1-32 are /dev/ttyS0..31, 33-64\n"
         "/dev/ttyUSB0..31, 65-96 /dev/ttyACM0..31",
         "Linux: устройство порта N, %d заменяется на N;\n"
         "без него 1-32 — /dev/ttyS0..31, 33-64 —\n"
         "/dev/ttyUSB0..31, 65-96 — /dev/ttyACM0..31",
         [](Options& o, const std::string& v) {
             o.portDevice = v;
             return true;
         }},
        {0, "days", "N", "download the last N days, from midnight N days\nbefore now (default 31)",
         "загрузить последние N суток, с полуночи N суток\nназад (по умолчанию 31)",
         [](Options& o, const std::string& v) { return parseInt(v, 1, 36500, o.days); }},
        {0, "set-clock-beyond", "SECONDS",
         "after a logger's download, set its clock when it is\noff by more than SECONDS, and read it back",
         "после загрузки логгера установить его часы, если\nони отклонились больше чем на SECONDS, и "
         "проверить",
         [](Options& o, const std::string& v) { return parseInt(v, 0, 86400, o.setClockBeyond); }},
        {0, "block-size", "BYTES", "data block size: 4096, 2048 (default), 1024,\nor 512 for a poor link",
         "размер блока данных: 4096, 2048 (по умолчанию),\n1024 или 512 при плохой связи",
         [](Options& o, const std::string& v) {
             const char* sizes[] = {"4096", "2048", "1024", "512"};
             for (int i = 0; i < 4; ++i)
                 if (v == sizes[i])
                     o.blockPosition = i;
             return v == sizes[o.blockPosition];
         }},
        {0, "fixed-now", "\"YYYY-MM-DD hh:mm[:ss]\"",
         "take this as the current time, so that the file\ndoes not depend on when it was made (tests)",
         "считать это время текущим, чтобы файл не зависел\nот момента запуска (для тестов)",
         [](Options& o, const std::string& v) { return o.fixedNow = parseFixedNow(v, o.nowValue); }},
        {0, "only-new", nullptr,
         "download only what the archive does not hold yet:\neach logger from just after its newest "
         "archived\nrecord",
         "загрузить только то, чего ещё нет в архиве:\nкаждый логгер после его последней записи в архиве",
         [](Options& o, const std::string&) { return o.onlyNew = true; }},
        {0, "archive", "PATH",
         "the record archive that keeps every record received\n(default: the one the program keeps)",
         "архив, в котором хранится каждая принятая запись\n(по умолчанию архив программы)",
         [](Options& o, const std::string& v) {
             o.archivePath = v;
             return !v.empty();
         }},
        {0, "central", "URL",
         "after the download, push the record archive to\nthe team's PostgreSQL database at this libpq\n"
         "connection string or URL (no password in it:\nthat comes from ~/.pgpass or PGPASSFILE)",
         "после загрузки передать архив записей в\nцентральную базу PostgreSQL команды по этой\n"
         "строке подключения libpq или URL (без пароля:\nон берётся из ~/.pgpass или PGPASSFILE)",
         [](Options& o, const std::string& v) {
             o.central = v;
             return !v.empty();
         }},
        {0, "push-only", nullptr,
         "no download: only push the record archive to\nthe --central database (no group file then)",
         "без загрузки: только передать архив записей\nв базу --central (файл группы не нужен)",
         [](Options& o, const std::string&) { return o.pushOnly = true; }},
        {0, "report", "FILE.pdf",
         "write the visit report: the group, the modem and\nevery logger's status, link and results, with\n"
         "FILE.csv beside it",
         "записать отчёт о выезде: группа, модем и у каждого\nлоггера статус, связь и итоги; рядом — "
         "FILE.csv",
         [](Options& o, const std::string& v) {
             o.reportFile = v;
             return !v.empty();
         }},
        {0, "link-log", "FILE",
         "append every byte to and from the modem, with its\ntime in ms, and what the download made of it",
         "дописывать в файл каждый байт к модему и от него со\nвременем в мс и ходом загрузки",
         [](Options& o, const std::string& v) {
             o.linkLogFile = v;
             return !v.empty();
         }},
        {'v', "verbose", nullptr, "also print every status text the window shows",
         "выводить также каждое сообщение строки состояния окна",
         [](Options& o, const std::string&) { return o.verbose = true; }},
        {'h', "help", nullptr, "show this help and exit", "показать эту справку и выйти",
         [](Options& o, const std::string&) { return o.help = true; }},
        {'V', "version", nullptr, "show the version and exit", "показать версию и выйти",
         [](Options& o, const std::string&) { return o.version = true; }},
    };
    return table;
}

const OptionEntry* findOption(const std::string& name, bool isLong) {
    for (const OptionEntry& option : optionTable()) {
        if (isLong ? name == option.longName : name.size() == 1 && name[0] == option.shortName)
            return &option;
    }
    return nullptr;
}

} // namespace

std::string usageHint(const char* program) {
    if (russian())
        return std::string("Запуск: ") + program + " [ПАРАМЕТР]... ГРУППА.cfg --output ФАЙЛ.orx\n        " +
               program + " --central URL --push-only\nПодробнее: " + program + " --help\n";
    return std::string("Usage: ") + program + " [OPTION]... GROUP.cfg --output FILE.orx\n       " + program +
           " --central URL --push-only\nTry '" + program + " --help' for more information.\n";
}

std::string helpText(const char* program) {
    constexpr size_t kHelpColumn = 29;
    std::string out =
        russian() ? std::string("Запуск: ") + program +
                        " [ПАРАМЕТР]... ГРУППА.cfg --output ФАЙЛ.orx\n        " + program +
                        " [--archive ПУТЬ] --central URL --push-only\n"
                        "Загружает измерения всех логгеров группы через радиомодем USB/RK и записывает\n"
                        "их в файл измерений, без окна; с --central затем передаёт в центральную базу\n"
                        "команды записи, которых в ней нет.\n\n"
                  : std::string("Usage: ") + program + " [OPTION]... GROUP.cfg --output FILE.orx\n       " +
                        program +
                        " [--archive PATH] --central URL --push-only\n"
                        "Downloads the measurements of every logger of a group through the USB/RK radio\n"
                        "modem and writes them to a measurement file, without a window; with --central,\n"
                        "then sends the records the team's central database lacks.\n\n";
    for (const OptionEntry& option : optionTable()) {
        std::string names =
            option.shortName ? std::string("  -") + option.shortName + ", " : std::string(6, ' ');
        names += std::string("--") + option.longName;
        if (option.valueName)
            names += std::string(" ") + option.valueName;
        std::string help = russian() ? option.helpRu : option.help;
        // Continuation lines of the help stand under its first line.
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, std::string(kHelpColumn, ' '));
        out += names.size() < kHelpColumn ? names + std::string(kHelpColumn - names.size(), ' ') + help + "\n"
                                          : names + "\n" + std::string(kHelpColumn, ' ') + help + "\n";
    }
    if (russian())
        return out + "\nХод загрузки выводится в стандартный поток ошибок: строка на каждый логгер и\n"
                     "полоса, пока это терминал (иначе каждая строка начинается со времени).\n"
                     "Язык — русский; английский при LANG=C или en_*.\n\n"
                     "Код завершения:\n"
                     "  0  все логгеры загружены, файл записан\n"
                     "  2  неверная командная строка\n"
                     "  3  файл группы отклонён\n"
                     "  4  модем не найден\n"
                     "  5  загрузку не удалось начать\n"
                     "  6  какой-то логгер не завершён, или загрузку прервал SIGTERM, SIGINT или\n"
                     "     SIGHUP; в файле то, что пришло\n"
                     "  7  файл или отчёт не удалось записать\n"
                     "  8  часть записей не попала в архив записей (он был занят или неисправен);\n"
                     "     в файле они есть\n"
                     "Если подходит несколько, 7 важнее 8, а 8 важнее 6.\n";
    out += "\nProgress goes to standard error: one line per logger served, and a bar while\n"
           "standard error is a terminal (otherwise every line starts with the time).\n"
           "The language is Russian; English under LANG=C or en_*.\n\n"
           "Exit status:\n"
           "  0  every logger downloaded, the file written\n"
           "  2  wrong command line\n"
           "  3  the group file was refused\n"
           "  4  no modem found\n"
           "  5  the download could not start\n"
           "  6  some logger did not finish, or SIGTERM, SIGINT or SIGHUP ended the\n"
           "     download; the file holds what came\n"
           "  7  the file or the report could not be written\n"
           "  8  some records could not be kept in the record archive (it stayed busy\n"
           "     or failed); the file holds them\n"
           "  9  the central database did not take every record (not reached, the\n"
           "     login or its tables refused, or lost midway); they wait in the record\n"
           "     archive and the next push sends them\n"
           "When more than one applies, 7 comes before 8, 8 before 9, and 9 before 6.\n";
    return out;
}

bool parseOptions(const std::vector<std::string>& args, Options& out, std::string& error) {
    Options o;
    std::vector<std::string> operands;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            operands.insert(operands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            operands.push_back(a);
            continue;
        }
        // --name, --name=value, --name value, -x, -xvalue, -x value.
        const bool isLong = a[1] == '-';
        std::string name = isLong ? a.substr(2) : a.substr(1, 1);
        std::string value;
        bool hasValue = false;
        if (isLong && name.find('=') != std::string::npos) {
            value = name.substr(name.find('=') + 1);
            name.resize(name.find('='));
            hasValue = true;
        } else if (!isLong && a.size() > 2) {
            value = a.substr(2);
            hasValue = true;
        }
        const OptionEntry* option = findOption(name, isLong);
        if (!option) {
            error = tr("unknown option ", "неизвестный параметр ") + (isLong ? "--" + name : "-" + name);
            return false;
        }
        const std::string shown = std::string("--") + option->longName;
        if (!option->valueName && hasValue) {
            error = shown + tr(" takes no value", " не принимает значения");
            return false;
        }
        if (option->valueName && !hasValue) {
            if (i + 1 >= args.size()) {
                error = tr("missing value after ", "нет значения после ") + shown;
                return false;
            }
            value = args[++i];
        }
        if (!option->apply(o, value)) {
            error = tr("bad value for ", "неверное значение ") + shown + ": " + value;
            return false;
        }
        if (o.help || o.version) {
            out = o;
            return true;
        }
    }
#ifdef KV_HAVE_CENTRAL
    // A password on the command line is there for every user's ps to read.
    if (!o.central.empty() && !(error = CentralArchive::addressProblem(o.central)).empty())
        return false;
#else
    if (!o.central.empty() || o.pushOnly) {
        error = "this build has no central archive (it was built without libpq)";
        return false;
    }
#endif
    if (o.pushOnly) {
        if (o.central.empty())
            error = "--push-only needs --central";
        else if (!operands.empty())
            error = "--push-only takes no group file, got " + operands[0];
        else if (!o.outFile.empty())
            error = "--push-only writes no file: drop --output";
        if (!error.empty())
            return false;
        out = o;
        return true;
    }
    if (operands.size() != 1) {
        error = operands.empty()
                    ? tr("no group file given", "не указан файл группы")
                    : tr("one group file only, got ", "файл группы только один, лишний: ") + operands[1];
        return false;
    }
    o.groupFile = operands[0];
    if (o.outFile.empty()) {
        error = tr("--output is required", "нужен --output");
        return false;
    }
    out = o;
    return true;
}

} // namespace headless
