#pragma once
#include "ui/messages.h"

#include <string>
#include <vector>

// Takes the program's messages instead of showing boxes, so a test can read them.
class RecordingMessenger final : public Messenger {
public:
    RecordingMessenger() { m_previous = setMessenger(this); }
    ~RecordingMessenger() override { setMessenger(m_previous); }
    RecordingMessenger(const RecordingMessenger&) = delete;
    RecordingMessenger& operator=(const RecordingMessenger&) = delete;

    void information(const std::string& text) override { informations.push_back(text); }
    void error(const std::string& text) override { errors.push_back(text); }

    std::vector<std::string> informations;
    std::vector<std::string> errors;

private:
    Messenger* m_previous = nullptr;
};
