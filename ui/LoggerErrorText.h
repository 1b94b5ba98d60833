#pragma once

namespace ui {
// The logger's own error codes as the error lamp's hint (UTF-8): 0..12 their messages,
// anything else "Неизвестная ошибка".
const char* loggerErrorText(int code);
} // namespace ui
