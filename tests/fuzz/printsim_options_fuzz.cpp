// The simulator's command line: any list of arguments either fails with a
// message or gives options within the ranges --help promises.
#include "tests/fuzz/fuzz_check.h"

#include "tools/printsim/options.h"

#include <arpa/inet.h>

#include <string>
#include <vector>

using namespace printsim;

namespace {

bool IsAddress(const std::string &text)
{
    in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

}  // namespace

// The input is the arguments after the program's name, each ended by a zero byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> words{"kestrum-printsim"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < 64)
        words.push_back(word);
    std::vector<const char *> argv;
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);

    Options o;
    std::string error;
    if (!ParseOptions(static_cast<int>(words.size()), argv.data(), o, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    if (o.mode == Mode::Help)
        return 0;
    FUZZ_CHECK(IsAddress(o.bindAddress));
    FUZZ_CHECK(o.stopAfter >= -1);
    FUZZ_CHECK(o.delayMs >= 0 && o.delayMs <= 600000);
    FUZZ_CHECK(o.maxSeconds >= 0 && o.maxSeconds <= 86400);
    FUZZ_CHECK(o.waitMs >= 1 && o.waitMs <= 60000);
    if (o.mode == Mode::Probe || o.mode == Mode::Request) {
        FUZZ_CHECK(IsAddress(o.target));
        FUZZ_CHECK(o.targetPort >= 1);
    }
    return 0;
}
