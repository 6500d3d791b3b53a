#pragma once
#include "ui/messages.h"

#include <cstdio>

// Messages of a run without a display: notices and the posted rows go to
// standard output, errors to standard error. Nobody is there to answer a box.
class ConsoleMessenger final : public Messenger {
public:
    ConsoleMessenger(std::FILE* out = stdout, std::FILE* err = stderr) : m_out(out), m_err(err) {}
    void information(const std::string& text) override;
    void error(const std::string& text) override;
    void receiptsPosted(const ClientDataSet& rows) override;

private:
    std::FILE* m_out;
    std::FILE* m_err;
};
