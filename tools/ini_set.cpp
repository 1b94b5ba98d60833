// kv-ini-set FILE SECTION KEY VALUE: sets one key of an INI file the way the program writes its
// settings, keeping everything else in the file as it was.
#include "files/IniFile.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: kv-ini-set FILE SECTION KEY VALUE\n");
        return 2;
    }
    IniFile ini(argv[1]);
    if (!ini.writeString(argv[2], argv[3], argv[4])) {
        std::fprintf(stderr, "kv-ini-set: unable to write to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
