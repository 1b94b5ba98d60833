#pragma once
// Boxes as the core asks for them, kept as texts; questions answered as told.
#include "engine/UiSeams.h"

#include <string>
#include <vector>

namespace rig {

class ScriptedMessages final : public IMessages {
public:
    void error(const std::string& text) override { errors.push_back(text); }
    void info(const std::string& text) override { infos.push_back(text); }
    bool question(const std::string& text) override {
        questions.push_back(text);
        if (!answers.empty()) {
            const bool a = answers.front();
            answers.erase(answers.begin());
            return a;
        }
        return answer;
    }
    bool answer = true;
    std::vector<bool> answers; // given first, in order; then answer
    std::vector<std::string> errors, infos, questions;
};

} // namespace rig
