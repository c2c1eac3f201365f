#include "app/Report.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace report {
namespace {
FatalSink& sink()
{
    static FatalSink s;
    return s;
}
} // namespace

void SetFatalSink(FatalSink s) { sink() = std::move(s); }

std::string ForConsole(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c == '\r')
            c = '\n';
    return out;
}

void Fatal(const std::string& text)
{
    std::fprintf(stderr, "%s\n", ForConsole(text).c_str());
    std::fflush(stderr);
    if (sink())
        sink()(text);
    std::fflush(stdout);
    std::_Exit(1);
}

} // namespace report
