#include "platform/AdapterSettings.h"

namespace ftdiregistry {

const char* const kFailureText = "Сбой записи параметров порта в реестр Windows.\r\n"
                                 "Установите вручную (переходник USB/RK должен быть подключен к USB):\r\n"
                                 "Диспетчер устройств > Порты (COM и LPT) > USB Serial Port (COMxx) >\r\n"
                                 "Свойства > Параметры порта > Дополнительно > Буфер приема (Байты): 256";

int sizeCode(int size) {
    const int code = size / 64 - 1;
    return code >= 0 && code <= 255 ? code : -1;
}

ConfigPatch patchConfigData(std::vector<uint8_t>& value, int firstSize, int secondSize) {
    if (value.size() > kMaxValueSize)
        return ConfigPatch::Failure;
    if (value.size() <= 3)
        return ConfigPatch::Unchanged;
    const int first = sizeCode(firstSize);
    const int second = sizeCode(secondSize);
    // A size below 64 would be written as 0xFF, the largest buffer: refuse rather than corrupt.
    if (first < 0 || second < 0)
        return ConfigPatch::Failure;
    if (value[2] == second && value[3] == first)
        return ConfigPatch::Unchanged;
    value[2] = static_cast<uint8_t>(second);
    value[3] = static_cast<uint8_t>(first);
    return ConfigPatch::Write;
}

} // namespace ftdiregistry
