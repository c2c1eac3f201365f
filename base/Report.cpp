#include "base/Report.h"

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

std::string ConsoleText(const std::string& text, LineBreaks breaks)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || (c == '\n' && breaks == LineBreaks::OneLine)) {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += breaks == LineBreaks::OneLine ? ' ' : '\n';
        } else {
            out += c;
        }
    }
    return out;
}

void Fatal(const std::string& text)
{
    std::fprintf(stderr, "%s\n", ConsoleText(text).c_str());
    std::fflush(stderr);
    if (sink())
        sink()(text);
    std::fflush(stdout);
    std::_Exit(1);
}

} // namespace report
