#pragma once
#include "tools/headless/HeadlessDownload.h"

namespace headless {

// The text in the language of the run.
inline const char* tr(const char* en, const char* ru) {
    return russian() ? ru : en;
}

} // namespace headless
