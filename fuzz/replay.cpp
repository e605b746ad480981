// Runs a fuzz target's entry point on saved inputs, built with the ordinary
// compiler and sanitizers, so that the ordinary tests replay the seeds and
// the inputs that once broke a reader.
//
// usage: replay_<target> <file or folder>...
//
// Each input gets TESSARY_REPLAY_SECONDS (default 20) of wall-clock time: one
// that takes longer is reported by name and ends the run with a failure,
// as does a folder without inputs.

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::string g_current; // the input running, for the time limit's report

void onAlarm(int)
{
    const std::string line = "replay: " + g_current + " took longer than the time limit (a hang)\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    std::_Exit(3);
}

std::vector<std::filesystem::path> inputsOf(const char *argument)
{
    std::vector<std::filesystem::path> inputs;
    const std::filesystem::path path(argument);
    if (std::filesystem::is_directory(path)) {
        for (const auto &entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(path);
    }
    return inputs;
}

} // namespace

int main(int argc, char **argv)
{
    const char *limit = std::getenv("TESSARY_REPLAY_SECONDS");
    const unsigned seconds = limit ? unsigned(std::atoi(limit)) : 20u;
    std::signal(SIGALRM, onAlarm);
    int replayed = 0;
    for (int a = 1; a < argc; ++a) {
        const std::vector<std::filesystem::path> inputs = inputsOf(argv[a]);
        if (inputs.empty()) {
            std::fprintf(stderr, "replay: no inputs in %s\n", argv[a]);
            return 2;
        }
        for (const std::filesystem::path &input : inputs) {
            std::ifstream in(input, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
                return 2;
            }
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            g_current = input.string();
            std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
            ::alarm(seconds);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
            ::alarm(0);
            ++replayed;
        }
    }
    std::fprintf(stderr, "replay: %d inputs, no fault\n", replayed);
    return replayed > 0 ? 0 : 2;
}
