#ifdef _WIN32
#include "platform/AdapterSettingsWin32.h"

#include <windows.h>

bool Win32AdapterSettings::SetAdapterBufferSizes(int firstSize, int secondSize, const std::string&,
                                                 std::string& errorText) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ftdiregistry::kKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return true;
    std::vector<uint8_t> value(ftdiregistry::kMaxValueSize);
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(value.size());
    const LONG read = RegQueryValueExA(key, ftdiregistry::kValueName, nullptr, &type, value.data(), &length);
    bool ok = true;
    if (read == ERROR_FILE_NOT_FOUND) {
        ok = true;
    } else if (read != ERROR_SUCCESS || type != REG_BINARY) {
        ok = false; // a longer value, another type, or a refused read
    } else {
        value.resize(length);
        switch (ftdiregistry::patchConfigData(value, firstSize, secondSize)) {
        case ftdiregistry::ConfigPatch::Unchanged:
            break;
        case ftdiregistry::ConfigPatch::Failure:
            ok = false;
            break;
        case ftdiregistry::ConfigPatch::Write:
            ok = RegSetValueExA(key, ftdiregistry::kValueName, 0, REG_BINARY, value.data(), length) ==
                 ERROR_SUCCESS;
            break;
        }
    }
    RegCloseKey(key);
    if (!ok)
        errorText = ftdiregistry::kFailureText;
    return ok;
}
#endif
