#ifdef _WIN32
#include "platform/AdapterSettingsWin32.h"

#include <windows.h>

bool Win32AdapterSettings::SetAdapterBufferSizes(int firstSize, int secondSize, const std::string&,
                                                 std::string& errorText) {
    HKEY key = nullptr;
    // An absent adapter, or no right to change it, leaves everything as it is without a message.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ftdiregistry::kKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return true;
    std::vector<uint8_t> value(ftdiregistry::kMaxValueSize);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(value.size());
    const LONG rc = RegQueryValueExA(key, ftdiregistry::kValueName, nullptr, &type, value.data(), &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        RegCloseKey(key);
        return true;
    }
    bool ok = true;
    if (rc != ERROR_SUCCESS || type != REG_BINARY) {
        ok = false;
    } else {
        value.resize(size);
        switch (ftdiregistry::patchConfigData(value, firstSize, secondSize)) {
        case ftdiregistry::ConfigPatch::Unchanged:
            break;
        case ftdiregistry::ConfigPatch::Write:
            ok = RegSetValueExA(key, ftdiregistry::kValueName, 0, REG_BINARY, value.data(),
                                static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
            break;
        case ftdiregistry::ConfigPatch::Failure:
            ok = false;
            break;
        }
    }
    RegCloseKey(key);
    if (!ok)
        errorText = ftdiregistry::kFailureText;
    return ok;
}
#endif
